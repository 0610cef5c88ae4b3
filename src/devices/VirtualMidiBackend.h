#pragma once

#include "devices/MidiPortBackend.h"

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

/** In-process MIDI ports that can be added and removed while the program runs.
    An input port carries what a peer (a simulated unit) delivers to the
    program; an output port hands what the program sends to the peer's sink.
    Like a hardware port, an input can be open only once at a time. */
class VirtualMidiBackend : public MidiPortBackend
{
public:
    using Sink = std::function<void (const juce::MidiMessage&)>;

    VirtualMidiBackend();
    ~VirtualMidiBackend() override;

    /** Adds a port at the end of its list and returns its id. */
    int addInput (const juce::String& name);
    int addOutput (const juce::String& name, Sink sink);

    /** Removes a port: open handles go dead (nothing is delivered or sent any more).
        Once this returns, the port's sink is not running and will not run again. */
    void removePort (int portId);

    /** Hands a message to the program through an input port; false when the port
        is gone or not open and started. */
    bool deliver (int inputPortId, const juce::MidiMessage& message);

    bool isInputOpen (int inputPortId) const;

    juce::StringArray getInputNames() override;
    juce::StringArray getOutputNames() override;
    std::unique_ptr<Input> openInput (int index, juce::MidiInputCallback* callback) override;
    std::unique_ptr<Output> openOutput (int index) override;

    struct Port;

private:
    std::shared_ptr<Port> findPort (int portId) const;
    std::shared_ptr<Port> portAt (int index, bool input) const;
    juce::StringArray namesOf (bool input) const;

    mutable std::mutex lock;
    std::vector<std::shared_ptr<Port>> ports;
    int nextId = 1;

    JUCE_DECLARE_NON_COPYABLE (VirtualMidiBackend)
};
