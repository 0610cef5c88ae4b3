#include "devices/VirtualMidiBackend.h"

struct VirtualMidiBackend::Port
{
    int id = 0;
    juce::String name;
    bool isInput = false;
    Sink sink;

    // Guards everything below; held while a message is handed over, so removing
    // or closing a port waits for a delivery in progress.
    std::mutex deliveryLock;
    bool removed = false;
    bool open = false;
    bool started = false;
    juce::MidiInputCallback* callback = nullptr;
};

namespace
{
    using Port = VirtualMidiBackend::Port;

    class VirtualInput : public MidiPortBackend::Input
    {
    public:
        explicit VirtualInput (std::shared_ptr<Port> p) : port (std::move (p)) {}

        ~VirtualInput() override
        {
            const std::lock_guard guard (port->deliveryLock);
            port->open = false;
            port->started = false;
            port->callback = nullptr;
        }

        void start() override
        {
            const std::lock_guard guard (port->deliveryLock);
            port->started = true;
        }

        void stop() override
        {
            const std::lock_guard guard (port->deliveryLock);
            port->started = false;
        }

    private:
        std::shared_ptr<Port> port;
    };

    class VirtualOutput : public MidiPortBackend::Output
    {
    public:
        explicit VirtualOutput (std::shared_ptr<Port> p) : port (std::move (p)) {}

        bool send (const juce::MidiMessage& message) override
        {
            const std::lock_guard guard (port->deliveryLock);

            if (port->removed)
                return false;

            if (port->sink)
                port->sink (message);

            return true;
        }

    private:
        std::shared_ptr<Port> port;
    };
}

VirtualMidiBackend::VirtualMidiBackend() = default;

VirtualMidiBackend::~VirtualMidiBackend()
{
    std::vector<std::shared_ptr<Port>> all;

    {
        const std::lock_guard guard (lock);
        all.swap (ports);
    }

    for (auto& port : all)
    {
        const std::lock_guard guard (port->deliveryLock);
        port->removed = true;
    }
}

int VirtualMidiBackend::addInput (const juce::String& name)
{
    auto port = std::make_shared<Port>();
    port->name = name;
    port->isInput = true;

    const std::lock_guard guard (lock);
    port->id = nextId++;
    ports.push_back (port);
    return port->id;
}

int VirtualMidiBackend::addOutput (const juce::String& name, Sink sink)
{
    auto port = std::make_shared<Port>();
    port->name = name;
    port->sink = std::move (sink);

    const std::lock_guard guard (lock);
    port->id = nextId++;
    ports.push_back (port);
    return port->id;
}

void VirtualMidiBackend::removePort (int portId)
{
    std::shared_ptr<Port> port;

    {
        const std::lock_guard guard (lock);

        for (auto it = ports.begin(); it != ports.end(); ++it)
        {
            if ((*it)->id == portId)
            {
                port = *it;
                ports.erase (it);
                break;
            }
        }
    }

    if (port == nullptr)
        return;

    const std::lock_guard guard (port->deliveryLock);
    port->removed = true;
    port->callback = nullptr;
}

bool VirtualMidiBackend::deliver (int inputPortId, const juce::MidiMessage& message)
{
    auto port = findPort (inputPortId);

    if (port == nullptr)
        return false;

    const std::lock_guard guard (port->deliveryLock);

    if (port->removed || ! port->started || port->callback == nullptr)
        return false;

    port->callback->handleIncomingMidiMessage (nullptr, message);
    return true;
}

bool VirtualMidiBackend::isInputOpen (int inputPortId) const
{
    auto port = findPort (inputPortId);

    if (port == nullptr)
        return false;

    const std::lock_guard guard (port->deliveryLock);
    return port->open && ! port->removed;
}

juce::StringArray VirtualMidiBackend::getInputNames()  { return namesOf (true); }
juce::StringArray VirtualMidiBackend::getOutputNames() { return namesOf (false); }

std::unique_ptr<MidiPortBackend::Input> VirtualMidiBackend::openInput (int index, juce::MidiInputCallback* callback)
{
    auto port = portAt (index, true);

    if (port == nullptr || callback == nullptr)
        return {};

    const std::lock_guard guard (port->deliveryLock);

    if (port->removed || port->open)
        return {};

    port->open = true;
    port->started = false;
    port->callback = callback;
    return std::make_unique<VirtualInput> (port);
}

std::unique_ptr<MidiPortBackend::Output> VirtualMidiBackend::openOutput (int index)
{
    auto port = portAt (index, false);

    if (port == nullptr)
        return {};

    return std::make_unique<VirtualOutput> (port);
}

std::shared_ptr<VirtualMidiBackend::Port> VirtualMidiBackend::findPort (int portId) const
{
    const std::lock_guard guard (lock);

    for (auto& port : ports)
        if (port->id == portId)
            return port;

    return {};
}

std::shared_ptr<VirtualMidiBackend::Port> VirtualMidiBackend::portAt (int index, bool input) const
{
    const std::lock_guard guard (lock);
    int i = 0;

    for (auto& port : ports)
    {
        if (port->isInput != input)
            continue;

        if (i++ == index)
            return port;
    }

    return {};
}

juce::StringArray VirtualMidiBackend::namesOf (bool input) const
{
    const std::lock_guard guard (lock);
    juce::StringArray names;

    for (auto& port : ports)
        if (port->isInput == input)
            names.add (port->name);

    return names;
}
