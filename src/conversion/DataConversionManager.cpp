#include "conversion/DataConversionManager.h"

#include "content/ContentManager.h"
#include "content/ProductDocumentCache.h"
#include "conversion/ConversionGraph.h"
#include "conversion/ConversionPathFinder.h"
#include "conversion/ScriptSandbox.h"
#include "devices/DeviceCaps.h"
#include "devices/DeviceProfiler.h"
#include "model/FileBytes.h"
#include "model/Utf8.h"

using namespace ConversionErrorBits;

//==============================================================================
DataConversionManager::DataConversionManager (const ContentManager& contentManager) : content (contentManager) {}

DataConversionManager::~DataConversionManager() = default;

bool DataConversionManager::shouldStop() const
{
    return stopRequested || juce::Thread::currentThreadShouldExit();
}

/** The capability block of a product at a firmware build; false when there is none. */
bool DataConversionManager::capsBlockForBuild (int productId, int build, CapsBlock& block) const
{
    const auto caps = DeviceProfiler::createCaps (content, productId, build);
    if (caps == nullptr || ! isValidCapsBlock (caps->caps))
        return false;

    block = caps->caps;
    return true;
}

/** The capability block of a product's preset or setup format version. A
    block of another version (the catalogue falls back to the base
    definition when no profile has the version) is no block for it. */
bool DataConversionManager::capsBlockForVersion (int productId, int kind, int version, CapsBlock& block) const
{
    const auto caps = DeviceProfiler::createCapsForDataVersions (content, productId, kind, version);
    if (caps == nullptr || ! isValidCapsBlock (caps->caps))
        return false;

    const auto& found = caps->caps;
    if ((kind == ConversionRule::presetData ? found.presetVersion : found.setupVersion) != version)
        return false;

    block = found;
    return true;
}

bool DataConversionManager::findConversionChain (juce::Array<ConversionRule>& steps, int sourceProductId, int sourceVersion,
                                                 int targetProductId, int targetVersion, int kind)
{
    steps.clear();

    if (sourceProductId == targetProductId && sourceVersion == targetVersion)
        return true;

    ConversionGraph graph ([this] (int productId, int ruleKind) { return content.getConversionRules (productId, ruleKind); });
    graph.buildFor (sourceProductId, targetProductId, kind);

    if (graph.getNumNodes() == 0)
        return false;

    ConversionPathFinder finder (graph);
    const auto path = finder.getPath (sourceProductId, sourceVersion, targetProductId, targetVersion);

    for (int i = 1; i < path.size(); ++i)
    {
        auto* from = path.getUnchecked (i - 1);
        auto* to = path.getUnchecked (i);
        const int edge = from->indexOfTarget (to);

        ConversionRule step;
        step.kind = kind;
        step.sourceProductId = from->productId;
        step.sourceVersion = from->version;
        step.targetProductId = to->productId;
        step.targetVersion = to->version;
        step.cost = from->costs[edge];
        step.scriptFile = from->scriptFiles[edge];
        steps.add (step);
    }

    return ! steps.isEmpty();
}

bool DataConversionManager::checkConversion (int sourceProductId, int sourceVersion, int targetProductId, int targetVersion, int kind)
{
    juce::Array<ConversionRule> steps;

    if (! findConversionChain (steps, sourceProductId, sourceVersion, targetProductId, targetVersion, kind))
        result.setBit (noChain);

    for (auto& step : steps)
    {
        if (! juce::File (step.scriptFile).existsAsFile())
        {
            result.setBit (scriptMissing);
            break;
        }
    }

    return ! result.hasErrors();
}

