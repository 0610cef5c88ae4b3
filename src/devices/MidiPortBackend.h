#pragma once

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_audio_devices/juce_audio_devices.h>

#include <memory>

/** The device layer's only view of MIDI: port names, ports opened by index,
    sending, and a receive callback. One backend talks to the machine's ports,
    another to in-process virtual ports (simulated units). */
class MidiPortBackend
{
public:
    /** An open input port; messages reach the callback once started, until stopped or deleted. */
    class Input
    {
    public:
        virtual ~Input() = default;
        virtual void start() = 0;
        virtual void stop() = 0;
    };

    /** An open output port. */
    class Output
    {
    public:
        virtual ~Output() = default;
        /** False when the port is gone. */
        virtual bool send (const juce::MidiMessage& message) = 0;
    };

    virtual ~MidiPortBackend() = default;

    virtual juce::StringArray getInputNames() = 0;
    virtual juce::StringArray getOutputNames() = 0;

    /** Null when the port cannot be opened. The callback sees a null source. */
    virtual std::unique_ptr<Input> openInput (int index, juce::MidiInputCallback* callback) = 0;
    virtual std::unique_ptr<Output> openOutput (int index) = 0;

    /** True when ports must be opened on the message thread (the machine's ports). */
    virtual bool opensOnMessageThread() const { return false; }
};
