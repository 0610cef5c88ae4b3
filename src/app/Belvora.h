#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <memory>

class Nexus;

/** The application object: settings, switches, application state, the hub. */
class Belvora : public juce::JUCEApplication,
                private juce::AsyncUpdater
{
public:
    enum AppState
    {
        stateIdle         = 0,
        stateStarting     = 1,
        stateScanning     = 2,
        stateRescanNeeded = 3,
        stateFirmware     = 4
    };

    Belvora();
    ~Belvora() override;

    static Belvora* getInstance();
    static juce::ApplicationProperties& getAppProperties();

    /** Saves and deletes the process-wide settings holder (also done at process exit). */
    static void releaseAppProperties();

    /** Gives the settings holder its storage parameters (file "Belvora 2.settings"). */
    static void configureAppProperties();

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
    int getAppState() const               { return appState.load(); }
    void setAppState (int state)          { appState.store (state); }
    int getFatalErrorCode() const         { return fatalErrorCode.load(); }
    juce::Uuid getInstallId() const       { return installId; }
    bool isNewInstallation() const        { return newInstallation; }
    Nexus* getNexus() const               { return nexus.get(); }

    /** Reads the three switches from the whole command-line text. */
    void parseSwitches (const juce::String& commandLine);

    // Settings of the core.
    static int getDataSyncMethod();
    static void setDataSyncMethod (int method);
    static int getPresetButtonViewType();
    static void setPresetButtonViewType (int type);
    static float getUiScalingFactor();
    static float getDownloadTimeout();

    // Paths and web addresses.
    static juce::String getProductName (int productId);
    static juce::String getWebSiteUrl();
    static juce::String getTrackingHostUrl();
    static juce::String getTrackingUrl();
    static juce::String getUserDataFolder();
    static juce::String getCommonDataFolder();
    static juce::String getProductDataFolder (int productId);
    static juce::String getMasterDescriptorName();
    static juce::String getMasterDescriptorUrl();
    static juce::String getMasterDescriptorFile();
    static juce::String getDeviceListFile();
    static juce::String getFirmwareFolder (int productId);
    static juce::String getScriptFolder (int productId);
    static juce::String getPacksFolder (int productId);
    static juce::String getBackupDataFolder (int productId);
    static juce::String getBackupIndexFile (int productId);
    static juce::String getWorkingFile (const juce::String& folder, bool temporary);
    static juce::String getSyncFile (const juce::String& folder, bool temporary);
    static juce::String getUserGuideFile();
    static bool isSysExFile (const juce::String& path);

    /** A product name that may be used as one folder name: no separators, no "..",
        no control characters, not empty. */
    static bool isSafeFolderName (const juce::String& name);

    /** The text of the "Error" alert shown for a fatal-error code. */
    static juce::String getFatalErrorText (int code);

private:
    void handleAsyncUpdate() override;

    bool developerMode = false;
    bool scanAll = false;
    bool syncAll = false;
    std::atomic<int> appState { stateStarting };
    std::atomic<int> fatalErrorCode { 0 };
    juce::Time startTime;
    juce::Uuid installId;
    bool newInstallation = false;
    std::unique_ptr<Nexus> nexus;

    JUCE_DECLARE_NON_COPYABLE (Belvora)
};
