#include "archive/LocalArchiveManager.h"
#include "archive/LocalArchiveManagerParts.h"

#include "base/BelvoraPaths.h"
#include "archive/ArchiveFiles.h"
#include "archive/ConversionThread.h"
#include "content/ContentManager.h"
#include "model/FileBytes.h"
#include "model/SafeSave.h"
#include "platform/Clock.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <set>
#include <string_view>
#include <unordered_set>
#include <utility>

namespace
{
    constexpr int stopTimeoutMs = 20000;

    const char* const olderQuestion = "Belvora has found backup data in an older format than what is currently supported by the firmware running on ";
    const char* const newerQuestion = "Your local backup contains data in a newer format than what ";

    // Paths compared as bytes: the framework's own hash and comparison decode
    // every character, a good part of matching thousands of them.
    struct PathHash
    {
        size_t operator() (const juce::String& path) const noexcept   { return std::hash<std::string_view>() (path.toRawUTF8()); }
    };

    struct PathEqual
    {
        bool operator() (const juce::String& a, const juce::String& b) const noexcept   { return std::strcmp (a.toRawUTF8(), b.toRawUTF8()) == 0; }
    };

    // Only a file that is there, onto a name that is free: nothing is written over.
    bool moveWhereFree (std::vector<SafeSave::Move> moves)
    {
        moves.erase (std::remove_if (moves.begin(), moves.end(), [] (const SafeSave::Move& m) { return ! m.from.existsAsFile() || m.to.exists(); }),
                     moves.end());
        return SafeSave::moveFiles (moves);
    }

    juce::String productNameOf (const ContentManager& content, const CapsBlock& caps)
    {
        const auto name = content.getProductName (caps.productId);
        return BelvoraPaths::isSafeFolderName (name) ? name : juce::String();
    }
}

//==============================================================================
LocalArchiveManager::LocalArchiveManager (const ContentManager& catalogue, const CapsBlock& unitCaps, const juce::String& unitName,
                                          juce::MessageListener& listener, std::function<void (int)> fatalErrorHandler)
    : content (catalogue),
      productName (productNameOf (catalogue, unitCaps)),
      deviceName (unitName.isNotEmpty() ? unitName : productName),
      caps (unitCaps),
      notifications (listener),
      onFatalError (std::move (fatalErrorHandler)),
      tree (SourceTree::createBackupsCategory()),
      progress (std::make_shared<ConversionProgress>()),
      failedSaves (std::make_shared<FailedSaves>())
{
    loadBackupIndex();
    settleDeletedBackups();
}

LocalArchiveManager::~LocalArchiveManager()
{
    if (conversionThread != nullptr)
    {
        conversionThread->setOwnerGone();

        // Never killed: it ends once the step it is in does, and only then are
        // the lock and the index it uses gone.
        conversionThread->stopThread (-1);
        conversionThread.reset();
        storeShownBackups();
    }

    purgeDeletedBackups();

    // The news of saves still on their way finds nobody to tell.
    setSaveListener ({});
}

void LocalArchiveManager::close (std::unique_ptr<LocalArchiveManager> manager)
{
    if (manager == nullptr)
        return;

    // Its last background save ends after its owner has gone.
    manager->setSaveListener ({});

    if (auto* thread = manager->conversionThread.get())
    {
        thread->setOwnerGone();

        if (! thread->waitUntilDone (platform::Clock::scaled (stopTimeoutMs)))
        {
            if (manager->onFatalError != nullptr)
                manager->onFatalError (3);

            thread->deleteOwnerWhenDone (manager.release());
            return;
        }
    }

    manager.reset();
}

//==============================================================================
juce::File LocalArchiveManager::getIndexFile() const
{
    return productName.isEmpty() ? juce::File() : juce::File (BelvoraPaths::getBackupIndexFile (productName));
}

juce::File LocalArchiveManager::getBackupFolder() const
{
    return productName.isEmpty() ? juce::File() : juce::File (BelvoraPaths::getBackupDataFolder (productName));
}

juce::File LocalArchiveManager::findEntryFile (const juce::String& entryText) const
{
    return findEntryFile (entryText, getBackupFolder());
}

