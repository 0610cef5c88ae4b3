// "Download Device Data" of a full unit from a simulated unit that answers at
// once, and the same data written back: presets per second and the device
// stack's time per message exchanged.

#include "app/Belvora.h"
#include "base/DeviceInfoMessage.h"
#include "devices/DeviceManager.h"
#include "devices/DeviceObject.h"
#include "devices/ProductCatalogue.h"
#include "devices/SimulatedUnit.h"
#include "model/DeviceData.h"

#include <benchmark/benchmark.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>

namespace
{
    SimulatedUnit::Profile fullUnit()
    {
        auto profile = SimulatedUnit::sampleProfile (0x12);
        profile.stepsPerPreset = profile.caps.maxPresetSteps;
        return profile;
    }

    struct OneProduct : ProductCatalogue
    {
        juce::Array<int> getProductIds() const override               { return { 0x12 }; }
        juce::String getProductName (int) const override              { return "Vesper"; }
        juce::String getDisplayName (int, uint32_t) const override    { return "Vesper"; }
        bool answersGenericIdentity (int) const override              { return true; }
        bool isOnline() const override                                { return false; }
        bool isProductReady (int) const override                      { return true; }
        bool requestProductContent (int) override                     { return false; }
        void requestProductContentAsync (int) override                {}
        bool isDownloadQueued (int) const override                    { return false; }
        bool hasQueuedDownloads() const override                      { return false; }
        bool hasCapsDocument (int) const override                     { return true; }

        std::unique_ptr<DeviceCaps> createCaps (int, int) const override
        {
            auto caps = std::make_unique<DeviceCaps>();
            caps->caps = fullUnit().caps;
            caps->suspendAlgo = true;
            return caps;
        }
    };

    struct Completion : juce::MessageListener
    {
        std::atomic<int> last { 0 };

        void handleMessage (const juce::Message& message) override
        {
            if (auto* info = dynamic_cast<const DeviceInfoMessage*> (&message))
                if (info->code == DeviceInfoMessage::commandDone || info->code == DeviceInfoMessage::commandFailed
                     || info->code == DeviceInfoMessage::scanFinished)
                    last = info->code;
        }

        bool await (int code)
        {
            for (int i = 0; i < 60000 && last.load() != code; ++i)
                juce::MessageManager::getInstance()->runDispatchLoopUntil (1);

            return last.exchange (0) == code;
        }
    };

    struct Bench
    {
        Bench()
        {
            unit = std::make_unique<SimulatedUnit> (*backend, fullUnit());
            manager = std::make_unique<DeviceManager> (done, backend, std::make_shared<OneProduct>(), nullptr, nullptr, DeviceManager::Options());
            manager->startThread();
            manager->handleMessage (DeviceCommandMessage (DeviceCommandMessage::scan));
            ok = done.await (DeviceInfoMessage::scanFinished) && manager->setActiveDevice (0);
        }

        ~Bench()
        {
            manager.reset();
            unit.reset();
        }

        bool runCommand (const DeviceCommandMessage& command)
        {
            manager->handleMessage (command);
            return done.await (DeviceInfoMessage::commandDone);
        }

        std::shared_ptr<VirtualMidiBackend> backend = std::make_shared<VirtualMidiBackend>();
        std::unique_ptr<SimulatedUnit> unit;
        Completion done;
        std::unique_ptr<DeviceManager> manager;
        bool ok = false;
    };

    // Messages counts requests and replies alike, as the unit saw them.
    void report (benchmark::State& state, Bench& bench, int presets, int messagesBefore, double elapsedMs)
    {
        const auto messages = bench.unit->getNumReceived() + bench.unit->getNumSent() - messagesBefore;
        const auto iterations = static_cast<double> (state.iterations());
        state.counters["presets/s"] = presets * iterations / (elapsedMs / 1000.0);
        state.counters["messages"] = messages / iterations;
        state.counters["us_per_message"] = elapsedMs * 1000.0 / messages;
    }

    void downloadDeviceData (benchmark::State& state)
    {
        Bench bench;

        if (! bench.ok)
            return state.SkipWithError ("the simulated unit was not found");

        const auto before = bench.unit->getNumReceived() + bench.unit->getNumSent();
        const auto start = juce::Time::getMillisecondCounterHiRes();

        for (auto _ : state)
            if (! bench.runCommand (DeviceCommandMessage (DeviceCommandMessage::readAll)))
                return state.SkipWithError ("the download failed");

        report (state, bench, bench.manager->getActiveDeviceData()->getNumPresets(), before, juce::Time::getMillisecondCounterHiRes() - start);
    }

    void writeDeviceDataBack (benchmark::State& state)
    {
        Bench bench;

        if (! bench.ok || ! bench.runCommand (DeviceCommandMessage (DeviceCommandMessage::readAll)))
            return state.SkipWithError ("the simulated unit was not read");

        std::shared_ptr<const DeviceData> data = bench.manager->getActiveDeviceData()->clone (true);
        const auto before = bench.unit->getNumReceived() + bench.unit->getNumSent();
        const auto start = juce::Time::getMillisecondCounterHiRes();

        for (auto _ : state)
            if (! bench.runCommand (DeviceCommandMessage (DeviceCommandMessage::writeAllOfData, data, {})))
                return state.SkipWithError ("the write failed");

        report (state, bench, data->getNumPresets(), before, juce::Time::getMillisecondCounterHiRes() - start);
    }

    juce::JUCEApplicationBase* noApplication() { return nullptr; }
}

BENCHMARK (downloadDeviceData)->Unit (benchmark::kMillisecond)->Iterations (10)->UseRealTime();
BENCHMARK (writeDeviceDataBack)->Unit (benchmark::kMillisecond)->Iterations (10)->UseRealTime();

int main (int argc, char** argv)
{
    juce::JUCEApplicationBase::createInstance = &noApplication;
    const juce::ScopedJuceInitialiser_GUI juce;
    Belvora::configureAppProperties();
    Belvora::getAppProperties().getUserSettings();

    benchmark::Initialize (&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Belvora::releaseAppProperties();
    return 0;
}
