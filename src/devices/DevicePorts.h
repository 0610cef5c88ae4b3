#pragma once

#include "devices/DeviceFlags.h"
#include "devices/MidiPortBackend.h"

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_events/juce_events.h>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

/** The MIDI side of one unit: its two ports and the received SysEx of this
    maker waiting to be handled on the unit's thread.

    Messages arrive on the MIDI input thread, are kept in arrival order and wake
    the unit's thread; everything else runs on whichever thread asks. A send
    holds no lock while the port works, so closing the ports never waits for a
    unit that is slow to take a message. */
class DevicePorts : public juce::MidiInputCallback
{
public:
    /** dropsInput tells whether a failed unit ignores what arrives (it is still woken). */
    DevicePorts (std::shared_ptr<MidiPortBackend> backend, int inputIndex, int outputIndex,
                 juce::Thread& worker, DeviceFlags& flags, juce::ChangeBroadcaster& changes,
                 std::function<bool()> dropsInput);
    ~DevicePorts() override;

    /** Opens both ports (on the message thread for the machine's ports); true when both are open. */
    bool open();
    void close();
    bool areOpen() const;
    bool isOutputOpen() const;

    /** Closes the ports the next time the unit's thread is between commands
        (closeIfAsked), unless they are opened again before. */
    void closeWhenIdle();
    void closeIfAsked();

    void send (const juce::MidiMessage& message);

    /** True once a send found its port gone, until the ports are opened again. */
    bool wasConnectionLost() const noexcept         { return connectionLost.load(); }

    bool hasPending() const;

    /** Takes the oldest received message; false when none is left or the unit's thread is stopping. */
    bool takeNext (juce::MidiMessage& out);

    /** Forgets everything received and not yet handled. */
    void flush();

    int64_t getBytesSent() const noexcept           { return bytesSent.load(); }
    int64_t getBytesReceived() const noexcept       { return bytesReceived.load(); }

    void handleIncomingMidiMessage (juce::MidiInput* source, const juce::MidiMessage& message) override;

private:
    bool openOnTheRightThread (std::unique_ptr<MidiPortBackend::Input>& newInput,
                               std::shared_ptr<MidiPortBackend::Output>& newOutput);
    void closeTaken (std::unique_ptr<MidiPortBackend::Input> oldInput, std::shared_ptr<MidiPortBackend::Output> oldOutput);

    std::shared_ptr<MidiPortBackend> backend;
    const int inputIndex, outputIndex;
    juce::Thread& worker;
    DeviceFlags& flags;
    juce::ChangeBroadcaster& changes;
    const std::function<bool()> dropsInput;

    mutable std::mutex portLock;          // guards the two ports and closeAsked
    std::unique_ptr<MidiPortBackend::Input> input;
    std::shared_ptr<MidiPortBackend::Output> output;   // a send in progress keeps it alive
    bool closeAsked = false;
    std::atomic<bool> connectionLost { false };

    mutable std::mutex inputLock;         // guards pending
    std::deque<juce::MidiMessage> pending;

    std::atomic<int64_t> bytesSent { 0 }, bytesReceived { 0 };

    JUCE_DECLARE_NON_COPYABLE (DevicePorts)
};
