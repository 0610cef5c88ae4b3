#include "app/Belvora.h"

#include "app/Nexus.h"
#include "content/ContentManager.h"
#include "platform/WebRequest.h"
#include "model/FirmwareVersion.h"
#include "model/SafeSave.h"
#include "model/SaveFailure.h"
#include "model/Utf8.h"
#include "platform/WriteQueue.h"

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <iostream>
#include <mutex>
#include <regex>
#include <string_view>
#include <sys/stat.h>

namespace
{
    struct sigaction previousInterruptAction {};

    // JUCE's own handler only asks the message loop to quit, which cannot
    // happen while a transfer holds the message thread or a worker the quit
    // waits for: every transfer ends first. SIGTERM (a log-out, a service
    // manager) and SIGHUP (the terminal that started it closing) go through
    // that same handler of Ctrl+C: the framework has none for them, and their
    // default ends the program before it saves anything.
    //
    // A second Ctrl+C or SIGTERM is the user insisting: the program ends at
    // once, as it would have without any handler. A hang-up never insists: a
    // closing terminal sends more than one (its shell's and the kernel's,
    // within a millisecond), and the first has already asked for the end.
    std::atomic<bool> ending { false }, stopAsked { false };
    static_assert (std::atomic<bool>::is_always_lock_free, "onInterrupt runs in a signal handler");

    void onInterrupt (int signal)
    {
        const bool insisting = signal != SIGHUP && stopAsked.exchange (true);

        if (insisting)
        {
            std::signal (signal, SIG_DFL);
            std::raise (signal);
            return;
        }

        if (ending.exchange (true))
            return;

        platform::WebRequest::abortAll();

        const auto previous = previousInterruptAction.sa_handler;

        if (previous != SIG_DFL && previous != SIG_IGN && previous != nullptr)
        {
            previous (SIGINT);
        }
        else if (previous == SIG_DFL || signal != SIGINT)
        {
            std::signal (signal, SIG_DFL);
            std::raise (signal);
        }
    }

    void chainInterruptHandler()
    {
        static std::once_flag once;

        std::call_once (once, []
        {
            struct sigaction action {};
            action.sa_handler = onInterrupt;
            sigemptyset (&action.sa_mask);
            sigaction (SIGINT, &action, &previousInterruptAction);

            // A stop the starter chose to ignore stays ignored (SIGHUP under nohup).
            for (const auto stop : { SIGTERM, SIGHUP })
            {
                struct sigaction current {};
                sigaction (stop, nullptr, &current);

                if (current.sa_handler != SIG_IGN)
                    sigaction (stop, &action, nullptr);
            }
        });
    }

    juce::PropertiesFile& userSettings()
    {
        return BelvoraSettings::getUserSettings();
    }

    platform::WriteQueue& leftoversLane()
    {
        static platform::WriteQueue lane;
        return lane;
    }

    /** A folder's entries by the types its listing gives, without a look at
        each (only at a link, and where the listing gives no type). Links to
        anything but a folder count among the files too. */
    struct Listing
    {
        juce::Array<juce::File> files, folders, links;
    };

    Listing listFolder (const juce::File& folder)
    {
        Listing listed;
        auto* listing = ::opendir (folder.getFullPathName().toRawUTF8());

        if (listing == nullptr)
            return listed;

        const auto prefix = juce::File::addTrailingSeparator (folder.getFullPathName());

        while (const auto* entry = ::readdir (listing))
        {
            const std::string_view name (entry->d_name);

            // A name that is not UTF-8 is none the program made.
            if (name == "." || name == ".." || ! Utf8::isValid (name.data(), name.size()))
                continue;

            const auto file = juce::File::createFileWithoutCheckingPath (prefix + juce::String::fromUTF8 (name.data(), (int) name.size()));
            auto type = entry->d_type;

            if (struct stat info {}; type == DT_UNKNOWN && ::lstat (file.getFullPathName().toRawUTF8(), &info) == 0)
                type = S_ISLNK (info.st_mode) ? DT_LNK : S_ISDIR (info.st_mode) ? DT_DIR : S_ISREG (info.st_mode) ? DT_REG : DT_UNKNOWN;

            if (type == DT_DIR || (type == DT_LNK && file.isDirectory()))
            {
                listed.folders.add (file);
            }
            else if (type == DT_REG || type == DT_LNK)
            {
                listed.files.add (file);

                if (type == DT_LNK)
                    listed.links.add (file);
            }
        }

        ::closedir (listing);
        return listed;
    }
}

