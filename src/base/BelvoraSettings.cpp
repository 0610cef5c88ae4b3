#include "base/BelvoraSettings.h"

#include "base/BelvoraPaths.h"
#include "model/FileBytes.h"
#include "model/SafeSave.h"

#include <atomic>
#include <cmath>
#include <mutex>

namespace
{
    std::atomic<bool> lastSaveFailed { false };

    std::function<void()>& saveListener()
    {
        static std::function<void()> listener;
        return listener;
    }

    // The framework's own timed save drops its result: the settings are saved
    // here instead, so a failed write is known and can be tried again.
    struct SettingsSaver final : private juce::ChangeListener, private juce::Timer
    {
        explicit SettingsSaver (juce::PropertiesFile& file) : settings (file)   { settings.addChangeListener (this); }
        ~SettingsSaver() override                                              { settings.removeChangeListener (this); }

        void changeListenerCallback (juce::ChangeBroadcaster*) override        { startTimer (delayMs); }

        void timerCallback() override
        {
            stopTimer();
            BelvoraSettings::saveUserSettings();

            if (auto listener = saveListener())
                listener();
        }

        static constexpr int delayMs = 3000;
        juce::PropertiesFile& settings;
    };

    /** The settings holder and the saver that watches its settings. Deleted at
        the end of shutdown, or at process exit when shutdown never ran: either
        way the saver goes first, while the settings it watches still exist. */
    struct Store
    {
        std::unique_ptr<juce::ApplicationProperties> properties;
        std::unique_ptr<SettingsSaver> saver;   // after the holder, so it goes before it
    };

    Store& store()
    {
        static Store kept;
        return kept;
    }

    // Guards the holder itself, never for longer than it takes to look it up.
    std::mutex& holderLock()
    {
        static std::mutex lock;
        return lock;
    }

    // One write of the settings at a time; the holder is not released during one.
    std::mutex& writeLock()
    {
        static std::mutex lock;
        return lock;
    }

    const char* const syncMethodNames[] = { "auto", "manual", "previous" };

    // Settings are a few dozen values; anything this large is not ours.
    constexpr juce::int64 maxSettingsBytes = 4 * 1024 * 1024;

    // The framework opens the settings itself, and would wait on a pipe for
    // ever or read a huge file whole: only a regular file of a sane size is opened.
    bool isReadable (const juce::File& file)
    {
        return FileBytes::kindOf (file, maxSettingsBytes) == FileBytes::Kind::regular;
    }

    void restoreLastGood (const juce::File& lastGood, const juce::File& file)
    {
        juce::MemoryBlock bytes;

        if (FileBytes::readWhole (lastGood, bytes, maxSettingsBytes))
            SafeSave::replaceFile (file, [&bytes] (juce::OutputStream& out) { return out.write (bytes.getData(), bytes.getSize()); });
    }

    // The settings as the framework writes and reads them: a value that is
    // XML is kept as an element.
    std::unique_ptr<juce::XmlElement> makeDocument (const juce::StringPairArray& values)
    {
        auto document = std::make_unique<juce::XmlElement> ("PROPERTIES");

        for (int i = 0; i < values.size(); ++i)
        {
            auto* element = document->createNewChildElement ("VALUE");
            element->setAttribute ("name", values.getAllKeys()[i]);

            if (auto xml = juce::parseXML (values.getAllValues()[i]))
                element->addChildElement (xml.release());
            else
                element->setAttribute ("val", values.getAllValues()[i]);
        }

        return document;
    }

    // The file on disk holds the settings as they are in memory.
    bool readsBack (const juce::File& file, juce::PropertiesFile& settings)
    {
        if (! isReadable (file))
            return false;

        juce::PropertiesFile::Options options;
        options.storageFormat = juce::PropertiesFile::storeAsXML;
        options.ignoreCaseOfKeyNames = false;
        options.doNotSave = true;
        juce::PropertiesFile stored (file, options);
        const juce::ScopedLock hold (settings.getLock());

        return stored.isValidFile() && stored.getAllProperties() == settings.getAllProperties();
    }
}

