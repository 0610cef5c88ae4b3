#pragma once

#include "devices/MidiPortBackend.h"

/** The machine's MIDI ports through juce::MidiInput and juce::MidiOutput. */
class JuceMidiBackend : public MidiPortBackend
{
public:
    juce::StringArray getInputNames() override;
    juce::StringArray getOutputNames() override;
    std::unique_ptr<Input> openInput (int index, juce::MidiInputCallback* callback) override;
    std::unique_ptr<Output> openOutput (int index) override;
    bool opensOnMessageThread() const override { return true; }
};
