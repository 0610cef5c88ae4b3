#pragma once

#include "app/AppState.h"
#include "app/BelvoraChangeListener.h"
#include "content/FirmwareUpdateElement.h"
#include "gui/BVLookAndFeel.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class FirmwareUpdateThread;
class UpdateProgressWindow;

/** The main window's content: performs the application commands, receives every
    notification of the core on the message thread and broadcasts it to the pages. */
class BelvoraContentComponent : public juce::Component,
                                public juce::ApplicationCommandTarget,
                                public juce::MessageListener
{
public:
    BelvoraContentComponent();
    ~BelvoraContentComponent() override;

    void resized() override;

    // Commands
    juce::ApplicationCommandTarget* getNextCommandTarget() override;
    void getAllCommands (juce::Array<juce::CommandID>& commands) override;
    void getCommandInfo (juce::CommandID commandID, juce::ApplicationCommandInfo& result) override;
    bool perform (const InvocationInfo& info) override;

    // Notifications
    void handleMessage (const juce::Message& message) override;

    void addChangeListener (BelvoraChangeListener* listener);
    void removeChangeListener (BelvoraChangeListener* listener);

    /** Calls every registered listener, last registered first; a listener may remove itself. */
    void broadcastChange (const ChangeInfo& info);

    /** The only writer of the application state; broadcasts each change. */
    void setAppState (AppState state);

    /** False when the user keeps unsent edits; otherwise announces the quit and returns true. */
    bool requestQuit (bool forced);

    /** Updates the active unit to that image, showing the progress window; false
        when no unit is active, the image cannot be installed or an update runs.
        The end comes back as 0x84001, which reports it and rescans. */
    bool startFirmwareUpdate (const FirmwareUpdateElement& element);

    /** The running firmware update, or null. */
    FirmwareUpdateThread* getFirmwareUpdate() const noexcept    { return updateThread.get(); }

private:
    bool hasActiveDevice() const;
    void postDeviceCommand (int command);
    void connectUpdatedDevice();
    void reportFirmwareUpdateEnd (const juce::String& deviceName);

    BVLookAndFeel lookAndFeel;
    juce::Array<BelvoraChangeListener*> changeListeners;

    // The thread goes before its window, which it reports to.
    std::unique_ptr<UpdateProgressWindow> updateWindow;
    std::unique_ptr<FirmwareUpdateThread> updateThread;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BelvoraContentComponent)
};