juce::File LocalArchiveManager::getDeletedFolder() const
{
    // Adoption looks only at the backup folder itself, never below it.
    const auto folder = getBackupFolder();
    return folder == juce::File() ? juce::File() : folder.getChildFile (".deleted");
}

bool LocalArchiveManager::isInsideDataFolder (const juce::File& file)
{
    return file.isAChildOf (juce::File (BelvoraPaths::getUserDataFolder()));
}

bool LocalArchiveManager::isOwnDeviceType (const CapsBlock& other) const
{
    return other.productId == caps.productId && other.presetVersion == caps.presetVersion
        && other.setupVersion == caps.setupVersion;
}

juce::ValueTree LocalArchiveManager::getTree() const
{
    const std::lock_guard<std::mutex> hold (treeLock);
    return tree;
}

void LocalArchiveManager::setTree (const juce::ValueTree& newTree)
{
    const std::lock_guard<std::mutex> hold (treeLock);
    tree = newTree;
}

std::unique_ptr<juce::XmlElement> LocalArchiveManager::copyIndex()
{
    if (conversionBusy())
        return nullptr;

    const platform::ScopedLock hold (lock);
    return index != nullptr ? std::make_unique<juce::XmlElement> (*index) : nullptr;
}

//==============================================================================
bool LocalArchiveManager::isConverting()
{
    return conversionBusy();
}

bool LocalArchiveManager::conversionBusy()
{
    if (conversionThread == nullptr)
        return false;

    if (! conversionThread->isDone())
        return true;

    endConversion();
    return false;
}

void LocalArchiveManager::endConversion()
{
    conversionThread->stopThread (-1);   // it has finished its work: this only joins it
    conversionThread.reset();

    juce::ValueTree converted;

    {
        const std::lock_guard<std::mutex> hold (treeLock);
        std::swap (converted, convertedTree);
    }

    showAfterConversion (converted);
}

// Nothing converted (its save failed, or it was stopped first): the tree it emptied comes back.
void LocalArchiveManager::showAfterConversion (juce::ValueTree converted)
{
    const platform::ScopedLock hold (lock);
    const auto before = std::exchange (treeBeforeConversion, {});

    if (! converted.isValid())
        converted = before.isValid() ? before : buildTreeLocked();

    // Those made during the conversion follow, as in the index.
    auto shown = getTree();
    const bool madeMeanwhile = shown.getNumChildren() > 0;

    while (shown.getNumChildren() > 0)
    {
        auto child = shown.getChild (0);
        shown.removeChild (0, nullptr);
        converted.appendChild (child, nullptr);
    }

    setTree (converted);
    treeBuilt = true;

    if (madeMeanwhile)
        saveBackupIndexInBackground();
}

void LocalArchiveManager::stopConversion()
{
    progress->requestStop();
}

//==============================================================================
bool LocalArchiveManager::loadBackupIndex()
{
    if (conversionBusy())
        return false;

    const platform::ScopedLock hold (lock);
    return loadIndexLocked();
}

bool LocalArchiveManager::loadIndexLocked()
{
    const auto file = getIndexFile();
    index.reset();

    if (file == juce::File())
        return false;

    // Only no file at all is a new index: one that cannot be looked at is kept.
    if (FileBytes::isMissing (file))
    {
        index = std::make_unique<juce::XmlElement> ("BACKUP");
        return true;
    }

    index = ArchiveFiles::readDocument (file, ArchiveFiles::maxIndexFileBytes);

    if (index != nullptr && ! index->hasTagName ("BACKUP"))
        index.reset();

    // Whatever else the file holds (or a folder or pipe in its place) is kept
    // on disk as it is, never written over; the backups it listed come back
    // from the folder.
    if (index == nullptr)
    {
        const auto aside = SafeSave::moveAside (file);

        if (aside != juce::File())
        {
            damagedFiles.add (aside);
            index = std::make_unique<juce::XmlElement> ("BACKUP");
        }
        else
        {
            noteUnreadable (file);
        }
    }

    return index != nullptr;
}

