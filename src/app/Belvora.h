#pragma once

#include "base/AppState.h"
#include "base/BelvoraPaths.h"
#include "base/BelvoraSettings.h"
#include "app/UserInterface.h"

#include "platform/InstanceLock.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <memory>

class Nexus;

/** The application object: settings, switches, application state, the hub.
    Its paths and settings are those of BelvoraPaths and BelvoraSettings, which
    the services use directly; it adds the paths that need a product's name. */
class Belvora : public juce::JUCEApplication,
                public BelvoraPaths,
                public BelvoraSettings,
                private juce::AsyncUpdater
{
public:
    /** The factory makes the main window at start-up (the program's main gives
        the real one; without it start-up stops with fatal error 1). */
    explicit Belvora (UserInterfaceFactory makeUserInterface = {});
    ~Belvora() override;

    static Belvora* getInstance();
    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;
    bool moreThanOneInstanceAllowed() override;
    void initialise (const juce::String& commandLine) override;
    void shutdown() override;
    void anotherInstanceStarted (const juce::String& commandLine) override;
    void systemRequestedQuit() override;
    void suspended() override {}
    void resumed() override {}

    void reportFatalError (int code);

    bool isDeveloperMode() const          { return developerMode; }
    bool isScanAll() const                { return scanAll; }
    bool isSyncAll() const                { return syncAll; }
    AppState getAppState() const          { return appState.load(); }
    void setAppState (AppState state)     { appState.store (state); }
    int getFatalErrorCode() const         { return fatalErrorCode.load(); }
    juce::Uuid getInstallId() const       { return installId; }
    bool isNewInstallation() const        { return newInstallation; }
    Nexus* getNexus() const               { return nexus.get(); }

    /** Reads the three switches from the whole command-line text. */
    void parseSwitches (const juce::String& commandLine);

    // Paths of a product by its id: the name comes from the content catalogue.
    using BelvoraPaths::getProductDataFolder;
    using BelvoraPaths::getFirmwareFolder;
    using BelvoraPaths::getScriptFolder;
    using BelvoraPaths::getPacksFolder;
    using BelvoraPaths::getBackupDataFolder;
    using BelvoraPaths::getBackupIndexFile;
    static juce::String getProductName (int productId);
    static juce::String getProductDataFolder (int productId);
    static juce::String getFirmwareFolder (int productId);
    static juce::String getScriptFolder (int productId);
    static juce::String getPacksFolder (int productId);
    static juce::String getBackupDataFolder (int productId);
    static juce::String getBackupIndexFile (int productId);

    /** What the start's box says of the settings found wrong (file: the settings file). */
    static juce::String getSettingsRecoveryText (const Recovery& found, const juce::File& file);

    /** The file whose lock keeps one program per user data folder. */
    static juce::File getInstanceLockFile();

    /** What a start that could not take that lock tells the user: a title and the reason. */
    struct StartRefusal
    {
        juce::String title, message;
    };

    static StartRefusal getStartRefusal (const platform::InstanceLock& lock);

    /** Removes what a killed run may have left in the data folder, its
        product folders and their unit folders: the temporary files of saves.
        Those beside the files that links there lead to (saved in their own
        folders) go too, on the writes thread. Only safe while this program
        holds the folder's lock. The files removed in the data folder. */
    static juce::Array<juce::File> removeLeftovers();

    /** The text of the "Error" alert shown for a fatal-error code. */
    static juce::String getFatalErrorText (int code);

private:
    void handleAsyncUpdate() override;
    void warn (const juce::String& title, const juce::String& message);

    bool developerMode = false;
    bool scanAll = false;
    bool syncAll = false;
    std::atomic<AppState> appState { AppState::starting };
    std::atomic<int> fatalErrorCode { 0 };
    juce::Time startTime;
    bool initialised = false;   // false in a second instance, which only hands on its command line
    bool quitAnnounced = false;  // the window was asked and its pages closed their sources
    juce::Uuid installId;
    bool newInstallation = false;
    const UserInterfaceFactory makeUserInterface;
    std::unique_ptr<platform::InstanceLock> instanceLock;
    std::unique_ptr<Nexus> nexus;

    JUCE_DECLARE_NON_COPYABLE (Belvora)
};
