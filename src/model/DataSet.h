#pragma once

#include "model/DeviceDataArchive.h"

#include <memory>

/** A source of device data in the source tree: a working copy that the user
    edits, paired with where it came from, the connected unit's data or a
    backup. Held by the tree's nodes through reference-counted pointers;
    message thread only.

    The unit's data is an immutable snapshot: the set keeps the one it was
    given until the page hands it a newer one, or none when the unit is gone.
    A backup's working copy is made when it is first asked for, so a tree of
    many backups costs nothing until one is opened. */
class DataSet : public juce::ReferenceCountedObject
{
public:
    using Ptr = juce::ReferenceCountedObjectPtr<DataSet>;

    /** Over the unit's data: the working copy given, or else a copy of the unit's data. */
    DataSet (std::shared_ptr<const DeviceData> live, std::unique_ptr<DeviceData> working);

    /** Over a backup, which the set takes. */
    explicit DataSet (std::unique_ptr<DeviceDataArchive> archive);

    /** The same unit data, a copy of the backup and of the working copy (with its flags cleared). */
    DataSet (const DataSet& other);
    DataSet& operator= (const DataSet&) = delete;

    ~DataSet() override;

    /** What the working copy is compared with: the unit's data while the set
        has it, else the backup's data; null when neither. */
    const DeviceData* getDeviceData() const;

    /** The working copy; for a backup made from its data on first use. Null when there is none. */
    DeviceData* getWorkingData();
    bool hasWorkingData() const noexcept                     { return working != nullptr; }

    DeviceDataArchive* getArchive() const noexcept           { return archive.get(); }

    const std::shared_ptr<const DeviceData>& getLiveData() const noexcept   { return live; }

    /** A newer snapshot of the unit's data, or none once the unit has gone. */
    void setLiveData (std::shared_ptr<const DeviceData> snapshot)           { live = std::move (snapshot); }

    /** Whether the working copy holds edits its origin lacks: its own flags,
        or a preset the origin still has that the copy lost. */
    bool isModified() const;

private:
    std::shared_ptr<const DeviceData> live;
    std::unique_ptr<DeviceDataArchive> archive;
    std::unique_ptr<DeviceData> working;
};
