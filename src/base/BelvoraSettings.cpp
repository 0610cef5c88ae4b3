#include "base/BelvoraSettings.h"

#include "base/BelvoraPaths.h"
#include "model/FileBytes.h"
#include "model/SafeSave.h"
#include "platform/WriteQueue.h"

#include <atomic>
#include <cmath>
#include <mutex>

namespace
{
    // The system's error of the last failed write of the settings; 0 after one that succeeded.
    constexpr int unknownError = -1;
    std::atomic<int> lastSaveError { 0 };

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
            BelvoraSettings::saveInBackground (saveListener());
        }

        static constexpr int delayMs = 3000;
        juce::PropertiesFile& settings;
    };

    /** The settings holder, the lane of the writes thread that alone writes
        its files, and the saver that watches its settings. Deleted at the end
        of shutdown, or at process exit when shutdown never ran: either way the
        saver goes first, then the writes end, while the settings they take
        still exist. */
    struct Store
    {
        std::mutex holderLock;   // guards the holder itself, never for longer than it takes to look it up
        std::unique_ptr<juce::ApplicationProperties> properties;
        platform::WriteQueue writes;
        std::unique_ptr<SettingsSaver> saver;
    };

    Store& store()
    {
        static Store kept;
        return kept;
    }

    std::mutex& holderLock()   { return store().holderLock; }

    void postWrite (std::function<void()> job, std::function<void()> whenWritten = {})
    {
        store().writes.post (std::move (job), std::move (whenWritten));
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

    // Settings as stored in a file, read without ever writing it; none when
    // the file is missing or cannot be read as settings.
    std::unique_ptr<juce::PropertiesFile> readStored (const juce::File& file)
    {
        if (! isReadable (file))
            return nullptr;

        juce::PropertiesFile::Options options;
        options.storageFormat = juce::PropertiesFile::storeAsXML;
        options.ignoreCaseOfKeyNames = false;
        options.doNotSave = true;
        auto stored = std::make_unique<juce::PropertiesFile> (file, options);
        return stored->isValidFile() ? std::move (stored) : nullptr;
    }

    // The kept copy is what comes back when the file is damaged: a save that
    // went wrong must not become it, and a copy that could not be read (named
    // at the start) is never written over.
    void keepLastGood (const juce::File& file, const juce::File& lastGood, const juce::StringPairArray& expected)
    {
        juce::MemoryBlock bytes;
        const auto stored = readStored (file);

        if (stored == nullptr || stored->getAllProperties() != expected || ! FileBytes::readWhole (file, bytes, maxSettingsBytes))
            return;

        if (! FileBytes::isMissing (lastGood) && readStored (lastGood) == nullptr)
            return;

        SafeSave::replaceFile (lastGood, [&bytes] (juce::OutputStream& out) { return out.write (bytes.getData(), bytes.getSize()); });
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

    juce::StringPairArray takeValues (juce::PropertiesFile& settings)
    {
        const juce::ScopedLock hold (settings.getLock());
        return settings.getAllProperties();
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

    // What was handed over is written first, and what changed since with it,
    // by the settings' lane as ever.
    if (areConfigured())
        saveInBackground();

    waitForWrites();

    const std::lock_guard guard (holderLock());
    auto& holder = store().properties;

    // The framework's own save would put a plain file in place of a link, or
    // try again what has just failed: the settings are never its to write.
    if (holder != nullptr)
    {
        if (auto* settings = holder->getUserSettings())
            settings->setNeedsToBeSaved (false);

        holder->closeFiles();
    }

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

bool BelvoraSettings::writeUserSettings()
{
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
            lastSaveError = 0;
            return true;
        }

        taken = settings->getAllProperties();
    }

    const auto file = settings->getFile();
    const auto document = makeDocument (taken);
    const bool written = file != juce::File() && SafeSave::makeFolder (file.getParentDirectory())
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

    // What the system said of a failure, when it said anything.
    const auto error = file != juce::File() ? SafeSave::lastError() : 0;
    lastSaveError = written ? 0 : (error != 0 ? error : unknownError);
    return written;
}

void BelvoraSettings::saveInBackground (std::function<void()> whenWritten)
{
    // The writes thread takes the settings when their turn comes, under their
    // lock for the copy only: the message thread never waits on the disk.
    postWrite ([] { writeUserSettings(); }, std::move (whenWritten));
}

bool BelvoraSettings::hasUnsavedSettings()
{
    return lastSaveError != 0;
}

int BelvoraSettings::getLastSaveError()
{
    return juce::jmax (0, lastSaveError.load());
}

void BelvoraSettings::waitForWrites()
{
    store().writes.waitUntilIdle();
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

    if (settings.isValidFile())
        postWrite ([file = settings.getFile(), lastGood = getLastGoodSettingsFile(), values = takeValues (settings)]
                   { keepLastGood (file, lastGood, values); });
}

BelvoraSettings::Recovery BelvoraSettings::recoverSettingsFile()
{
    const auto found = recoverDamagedFile();

    // The file is opened only once checked: from then on changes are saved,
    // and the last good copy's settings at once.
    auto& settings = getUserSettings();
    store().saver = std::make_unique<SettingsSaver> (settings);

    if (found.fromLastGood)
        saveInBackground();

    return found;
}

bool BelvoraSettings::areConfigured()
{
    const std::lock_guard guard (holderLock());
    return store().properties != nullptr && store().properties->getStorageParameters().applicationName.isNotEmpty();
}

bool BelvoraSettings::areOpen()
{
    return store().saver != nullptr;
}

BelvoraSettings::Recovery BelvoraSettings::recoverDamagedFile()
{
    Recovery found;
    const auto expected = getAppProperties().getStorageParameters().getDefaultFile();
    const auto lastGoodFile = expected.getSiblingFile (expected.getFileName() + ".last");

    // A kept copy that cannot be read is no copy: it goes aside and is named,
    // and one that cannot move is left as it is, never written over.
    auto lastGood = readStored (lastGoodFile);

    if (lastGood == nullptr && ! FileBytes::isMissing (lastGoodFile))
    {
        found.lastGoodAside = SafeSave::moveAside (lastGoodFile);

        if (found.lastGoodAside == juce::File())
            found.lastGoodAside = lastGoodFile;
    }

    // A pipe, a folder, a huge file or a path that cannot be looked at (a link
    // loop) is damaged before the framework opens it, which would take the last
    // for no file at all and start from the defaults.
    const auto kind = FileBytes::kindOf (expected, maxSettingsBytes);
    const bool odd = kind != FileBytes::Kind::missing && kind != FileBytes::Kind::regular;

    if (odd)
        found.aside = SafeSave::moveAside (expected);

    auto& settings = getUserSettings();
    const auto file = settings.getFile();

    if (kind == FileBytes::Kind::regular && settings.isValidFile())
    {
        // Kept as the settings are now, before this start changes them.
        postWrite ([file, lastGoodFile, values = takeValues (settings)] { keepLastGood (file, lastGoodFile, values); });
        return found;
    }

    // Deleted, or a link to nothing: the kept copy is what the user had.
    if (kind == FileBytes::Kind::missing)
        found.missing = lastGood != nullptr;

    // Saving would write the defaults over it: it goes aside first, or stays
    // as it is and nothing is saved over it.
    if (kind == FileBytes::Kind::regular)
        found.aside = SafeSave::moveAside (file);

    if (kind != FileBytes::Kind::missing && found.aside == juce::File())
    {
        settings.setNeedsToBeSaved (false);
        found.aside = file;
        return found;
    }

    // Read in place of the file, which the next save writes: nothing is written here.
    if (lastGood != nullptr)
    {
        settings.addAllPropertiesFrom (*lastGood);
        found.fromLastGood = true;
    }

    return found;
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