Belvora::Belvora (UserInterfaceFactory factory)
    : makeUserInterface (std::move (factory))
{
}

Belvora::~Belvora()
{
    nexus.reset();
}

Belvora* Belvora::getInstance()
{
    return dynamic_cast<Belvora*> (juce::JUCEApplicationBase::getInstance());
}

const juce::String Belvora::getApplicationName()
{
    return "Belvora 2";
}

const juce::String Belvora::getApplicationVersion()
{
    return getApplicationVersionRecord().getVersionString();
}

// One program per user data folder, by a lock of our own in that folder: the
// framework's lock is one file for the whole machine.
bool Belvora::moreThanOneInstanceAllowed()
{
    return true;
}

void Belvora::anotherInstanceStarted (const juce::String&)
{
}

void Belvora::parseSwitches (const juce::String& commandLine)
{
    // Plain words anywhere in the command line, case-sensitive, no option syntax.
    developerMode = commandLine.contains ("developer");
    scanAll = commandLine.contains ("scan_all");
    syncAll = commandLine.contains ("sync_all");
}

void Belvora::initialise (const juce::String& commandLine)
{
    instanceLock = std::make_unique<platform::InstanceLock> (getInstanceLockFile());

    if (! instanceLock->isHeld())
    {
        const auto refusal = getStartRefusal (*instanceLock);
        instanceLock.reset();
        std::cerr << refusal.message << std::endl;

        // Started from a desktop menu, nobody reads standard error.
        if (makeUserInterface.showWarning != nullptr && juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() != nullptr)
            makeUserInterface.showWarning (refusal.title, refusal.message);

        setApplicationReturnValue (1);
        quit();
        return;
    }

    initialised = true;
    chainInterruptHandler();
    startTime = juce::Time::getCurrentTime();
    removeLeftovers();
    configureAppProperties();
    const auto settingsFound = recoverSettingsFile();

    auto& settings = userSettings();
    const auto storedId = settings.getValue ("internal4");
    const juce::Uuid parsed (storedId);

    if (storedId.isEmpty() || parsed.isNull())
    {
        newInstallation = true;
        installId = juce::Uuid();
        settings.setValue ("internal4", installId.toString());
    }
    else
    {
        installId = parsed;
    }

    settings.setValue ("internal1", settings.getIntValue ("internal1", 0) + 1);

    juce::Desktop::getInstance().setOrientationsEnabled (juce::Desktop::allOrientations);

    parseSwitches (commandLine);

    // Told before anything else starts: a unit found meanwhile would bring its
    // own boxes on top of this one, and a key meant for one would answer the other.
    if (! settingsFound.isEmpty())
    {
        warn ("Settings", getSettingsRecoveryText (settingsFound, settings.getFile()));

        // Ended while the box was up: nothing more to start.
        if (juce::MessageManager::getInstance()->hasStopMessageBeenSent())
            return;
    }

    nexus = std::make_unique<Nexus> (makeUserInterface);
    nexus->initialise();
}

void Belvora::warn (const juce::String& title, const juce::String& message)
{
    if (makeUserInterface.showWarning != nullptr)
        makeUserInterface.showWarning (title, message);
    else
        std::cerr << message << std::endl;
}

