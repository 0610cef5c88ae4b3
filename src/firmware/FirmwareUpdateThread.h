#pragma once

#include "base/BelvoraChangeListener.h"
#include "content/FirmwareUpdateElement.h"
#include "conversion/DataConversionManager.h"
#include "model/CapsBlock.h"
#include "model/FirmwareVersion.h"

#include <juce_events/juce_events.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class ContentManager;
class DeviceCaps;
class DeviceData;
class DeviceManager;

/** Updates the active unit's firmware from start to finish: reads and
    converts the unit's presets and setup when the new firmware keeps them in
    another format, sends the image, waits for the reboot, finds the unit
    again, checks its new build and writes the converted data back.

    The work runs on the thread; the questions and the progress go through a
    Host on the message thread, from the object's 100 ms timer; the device
    notifications come in through changeNotify. Every path ends in exactly one
    final state, and once the image is on its way the converted data stays on
    disk until it is back on the unit. */
class FirmwareUpdateThread : public juce::Thread,
                             public BelvoraChangeListener,
                             private DataConversionManager::Listener,
                             private juce::Timer
{
public:
    enum class State : int
    {
        created          = 0,
        waitingForAnswer = 1,
        preparing        = 2,
        converting       = 3,
        sendingImage     = 4,
        applyingImage    = 5,
        scanning         = 6,
        unitFound        = 7,
        unitNotFound     = 8,
        unitMissing      = 9,    // the user is asked whether to go on scanning
        restoringData    = 10,
        dataRestored     = 11,
        complete         = 12,
        stopped          = 13,
        failed           = 14
    };

    /** How the update ended; 0 and 2 are both reported as interrupted. */
    enum ExitCode
    {
        notFinished = 0,
        completed   = 1,
        interrupted = 2,
        error       = 3
    };

    /** The application commands the update drives the unit with. */
    enum class Command
    {
        downloadDeviceData    = 0x3d000,
        scanForDevices        = 0x36000,
        connectSelectedDevice = 0x36001   // the unit of getProductId() and getSerial()
    };

    struct Progress
    {
        juce::String status;
        bool isError = false;
        double step = 0.0;      // of the current phase, 0 to 1
        double overall = 0.0;
    };

    /** What the update needs of whoever shows it: the user interface, or a test. */
    class Host
    {
    public:
        virtual ~Host() = default;

        /** Called on the update's thread; performs the command later on the
            message thread. After connecting, the owner broadcasts 0x60002 with value1 1. */
        virtual void invokeCommand (Command command) = 0;

        /** The questions, on the message thread; each returns the answer. */
        virtual bool askYesNo (const juce::String& title, const juce::String& message) = 0;

        /** True for "Continue Scanning", false for "Stop". */
        virtual bool askToContinueScanning (const juce::String& title, const juce::String& message) = 0;

        /** Every 100 ms while the update runs, on the message thread. */
        virtual void showProgress (const Progress& progress) = 0;

        /** Once, on the message thread, after the update's thread has ended. The
            host reports the end and deletes the update later, never from this call. */
        virtual void updateEnded (const FirmwareUpdateThread& update) = 0;
    };

    /** For the active unit of the device manager. */
    FirmwareUpdateThread (Host& host, DeviceManager& devices, const ContentManager& content,
                          const FirmwareUpdateElement& target);
    ~FirmwareUpdateThread() override;

    /** The checks before anything starts, on the message thread; false leaves exit code 3 and the error text. */
    bool prepare();

    /** After a successful prepare: starts the thread and the timer. */
    void start();

    /** Device notifications (kind 3), among them 0x84000, the progress window's "Stop". */
    void changeNotify (const ChangeInfo& info) override;

    State getState() const;

    /** Every state the update went through, in order. */
    std::vector<State> getStateHistory() const;

    int getExitCode() const;
    juce::String getErrorText() const;
    Progress getProgress() const;

    const juce::String& getDeviceName() const noexcept          { return deviceName; }
    int getProductId() const noexcept                           { return currentBlock.productId; }
    int getSerial() const noexcept                              { return serial.load(); }
    const FirmwareVersion& getStartVersion() const noexcept     { return startVersion; }
    const FirmwareVersion& getTargetVersion() const noexcept    { return target.version; }

    /** Whether the image went to the unit; until then the unit is as it was. */
    bool wasImageSent() const noexcept                          { return imageSent.load(); }

    /** Where the converted presets and setup were left when the update ended
        without writing them back to the unit; empty otherwise. */
    juce::File getKeptDataFile() const;

    /** The share of each phase in the overall progress: preparing, converting,
        sending, applying and finding the unit, writing the data back. */
    static constexpr double phaseWeights[5] { 0.1, 0.05, 0.4, 0.35, 0.1 };

private:
    enum class Verified { ok, rejected, notConnected };

    void run() override;
    void timerCallback() override;
    void conversionProgress (int done, int total) override;
    void conversionFinished() override;

    bool shouldContinue() const;
    void enter (State next);
    bool advance (State next);
    bool moveFrom (State from, State to);
    bool finishAs (State final, int code, const juce::String& message = {});
    bool fail (const juce::String& message);
    void setStatus (const juce::String& text, bool isError = false);
    void setPhaseProgress (double fraction);

    bool waitUntil (const std::function<bool()>& done, int limitMs);
    void awaitTransfer (State during, int limitMs);
    void pause (int milliseconds);
    bool ask (const juce::String& question);

    bool convertUserData();
    bool keepOnDisk (const DeviceData& data);
    bool sendImage();
    void findUnitAndRestore();
    void rescan();
    void askAboutMissingUnit();
    Verified verify();
    bool restoreUserData();
    void finish();

    void handleDeviceMessage (const DeviceInfoMessage& message);
    void handleStop();
    void stopConversion();
    bool askFromTimer (State state);

    Host& host;
    DeviceManager& devices;
    const ContentManager& content;
    const FirmwareUpdateElement target;

    mutable std::mutex stateLock;          // guards state, history, exitCode, errorText, keptDataFile
    State state = State::created;
    std::vector<State> history;
    int exitCode = notFinished;
    juce::String errorText;
    juce::File keptDataFile;

    juce::String deviceName;               // these four are set before the thread starts
    juce::String dataFolder;
    std::shared_ptr<const DeviceCaps> targetCaps;
    double rebootWaitSeconds = 0.0;

    std::atomic<int> serial { -1 };
    const std::shared_ptr<const DeviceData> deviceData;
    const CapsBlock currentBlock;
    const FirmwareVersion startVersion;
    bool presetConversionNeeded = false, setupConversionNeeded = false;

    juce::String questionText;             // written before the question's state, read after it
    State stateAfterAnswer = State::converting;
    std::atomic<bool> answer { false };
    bool questionOpen = false;             // message thread only

    std::atomic<uint32_t> waitStart { 0 };
    std::atomic<int> restoreCounter { 0 }, restoreCount { 0 };
    std::atomic<bool> imageSent { false };
    int imageMessages = 0;                 // the update's thread only

    mutable std::mutex progressLock;       // guards the four below
    juce::String statusText;
    bool statusIsError = false;
    double phaseFraction = 0.0;
    double overallProgress = 0.0;

    std::mutex conversionLock;             // guards activeConversion
    DataConversionManager* activeConversion = nullptr;
    std::atomic<bool> conversionStopped { false };

    std::shared_ptr<const DeviceData> convertedData;   // the update's thread only
    std::atomic<bool> hasConvertedData { false };

    // Made on the message thread before the update's thread starts, so that
    // thread never sets up the weak reference itself.
    juce::WeakReference<FirmwareUpdateThread> self;

    JUCE_DECLARE_WEAK_REFERENCEABLE (FirmwareUpdateThread)
    JUCE_DECLARE_NON_COPYABLE (FirmwareUpdateThread)
};
