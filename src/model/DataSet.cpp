#include "model/DataSet.h"

DataSet::DataSet (std::shared_ptr<const DeviceData> liveData, std::unique_ptr<DeviceData> workingCopy)
    : live (std::move (liveData)), working (std::move (workingCopy))
{
    if (working == nullptr && live != nullptr)
        working = live->clone (false);
}

DataSet::DataSet (std::unique_ptr<DeviceDataArchive> backup)
    : archive (std::move (backup))
{
}

DataSet::DataSet (const DataSet& other)
    : juce::ReferenceCountedObject(),
      live (other.live),
      archive (other.archive != nullptr ? std::make_unique<DeviceDataArchive> (*other.archive) : nullptr),
      working (other.working != nullptr ? other.working->clone (true) : nullptr)
{
}

DataSet::~DataSet() = default;

const DeviceData* DataSet::getDeviceData() const
{
    if (live != nullptr)
        return live.get();

    return archive != nullptr ? archive->getDeviceData() : nullptr;
}

DeviceData* DataSet::getWorkingData()
{
    if (working == nullptr && archive != nullptr)
        if (const auto* data = archive->getDeviceData())
            working = data->clone (false);

    return working.get();
}

bool DataSet::isModified() const
{
    if (working == nullptr)
        return false;

    if (working->isModified())
        return true;

    const auto* origin = getDeviceData();

    if (origin == nullptr)
        return false;

    for (int i = 1; i < origin->getNumSlots(); ++i)
        if (origin->isPresetSlotUsed (i) && ! working->isPresetSlotUsed (i))
            return true;

    return false;
}
