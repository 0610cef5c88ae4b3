#pragma once

#include "base/AppState.h"
#include "base/BelvoraChangeListener.h"
#include "base/MessageTarget.h"
#include "content/FirmwareUpdateElement.h"
#include "gui/CommandDialogs.h"
#include "gui/BVLookAndFeel.h"
#include "gui/widgets/TextOnlyButton.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>

class DataPage;
class DevicePage;
class DeviceData;
class FirmwareUpdateThread;
class StatusBar;
class UpdateProgressWindow;

/** The main window's content: the "Devices" and "Presets" tabs, the icon
    buttons of the tab bar and the status bar. It performs the application
    commands, is the model of the menus the icon buttons pop up, and receives
    every notification of the core on the message thread, broadcasts it to the
    pages and the status bar and acts on it. */
class BelvoraContentComponent : public juce::Component,
                                public juce::ApplicationCommandTarget,
                                public juce::MenuBarModel,
                                public MessageTarget
{
public:
    /** What the options dialog reports once it closed. */
    struct OptionsOutcome
    {
        int result = 0;                 // 0 cancelled or closed, 1 "Ok"
        bool historyCleared = false;
        bool defaultsRestored = false;
        bool scaleChanged = false;
    };

    /** What the firmware chooser reports once it closed. */
    struct FirmwareChoice
    {
        bool startRequested = false;
        FirmwareUpdateElement element;
    };

    /** The windows the commands open beyond the window's own boxes, and the
        browser and document viewer; an empty one uses the program's own. */
    struct Openers
    {
        std::function<OptionsOutcome (juce::Component* parent)> options;
        std::function<FirmwareChoice (juce::Component* parent, int productId, bool showCustom)> firmwareChooser;
        std::function<void (juce::Component* parent)> midiDevices;
        std::function<void (juce::Component* parent)> about;
        std::function<void (const juce::URL&)> openUrl;
        std::function<void (const juce::File&)> openDocument;
    };

    BelvoraContentComponent();
    ~BelvoraContentComponent() override;

    void setOpeners (Openers newOpeners);

    void resized() override;

    /** Ctrl+F finds presets wherever the focus is in the window while the presets page shows. */
    bool keyPressed (const juce::KeyPress& key) override;

    /** The window's keys for the pages (Ctrl+Tab and its kin, Ctrl+F) from anywhere in it; false for
        others. One pressed while a scan (the start's too), and the connection it makes, grey out
        the page it needs is held, and done once that page is usable. */
    bool windowKeyPressed (const juce::KeyPress& key);

    // Commands
    juce::ApplicationCommandTarget* getNextCommandTarget() override;
    void getAllCommands (juce::Array<juce::CommandID>& commands) override;
    void getCommandInfo (juce::CommandID commandID, juce::ApplicationCommandInfo& result) override;
    bool perform (const InvocationInfo& info) override;

    // Menus
    juce::StringArray getMenuBarNames() override;
    juce::PopupMenu getMenuForIndex (int topLevelMenuIndex, const juce::String& menuName) override;
    void menuItemSelected (int menuItemID, int topLevelMenuIndex) override;

    // Notifications
    void handleMessage (const juce::Message& message) override;

    void addChangeListener (BelvoraChangeListener* listener);
    void removeChangeListener (BelvoraChangeListener* listener);

    /** Calls every registered listener, last registered first; a listener may remove itself. */
    void broadcastChange (const ChangeInfo& info);

    /** The only writer of the application state; broadcasts each change. */
    void setAppState (AppState state);

    /** Has the buttons bound to commands look at their commands' states again. */
    static void commandStatesChanged();

    /** False when the user keeps unsent edits; otherwise announces the quit and returns true. */
    bool requestQuit (bool forced);

    /** Makes the unit at that index the active one (-1 releases it) and tells the pages. */
    bool connectToDevice (int index);

    /** Only the devices tab, as when nothing is connected. */
    void showDevicesOnly();

    /** Updates the active unit to that image, showing the progress window; false
        when no unit is active, the image cannot be installed or an update runs.
        The end comes back as 0x84001, which reports it and rescans. */
    bool startFirmwareUpdate (const FirmwareUpdateElement& element);

    // The questions the commands and notifications ask.
    bool askDiscardChanges (CommandDialogs::Discard reason);
    bool askBeforeOverwritingEdits (const DeviceData& source, const juce::Array<int>& indices, bool withSetup);
    bool confirmSendSetup (bool fromOtherSource, const juce::String& sourceName);
    bool askInstallNewFirmware();
    bool confirmFirmwareUpdate (const FirmwareUpdateElement& element, bool offerDetails);
    void showDeviceScanResult();
    void showOptionsDialog();

    /** The running firmware update, or null. */
    FirmwareUpdateThread* getFirmwareUpdate() const noexcept    { return updateThread.get(); }

    StatusBar& getStatusBar() const noexcept                    { return *statusBar; }
    DevicePage& getDevicePage() const noexcept                  { return *devicePage; }
    DataPage& getDataPage() const noexcept                      { return *dataPage; }
    juce::TabbedComponent& getTabs() noexcept                   { return tabs; }
    int getDevicesTabIndex() const noexcept                     { return devicesTabIndex; }
    int getPresetsTabIndex() const noexcept                     { return presetsTabIndex; }
    bool isPresetsTabEnabled() const;
    juce::DrawableButton& getDeveloperButton() noexcept         { return developerButton; }
    juce::DrawableButton& getOptionsButton() noexcept           { return optionsButton; }
    juce::DrawableButton& getHelpButton() noexcept              { return helpButton; }
    TextOnlyButton& getSignInButton() noexcept                  { return signInButton; }
    const FirmwareUpdateElement& getUpdateElement() const noexcept        { return updateElement; }
    bool isDeletePending() const noexcept                       { return deletePending; }
    const juce::StringArray& getUpdatedDeviceNames() const noexcept       { return updatedDeviceNames; }
    const juce::StringArray& getDescriptionReadDeviceNames() const noexcept { return descriptionReadDeviceNames; }

private:
    void setUpIconButton (juce::DrawableButton& button, const char* svg, int svgSize, int commandId);
    void setPagesEnabled (bool enabled);
    void setPresetsTabEnabled (bool enabled);
    bool isScanning() const;
    bool hasUnsentEdits() const;
    bool canDoWindowKey (const juce::KeyPress& key);
    void doWindowKey (const juce::KeyPress& key);
    void doHeldWindowKeysLater();
    void startStatus (int totalSteps);
    void postDeviceCommand (DeviceCommandMessage* command);
    void openUrl (const juce::String& address);
    void popUpMenu (int index);

    void scanForDevices();
    void connectSelectedDevice();
    void downloadDeviceData();
    void applyChanges();
    void restoreSetup();
    void sendDirectToDevice();
    void restoreToDevice();
    /** The chooser; its "Start Update" is confirmed by the questions, unless they were
        answered already (the chooser opened from their "Show Details..."). */
    void showFirmwareChooser (bool showCustom, bool questionsAnswered = false);
    void useCustomDeviceProfile();
    void generatePresetChecksums();

    void handleDeviceMessage (const DeviceInfoMessage& message, AppState state);
    void startupFinished();
    /** Offline: says so. Online: binds the sign-in and asks about a newer Belvora. */
    void tellNetworkState();
    void descriptorRead();
    void askToConvertBackups (const juce::String& question);
    void downloadIncomplete (const juce::String& productName, bool nothingToTell);
    /** afterScan: units identified once their capabilities came, after the scan ended. */
    void scanEnded (int scanResult, bool afterScan, AppState state);
    void connectionLost (AppState state);
    void portsChanged (AppState state);
    void commandDone (const DeviceCommandMessage& command);
    void commandFailed (const DeviceCommandMessage& command);
    void firmwareUpdateEnded (const juce::String& deviceName);
    void backupConversionEnded (const DeviceInfoMessage& message);

    BVLookAndFeel lookAndFeel;

    // The thread goes before its window, which it reports to.
    std::unique_ptr<UpdateProgressWindow> updateWindow;
    std::unique_ptr<FirmwareUpdateThread> updateThread;
    FirmwareUpdateElement updateElement;

    juce::DrawableButton developerButton { {}, juce::DrawableButton::ImageFitted };
    juce::DrawableButton optionsButton { {}, juce::DrawableButton::ImageFitted };
    juce::DrawableButton helpButton { {}, juce::DrawableButton::ImageFitted };
    TextOnlyButton signInButton { "Sign in", "Click to sign in to your Marrowell account", juce::Justification::centredLeft };
    juce::TabbedComponent tabs { juce::TabbedButtonBar::TabsAtTop };
    int devicesTabIndex = -1;
    int presetsTabIndex = -1;

    bool downloading = false;
    bool connecting = false;         // the start waits for the server's master descriptor to tell the network state
    bool deletePending = false;
    bool activeUnitLost = false;     // the active unit's connection was lost: nothing of it is left to ask about
    juce::String lostUnitWithEdits;  // a unit lost with unsent edits, kept in its stored workspace until a scan
    bool disconnectedSinceStart = false;   // a unit was disconnected: only the user connects one again
    juce::StringArray updatedDeviceNames;
    juce::StringArray descriptionReadDeviceNames;
    bool mismatchQuestionOpen = false;
    bool downloadFailedBoxOpen = false;
    juce::Array<juce::KeyPress> heldWindowKeys;   // pressed during the start, for a page still greyed out

    std::unique_ptr<StatusBar> statusBar;
    std::unique_ptr<DevicePage> devicePage;
    std::unique_ptr<DataPage> dataPage;
    juce::Array<BelvoraChangeListener*> changeListeners;

    Openers openers;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BelvoraContentComponent)
};