// The index could not be read when the tree was built: once it can, the
// backups it lists join those the tree got meanwhile (after them: the
// page's undo steps know the tree's children by their places).
bool LocalArchiveManager::reopenIndexLocked()
{
    if (! loadIndexLocked())
        return false;

    appendStoredLocked();
    return true;
}

void LocalArchiveManager::appendStoredLocked()
{
    auto shown = getTree();

    for (auto stored = buildTreeLocked(); stored.getNumChildren() > 0;)
    {
        auto child = stored.getChild (0);
        stored.removeChild (0, nullptr);
        shown.appendChild (child, nullptr);
    }
}

juce::Array<juce::File> LocalArchiveManager::takeDamagedFiles()
{
    const platform::ScopedLock hold (lock);
    return std::exchange (damagedFiles, {});
}

juce::Array<juce::File> LocalArchiveManager::takeUnreadableFiles()
{
    const platform::ScopedLock hold (lock);
    return std::exchange (unreadableFiles, {});
}

void LocalArchiveManager::noteUnreadable (const juce::File& file)
{
    const auto folder = FileBytes::findUnreadableFolder (file.getParentDirectory());
    unreadableFiles.addIfNotAlreadyThere (folder != juce::File() ? folder : file);
}

void LocalArchiveManager::setAside (const juce::File& file)
{
    if (FileBytes::isMissing (file) || ! file.isAChildOf (getBackupFolder()))
        return;

    if (const auto aside = SafeSave::moveAside (file); aside != juce::File())
        damagedFiles.add (aside);
    else
        noteUnreadable (file);
}

void LocalArchiveManager::reloadTree()
{
    if (conversionBusy())
        return;

    // Built once they are: never from a folder half settled.
    if (settling)
    {
        buildWhenSettled = true;
        return;
    }

    const platform::ScopedLock hold (lock);
    reloadTreeLocked();

    if (adopted > 0)
        saveBackupIndexInBackground();
}

void LocalArchiveManager::reloadTreeLocked()
{
    setTree (buildTreeLocked());
    treeBuilt = true;
}

juce::ValueTree LocalArchiveManager::buildTreeLocked()
{
    auto fresh = SourceTree::createBackupsCategory();
    adopted = 0;

    if (auto* set = findSetLocked (caps.presetVersion, caps.setupVersion))
        if (auto* group = set->getChildByName ("group"))
            loadGroup (*group, fresh);

    adopted += index != nullptr ? adoptUnlisted (fresh) : 0;
    return fresh;
}

int LocalArchiveManager::adoptUnlisted (juce::ValueTree parent)
{
    const auto folder = getBackupFolder();

    if (folder == juce::File() || ! folder.isDirectory())
        return 0;

    std::unordered_set<juce::String, PathHash, PathEqual> listed;
    std::function<void (const juce::XmlElement&)> collect = [&] (const juce::XmlElement& element)
    {
        for (auto* child : element.getChildIterator())
        {
            if (child->hasTagName ("archive"))
                listed.insert (findEntryFile (child->getAllSubText(), folder).getFullPathName());
            else
                collect (*child);
        }
    };
    collect (*index);

    const auto indexFile = getIndexFile();
    juce::Array<juce::File> loneDataFiles;
    const auto archiveFiles = ArchiveFiles::findDocuments (folder, &loneDataFiles);
    juce::Array<juce::File> unlisted;

    for (const auto& file : archiveFiles)
        if (listed.count (file.getFullPathName()) == 0 && file != indexFile)
            unlisted.add (file);

    unlisted.sort();
    int count = 0;

    for (const auto& file : unlisted)
    {
        if (! file.withFileExtension ("mwd").existsAsFile())
            continue;

        auto archive = loadBackup (file);

        if (archive == nullptr || ! archive->isValid() || ! isOwnDeviceType (archive->getCapsBlock())
            || archive->getDataFile() != file.withFileExtension ("mwd"))
            continue;

        parent.appendChild (SourceTree::addArchiveNode (std::move (archive)), nullptr);
        ++count;
    }

    return count + adoptLoneDataFiles (parent, std::move (loneDataFiles));
}