juce::ApplicationProperties& BelvoraSettings::getAppProperties()
{
    const std::lock_guard guard (holderLock());
    auto& holder = store().properties;

    if (holder == nullptr)
        holder = std::make_unique<juce::ApplicationProperties>();

    return *holder;
}

juce::PropertiesFile& BelvoraSettings::getUserSettings()
{
    return *getAppProperties().getUserSettings();
}

void BelvoraSettings::releaseAppProperties()
{
    store().saver.reset();
    const std::lock_guard writing (writeLock());
    const std::lock_guard guard (holderLock());
    auto& holder = store().properties;

    if (holder != nullptr)
        holder->closeFiles();

    holder.reset();
}

void BelvoraSettings::configureAppProperties()
{
    juce::PropertiesFile::Options options;
    options.applicationName = "Belvora 2";
    options.filenameSuffix = "settings";
   #if JUCE_WINDOWS || JUCE_MAC
    options.folderName = juce::String ("Marrowell") + juce::File::getSeparatorString() + "Belvora 2";
   #else
    // JUCE would put it under the home folder itself; keep it beside our data.
    options.folderName = BelvoraPaths::getUserDataFolder();
   #endif
    options.osxLibrarySubFolder = "Application Support";
    options.commonToAllUsers = false;
    options.ignoreCaseOfKeyNames = false;
    options.doNotSave = false;
    options.millisecondsBeforeSaving = -1;   // SettingsSaver saves them
    options.storageFormat = juce::PropertiesFile::storeAsXML;
    options.processLock = nullptr;
    store().saver.reset();
    getAppProperties().setStorageParameters (options);
}

bool BelvoraSettings::saveUserSettings()
{
    const std::lock_guard writing (writeLock());
    juce::PropertiesFile* settings = nullptr;

    {
        const std::lock_guard guard (holderLock());
        auto& holder = store().properties;
        settings = holder != nullptr ? holder->getUserSettings() : nullptr;
    }

    if (settings == nullptr)
        return true;

    // Taken as they are now, and written without holding their lock: a reader
    // on the message thread never waits on the disk. A failed write leaves
    // them due, so this writes them again.
    juce::StringPairArray taken;

    {
        const juce::ScopedLock hold (settings->getLock());

        if (! settings->needsToBeSaved())
        {
            lastSaveFailed = false;
            return true;
        }

        taken = settings->getAllProperties();
    }

    const auto file = settings->getFile();
    const auto document = makeDocument (taken);
    const bool written = file != juce::File() && file.getParentDirectory().createDirectory().wasOk()
                      && SafeSave::replaceFile (file, [&document] (juce::OutputStream& out)
                         {
                             document->writeTo (out);
                             return true;
                         });

    if (written)
    {
        // A change made meanwhile is due still.
        const juce::ScopedLock hold (settings->getLock());

        if (settings->getAllProperties() == taken)
            settings->setNeedsToBeSaved (false);
    }

    lastSaveFailed = ! written;
    return written;
}

bool BelvoraSettings::hasUnsavedSettings()
{
    return lastSaveFailed;
}

void BelvoraSettings::setSaveListener (std::function<void()> listener)
{
    saveListener() = std::move (listener);
}

juce::File BelvoraSettings::getLastGoodSettingsFile()
{
    const auto file = getUserSettings().getFile();
    return file.getSiblingFile (file.getFileName() + ".last");
}

void BelvoraSettings::keepLastGoodSettings()
{
    auto& settings = getUserSettings();
    const auto file = settings.getFile();

    // The kept copy is what comes back when the file is damaged: a save that
    // went wrong must not become it too.
    juce::MemoryBlock bytes;

    if (settings.isValidFile() && FileBytes::readWhole (file, bytes, maxSettingsBytes) && readsBack (file, settings))
        SafeSave::replaceFile (getLastGoodSettingsFile(), [&bytes] (juce::OutputStream& out)
        {
            return out.write (bytes.getData(), bytes.getSize());
        });
}

