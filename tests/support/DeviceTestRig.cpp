#include "support/DeviceTestRig.h"

#include "app/Belvora.h"
#include "platform/Clock.h"
#include "support/TestEnvironment.h"

void NotificationLog::handleMessage (const juce::Message& message)
{
    auto* info = dynamic_cast<const DeviceInfoMessage*> (&message);

    if (info == nullptr)
        return;

    const std::lock_guard guard (lock);
    received.push_back ({ info->code, info->value1, info->value2, info->text, info->command.command, info->preset });
}

std::vector<NotificationLog::Note> NotificationLog::notes() const
{
    const std::lock_guard guard (lock);
    return received;
}

juce::Array<int> NotificationLog::codes() const
{
    juce::Array<int> result;

    for (auto& n : notes())
        result.add (n.code);

    return result;
}

int NotificationLog::count (int code) const
{
    const auto all = codes();
    return static_cast<int> (std::count (all.begin(), all.end(), code));
}

void NotificationLog::clear()
{
    const std::lock_guard guard (lock);
    received.clear();
}

bool NotificationLog::waitFor (int code, int times, int timeoutMs)
{
    return TestEnvironment::runMessageLoopUntil ([&] { return count (code) >= times; }, timeoutMs);
}

int NotificationLog::waitForCompletion (int timeoutMs)
{
    int result = 0;

    TestEnvironment::runMessageLoopUntil ([&]
    {
        for (auto& n : notes())
        {
            if (n.code == DeviceInfoMessage::commandDone || n.code == DeviceInfoMessage::commandAborted || n.code == DeviceInfoMessage::commandFailed)
            {
                result = n.code;
                return true;
            }
        }

        return false;
    }, timeoutMs);

    return result;
}

bool NotificationLog::noCompletionWithin (int protocolMs)
{
    const auto deadline = platform::Clock::deadlineAfter (protocolMs);
    TestEnvironment::runMessageLoopUntil ([&] { return platform::Clock::hasPassed (deadline); }, 60000);

    for (auto& n : notes())
        if (n.code == DeviceInfoMessage::commandDone || n.code == DeviceInfoMessage::commandAborted || n.code == DeviceInfoMessage::commandFailed)
            return false;

    return true;
}

//==============================================================================
TestCatalogue::TestCatalogue (std::vector<SimulatedUnit::Profile> p) : products (std::move (p))
{
}

const SimulatedUnit::Profile* TestCatalogue::find (int productId) const
{
    for (auto& p : products)
        if (p.productId == productId)
            return &p;

    return nullptr;
}

juce::Array<int> TestCatalogue::getProductIds() const
{
    juce::Array<int> ids;

    for (auto& p : products)
        ids.add (p.productId);

    return ids;
}

juce::String TestCatalogue::getProductName (int productId) const
{
    auto* p = find (productId);
    return p != nullptr ? p->portName : juce::String();
}

bool TestCatalogue::answersGenericIdentity (int productId) const
{
    auto* p = find (productId);
    return p != nullptr && p->answersGenericInquiry;
}

std::unique_ptr<DeviceCaps> TestCatalogue::createCaps (int productId, int) const
{
    auto* p = find (productId);

    if (p == nullptr)
        return {};

    auto caps = std::make_unique<DeviceCaps>();
    caps->isBuildValid = true;
    caps->caps = p->caps;
    caps->suspendAlgo = productId == 0x12;
    caps->delayTimeAfterPresetDelete = 0.05f;
    caps->bankSwapTime = 1.5f;
    return caps;
}

//==============================================================================
DeviceRig::DeviceRig (std::vector<SimulatedUnit::Profile> catalogueProducts)
    : backend (std::make_shared<VirtualMidiBackend>()),
      catalogue (std::make_shared<TestCatalogue> (std::move (catalogueProducts)))
{
    // The settings file opens on first use; open it here, as start-up does,
    // before unit threads read settings.
    static const bool configured = [] { Belvora::configureAppProperties(); Belvora::getAppProperties().getUserSettings(); return true; }();
    (void) configured;
    platform::Clock::setScale (0.05);
}

DeviceRig::~DeviceRig()
{
    manager.reset();
    units.clear();

    // Let late change messages of the deleted units drain.
    TestEnvironment::drainMessages();
    platform::Clock::setScale (1.0);
}

std::vector<SimulatedUnit::Profile> DeviceRig::defaultProducts()
{
    return { SimulatedUnit::sampleProfile (0x12), SimulatedUnit::sampleProfile (0x1A) };
}

SimulatedUnit& DeviceRig::addUnit (const SimulatedUnit::Profile& profile)
{
    units.push_back (std::make_unique<SimulatedUnit> (*backend, profile));
    return *units.back();
}

DeviceManager& DeviceRig::start()
{
    if (manager == nullptr)
    {
        manager = std::make_unique<DeviceManager> (log, backend, products, nullptr, nullptr, DeviceManager::Options());
        manager->startThread();
    }

    return *manager;
}

bool DeviceRig::scan()
{
    start();
    const auto before = log.count (DeviceInfoMessage::scanFinished);
    manager->handleMessage (DeviceCommandMessage (DeviceCommandMessage::scan));

    if (! log.waitFor (DeviceInfoMessage::scanFinished, before + 1))
        return false;

    const auto notes = log.notes();

    for (auto it = notes.rbegin(); it != notes.rend(); ++it)
        if (it->code == DeviceInfoMessage::scanFinished)
            return it->value1 == 1;

    return false;
}

bool DeviceRig::connect (int index)
{
    return scan() && manager->setActiveDevice (index);
}

int DeviceRig::run (const DeviceCommandMessage& command)
{
    log.clear();
    manager->handleMessage (command);
    return log.waitForCompletion();
}