// A backup's data file is written before its archive file: a stop between
// the two leaves the data alone, which comes back under a title of its own,
// its archive file written with the next save. Its names come from the
// listing, as the archive files' do: no look at each file.
int LocalArchiveManager::adoptLoneDataFiles (juce::ValueTree parent, juce::Array<juce::File> alone)
{
    if (alone.isEmpty())
        return 0;

    juce::Array<juce::ValueTree> nodes;
    SourceTree::collectNodes (parent, nodes);

    for (const auto& node : nodes)
        if (const auto* archive = SourceTree::getArchive (node))
            alone.removeAllInstancesOf (archive->getDataFile());

    // Something else standing at the archive file's name (a folder) would fail every save of it.
    alone.removeIf ([] (const juce::File& file) { return ! FileBytes::isMissing (file.withFileExtension ("xml")); });
    alone.sort();
    int count = 0;

    for (const auto& file : alone)
    {
        const auto data = DeviceDataArchive::readDataFile (file);

        if (data == nullptr || ! isOwnDeviceType (data->getCapsBlock()))
            continue;

        auto archive = std::make_unique<DeviceDataArchive> (*data, juce::String(), "Found without its description as \""
                                                            + file.getFullPathName() + "\".");
        archive->setPubDate (file.getLastModificationTime().toMilliseconds());
        archive->setTitle (archive->getPubDateString() + " (Recovered)");
        archive->setLinkData (file.getFullPathName());
        parent.appendChild (SourceTree::addArchiveNode (std::move (archive)), nullptr);
        ++count;
    }

    return count;
}

juce::File LocalArchiveManager::findEntryFile (const juce::String& entryText, const juce::File& folder)
{
    return findHere (ArchiveFiles::resolveEntry (entryText, folder), folder);
}

juce::File LocalArchiveManager::findHere (const juce::File& file, const juce::File& folder)
{
    // A path of another home (moved or copied): the file of that name here is this backup.
    if (file == juce::File() || folder == juce::File() || ArchiveFiles::isDirectlyIn (file, folder) || isInsideDataFolder (file))
        return file;

    const auto here = folder.getChildFile (file.getFileName());
    return here.existsAsFile() ? here : file;
}

std::unique_ptr<DeviceDataArchive> LocalArchiveManager::loadBackup (const juce::File& archiveFile)
{
    auto archive = ArchiveFiles::load (archiveFile);

    if (archive == nullptr)
        return nullptr;

    // The archive file names its data file with the path of the home it was written in.
    const auto dataFile = archive->getDataFile();

    if (dataFile != juce::File() && ! ArchiveFiles::inSameFolder (dataFile, archiveFile)
        && ! isInsideDataFolder (dataFile) && isInsideDataFolder (archiveFile))
        archive->followMovedDataFile (archiveFile.getSiblingFile (dataFile.getFileName()));

    return archive;
}

void LocalArchiveManager::loadGroup (const juce::XmlElement& group, juce::ValueTree parent)
{
    const auto folder = getBackupFolder();

    for (auto* child : group.getChildIterator())
    {
        if (child->hasTagName ("group"))
        {
            auto node = SourceTree::createNode (SourceTreeIds::group, child->getStringAttribute ("name"));

            if (parent.isValid())
                parent.appendChild (node, nullptr);

            loadGroup (*child, node);
        }
        else if (child->hasTagName ("archive"))
        {
            const auto listedFile = ArchiveFiles::resolveEntry (child->getAllSubText(), folder);
            const auto file = findHere (listedFile, folder);

            // Read first and ask after: a stat before every read costs as much as the read.
            auto archive = loadBackup (file);

            if (archive == nullptr && FileBytes::isMissing (file))
                continue;

            // Found under the folder it has now: the index is written with that path.
            if (file != listedFile)
                ++adopted;

            // A whole archive file whose data file is not there now stays
            // listed as it is: the backup comes back with the file.
            if (archive != nullptr && archive->isDataMissing())
            {
                if (parent.isValid())
                    parent.appendChild (SourceTree::addArchiveNode (std::move (archive)), nullptr);

                continue;
            }

            // Unreadable: out of the way, and named, rather than hidden for ever.
            if (archive == nullptr || ! archive->isValid())
            {
                setAside (file);

                if (archive != nullptr)
                    setAside (archive->getDataFile());

                continue;
            }

            if (isOwnDeviceType (archive->getCapsBlock()) && parent.isValid())
                parent.appendChild (SourceTree::addArchiveNode (std::move (archive)), nullptr);
        }
    }
}

