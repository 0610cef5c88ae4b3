#include "conversion/DataConversionManager.h"

#include "app/Nexus.h"
#include "content/ContentManager.h"
#include "conversion/BelvoraScriptInterface.h"
#include "conversion/ConversionGraph.h"
#include "conversion/ConversionPathFinder.h"
#include "conversion/PresetConversionObject.h"
#include "conversion/ReferenceDataObject.h"
#include "conversion/SetupConversionObject.h"
#include "devices/DeviceCaps.h"
#include "devices/DeviceProfiler.h"
#include "model/Utf8.h"

using namespace ConversionErrorBits;

namespace
{
    // The program's catalogue, until the conversion jobs are given theirs.
    ContentManager::Document capsDocumentOf (int productId)
    {
        auto* content = Nexus::getContentManager();
        return content != nullptr ? content->getCapsXml (productId) : nullptr;
    }

    /** The capability block of a product at a firmware build; false when there is none. */
    bool capsBlockForBuild (int productId, int build, CapsBlock& block)
    {
        const auto caps = DeviceProfiler::createCapsFrom (capsDocumentOf (productId).get(), productId, build);
        if (caps == nullptr || ! isValidCapsBlock (caps->caps))
            return false;

        block = caps->caps;
        return true;
    }

    // Data converted within one product keeps its name; another product's comes from the catalogue.
    juce::String productNameFor (const DeviceData& source, int productId)
    {
        if (source.getCapsBlock().productId == productId)
            return source.getProductName();

        auto* content = Nexus::getContentManager();
        return content != nullptr ? content->getProductName (productId) : juce::String();
    }

    /** The capability block of a product's preset or setup format version. A
        block of another version (the catalogue falls back to the base
        definition when no profile has the version) is no block for it. */
    bool capsBlockForVersion (int productId, int kind, int version, CapsBlock& block)
    {
        const auto caps = DeviceProfiler::createCapsForDataVersionsFrom (capsDocumentOf (productId).get(), productId, kind, version);
        if (caps == nullptr || ! isValidCapsBlock (caps->caps))
            return false;

        const auto& found = caps->caps;
        if ((kind == ConversionRule::presetData ? found.presetVersion : found.setupVersion) != version)
            return false;

        block = found;
        return true;
    }

    int countUsedSlots (const DeviceData& data)
    {
        return data.getUsedPresetIndices().size();
    }
}

//==============================================================================
DataConversionManager::~DataConversionManager() = default;

bool DataConversionManager::findConversionChain (juce::Array<ConversionRule>& steps, int sourceProductId, int sourceVersion,
                                                 int targetProductId, int targetVersion, int kind)
{
    steps.clear();

    if (sourceProductId == targetProductId && sourceVersion == targetVersion)
        return true;

    ConversionGraph graph;
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
    currentSource = &source;

    auto finish = [this] (std::unique_ptr<DeviceData> data)
    {
        currentSource = nullptr;
        return data;
    };

    if (! haveCaps)
    {
        result.setBit (capsMissing);
        return finish (nullptr);
    }

    auto target = std::make_unique<DeviceData> (productNameFor (source, targetProductId), targetVersion, targetBlock,
                                                DeviceProfiler::createFactoryBankFrom (capsDocumentOf (targetProductId).get(),
                                                                                       targetProductId, targetVersion.build));

    juce::Array<ConversionRule> presetChain;
    const auto& sourceBlock = source.getCapsBlock();

    if (countUsedSlots (source) > 0
        && ! findConversionChain (presetChain, sourceBlock.productId, sourceBlock.presetVersion,
                                  targetBlock.productId, targetBlock.presetVersion, ConversionRule::presetData))
    {
        result.setBit (noChain);
        return finish (nullptr);
    }

    int failed = 0;
    if (! convertPresets (source, *target, presetChain, failed))
        return finish (nullptr);

    convertSetupInto (source, *target);
    target->clearModified (false);

    if (failed > 0)
        result.setBit (presetsInvalid);

    return finish (std::move (target));
}

