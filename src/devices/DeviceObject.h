#pragma once

#include "app/DeviceCommandMessage.h"
#include "devices/CommandQueue.h"
#include "devices/MidiPortBackend.h"
#include "devices/ProductCatalogue.h"
#include "model/FirmwareVersion.h"
#include "model/SysEx.h"
#include "model/SysExTemplate.h"

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_audio_devices/juce_audio_devices.h>
#include <juce_events/juce_events.h>

#include <atomic>
#include <memory>
#include <vector>
#include <mutex>

class DeviceCaps;
class DeviceData;
class Preset;
class SetupData;

/** One MIDI port pair and the unit behind it: identifies the unit, keeps its
    capabilities and live data, and runs its queued commands one at a time on
    its own thread. Replies arrive on the MIDI input thread and are parsed on
    the unit's thread. */
class DeviceObject : public juce::MidiInputCallback,
                     public juce::Thread,
                     public juce::ChangeBroadcaster
{
public:
    enum Flags : uint32_t
    {
        scanning        = 0x1,
        noAnswer        = 0x2,
        portFailure     = 0x4,
        identified      = 0x8,
        namesProduct    = 0x100,
        identifying     = 0x200,
        portsOpen       = 0x400,
        noPort          = 0x800,
        unknownProduct  = 0x1000000,
        readingInfo     = 0x2000000,
        contentNotReady = 0x4000000
    };

    enum ErrorCode
    {
        errorInternal          = 0xA00002,
        errorUnexpectedData    = 0xA00003,
        errorConnectionLost    = 0xA00004,
        errorCorruption        = 0xA00005,
        errorVersionConflict   = 0xA00006,
        errorRejected          = 0xA00007,
        errorNoMemory          = 0xA00008,
        errorSynchronisation   = 0xA0000A,
        errorTimeOut           = 0xA0000B,
        errorUnspecified       = 0xA00100
    };

    static constexpr int noReply = 10000;
    static constexpr int maxTries = 10;

    DeviceObject (juce::MessageListener* owner, std::shared_ptr<MidiPortBackend> backend,
                  std::shared_ptr<ProductCatalogue> catalogue,
                  const juce::String& name, int inputIndex, int outputIndex);
    ~DeviceObject() override;

    /** The text shown for a flag word. */
    static juce::String getStateText (uint32_t flags);

    const juce::String& getName() const noexcept   { return name; }
    bool isUsable() const;
    bool isIdle() const;

    bool openPorts();
    void closePorts();
    void sendMessage (const juce::MidiMessage& message);

    juce::String getDataFolder() const;
    bool loadDataFile (const juce::String& path);

    /** A "device" element of the known-device list describing this unit; owned by the caller. */
    juce::XmlElement* createDeviceListEntry() const;

    FirmwareVersion getVersion() const;
    ManufactureDate getManufactureDate() const;
    int getSerial() const noexcept                 { return serial.load(); }
    int getProductId() const noexcept              { return productId.load(); }
    uint32_t getFlags() const noexcept             { return flags.load(); }
    int getErrorCode() const noexcept              { return errorCode.load(); }
    int getReplyStatus() const noexcept            { return replyStatus.load(); }
    DeviceCaps* getCaps() const;
    DeviceData* getData() const;
    int64_t getBytesSent() const noexcept          { return bytesSent.load(); }
    int64_t getBytesReceived() const noexcept      { return bytesReceived.load(); }
    CommandQueue& getQueue() noexcept              { return queue; }

    /** Asks the running transaction to end (queue state 4) unless it failed. */
    void requestAbort();

    /** Clears the queue and every transaction field, so a failed unit runs commands again. */
    void resetQueue();

    void run() override;
    void handleIncomingMidiMessage (juce::MidiInput* source, const juce::MidiMessage& message) override;

private:
    // Identification
    void identify();
    bool askForIdentity (const juce::MidiMessage& request);
    void readDeviceInfo();
    bool fetchProductContent();
    bool checkConnection();
    void setFlags (uint32_t toSet, uint32_t toClear = 0);

    // Input
    bool processInput();
    void flushInput();
    bool hasPendingInput() const;
    template <typename Condition> void awaitReply (int timeoutMs, Condition done);
    void handleSysExReply (const juce::MidiMessage& message);
    void fail (int code);
    void markDone();
    void handleIdentityReply (const uint8_t* bytes, const juce::MidiMessage& message);
    void handleSetupPacket (const uint8_t* bytes, int size);
    void handlePresetHeader (const juce::MidiMessage& message);
    void handlePresetPacket (const uint8_t* bytes, int size);

    // Transactions
    bool handleCommand();
    void runTransaction (const DeviceCommandMessage& command);
    void waitForReply (int timeoutMs);
    void pause (int milliseconds);
    void finishTransaction (bool resume);
    bool retryAfterFailure (int& failures);
    void failUnlessAborted();
    bool canTalk() const;
    void runCheckConnection();
    void readAll();
    bool readPreset (int number);
    void readPresets (const juce::Array<int>& numbers);
    void readSetup();
    void deletePresets (const juce::Array<int>& numbers);
    bool writePreset (const Preset& preset, int number);
    void writePresets (const DeviceData& source, const juce::Array<int>& numbers);
    void writeSetup (const SetupData& setup);
    void writeEverything (const DeviceData& source);
    void sendFirmware (const juce::OwnedArray<juce::MidiMessage>& messages);
    void post (int code, int value1, int value2, const juce::String& text = {});

    juce::MessageListener* const owner;
    std::shared_ptr<MidiPortBackend> backend;
    std::shared_ptr<ProductCatalogue> catalogue;

    mutable std::mutex dataLock;          // guards the pointers below
    std::unique_ptr<DeviceCaps> caps;
    std::unique_ptr<DeviceData> data;

    // Data replaced by a loaded file stays allocated while the unit lives:
    // a late reply or a page may still hold a pointer to it.
    std::vector<std::unique_ptr<DeviceData>> replacedData;

    CommandQueue queue;
    const int inputIndex, outputIndex;
    const juce::String name;

    mutable std::mutex portLock;          // guards the two ports
    std::unique_ptr<MidiPortBackend::Input> input;
    std::unique_ptr<MidiPortBackend::Output> output;
    std::atomic<bool> connectionLost { false };

    mutable juce::CriticalSection inputLock;
    juce::MidiMessageSequence pending;

    mutable std::mutex infoLock;          // guards version and manufactureDate
    FirmwareVersion version;
    ManufactureDate manufactureDate;

    std::atomic<int> serial { -1 };
    std::atomic<int> currentPreset { -1 };
    std::atomic<int> requestedPreset { -1 };
    SysExTemplate unitTemplate;
    std::atomic<int> productId { SysExTemplate::unknownProduct };
    std::atomic<uint32_t> flags { scanning };
    std::atomic<int> errorCode { 0 };
    std::atomic<int> expectedPackets { 0 };
    std::atomic<int> receivedPackets { 0 };
    std::atomic<int> replyStatus { noReply };
    std::atomic<int64_t> bytesSent { 0 }, bytesReceived { 0 };

    // True while identification asks product by product: identity answers of
    // another product are then stale and dropped.
    bool askingEachProduct = false;

    JUCE_DECLARE_NON_COPYABLE (DeviceObject)
};