//==============================================================================
void LocalArchiveManager::backupsRemoved (const juce::ValueTree& removed)
{
    if (removed.isValid())
        removedBackups.addIfNotAlreadyThere (removed);

    followRemovedBackups();
}

void LocalArchiveManager::followRemovedBackups()
{
    const auto folder = getBackupFolder();
    const auto aside = getDeletedFolder();
    const auto shown = getTree();

    if (aside == juce::File())
        return;

    // Deleted: the archive file first, then the data file, each on the disk
    // before the next (a pair cut in two is never adopted) and both before an
    // index that drops them. Brought back: the other way round.
    std::vector<SafeSave::Move> first, second;
    bool anyDeleted = false;

    for (const auto& removed : removedBackups)
    {
        const bool deleted = ! removed.isAChildOf (shown);
        juce::Array<juce::ValueTree> nodes;
        SourceTree::collectNodes (removed, nodes);

        for (const auto& node : nodes)
        {
            const auto* archive = SourceTree::getArchive (node);
            const auto archiveFile = archive != nullptr ? archive->getArchiveFile() : juce::File();
            const auto dataFile = archive != nullptr ? archive->getDataFile() : juce::File();

            // Only this folder's own pairs: a file of another home is never moved.
            if (archiveFile == juce::File() || archiveFile.getParentDirectory() != folder || dataFile.getParentDirectory() != folder)
                continue;

            if (deleted == filesAside.contains (archiveFile.getFullPathName()))
                continue;

            const auto archiveAside = aside.getChildFile (archiveFile.getFileName()), dataAside = aside.getChildFile (dataFile.getFileName());

            if (deleted)
            {
                filesAside.add (archiveFile.getFullPathName());
                first.push_back ({ archiveFile, archiveAside });
                second.push_back ({ dataFile, dataAside });
                anyDeleted = true;
            }
            else
            {
                filesAside.removeString (archiveFile.getFullPathName());
                first.push_back ({ dataAside, dataFile });
                second.push_back ({ archiveAside, archiveFile });
            }
        }
    }

    if (first.empty())
        return;

    // In the order of the writes: after any save of the backup handed over before.
    writes.post ([first, second, aside, anyDeleted, failed = failedSaves]
    {
        // Until an index without them is written, the one on disk names them.
        if (anyDeleted)
        {
            failed->recordMovedAside();

            if (! aside.isDirectory() && ! SafeSave::makeFolder (aside))
                return;
        }

        for (const auto& step : { first, second })
            moveWhereFree (step);
    });
}

void LocalArchiveManager::purgeDeletedBackups()
{
    const bool moved = ! removedBackups.isEmpty();
    removedBackups.clear();
    filesAside.clear();

    // Usually there is none: then no writer thread is started for it. The
    // files go only once an index that drops them is on disk; otherwise the
    // next start finds them and does what the index says.
    if (const auto aside = getDeletedFolder(); aside != juce::File() && (moved || aside.isDirectory()))
        writes.post ([aside, failed = failedSaves]
        {
            if (aside.isDirectory() && failed->mayDeleteAside())
                aside.deleteRecursively();
        });
}

void LocalArchiveManager::settleDeletedBackups()
{
    const auto aside = getDeletedFolder();

    // An index that could not be read says nothing of them: they wait.
    if (aside == juce::File() || index == nullptr || ! aside.isDirectory())
        return;

    // On the manager's thread, before anything else it writes; the tree is
    // built once they are settled (settled()).
    settling = true;
    writes.post ([aside, folder = getBackupFolder(), indexFile = getIndexFile(), stored = std::make_shared<const juce::XmlElement> (*index),
                  failed = failedSaves]
    {
        if (settle (*stored, indexFile, folder, aside))
        {
            if (failed->mayDeleteAside())
                aside.deleteRecursively();
        }
        else
        {
            failed->keepDeletedFolder();
        }
    },
    [manager = juce::WeakReference<LocalArchiveManager> (this)]
    {
        if (manager != nullptr)
            manager->settled();
    });
}

