#include "model/DeviceData.h"

#include "model/DataStream.h"
#include "model/FileBytes.h"
#include "model/SafeSave.h"
#include "model/SysEx.h"

namespace
{
    int slotCountOf (const CapsBlock& caps)
    {
        return juce::jmax (0, caps.numPresets);
    }

    // Up to this build of the program, files held the caps block in its 40-byte form.
    constexpr int lastBuildWithLegacyCapsBlock = 30;

    // Far beyond any product (preset numbers are 14-bit, packet indices 7-bit);
    // keeps a corrupt file from asking for huge slot arrays or packet sizes.
    bool isWithinFileLimits (const CapsBlock& caps)
    {
        constexpr int32_t maxCount = 0x4000;
        constexpr int32_t maxPacketSize = 1 << 20;

        return caps.numPresets <= maxCount
            && caps.numSyxPackagesPerPresetStep <= maxCount && caps.maxPresetSteps <= maxCount
            && caps.numSyxPackagesPerSetup <= maxCount
            && caps.presetStepPacketSize <= maxPacketSize && caps.setupPacketSize <= maxPacketSize;
    }

    // The reader refuses a head like this, so it is never saved as a success.
    bool canBeReadBack (const juce::String& productName, const FirmwareVersion& firmware, const CapsBlock& caps)
    {
        return productName.isNotEmpty()
            && productName.getNumBytesAsUTF8() <= (size_t) DataStream::maxStringBytes
            && firmware.build != 0
            && isValidCapsBlock (caps) && isWithinFileLimits (caps);
    }
}

DeviceData::DeviceData (const juce::String& name, const FirmwareVersion& version, const CapsBlock& block,
                        std::shared_ptr<const FactoryBank> factory)
    : productName (name),
      firmware (version),
      caps (block),
      setup (block),
      reference (std::move (factory))
{
    slots.resize ((size_t) slotCountOf (caps));
}

DeviceData::~DeviceData()
{
    masterReference.clear();
}

std::unique_ptr<DeviceData> DeviceData::createCopy (const juce::Array<int>& indices, bool withSetup, bool clearFlags) const
{
    auto copy = std::make_unique<DeviceData> (productName, firmware, caps, reference);

    if (withSetup)
    {
        copy->setup = setup;

        if (clearFlags)
            copy->setup.setModified (false);
    }

    for (auto i : indices)
    {
        if (! isPresetSlotUsed (i))
            continue;

        auto preset = std::make_unique<Preset> (*slots[(size_t) i]);

        if (clearFlags)
            preset->setModified (false);

        copy->slots[(size_t) i] = std::move (preset);
    }

    copy->modified = clearFlags ? false : modified;
    return copy;
}

std::unique_ptr<DeviceData> DeviceData::clone (bool clearFlags) const
{
    return createCopy (getUsedPresetIndices(), true, clearFlags);
}

bool DeviceData::isUserSlot (int index) const
{
    return index >= 1 && index < getNumSlots();
}

//==============================================================================
bool DeviceData::isPresetSlotUsed (int index) const
{
    return juce::isPositiveAndBelow (index, getNumSlots()) && slots[(size_t) index] != nullptr;
}

Preset* DeviceData::getPreset (int index) const
{
    return isPresetSlotUsed (index) ? slots[(size_t) index].get() : nullptr;
}

Preset* DeviceData::createPreset (int index)
{
    return setPreset (index, std::make_unique<Preset> (caps));
}

Preset* DeviceData::setPreset (int index, std::unique_ptr<Preset> preset)
{
    if (! juce::isPositiveAndBelow (index, getNumSlots()))
        return nullptr;

    slots[(size_t) index] = std::move (preset);
    modified = true;
    return slots[(size_t) index].get();
}

void DeviceData::deletePreset (int index)
{
    if (! isPresetSlotUsed (index))
        return;

    slots[(size_t) index].reset();
    modified = true;
}

void DeviceData::deletePresets (const juce::Array<int>& indices)
{
    for (auto i : indices)
        deletePreset (i);
}

void DeviceData::deleteAllPresets()
{
    for (int i = 0; i < getNumSlots(); ++i)
        deletePreset (i);
}

int DeviceData::getNumPresets() const
{
    return getUsedPresetIndices().size();
}

juce::Array<int> DeviceData::getUsedPresetIndices() const
{
    return getUsedPresetIndicesInRange (0, getNumSlots() - 1);
}