bool DataConversionManager::convertPresets (const DeviceData& source, DeviceData& target,
                                            const juce::Array<ConversionRule>& chain, int& failed)
{
    const int slots = juce::jmin (source.getNumSlots(), target.getNumSlots());
    const int total = juce::jmin (countUsedSlots (source), target.getNumSlots());
    int done = 0;

    for (int i = 0; i < slots; ++i)
    {
        auto* preset = source.getPreset (i);
        if (preset == nullptr)
            continue;

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
    if (converted != nullptr)
        converted->setCapsBlock (targetBlock);

    if (converted == nullptr || ! target.setSetup (*converted, false))
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

    // Conversion scripts are small; anything this large counts as no script.
    if (file.getSize() > maxScriptSize)
        return {};

    juce::MemoryBlock bytes;
    if (! file.loadFileAsData (bytes) || bytes.getSize() > (size_t) maxScriptSize)
        return {};

    // Text of another encoding announces itself; anything else must be valid
    // UTF-8, as the framework's strings read past the end of broken text.
    const auto* data = static_cast<const char*> (bytes.getData());
    const auto size = bytes.getSize();
    const bool utf16 = size >= 2 && (juce::CharPointer_UTF16::isByteOrderMarkBigEndian (data)
                                     || juce::CharPointer_UTF16::isByteOrderMarkLittleEndian (data));

    if (! utf16 && ! Utf8::isValid (data, size))
        return {};

    return juce::String::createStringFromData (data, (int) size);
}

bool DataConversionManager::runScript (const juce::String& script, const char* objectName, juce::DynamicObject* conversionObject)
{
    juce::DynamicObject::Ptr belvora (new BelvoraScriptInterface());

    juce::Array<ScriptRunner::NamedObject> objects;
    objects.add ({ "Belvora", belvora });
    objects.add ({ "ReferenceData", new ReferenceDataObject (currentSource) });
    objects.add ({ objectName, conversionObject });

    if (scriptRunner == nullptr)
        scriptRunner = std::make_unique<ScriptRunner>();

    const auto outcome = scriptRunner->execute (script, objects, getScriptTimeLimit());

    const auto& reported = static_cast<BelvoraScriptInterface&> (*belvora).getErrorText();
    const auto error = outcome.failed() ? outcome.getErrorMessage() : reported;

    if (outcome.wasOk() && reported.isEmpty())
        return true;

    result.setBit (scriptExecution);
    result.setExplicitText (error);
    result.setBit (internal);
    return false;
}

std::unique_ptr<DeviceMidiData> DataConversionManager::runStep (const DeviceMidiData& data, const ConversionRule& step)
{
    const int kind = data.getKind();

    if (! juce::File (step.scriptFile).existsAsFile())
        result.setBit (scriptMissing);

    if (result.hasErrors())
        return nullptr;

    if (kind != ConversionRule::presetData && kind != ConversionRule::setupData)
    {
        result.setBit (internal);
        return nullptr;
    }

    CapsBlock targetBlock;
    if (! capsBlockForVersion (step.targetProductId, kind, step.targetVersion, targetBlock))
    {
        result.setBit (capsMissing);
        return nullptr;
    }

    const auto script = readScript (step);
    if (script.isEmpty())
    {
        result.setBit (scriptEmpty);
        return nullptr;
    }

    if (kind == ConversionRule::presetData)
    {
        juce::DynamicObject::Ptr object (new PresetConversionObject (static_cast<const Preset&> (data), targetBlock));
        if (! runScript (script, "PresetConversion", object.get()))
            return nullptr;

        auto converted = std::make_unique<Preset> (static_cast<PresetConversionObject&> (*object).getTargetData());

        // A header whose step count disagrees with the packets written is no preset.
        if (converted->hasName() && ! converted->isComplete())
        {
            result.setBit (presetStepFailed);
            return nullptr;
        }

        return converted;
    }

    juce::DynamicObject::Ptr object (new SetupConversionObject (static_cast<const SetupData&> (data), targetBlock));
    if (! runScript (script, "SetupConversion", object.get()))
        return nullptr;

    return std::make_unique<SetupData> (static_cast<SetupConversionObject&> (*object).getTargetData());
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