bool LocalArchiveManager::settle (const juce::XmlElement& stored, const juce::File& indexFile, const juce::File& folder, const juce::File& aside)
{
    // The index on disk is what the user has: a backup it still names (its
    // delete never reached it) comes back. Without an index file there is no
    // telling, and they all come back, for the folder's adoption to find.
    const bool indexOnDisk = indexFile.existsAsFile();
    std::unordered_set<juce::String, PathHash, PathEqual> listed;
    std::function<void (const juce::XmlElement&)> collect = [&] (const juce::XmlElement& element)
    {
        for (auto* child : element.getChildIterator())
        {
            if (child->hasTagName ("archive"))
            {
                if (const auto file = findEntryFile (child->getAllSubText(), folder); ArchiveFiles::isDirectlyIn (file, folder))
                    listed.insert (file.getFileName());
            }
            else
            {
                collect (*child);
            }
        }
    };
    collect (stored);

    // The data files first: an archive file never stands without its data.
    std::vector<SafeSave::Move> dataFiles, archiveFiles;

    for (const auto& kept : ArchiveFiles::findDocuments (aside))
    {
        if (indexOnDisk && listed.count (kept.getFileName()) == 0)
            continue;

        auto dataName = kept.withFileExtension ("mwd").getFileName();

        if (const auto archive = ArchiveFiles::load (kept); archive != nullptr && archive->getDataFile() != juce::File())
            dataName = archive->getDataFile().getFileName();

        dataFiles.push_back ({ aside.getChildFile (dataName), folder.getChildFile (dataName) });
        archiveFiles.push_back ({ kept, folder.getChildFile (kept.getFileName()) });
    }

    // What the index dropped goes only when every backup it names came back.
    const bool dataBack = moveWhereFree (std::move (dataFiles));
    return moveWhereFree (std::move (archiveFiles)) && dataBack;
}

void LocalArchiveManager::settled()
{
    settling = false;

    // A conversion started meanwhile shows the tree when it ends.
    if (! std::exchange (buildWhenSettled, false) || conversionBusy())
        return;

    {
        const platform::ScopedLock hold (lock);
        const bool madeMeanwhile = getTree().getNumChildren() > 0;
        appendStoredLocked();
        treeBuilt = true;

        if (adopted > 0 || madeMeanwhile)
            saveBackupIndexInBackground();
    }

    if (treeListener != nullptr)
        treeListener();
}

//==============================================================================
juce::String LocalArchiveManager::getNextArchiveFile()
{
    if (conversionBusy())
        return {};

    const platform::ScopedLock hold (lock);
    return nextArchiveFileLocked();
}

juce::String LocalArchiveManager::nextArchiveFileLocked()
{
    const auto folder = getBackupFolder();

    if (index == nullptr || folder == juce::File())
        return {};

    for (auto n = juce::jmax (0, index->getIntAttribute ("nextFileNum", 0)); n < std::numeric_limits<int>::max(); ++n)
    {
        const auto base = folder.getFullPathName() + juce::File::getSeparatorString() + productName + juce::String::formatted ("_%06d", n);
        index->setAttribute ("nextFileNum", n + 1);

        // An archive file without its data file is somebody's too, and so are
        // the files of a deleted backup that an undo may bring back.
        const juce::File dataFile (base + ".mwd"), archiveFile (base + ".xml");
        const auto aside = getDeletedFolder();

        if (! dataFile.exists() && ! archiveFile.exists() && ! aside.getChildFile (dataFile.getFileName()).exists()
            && ! aside.getChildFile (archiveFile.getFileName()).exists())
            return base;
    }

    return {};
}

//==============================================================================
juce::XmlElement* LocalArchiveManager::findSet (int presetVersion, int setupVersion)
{
    if (conversionBusy())
        return nullptr;

    const platform::ScopedLock hold (lock);
    return findSetLocked (presetVersion, setupVersion);
}