juce::Array<int> DeviceData::getUsedPresetIndicesInRange (int first, int last) const
{
    const auto start = first < 0 ? 0 : juce::jmin (first, last);
    const auto end = juce::jmin (juce::jmax (last, start), getNumSlots() - 1);

    juce::Array<int> used;

    for (int i = start; i <= end; ++i)
        if (isPresetSlotUsed (i))
            used.add (i);

    return used;
}

juce::Array<int> DeviceData::getEmptyPresetIndices() const
{
    juce::Array<int> empty;

    for (int i = 1; i < getNumSlots(); ++i)
        if (! isPresetSlotUsed (i))
            empty.add (i);

    return empty;
}

juce::StringArray DeviceData::getPresetNames (const juce::Array<int>& indices) const
{
    juce::StringArray names;

    for (auto i : indices)
        names.add (isPresetSlotUsed (i) ? getPreset (i)->getName() : juce::String());

    return names;
}

bool DeviceData::isPresetModified (int index) const
{
    return isPresetSlotUsed (index) && getPreset (index)->isModified();
}

void DeviceData::setPresetModified (int index, bool flag)
{
    if (! isPresetSlotUsed (index))
        return;

    getPreset (index)->setModified (flag);

    if (flag)
        modified = true;
}

std::unique_ptr<Preset> DeviceData::copyForSlot (const Preset& preset, int slot) const
{
    auto copy = std::make_unique<Preset> (preset);
    copy->setCapsBlock (caps);

    if (copy->hasName() && copy->getNumber() != slot)
        copy->setNumber (slot);

    copy->setModified (true);
    return copy;
}

void DeviceData::copyPreset (int index, const DeviceData& other)
{
    if (&other == this || ! other.isPresetSlotUsed (index) || ! juce::isPositiveAndBelow (index, getNumSlots()))
        return;

    setPreset (index, copyForSlot (*other.getPreset (index), index));
}

void DeviceData::copyPresetTo (int to, int from, const DeviceData& other)
{
    if ((&other == this && to == from) || ! other.isPresetSlotUsed (from)
         || ! juce::isPositiveAndBelow (to, getNumSlots()))
        return;

    setPreset (to, copyForSlot (*other.getPreset (from), to));
}

void DeviceData::swapPresets (int i, int j, DeviceData& other)
{
    if ((&other == this && i == j) || ! isPresetSlotUsed (i) || ! other.isPresetSlotUsed (j))
        return;

    std::swap (slots[(size_t) i], other.slots[(size_t) j]);
    slots[(size_t) i]->setNumber (i);
    other.slots[(size_t) j]->setNumber (j);
    modified = true;
    other.modified = true;
}

int DeviceData::appendPresetSteps (int i, int j, const DeviceData& other)
{
    if ((&other == this && i == j) || ! isPresetSlotUsed (i) || ! other.isPresetSlotUsed (j))
        return 0;

    modified = true;
    return getPreset (i)->appendAllSteps (*other.getPreset (j));
}

void DeviceData::copyPresetsFrom (const DeviceData& other)
{
    if (&other == this || ! isSameDeviceType (other.caps))
        return;

    for (auto i : other.getUsedPresetIndices())
        if (juce::isPositiveAndBelow (i, getNumSlots()))
            setPreset (i, copyForSlot (*other.getPreset (i), i));

    if (other.setup.isComplete())
    {
        setup = other.setup;
        modified = true;
    }
}

//==============================================================================
bool DeviceData::setSetup (const SetupData& newSetup, bool markModified)
{
    if (setup.isComplete() && ! setup.isCompatible (newSetup))
        return false;

    if (newSetup.getSetupDataVersion() != caps.setupVersion)
        return false;

    setup = newSetup;

    if (markModified)
        modified = true;

    return true;
}

void DeviceData::clearSetup()
{
    setup.clear();
    modified = true;
}

//==============================================================================
bool DeviceData::isModified() const
{
    if (modified)
        return true;

    for (int i = 1; i < getNumSlots(); ++i)
        if (isPresetModified (i))
            return true;

    return setup.isComplete() && setup.isModified();
}

void DeviceData::clearModified (bool onlyWhenPartsClean)
{
    if (onlyWhenPartsClean)
    {
        const auto own = modified;
        modified = false;

        if (isModified())
        {
            modified = own;
            return;
        }
    }

    modified = false;

    for (auto& preset : slots)
        if (preset != nullptr)
            preset->setModified (false);

    if (setup.isComplete())
        setup.setModified (false);
}

bool DeviceData::isSameDeviceType (const CapsBlock& other) const
{
    return caps.productId == other.productId
        && caps.presetVersion == other.presetVersion
        && caps.setupVersion == other.setupVersion;
}

