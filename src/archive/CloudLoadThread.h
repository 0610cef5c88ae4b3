#pragma once

#include "archive/CloudArchiveManager.h"
#include "conversion/DataConversionManager.h"

#include <functional>

/** One reading of the packs folder: builds the groups and the archive nodes
    into a detached "Cloud" node, converting archives of the unit's product
    made for other data formats and saving them in place (a save that cannot
    be checked afterwards marks the pack to be downloaded again). Archives
    that do not parse, link outside the pack, are of another product or fail
    to convert are left out.

    Holds the catalogue's packs lock from the first file read to the last
    written. Stops cooperatively: between files, a running script at once;
    a stopped reading hands nothing over. */
class CloudArchiveManager::LoadThread : public juce::Thread,
                                        private DataConversionManager::Listener
{
public:
    /** Called on this thread at the end with the built node; an invalid one when the reading was stopped. */
    using Completion = std::function<void (juce::ValueTree)>;

    LoadThread (const ContentManager& content, const CapsBlock& unitCaps, const FirmwareVersion& unitFirmware,
                const juce::File& packsFolder, std::shared_ptr<ConversionProgress> progress, Completion onLoaded);
    ~LoadThread() override;

    /** Any thread; returns at once. */
    void requestStop();

    /** Builds into node on the calling thread, under the packs lock; false when stopped. */
    bool loadInto (juce::ValueTree node);

private:
    void run() override;
    bool shouldStop() const;

    /** The archive of one file as the unit needs it; null when it is left out. */
    std::unique_ptr<DeviceDataArchive> loadArchive (const juce::File& file);
    bool saveConverted (DeviceDataArchive& archive, const juce::File& file) const;

    void conversionProgress (int done, int total) override;
    void conversionFinished() override {}

    const ContentManager& content;
    const CapsBlock caps;
    const FirmwareVersion firmware;
    const juce::File packsFolder;
    const std::shared_ptr<ConversionProgress> progress;
    const Completion completion;
    DataConversionManager converter;

    std::atomic<bool> stopRequested { false };
    double fileShare = 0.0, fileStart = 0.0;   // this thread only

    JUCE_DECLARE_NON_COPYABLE (LoadThread)
};
