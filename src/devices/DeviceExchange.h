#pragma once

#include "devices/CommandQueue.h"
#include "devices/DeviceProtocol.h"
#include "model/FirmwareVersion.h"
#include "model/SysEx.h"
#include "model/SysExTemplate.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <atomic>
#include <functional>
#include <mutex>

class DeviceData;
class DevicePorts;

/** The conversation with one unit, on the unit's thread: sends, waits for a
    reply or a deadline on the thread's wake-up event, turns each reply into
    the state of the transaction in progress, and applies the retry rule.

    Replies fill in what identification asks for (version, serial, date) and
    the data a read fills (the target the transaction runner sets). The error
    code, the status byte and the identity are read by other threads too. */
class DeviceExchange
{
public:
    DeviceExchange (juce::Thread& worker, DevicePorts& ports, CommandQueue& queue);

    //==============================================================================
    // Sending and waiting. Every wait also ends when the thread is asked to stop.

    void send (const juce::MidiMessage& message);

    /** Sends, then waits for the transaction's reply (waitForReply). */
    void request (const juce::MidiMessage& message, int timeoutMs);

    /** Handles replies until a status byte came or the state left running (a
        complete transfer, an error, an abort); at the deadline without either,
        fails with timeOut. */
    void waitForReply (int timeoutMs);

    /** Sends, then handles replies until `answered` holds; false when it does not by the deadline. */
    bool ask (const juce::MidiMessage& message, int timeoutMs, const std::function<bool()>& answered);

    /** A fixed wait that the next message, a new command or an abort ends early. */
    void pause (int milliseconds);

    /** A fixed wait that only an abort ends early; what arrives meanwhile is left alone. */
    void rest (int milliseconds);

    //==============================================================================
    enum class Outcome
    {
        succeeded,
        stopped,        // the thread was asked to stop right after a failed try
        ended,          // the failure ends everything at once; its error stays
        lost,           // the ports went away: connectionLost
        interrupted,    // aborted, or asked to stop, during the pause
        exhausted       // every try failed; the last error stays (unexpectedData when there was none)
    };

    /** The retry rule. Runs `attempt` until it succeeds, at most maxTries times. After a
        failed try: reportFailure (with the count of failed tries), endsEverything decides,
        a pause lets late replies arrive, the input is flushed, and the next try starts
        without the error of the last. */
    Outcome repeat (const std::function<bool()>& attempt, const std::function<void (int)>& reportFailure,
                    const std::function<bool()>& endsEverything = {});

    //==============================================================================
    // The transaction's state.

    void fail (DeviceError code);
    DeviceError getError() const noexcept           { return error.load(); }
    bool hasFailed() const noexcept                 { return error.load() != DeviceError::none; }
    void clearError() noexcept                      { error = DeviceError::none; }

    ReplyStatus getReplyStatus() const noexcept     { return replyStatus.load(); }
    void clearReply() noexcept                      { replyStatus = ReplyStatus::none; }

    bool isAborted() const noexcept                 { return queue.getState() == CommandQueue::State::abort; }

    /** A new transfer: `perUnit` packets per preset step (or per setup), none received yet. */
    void expectPackets (int perUnit);
    void resetReceivedPackets() noexcept            { receivedPackets = 0; }

    /** Only the header of that preset is taken; -1: none. */
    void expectPreset (int number);

    /** Everything back to no transaction (after a failure, before the unit runs commands again). */
    void reset();

    /** The data that preset and setup replies go into; null: none. Unit's thread only. */
    void setTarget (DeviceData* data)               { target = data; }

    /** True when replies changed the target since the last call. */
    bool takeTargetChanged();

    //==============================================================================
    // Identity.

    void forgetIdentity();

    /** Asks a product: the requests carry its id from now on. */
    void setProduct (int productId);

    /** While identification asks product by product, identity answers of another product are stale. */
    void setAskingEachProduct (bool asking)         { askingEachProduct = asking; }

    SysExTemplate& getTemplate() noexcept           { return unitTemplate; }
    FirmwareVersion getVersion() const;
    ManufactureDate getManufactureDate() const;
    int getSerial() const noexcept                  { return serial.load(); }
    void setSerial (int value) noexcept             { serial = value; }
    int getProductId() const noexcept               { return productId.load(); }

    //==============================================================================
    /** Handles the oldest received message; true when there was one. */
    bool processInput();

    void handleReply (const juce::MidiMessage& message);

private:
    enum class Wake { handleReplies, endsWait, ignored };

    bool waitUntil (int timeoutMs, Wake wake, const std::function<bool()>& done);
    void markDone();
    void handleIdentityReply (const uint8_t* bytes, const juce::MidiMessage& message);
    DeviceError checkPacket (const uint8_t* bytes, int size, int overhead, int dataOffset, int indexByte) const;
    void handleSetupPacket (const uint8_t* bytes, int size);
    void handlePresetHeader (const juce::MidiMessage& message);
    void handlePresetPacket (const uint8_t* bytes, int size);

    juce::Thread& worker;
    DevicePorts& ports;
    CommandQueue& queue;

    std::atomic<DeviceError> error { DeviceError::none };
    std::atomic<ReplyStatus> replyStatus { ReplyStatus::none };
    std::atomic<int> expectedPackets { 0 };
    std::atomic<int> receivedPackets { 0 };
    std::atomic<int> currentPreset { -1 };
    std::atomic<int> requestedPreset { -1 };

    DeviceData* target = nullptr;
    bool targetChanged = false;

    mutable std::mutex identityLock;      // guards version and manufactureDate
    FirmwareVersion version;
    ManufactureDate manufactureDate;
    std::atomic<int> serial { -1 };
    std::atomic<int> productId { SysExTemplate::unknownProduct };
    SysExTemplate unitTemplate;
    bool askingEachProduct = false;

    JUCE_DECLARE_NON_COPYABLE (DeviceExchange)
};