bool DeviceData::isPresetDifferent (int index) const
{
    if (! isPresetSlotUsed (index))
        return false;

    if (reference == nullptr)
        return true;

    return ! reference->isFactoryPreset (index, getPreset (index)->getMD5());
}

int DeviceData::getNumDifferentPresets() const
{
    return getDifferentPresetIndices().size();
}

juce::Array<int> DeviceData::getDifferentPresetIndices() const
{
    juce::Array<int> different;

    for (int i = 0; i < getNumSlots(); ++i)
        if (isPresetDifferent (i))
            different.add (i);

    return different;
}

void DeviceData::getChangedPresetIndices (const DeviceData& other, juce::Array<int>& removed, juce::Array<int>& changed) const
{
    removed.clear();
    changed.clear();

    for (int i = 1; i < getNumSlots(); ++i)
    {
        if (isPresetSlotUsed (i))
        {
            if (getPreset (i)->isModified())
                changed.add (i);
        }
        else if (other.isPresetSlotUsed (i))
        {
            removed.add (i);
        }
    }
}

bool DeviceData::hasGaps() const
{
    bool gap = false;

    for (int i = 1; i < getNumSlots(); ++i)
    {
        if (! isPresetSlotUsed (i))
            gap = true;
        else if (gap)
            return true;
    }

    return false;
}

//==============================================================================
void DeviceData::defragment (int last)
{
    const auto end = juce::jmin (last, getNumSlots() - 1);
    int target = 1;

    // Presets keep their order and move down over the gaps; nothing beyond `end` moves.
    for (int i = 1; i <= end; ++i)
    {
        if (! isPresetSlotUsed (i))
            continue;

        if (i != target)
        {
            std::swap (slots[(size_t) target], slots[(size_t) i]);
            slots[(size_t) target]->setNumber (target);
            modified = true;
        }

        ++target;
    }
}

juce::Array<int> DeviceData::getInsertIndices (int position, int count) const
{
    juce::Array<int> touched;

    if (! juce::isPositiveAndBelow (position, getNumSlots()) || count < 0)
        return touched;

    const auto n = juce::jmin (getNumSlots() - position, count);
    auto pending = n;
    int slot = position;

    for (; slot < position + n; ++slot)
    {
        touched.add (slot);

        if (! isPresetSlotUsed (slot))
            --pending;
    }

    for (; pending >= 1 && slot < getNumSlots(); ++slot)
    {
        touched.add (slot);

        if (! isPresetSlotUsed (slot))
            --pending;
    }

    return touched;
}

void DeviceData::insertPresets (int position, const juce::Array<int>& indices, const DeviceData& source)
{
    if (! isUserSlot (position))
        return;

    const auto n = juce::jmin (getNumSlots() - position, indices.size());

    if (n < 1)
        return;

    // The presets pushed up: those in the inserted range, then the used ones
    // after it until as many empty slots have been passed.
    juce::Array<int> displaced = getUsedPresetIndicesInRange (position, position + n - 1);
    auto absorb = displaced.size();

    for (int s = position + n; s < getNumSlots() - 1 && absorb > 0; ++s)
    {
        if (isPresetSlotUsed (s))
            displaced.add (s);
        else
            --absorb;
    }

    // Copies first, so inserting presets of this data from slots that the
    // insert overwrites still takes the originals.
    const auto pushed = createCopy (displaced, false, false);
    const auto inserted = &source == this ? createCopy (indices, false, false) : nullptr;
    const auto& from = inserted != nullptr ? *inserted : source;

    for (int k = 0; k < n; ++k)
        copyPresetTo (position + k, indices[k], from);

    int target = position + n;

    for (int s = position; s < getNumSlots() && target < getNumSlots(); ++s)
    {
        if (! pushed->isPresetSlotUsed (s))
            continue;

        copyPresetTo (target, s, *pushed);
        ++target;
    }
}

//==============================================================================
bool DeviceData::writeHead (juce::OutputStream& out) const
{
    return DataStream::writeString (out, getApplicationVersionRecord().toString())
        && DataStream::writeString (out, productName)
        && DataStream::writeString (out, firmware.toString())
        && (caps.writeToStream (out), true);
}

bool DeviceData::writeBody (juce::OutputStream& out) const
{
    if (! writeHead (out) || ! out.writeInt (slots.empty() ? DataStream::noRecord : getNumSlots()))
        return false;

    for (const auto& preset : slots)
    {
        const auto ok = preset == nullptr ? out.writeInt (DataStream::noRecord) : preset->writeToStream (out);

        if (! ok)
            return false;
    }

    return setup.writeToStream (out);
}