void Belvora::systemRequestedQuit()
{
    const auto fatal = fatalErrorCode.load();

    if (nexus != nullptr)
        if (auto* ui = nexus->getUserInterface())
            if (! ui->requestQuit (fatal != 0))
                return;

    quitAnnounced = true;

    if (fatal != 0)
    {
        if (makeUserInterface.showWarning != nullptr)
            makeUserInterface.showWarning ("Error", getFatalErrorText (fatal));
        else
            juce::AlertWindow::showMessageBox (juce::MessageBoxIconType::WarningIcon, "Error", getFatalErrorText (fatal));
    }

    quit();
}

void Belvora::shutdown()
{
    // JUCE shuts down a second instance that never initialised, too.
    if (! initialised)
        return;

    auto& settings = userSettings();
    const auto runSeconds = (juce::Time::getCurrentTime() - startTime).inSeconds();
    settings.setValue ("internal3", settings.getDoubleValue ("internal3", 0.0) + runSeconds);

    // Saved, but kept open: worker threads still read settings until the hub stops them.
    saveInBackground();

    if (nexus != nullptr)
    {
        // A menu or dialog that runs no loop of its own (a tile's menu, the
        // device information) would be freed by the framework only after the
        // whole program: it goes now, before the window and the data it shows.
        juce::ModalComponentManager::deleteInstance();

        // Ctrl+C ends the message loop without asking the window: its pages
        // still close their sources, so their last edits reach the disk.
        if (auto* ui = nexus->getUserInterface(); ui != nullptr && ! quitAnnounced)
            ui->requestQuit (true);

        nexus->shutdown();
        nexus.reset();
    }

    // A fade still running (a dropped item's image fades for a moment after the
    // drop) keeps a window of its own, which the framework would otherwise free
    // only after it has closed the display: a crash on the way out.
    juce::Desktop::getInstance().getAnimator().cancelAllAnimations (false);

    // The window has gone: the writes handed over end here, never cut short.
    saveInBackground();
    keepLastGoodSettings();
    releaseAppProperties();
    instanceLock.reset();
}

void Belvora::reportFatalError (int code)
{
    int expected = 0;

    if (fatalErrorCode.compare_exchange_strong (expected, code))
        triggerAsyncUpdate();
}

void Belvora::handleAsyncUpdate()
{
    systemRequestedQuit();
}

juce::File Belvora::getInstanceLockFile()
{
    return juce::File (getUserDataFolder()).getChildFile ("Belvora 2.lock");
}

Belvora::StartRefusal Belvora::getStartRefusal (const platform::InstanceLock& lock)
{
    using Failure = platform::InstanceLock::Failure;
    const auto folder = "\"" + getUserDataFolder() + "\"";
    const auto error = lock.getSystemError();
    const auto said = SaveFailure::saidText ({ error });

    switch (lock.getFailure())
    {
        case Failure::cannotWrite:
            // The folder may be fine and only the lock file in the way.
            if (const auto& file = lock.getFailedFile(); file != juce::File())
            {
                // Something else in its place, or a file this user may not write: the file is what to mend, not the drive.
                const auto fileItself = file.exists() && (! file.existsAsFile() || error == EACCES || error == EPERM);

                return { "Data Folder Cannot Be Written",
                         "Belvora cannot write its lock file \"" + file.getFullPathName() + "\"" + said + ", so this start ends. "
                         + (fileItself ? juce::String ("Make sure the file can be written (or move away what stands in its place)")
                                       : SaveFailure::remedyText ({ error }, "Make sure the file can be written"))
                         + ", then start Belvora again." };
            }

            return { "Data Folder Cannot Be Written",
                     "Belvora cannot write to its data folder " + folder + said + ", so this start ends. "
                     + SaveFailure::remedyText ({ error }, "Make sure the folder can be written") + ", then start Belvora again." };

        case Failure::noLocks:
            return { "Data Folder Cannot Be Locked",
                     "Belvora cannot lock its data folder " + folder + said + "; this start ends. "
                     "Its file system takes no locks, and without one two copies of Belvora could write over each other's files." };

        case Failure::heldElsewhere:
        case Failure::none:
            break;
    }

    return { "Belvora Is Already Running", "Belvora is already running with the data folder " + folder + "; this start ends." };
}

