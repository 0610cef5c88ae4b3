#include "archive/CloudLoadThread.h"

#include "archive/ArchiveConversion.h"
#include "archive/PackFiles.h"
#include "content/ContentManager.h"

CloudArchiveManager::LoadThread::LoadThread (const ContentManager& catalogue, const CapsBlock& unitCaps, const FirmwareVersion& unitFirmware,
                                             const juce::File& folder, std::shared_ptr<ConversionProgress> shared, Completion onLoaded)
    : juce::Thread ("Cloud Packs"),
      content (catalogue),
      caps (unitCaps),
      firmware (unitFirmware),
      packsFolder (folder),
      progress (std::move (shared)),
      completion (std::move (onLoaded)),
      converter (catalogue)
{
    converter.addListener (this);
    progress->setStopHandler ([this] { requestStop(); });
}

CloudArchiveManager::LoadThread::~LoadThread()
{
    progress->setStopHandler (nullptr);
    requestStop();
    stopThread (-1);
}

void CloudArchiveManager::LoadThread::requestStop()
{
    stopRequested.store (true);
    converter.stop();
    signalThreadShouldExit();
}

bool CloudArchiveManager::LoadThread::shouldStop() const
{
    return stopRequested.load() || progress->isStopRequested() || threadShouldExit();
}

void CloudArchiveManager::LoadThread::run()
{
    auto node = SourceTree::createCloudCategory();
    const auto complete = loadInto (node);

    if (completion != nullptr)
        completion (complete ? node : juce::ValueTree());

    progress->setStopHandler (nullptr);
    progress->setFinished();
}

//==============================================================================
bool CloudArchiveManager::LoadThread::loadInto (juce::ValueTree node)
{
    const auto hold = content.lockPacksFolder ([this] { return shouldStop(); });

    if (! hold.owns_lock())
        return false;

    addFolderGroups (node, packsFolder);

    const auto files = listBelow (packsFolder, false);
    fileShare = files.isEmpty() ? 0.0 : 1.0 / files.size();

    for (int i = 0; i < files.size() && ! shouldStop(); ++i)
    {
        fileStart = i * fileShare;
        progress->setProgress (fileStart);

        if (auto archive = loadArchive (files.getReference (i)))
            getGroupForFile (node, packsFolder, files.getReference (i)).appendChild (SourceTree::addArchiveNode (std::move (archive)), nullptr);
    }

    progress->setProgress (1.0);
    return ! shouldStop();
}

std::unique_ptr<DeviceDataArchive> CloudArchiveManager::LoadThread::loadArchive (const juce::File& file)
{
    auto archive = PackFiles::load (file, packsFolder);

    // Read whole now: the message thread gets the archive, and a later
    // download may replace its files.
    if (archive == nullptr || ! archive->isValid() || archive->getDeviceData() == nullptr)
        return nullptr;

    // Another product's data is not for this unit, and never rewritten for it.
    if (archive->getCapsBlock().productId != caps.productId)
        return nullptr;

    if (archive->getDeviceData()->isSameDeviceType (caps))
        return archive;

    progress->setStatus ("Converting: " + archive->getTitle());
    juce::String errorText;

    if (! ArchiveConversion::convert (*archive, converter, firmware, errorText).isZero()
        || ! archive->getDeviceData()->isSameDeviceType (caps))
        return nullptr;

    // The old files stay until the new ones are whole; what cannot be written,
    // or does not read back, comes again with a fresh download.
    if (! saveConverted (*archive, file))
        content.markPresetPackStale (caps.productId);

    return archive;
}

bool CloudArchiveManager::LoadThread::saveConverted (DeviceDataArchive& archive, const juce::File& file) const
{
    if (! archive.save (file))
        return false;

    auto stored = PackFiles::load (file, packsFolder);

    if (stored == nullptr || ! stored->isValid() || stored->getMd5() != archive.getMd5())
        return false;

    // The checksum of what the files hold now, data included.
    stored->computeMd5();
    return stored->getMd5() == archive.getMd5();
}

void CloudArchiveManager::LoadThread::conversionProgress (int done, int total)
{
    if (total > 0)
        progress->setProgress (fileStart + fileShare * done / total);
}