DeviceData::SaveResult DeviceData::checkSavable() const
{
    if (! canBeReadBack (productName, firmware, caps))
        return writeFailed;

    for (const auto& preset : slots)
        if (preset != nullptr && ! preset->isComplete())
            return presetIncomplete;

    return saved;
}

DeviceData::SaveResult DeviceData::saveToFile (const juce::File& file) const
{
    if (const auto check = checkSavable(); check != saved)
        return check;

    return SafeSave::replaceFile (file, [this] (juce::OutputStream& out) { return writeBody (out); }) ? saved : writeFailed;
}

juce::String DeviceData::getWorkingFileName()
{
    return "working.mwd";
}

juce::String DeviceData::getSyncFileName()
{
    return "sync.mwd";
}

DeviceData::SaveResult DeviceData::saveWorkingFile (const juce::File& folder, bool working) const
{
    if (! SafeSave::makeFolder (folder))
        return writeFailed;

    return saveToFile (folder.getChildFile (working ? getWorkingFileName() : getSyncFileName()));
}

bool DeviceData::readFileHeader (juce::InputStream& in, FileHeader& header)
{
    juce::String program, firmwareText;

    if (! DataStream::readString (in, program) || ! DataStream::readString (in, header.productName)
         || ! DataStream::readString (in, firmwareText))
        return false;

    header.program = FirmwareVersion::fromString (program);
    header.firmware = FirmwareVersion::fromString (firmwareText);

    if (header.program.build == 0 || header.productName.isEmpty() || header.firmware.build == 0 || in.isExhausted())
        return false;

    return header.program.build > lastBuildWithLegacyCapsBlock ? header.caps.readFromStream (in)
                                                               : header.caps.readLegacyFromStream (in);
}

std::unique_ptr<DeviceData> DeviceData::loadFromFile (const juce::File& file, std::shared_ptr<const FactoryBank> reference)
{
    // Read whole first: the reader checks every count against the bytes left,
    // which a file stream would answer with a system call each time.
    juce::MemoryBlock content;

    if (! FileBytes::readWhole (file, content, maxFileBytes))
        return nullptr;

    juce::MemoryInputStream in (content, false);
    FileHeader header;
    int32_t slotCount = 0;

    // Data without slots is written without a count, and reads back as such.
    if (! readFileHeader (in, header) || ! DataStream::readInt (in, slotCount) || slotCount < DataStream::noRecord)
        return nullptr;

    if (! isValidCapsBlock (header.caps) || ! isWithinFileLimits (header.caps))
        return nullptr;

    auto data = std::make_unique<DeviceData> (header.productName, header.firmware, header.caps, std::move (reference));

    for (int i = 0; i < slotCount; ++i)
    {
        int32_t marker = 0;

        if (! DataStream::readInt (in, marker))
            return nullptr;

        if (marker == DataStream::noRecord)
            continue;

        auto* preset = data->createPreset (i);

        if (preset == nullptr || ! preset->readFromStream (in))
            return nullptr;
    }

    if (! data->setup.readFromStream (in))
        return nullptr;

    data->clearModified (true);
    return data;
}

namespace
{
    // Three texts of at most maxStringBytes each, their terminators and the
    // longest caps block: the whole head, read in one go.
    constexpr int maxHeadBytes = 3 * (DataStream::maxStringBytes + 2) + CapsBlock::legacySize;
}

bool DeviceData::readFileInfo (const juce::File& file, FileInfo& info)
{
    juce::MemoryBlock head;

    if (! FileBytes::readHead (file, head, (size_t) maxHeadBytes))
        return false;

    juce::MemoryInputStream in (head, false);
    FileHeader header;

    if (! readFileHeader (in, header) || ! isValidCapsBlock (header.caps) || ! isWithinFileLimits (header.caps))
        return false;

    info = { header.productName, header.firmware, header.caps };
    return true;
}

bool DeviceData::matchesFileHeader (const juce::File& file) const
{
    juce::MemoryBlock head;

    if (! FileBytes::readHead (file, head, (size_t) maxHeadBytes))
        return false;

    juce::MemoryInputStream in (head, false);
    FileHeader header;

    return readFileHeader (in, header)
        && header.productName == productName
        && header.caps == caps
        && header.firmware.build == firmware.build;
}