juce::Array<juce::File> Belvora::removeLeftovers()
{
    // Temporary files (the framework's and the program's own) are named "<name>_temp<hex>[ (n)]<.ext>".
    static const std::regex temporaryName (R"(.+_temp[0-9a-fA-F]+( \([0-9]+\))?(\.[^.]*)?)");

    juce::Array<juce::File> removed, links;

    // Removes the folder's leftovers and notes its links; gives its sub-folders.
    const auto removeIn = [&] (const juce::File& folder)
    {
        auto listed = listFolder (folder);

        for (const auto& file : listed.files)
            if (std::regex_match (file.getFileName().toStdString(), temporaryName) && file.deleteFile())
                removed.add (file);

        links.addArray (listed.links);
        return listed.folders;
    };

    for (const auto& product : removeIn (juce::File (getUserDataFolder())))
    {
        removeIn (product);

        for (const auto& unit : removeIn (product.getChildFile ("data")))
            removeIn (unit);
    }

    // A file kept elsewhere through a link is saved beside what the link
    // leads to, a folder anywhere (a slow drive too): looked into on the
    // writes thread, before the settings' first write.
    if (! links.isEmpty())
        leftoversLane().post ([links]
        {
            juce::Array<juce::File> targets;

            for (const auto& link : links)
                targets.add (SafeSave::followLinks (link));

            SafeSave::removeTemporariesOf (targets);
        });

    return removed;
}

juce::String Belvora::getSettingsRecoveryText (const Recovery& found, const juce::File& file)
{
    const auto quoted = [] (const juce::File& f) { return "\"" + f.getFullPathName() + "\""; };
    const auto used = found.fromLastGood ? juce::String ("the last good copy of the settings is used.")
                                         : juce::String ("the default settings are used.");
    juce::StringArray told;

    if (found.aside == file)
        told.add ("Belvora could not read its settings file " + quoted (file) + ", nor move it aside. It is left as it is, and the default settings are used.");
    else if (found.aside != juce::File())
        told.add ("Belvora could not read its settings file. It was moved aside as " + quoted (found.aside) + "; " + used);
    else if (found.missing)
        told.add ("Belvora could not find its settings file " + quoted (file) + "; " + used);

    if (found.lastGoodAside == getLastGoodSettingsFile())
        told.add ("The last good copy of the settings " + quoted (found.lastGoodAside) + " could not be read nor moved aside; it is left as it is.");
    else if (found.lastGoodAside != juce::File())
        told.add ("The last good copy of the settings could not be read; it was moved aside as " + quoted (found.lastGoodAside) + ".");

    return told.joinIntoString (" ");
}

juce::String Belvora::getFatalErrorText (int code)
{
    const auto support = "If this error persists, please contact technical support (code " + juce::String (code) + ").";

    if (code == 2)
        return "Belvora is unable to load required control files. Please try restarting the application. "
               "Make sure you have a functioning internet connection. " + support;

    return "Belvora has encountered error and must now stop, sorry. Please try restarting the application. " + support;
}

juce::String Belvora::getProductName (int productId)
{
    auto* content = Nexus::getContentManager();
    return content != nullptr ? content->getProductName (productId) : juce::String();
}

juce::String Belvora::getProductDataFolder (int productId)  { return BelvoraPaths::getProductDataFolder (getProductName (productId)); }
juce::String Belvora::getFirmwareFolder (int productId)     { return BelvoraPaths::getFirmwareFolder (getProductName (productId)); }
juce::String Belvora::getScriptFolder (int productId)       { return BelvoraPaths::getScriptFolder (getProductName (productId)); }
juce::String Belvora::getPacksFolder (int productId)        { return BelvoraPaths::getPacksFolder (getProductName (productId)); }
juce::String Belvora::getBackupDataFolder (int productId)   { return BelvoraPaths::getBackupDataFolder (getProductName (productId)); }
juce::String Belvora::getBackupIndexFile (int productId)    { return BelvoraPaths::getBackupIndexFile (getProductName (productId)); }