//==============================================================================
std::unique_ptr<DeviceData> DataConversionManager::convertDeviceData (const DeviceData& source, int targetProductId,
                                                                      const FirmwareVersion& targetVersion)
{
    CapsBlock targetBlock;
    const bool haveCaps = capsBlockForBuild (targetProductId, targetVersion.build, targetBlock);

    result.clear();
    sandbox.reset();   // a sandbox sees the source it was made with
    currentSource = &source;

    auto finish = [this] (std::unique_ptr<DeviceData> data)
    {
        sandbox.reset();
        preparedSteps.clear();
        currentSource = nullptr;
        return data;
    };

    auto cancel = [this, &finish]
    {
        result.setCancelled();
        return finish (nullptr);
    };

    if (! haveCaps)
    {
        result.setBit (capsMissing);
        return finish (nullptr);
    }

    if (shouldStop())
        return cancel();

    // Data converted within one product keeps its name; another product's comes from the catalogue.
    const auto targetName = source.getCapsBlock().productId == targetProductId ? source.getProductName()
                                                                               : content.getProductName (targetProductId);
    auto target = std::make_unique<DeviceData> (targetName, targetVersion, targetBlock,
                                                DeviceProfiler::createFactoryBank (content, targetProductId, targetVersion.build));

    juce::Array<ConversionRule> presetChain;
    const auto& sourceBlock = source.getCapsBlock();

    if (! source.getUsedPresetIndices().isEmpty()
        && ! findConversionChain (presetChain, sourceBlock.productId, sourceBlock.presetVersion,
                                  targetBlock.productId, targetBlock.presetVersion, ConversionRule::presetData))
    {
        result.setBit (noChain);
        return finish (nullptr);
    }

    int failed = 0;
    if (! convertPresets (source, *target, presetChain, failed))
        return finish (nullptr);

    if (shouldStop())
        return cancel();

    convertSetupInto (source, *target);

    if (result.wasCancelled())
        return finish (nullptr);

    target->clearModified (false);

    if (failed > 0)
        result.setBit (presetsInvalid);

    return finish (std::move (target));
}

bool DataConversionManager::convertPresets (const DeviceData& source, DeviceData& target,
                                            const juce::Array<ConversionRule>& chain, int& failed)
{
    const int slots = juce::jmin (source.getNumSlots(), target.getNumSlots());
    const int total = juce::jmin (source.getUsedPresetIndices().size(), target.getNumSlots());
    int done = 0;

    for (int i = 0; i < slots; ++i)
    {
        auto* preset = source.getPreset (i);
        if (preset == nullptr)
            continue;

        if (shouldStop())
        {
            result.setCancelled();
            return false;
        }

        auto converted = convertPreset (*preset, chain);

        if (converted == nullptr || ! converted->isComplete())
            ++failed;   // nothing, or nothing a unit or a file could take
        else if (storePreset (target, i, std::move (converted)))
            ++done;

        if (result.hasErrors())
            return false;

        notifyProgress (done, total);
    }

    return true;
}

bool DataConversionManager::storePreset (DeviceData& target, int slot, std::unique_ptr<Preset> preset)
{
    // The preset takes the target's block and the number of its slot, whatever
    // the script wrote into the header.
    preset->setCapsBlock (target.getCapsBlock());
    if (preset->getNumber() != slot)
        preset->setNumber (slot);

    if (target.setPreset (slot, std::move (preset)) == nullptr)
    {
        result.setBit (internal);
        return false;
    }

    return true;
}

void DataConversionManager::convertSetupInto (const DeviceData& source, DeviceData& target)
{
    if (! source.getSetup().isComplete())
        return;

    const auto& sourceBlock = source.getCapsBlock();
    const auto& targetBlock = target.getCapsBlock();
    juce::Array<ConversionRule> chain;

    if (! findConversionChain (chain, sourceBlock.productId, sourceBlock.setupVersion,
                               targetBlock.productId, targetBlock.setupVersion, ConversionRule::setupData))
    {
        result.setBit (target.getNumPresets() > 0 ? setupStepFailed : noChain);
        return;
    }

    auto converted = convertSetup (source.getSetup(), chain);
    if (result.wasCancelled())
        return;

    if (converted != nullptr)
        converted->setCapsBlock (targetBlock);

    // A setup short of its packets is none a unit or a file could take, as with presets.
    if (converted == nullptr || ! converted->isComplete() || ! target.setSetup (*converted, false))
    {
        result.setBit (setupRejected);
        return;
    }

    notifyFinished();
}

//==============================================================================
template <typename DataType>
std::unique_ptr<DataType> DataConversionManager::convertAlong (const DataType& data, const juce::Array<ConversionRule>& steps)
{
    result.clear();

    // A full copy: the header of a preset is part of it.
    auto current = std::make_unique<DataType> (data);

    for (auto& step : steps)
    {
        auto next = runStep (*current, step);
        auto* typed = dynamic_cast<DataType*> (next.get());
        if (typed == nullptr)
            return nullptr;

        next.release();
        current.reset (typed);
    }

    return current;
}

