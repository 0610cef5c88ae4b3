#include "devices/JuceMidiBackend.h"

namespace
{
    juce::StringArray namesOf (const juce::Array<juce::MidiDeviceInfo>& devices)
    {
        juce::StringArray names;

        for (auto& device : devices)
            names.add (device.name);

        return names;
    }

    class JuceInput : public MidiPortBackend::Input
    {
    public:
        explicit JuceInput (std::unique_ptr<juce::MidiInput> in) : input (std::move (in)) {}
        ~JuceInput() override { input->stop(); }
        void start() override { input->start(); }
        void stop() override { input->stop(); }

    private:
        std::unique_ptr<juce::MidiInput> input;
    };

    class JuceOutput : public MidiPortBackend::Output
    {
    public:
        explicit JuceOutput (std::unique_ptr<juce::MidiOutput> out) : output (std::move (out)) {}
        bool send (const juce::MidiMessage& message) override { output->sendMessageNow (message); return true; }

    private:
        std::unique_ptr<juce::MidiOutput> output;
    };
}

juce::StringArray JuceMidiBackend::getInputNames()
{
    return namesOf (juce::MidiInput::getAvailableDevices());
}

juce::StringArray JuceMidiBackend::getOutputNames()
{
    return namesOf (juce::MidiOutput::getAvailableDevices());
}

std::unique_ptr<MidiPortBackend::Input> JuceMidiBackend::openInput (int index, juce::MidiInputCallback* callback)
{
    const auto devices = juce::MidiInput::getAvailableDevices();

    if (! juce::isPositiveAndBelow (index, devices.size()))
        return {};

    auto input = juce::MidiInput::openDevice (devices[index].identifier, callback);

    if (input == nullptr)
        return {};

    return std::make_unique<JuceInput> (std::move (input));
}

std::unique_ptr<MidiPortBackend::Output> JuceMidiBackend::openOutput (int index)
{
    const auto devices = juce::MidiOutput::getAvailableDevices();

    if (! juce::isPositiveAndBelow (index, devices.size()))
        return {};

    auto output = juce::MidiOutput::openDevice (devices[index].identifier);

    if (output == nullptr)
        return {};

    return std::make_unique<JuceOutput> (std::move (output));
}