juce::File BelvoraSettings::recoverSettingsFile()
{
    const auto aside = recoverDamagedFile();

    // The file is opened only once checked: from then on changes are saved.
    store().saver = std::make_unique<SettingsSaver> (getUserSettings());
    return aside;
}

bool BelvoraSettings::areOpen()
{
    return store().saver != nullptr;
}

juce::File BelvoraSettings::recoverDamagedFile()
{
    // A pipe, a folder, a huge file or a path that cannot be looked at (a link
    // loop) is damaged before the framework opens it, which would take the last
    // for no file at all and start from the defaults.
    const auto expected = getAppProperties().getStorageParameters().getDefaultFile();
    const auto kind = FileBytes::kindOf (expected, maxSettingsBytes);
    const bool damaged = kind != FileBytes::Kind::missing && kind != FileBytes::Kind::regular;
    auto aside = damaged ? SafeSave::moveAside (expected) : juce::File();

    auto& settings = getUserSettings();
    const auto file = settings.getFile();
    const auto lastGood = getLastGoodSettingsFile();

    if (aside == juce::File())
    {
        if (! damaged && settings.isValidFile())
        {
            keepLastGoodSettings();
            return {};
        }

        // Saving would write the defaults over it: it goes aside first, or stays
        // as it is and nothing is saved over it.
        aside = damaged ? juce::File() : SafeSave::moveAside (file);

        if (aside == juce::File())
        {
            settings.setNeedsToBeSaved (false);
            return file;
        }
    }

    restoreLastGood (lastGood, file);
    settings.reload();

    // The kept copy was no better: the defaults it is.
    if (! settings.isValidFile())
    {
        SafeSave::moveAside (file);
        settings.reload();
    }

    return aside;
}

int BelvoraSettings::getDataSyncMethod()
{
    const auto text = getUserSettings().getValue ("dataSyncMethod", "auto");

    for (int i = 0; i < 3; ++i)
        if (text == syncMethodNames[i])
            return i;

    return 0;
}

void BelvoraSettings::setDataSyncMethod (int method)
{
    if (method >= 0 && method < 3)
        getUserSettings().setValue ("dataSyncMethod", syncMethodNames[method]);
}

int BelvoraSettings::getPresetButtonViewType()
{
    return getUserSettings().getValue ("presetButtonViewType", "icon") == "cell" ? 0 : 1;
}

void BelvoraSettings::setPresetButtonViewType (int type)
{
    if (type == 0 || type == 1)
        getUserSettings().setValue ("presetButtonViewType", type == 0 ? "cell" : "icon");
}

float BelvoraSettings::getUiScalingFactor()
{
    auto value = getUserSettings().getDoubleValue ("uiScalingFactor", 1.0);

    if (std::isnan (value))
        value = 0.0;

    return (float) juce::jlimit (0.75, 2.5, value);
}

float BelvoraSettings::getDownloadTimeout()
{
    return (float) getUserSettings().getDoubleValue ("downloadTimeout", 600.0);
}

int BelvoraSettings::getDownloadTimeoutMs()
{
    constexpr double defaultMs = 600.0 * 1000.0, shortestMs = 100.0, longestMs = 24.0 * 3600.0 * 1000.0;

    // A core used without the application's settings (a tool, a test) has the default.
    if (getAppProperties().getUserSettings() == nullptr)
        return (int) defaultMs;

    // A hand-edited file may hold anything: no patience at all, or one that
    // overflows a wait, would leave every unit unidentified.
    const auto ms = (double) getDownloadTimeout() * 1000.0;

    if (! (ms > 0.0))
        return (int) defaultMs;

    return (int) juce::jlimit (shortestMs, longestMs, ms);
}