std::unique_ptr<Preset> DataConversionManager::convertPreset (const Preset& preset, const juce::Array<ConversionRule>& steps)
{
    return convertAlong (preset, steps);
}

std::unique_ptr<SetupData> DataConversionManager::convertSetup (const SetupData& setup, const juce::Array<ConversionRule>& steps)
{
    return convertAlong (setup, steps);
}

//==============================================================================
juce::String DataConversionManager::readScript (const ConversionRule& step)
{
    const juce::File file (step.scriptFile);

    // Anything larger was never fetched as a script, and counts as none.
    juce::MemoryBlock bytes;
    if (! FileBytes::readWhole (file, bytes, platform::DownloadPolicy::maxScriptBytes))
        return {};

    // The framework's strings read past the end of broken text.
    juce::String text;
    return Utf8::readText (bytes.getData(), bytes.getSize(), text) ? text : juce::String();
}

std::unique_ptr<DeviceMidiData> DataConversionManager::runScript (const juce::String& script, const DeviceMidiData& data,
                                                                  const CapsBlock& targetBlock)
{
    if (sandbox == nullptr)
        sandbox = std::make_unique<ScriptSandbox> (currentSource, [this] { return shouldStop(); });

    auto outcome = sandbox->run (script, data, targetBlock, getScriptTimeLimit());

    if (outcome.stopped || shouldStop())
    {
        result.setCancelled();
        return nullptr;
    }

    if (outcome.result.wasOk() && outcome.reportedError.isEmpty())
    {
        if (outcome.converted == nullptr || outcome.converted->getKind() != data.getKind())
            result.setBit (internal);

        return std::move (outcome.converted);
    }

    result.setBit (scriptExecution);
    result.setExplicitText (outcome.result.failed() ? outcome.result.getErrorMessage() : outcome.reportedError);
    result.setBit (internal);
    return nullptr;
}

const DataConversionManager::PreparedStep* DataConversionManager::prepareStep (const ConversionRule& step, int kind)
{
    // A job runs the same steps for every preset: their scripts and target
    // blocks are looked up once per job.
    const auto key = std::make_tuple (step.scriptFile, kind, (int) step.targetProductId, step.targetVersion);
    if (const auto found = preparedSteps.find (key); found != preparedSteps.end())
        return &found->second;

    if (! juce::File (step.scriptFile).existsAsFile())
        result.setBit (scriptMissing);

    if (result.hasErrors())
        return nullptr;

    if (kind != ConversionRule::presetData && kind != ConversionRule::setupData)
    {
        result.setBit (internal);
        return nullptr;
    }

    PreparedStep prepared;
    if (! capsBlockForVersion (step.targetProductId, kind, step.targetVersion, prepared.targetBlock))
    {
        result.setBit (capsMissing);
        return nullptr;
    }

    prepared.script = readScript (step);
    if (prepared.script.isEmpty())
    {
        result.setBit (scriptEmpty);
        return nullptr;
    }

    if (currentSource == nullptr)
    {
        oneStep = prepared;
        return &oneStep;
    }

    return &preparedSteps.emplace (key, prepared).first->second;
}

std::unique_ptr<DeviceMidiData> DataConversionManager::runStep (const DeviceMidiData& data, const ConversionRule& step)
{
    if (shouldStop())
        result.setCancelled();

    const auto* prepared = prepareStep (step, data.getKind());
    if (prepared == nullptr || result.hasErrors())
        return nullptr;

    const auto& targetBlock = prepared->targetBlock;
    const auto& script = prepared->script;

    auto converted = runScript (script, data, targetBlock);
    if (converted == nullptr || result.hasErrors())
        return nullptr;

    // A header whose step count disagrees with the packets written is no preset.
    if (auto* preset = dynamic_cast<const Preset*> (converted.get()); preset != nullptr && preset->hasName() && ! preset->isComplete())
    {
        result.setBit (presetStepFailed);
        return nullptr;
    }

    return converted;
}

//==============================================================================
void DataConversionManager::notifyProgress (int done, int total)
{
    for (int i = listeners.size(); --i >= 0;)
        listeners.getUnchecked (i)->conversionProgress (done, total);
}

void DataConversionManager::notifyFinished()
{
    for (int i = listeners.size(); --i >= 0;)
        listeners.getUnchecked (i)->conversionFinished();
}
