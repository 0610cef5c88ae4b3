#include "content/PresetPacks.h"

#include "content/ContentReader.h"
#include "model/FileBytes.h"
#include "model/SafeSave.h"

#include <thread>

namespace
{
    using Policy = platform::DownloadPolicy;

    // Kept in the unpacked folder, so a pack whose download or unpacking was
    // interrupted is fetched again at the next start.
    const char* const stampName = ".presetsKey";

    bool moveFolder (const juce::File& from, const juce::File& to)
    {
        const std::vector<SafeSave::Move> move { { from, to } };
        return SafeSave::moveFiles (move);
    }

    juce::String presetsKeyOf (const ProductTable& products, int productId)
    {
        return products.with (productId, [] (const ProductRecord* r) { return r != nullptr ? r->presetsKey : juce::String(); });
    }
}

PresetPacks::PresetPacks (ProductTable& table, std::atomic<juce::int64>& counter)
    : products (table), bytesReceived (counter)
{
}

bool PresetPacks::isCurrent (int productId) const
{
    const auto wanted = presetsKeyOf (products, productId);
    const auto folder = products.getPacksFolder (productId);

    if (wanted.isEmpty() || folder.isEmpty())
        return false;

    juce::String stamp;
    return FileBytes::readText (juce::File (folder).getChildFile (stampName), stamp, Policy::maxStampBytes) && stamp == wanted;
}

bool PresetPacks::isComplete (int productId) const
{
    const auto path = products.getLocalFile (productId, ContentKind::presetPack, 0, false);
    if (! juce::File::isAbsolutePath (path))
        return false;

    // The framework reads a zip without an end record whole: only one of a pack's size is opened.
    auto in = FileBytes::openStream (juce::File (path), Policy::maxPackBytes);
    return in != nullptr && in->getTotalLength() > 0 && juce::ZipFile (in.release(), true).getNumEntries() > 0;
}

bool PresetPacks::download (int productId, juce::Thread* thread, ContentReader::Turn* turn)
{
    const auto address = products.getAddress (productId, ContentKind::presetPack, 0);
    const auto zipName = ProductTable::getFileNameOfAddress (address);
    const auto productFolder = products.getProductFolder (productId);
    const auto stamp = presetsKeyOf (products, productId);

    if (zipName.isEmpty() || productFolder.isEmpty() || zipName == stampName)
        return false;

    const juce::File folder (productFolder);
    const auto packs = folder.getChildFile ("packs");
    const auto staging = folder.getChildFile ("packs.download");
    const auto previous = folder.getChildFile ("packs.previous");

    // Cut off between the two moves of a swap: the pack in use comes back.
    if (! packs.exists() && previous.isDirectory())
        moveFolder (previous, packs);

    staging.deleteRecursively();

    if (! SafeSave::makeFolder (staging))
        return false;

    const auto zip = staging.getChildFile (zipName);
    auto ok = ContentReader::writeUrlToFile (address, zip.getFullPathName(), true, &bytesReceived, thread, Policy::maxPackBytes, nullptr, turn);

    // A zip refused whole is a body that fails its check.
    if (ok && ! ContentReader::unpackZip (zip, staging, Policy::maxUnpackedBytes, Policy::maxPackEntries, Policy::maxUnpackRatio, thread))
    {
        ok = false;

        if (turn != nullptr && ! ContentReader::isStopRequested (thread))
            turn->failed (ContentReader::Turn::Failure::refused);
    }

    ok = ok && (stamp.isEmpty() || SafeSave::replaceFile (staging.getChildFile (stampName), [&stamp] (juce::OutputStream& out)
                                                         { return out.write (stamp.toRawUTF8(), stamp.getNumBytesAsUTF8()); }));

    if (ok)
    {
        // The Cloud tree reads and rewrites "packs": swap only while it does not.
        const auto hold = lockFolder ([thread] { return ContentReader::isStopRequested (thread); });
        ok = hold.owns_lock();

        // Each move on the disk before the next, and the old pack goes only
        // once the new one is: a power cut leaves one of them whole.
        if (ok)
        {
            previous.deleteRecursively();
            ok = (! packs.exists() || moveFolder (packs, previous)) && moveFolder (staging, packs);

            if (! ok && ! packs.exists())
                moveFolder (previous, packs);
        }
    }

    staging.deleteRecursively();
    previous.deleteRecursively();
    return ok;
}

std::unique_lock<std::mutex> PresetPacks::lockFolder (const std::function<bool()>& giveUp) const
{
    // Tried rather than waited for, so that giveUp is heard while another holds it.
    std::unique_lock<std::mutex> hold (folderLock, std::try_to_lock);

    while (! hold.owns_lock() && ! (giveUp != nullptr && giveUp()))
    {
        std::this_thread::sleep_for (std::chrono::milliseconds (20));
        hold.try_lock();
    }

    return hold;
}

void PresetPacks::markStale (int productId) const
{
    const auto folder = products.getPacksFolder (productId);

    if (folder.isNotEmpty())
        juce::File (folder).getChildFile (stampName).deleteFile();
}