//==============================================================================
juce::uint32 DeviceData::importSysEx (const juce::File& file, juce::SortedSet<int>& changedSlots, int startSlot)
{
    juce::MemoryBlock block;

    switch (FileBytes::kindOf (file, SysEx::maxFileBytes))
    {
        case FileBytes::Kind::missing:
        case FileBytes::Kind::unreadable: return SysEx::fileCannotOpen;
        case FileBytes::Kind::regular:    break;
        case FileBytes::Kind::tooLarge:
        case FileBytes::Kind::other:      return SysEx::fileUnreadable;
    }

    if (! FileBytes::readWhole (file, block, SysEx::maxFileBytes))
        return SysEx::fileUnreadable;

    if (block.isEmpty())
        return 0;

    const auto* bytes = static_cast<const uint8_t*> (block.getData());
    const auto size = (int) block.getSize();
    juce::uint32 status = 0;
    int used = 0;

    while (used < size && (status & 0xFFFF0000) == 0)
    {
        int productId = 0, version = 0, taken = 0;
        status = SysEx::checkFileContent (bytes + used, size - used, caps, nullptr, productId, version);

        if ((status & (SysEx::fileNotSysEx | SysEx::fileOtherMaker | SysEx::fileOtherProduct)) != 0)
            break;

        if (status == SysEx::fileStepPacket)
            return status | SysEx::fileOutOfOrder;

        if (status == SysEx::fileSetup)
        {
            const auto parsed = SysEx::parseSetupData (bytes + used, size - used, taken, status, caps);

            if (parsed == nullptr)
                break;

            setSetup (*parsed, true);
            used += taken;
            continue;
        }

        if (status == SysEx::filePreset)
        {
            auto parsed = SysEx::parsePreset (bytes + used, size - used, taken, status, caps);

            if (parsed == nullptr)
                break;

            if (startSlot >= 0)
            {
                if (startSlot >= getNumSlots())
                    return status | SysEx::fileBeyondLastSlot;

                parsed->setNumber (startSlot++);
            }

            // A number from the file becomes a slot only when it names a user slot.
            const auto number = parsed->getNumber();

            if (! isUserSlot (number))
                return SysEx::fileNotASlot;

            parsed->setCapsBlock (caps);
            auto* preset = setPreset (number, std::move (parsed));
            changedSlots.add (number);
            preset->setModified (true);
            used += taken;
            continue;
        }

        // Anything else (a firmware start, another version or command) is skipped to its end.
        while (used < size && bytes[used] != SysEx::endByte)
            ++used;

        used = juce::jmin (size, used + 1);
    }

    return status;
}

bool DeviceData::exportPreset (const juce::File& file, int index, bool append) const
{
    const auto* preset = getPreset (index);

    if (preset == nullptr || ! preset->isComplete())
        return false;

    // Appending goes through a new file too, so a failed write never leaves
    // half a preset at the end of the old ones.
    return SafeSave::replaceFile (file, [&] (juce::OutputStream& out)
    {
        if (append && file.exists())
        {
            juce::MemoryBlock old;

            if (! FileBytes::readWhole (file, old, SysEx::maxFileBytes) || ! out.write (old.getData(), old.getSize()))
                return false;
        }

        return preset->writeSysEx (out);
    });
}

bool DeviceData::exportPresets (const juce::File& file, const juce::Array<int>& indices) const
{
    if (indices.isEmpty())
        return true;

    // The whole file is made anew once, then each preset is added; a preset
    // that cannot be exported never leaves the others in a stale file.
    bool all = true;
    int written = 0;

    const auto ok = SafeSave::replaceFile (file, [&] (juce::OutputStream& out)
    {
        for (auto i : indices)
        {
            const auto* preset = getPreset (i);

            if (preset == nullptr || ! preset->isComplete())
            {
                all = false;
                continue;
            }

            if (! preset->writeSysEx (out))
                return false;

            ++written;
        }

        return written > 0;
    });

    return ok && all;
}

bool DeviceData::exportSetup (const juce::File& file) const
{
    if (! setup.isComplete())
        return false;

    return SafeSave::replaceFile (file, [this] (juce::OutputStream& out) { return setup.writeSysEx (out); });
}

bool DeviceData::saveFactoryBank (const juce::File& file) const
{
    juce::XmlElement root ("factoryBank");

    for (int i = 1; i < getNumSlots(); ++i)
    {
        const auto* preset = getPreset (i);

        if (preset == nullptr || ! preset->isComplete())
            continue;

        auto* element = root.createNewChildElement ("preset");
        element->setAttribute ("number", i);
        element->setAttribute ("md5", preset->getMD5String());
    }

    juce::XmlElement::TextFormat format;
    format.customEncoding = "UTF-8";
    return SafeSave::replaceFile (file, [&] (juce::OutputStream& out) { root.writeTo (out, format); return true; });
}