juce::XmlElement* LocalArchiveManager::findSetLocked (int presetVersion, int setupVersion)
{
    if (index == nullptr)
        return nullptr;

    for (auto* set : index->getChildWithTagNameIterator ("set"))
        if (set->getIntAttribute ("presetVersion", -1) == presetVersion && set->getIntAttribute ("setupVersion", -1) == setupVersion)
            return set;

    return nullptr;
}

juce::XmlElement* LocalArchiveManager::createSet (int presetVersion, int setupVersion)
{
    if (conversionBusy())
        return nullptr;

    const platform::ScopedLock hold (lock);
    return createSetLocked (presetVersion, setupVersion);
}

juce::XmlElement* LocalArchiveManager::createSetLocked (int presetVersion, int setupVersion)
{
    if (index == nullptr)
        return nullptr;

    auto* set = new juce::XmlElement ("set");
    set->setAttribute ("presetVersion", presetVersion);
    set->setAttribute ("setupVersion", setupVersion);
    set->createNewChildElement ("group");
    index->insertChildElement (set, 0);
    return set;
}

int LocalArchiveManager::countArchives (const juce::XmlElement& group) const
{
    int count = 0;

    for (auto* child : group.getChildIterator())
    {
        if (child->hasTagName ("archive"))
            count += findEntryFile (child->getAllSubText()).existsAsFile() ? 1 : 0;
        else
            count += countArchives (*child);
    }

    return count;
}

//==============================================================================
bool LocalArchiveManager::checkBackupFormats (juce::String& question)
{
    question.clear();

    // Asked once the deleted backups are settled (the tree listener is told).
    if (conversionBusy() || settling)
        return false;

    const platform::ScopedLock hold (lock);

    if (index == nullptr)
        return false;

    bool older = false, newer = false;

    auto compare = [&older, &newer] (int stored, int own)
    {
        if (stored != own)
            (stored < own ? older : newer) = true;
    };

    for (auto* set : index->getChildWithTagNameIterator ("set"))
    {
        const auto* group = set->getChildByName ("group");

        if (group == nullptr || countArchives (*group) == 0)
            continue;

        compare (set->getIntAttribute ("presetVersion", -1), caps.presetVersion);
        compare (set->getIntAttribute ("setupVersion", -1), caps.setupVersion);
    }

    if (newer)
        question = newerQuestion + deviceName + " supports. This is most likely caused by out-of-date firmware. "
                   "Belvora can attempt to convert the data to the older format. The best option is to update "
                   + deviceName + " to the newest firmware. Would you like to downgrade the backup data?";
    else if (older)
        question = olderQuestion + deviceName + ". Would you like to update the backup data?";

    return older || newer;
}

bool LocalArchiveManager::startConversion (const FirmwareVersion& unitVersion)
{
    if (conversionBusy())
        return false;

    {
        const platform::ScopedLock hold (lock);

        if (index == nullptr)
            return false;
    }

    // Backups made or edited since the last save are in the tree only: they
    // are handed over before the tree goes, and the conversion (which reads
    // the index back from disk when it stops) starts once they are written.
    if (! saveBackupIndexInBackground())
        return false;

    std::set<juce::String> shownBackups;
    juce::Array<juce::ValueTree> nodes;
    SourceTree::collectNodes (getTree(), nodes);

    for (const auto& node : nodes)
        if (const auto* archive = SourceTree::getArchive (node))
            shownBackups.insert (archive->getUuid().toString());

    auto savedFirst = std::make_shared<ConversionThread::SavedFirst>();

    writes.post ([savedFirst, shownBackups, failed = failedSaves]
    {
        savedFirst->written = failed->allWritten (shownBackups);
        savedFirst->error = failed->lastError();
        savedFirst->ended.set();
    });

    {
        const platform::ScopedLock hold (lock);
        treeBeforeConversion = treeBuilt ? getTree() : juce::ValueTree();
        treeBuilt = false;
        setTree (SourceTree::createBackupsCategory());
    }

    progress = std::make_shared<ConversionProgress>();
    conversionThread = std::make_unique<ConversionThread> (*this, unitVersion, progress, savedFirst);

    if (! conversionThread->startThread())
    {
        conversionThread.reset();
        showAfterConversion ({});
        return false;
    }

    return true;
}
