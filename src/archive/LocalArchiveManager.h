#pragma once

#include "archive/ConversionProgress.h"
#include "model/SourceTree.h"
#include "platform/CriticalSection.h"
#include "platform/WriteQueue.h"

#include <juce_events/juce_events.h>

#include <functional>
#include <memory>
#include <vector>

class ContentManager;

/** The local backups of the connected unit's product: the product's backup
    index (one "set" of nested groups of archive files per pair of preset and
    setup format versions), the "Backups" category of the source tree built
    from the set of the unit's versions, the numbering of new backup files,
    and the conversion of backups stored in other versions.

    Made by the data page when a unit becomes active, used on the message
    thread. A conversion runs on a thread of its own and owns the index while
    it runs: meanwhile the other operations return at once without touching
    it, and its end is posted as DeviceInfoMessage 0x85001 (value1 1 on
    success; value2 1 on an error, 0 on a stop; text the errors). The tree is
    empty while it runs; backups put into it meanwhile are stored with the
    converted ones when it ends. */
class LocalArchiveManager
{
public:
    class ConversionThread;

    /** The product's name comes from the catalogue, which also serves the
        conversion; notifications go to notifications (the hub). A conversion
        that does not stop within 20 s when the manager is closed reports
        fatal error 3 through onFatalError. */
    LocalArchiveManager (const ContentManager& content, const CapsBlock& caps, const juce::String& deviceName,
                         juce::MessageListener& notifications, std::function<void (int)> onFatalError = {});

    /** Stops a running conversion and waits for it to end. */
    ~LocalArchiveManager();

    /** Deletes the manager once a running conversion has stopped (message
        thread). One that has not stopped within 20 s reports fatal error 3,
        and the manager is deleted only when its conversion ends at last: its
        index and lock stay with the thread until then. */
    static void close (std::unique_ptr<LocalArchiveManager> manager);

    //==============================================================================
    /** Reads the index file: a missing one gives an empty index, and so does
        one that does not parse (or is no "BACKUP") once it is moved aside;
        one that cannot be moved gives none, which nothing then overwrites. */
    bool loadBackupIndex();

    /** Builds the "Backups" category from the set of the unit's versions. A
        listed backup that cannot be read is moved aside; a backup of the unit's
        type whose two files are in the folder but in no set (a killed save, an
        index moved aside) joins the unit's set, whose save is handed over at once.
        While the deleted backups a made manager found are being settled on its
        thread, the category stays empty and is filled once they are: the tree
        listener is told then, and the question of other formats waits for it. */
    void reloadTree();

    /** Called on the message thread when the tree was filled later than
        reloadTree asked (see there): files moved aside and the question of
        other formats are to be taken then. */
    void setTreeListener (std::function<void()> listener)   { treeListener = std::move (listener); }

    /** The files moved aside since the last call, to be named to the user. */
    juce::Array<juce::File> takeDamagedFiles();

    /** What could be neither read nor moved aside since the last call, to be
        named to the user: the folder that cannot be looked into (no
        permission, an I/O error), or else the file. Nothing is written over
        it; without an index, every save says that what the tree holds is unsaved. */
    juce::Array<juce::File> takeUnreadableFiles();

    /** Writes the tree back as the set of the unit's versions (placed first),
        saving every backup that changed and numbering the new ones: the index
        and snapshots of the changed backups are made here, written in order on
        a thread of the manager's. A backup whose snapshot could not be written
        is marked modified again (on the message thread), so that a later save
        tries again. Before the tree was built from the index there is nothing
        to write back, and the stored set stays. False when there is no index
        to write (one that could not be read stays as it is). */
    bool saveBackupIndexInBackground();

    /** Returns once the background saves handed over so far are written. */
    void waitForBackgroundSaves()                            { writes.waitUntilIdle(); }

    /** Runs the job on the writes thread once the saves handed over so far are
        written; whenWritten, if any, is then posted to the message thread. */
    void afterBackgroundSaves (std::function<void()> job, std::function<void()> whenWritten = {})
    {
        writes.post (std::move (job), std::move (whenWritten));
    }

    /** What the last saves could not write: the titles of the backups in the
        tree whose last write failed, and whether the index's did. A backup
        that was never written is not named by the index until it is. */
    struct Unsaved
    {
        juce::StringArray backups;
        bool index = false;
        int error = 0;      // what the system said of the last write that failed (SaveFailure::describe)

        bool isEmpty() const noexcept                        { return backups.isEmpty() && ! index; }
    };

    Unsaved getUnsaved() const;

    /** Called on the message thread once each background save has ended, so
        that its result (getUnsaved) can be told; message thread. */
    void setSaveListener (std::function<void()> listener);

    /** Backups just taken out of the tree (a delete): their files go at once
        to the folder of deleted backups, which nothing reads, so that no kill
        after the index dropped them brings them back. Saves first move back
        the files of those an undo has put back (and aside again after a
        redo). That folder is emptied when the manager goes, once an index
        without them is on disk; otherwise the next manager made brings back
        those its index still names and empties it. Files outside the backup
        folder are left alone. Message thread. */
    void backupsRemoved (const juce::ValueTree& removed);

    /** Where deleted backups wait while an undo may still want them. */
    juce::File getDeletedFolder() const;

    /** Whether the file lies inside the current data folder: only there are
        files written or deleted (a copied home must leave the original's alone). */
    static bool isInsideDataFolder (const juce::File& file);

    /** The path without extension for a new backup file; empty without an index. */
    juce::String getNextArchiveFile();

    /** Whether stored backups exist in other data versions; the question to ask. */
    bool checkBackupFormats (juce::String& question);

    /** Hands over a save of the tree, empties it and starts converting every
        stored backup to the unit's versions once that save is on disk. When it
        could not be written, nothing is converted and the tree comes back as
        it was. False when there is no index or a conversion runs already. */
    bool startConversion (const FirmwareVersion& unitVersion);

    juce::XmlElement* findSet (int presetVersion, int setupVersion);
    juce::XmlElement* createSet (int presetVersion, int setupVersion);

    /** The archive entries below the group, at any depth, whose file exists. */
    int countArchives (const juce::XmlElement& group) const;

    //==============================================================================
    /** The "Backups" category node; the data page shows it. */
    juce::ValueTree getTree() const;

    const CapsBlock& getCaps() const noexcept                { return caps; }
    const juce::String& getProductName() const noexcept      { return productName; }
    const juce::String& getDeviceName() const noexcept       { return deviceName; }

    /** The index file; none for a product without a usable name. */
    juce::File getIndexFile() const;
    juce::File getBackupFolder() const;

    /** A copy of the index as it is in memory; null without one. */
    std::unique_ptr<juce::XmlElement> copyIndex();

    //==============================================================================
    bool isConverting();

    /** What the progress window shows of the running (or last) conversion. */
    std::shared_ptr<ConversionProgress> getConversionProgress() const  { return progress; }

    /** The progress window's "Stop!": any thread, returns at once. */
    void stopConversion();

private:
    bool conversionBusy();
    void endConversion();
    void showAfterConversion (juce::ValueTree converted);
    void storeShownBackups();

    bool loadIndexLocked();
    bool reopenIndexLocked();
    void noteUnreadable (const juce::File& file);
    void reloadTreeLocked();
    juce::ValueTree buildTreeLocked();
    juce::XmlElement* findSetLocked (int presetVersion, int setupVersion);
    juce::XmlElement* createSetLocked (int presetVersion, int setupVersion);
    juce::String nextArchiveFileLocked();
    bool writeIndexLocked();

    void loadGroup (const juce::XmlElement& group, juce::ValueTree parent);
    juce::File findEntryFile (const juce::String& entryText) const;
    static juce::File findEntryFile (const juce::String& entryText, const juce::File& folder);
    static juce::File findHere (const juce::File& listedFile, const juce::File& folder);
    std::unique_ptr<DeviceDataArchive> loadBackup (const juce::File& archiveFile);
    void followRemovedBackups();
    void purgeDeletedBackups();
    void settleDeletedBackups();
    static bool settle (const juce::XmlElement& stored, const juce::File& indexFile, const juce::File& folder, const juce::File& aside);
    void settled();
    void appendStoredLocked();
    void keepInsideDataFolder (DeviceDataArchive& archive);
    int adoptUnlisted (juce::ValueTree parent);
    int adoptLoneDataFiles (juce::ValueTree parent, juce::Array<juce::File> alone);
    void setAside (const juce::File& file);
    struct PendingSave;
    bool storeGroup (juce::XmlElement& group, const juce::ValueTree& node, std::vector<PendingSave>* deferred = nullptr);
    bool replaceSetLocked (std::vector<PendingSave>* deferred);
    void handOverLocked (std::vector<PendingSave> pending);
    bool isOwnDeviceType (const CapsBlock& other) const;
    void setTree (const juce::ValueTree& newTree);

    const ContentManager& content;
    const juce::String productName;
    const juce::String deviceName;
    const CapsBlock caps;
    juce::MessageListener& notifications;
    const std::function<void (int)> onFatalError;

    platform::CriticalSection lock;                 // the index, and whether the tree shows it
    std::unique_ptr<juce::XmlElement> index;
    bool treeBuilt = false;
    juce::Array<juce::File> damagedFiles;
    juce::Array<juce::File> unreadableFiles;
    int adopted = 0;                                // backups in the tree that no index holds yet, or under an old path

    juce::Array<juce::ValueTree> removedBackups;    // message thread: deleted from the tree, maybe back by an undo
    juce::StringArray filesAside;                   // message thread: archive files of those now in the deleted folder
    bool settling = false;                          // message thread: the deleted backups found at the start are being settled
    bool buildWhenSettled = false;                  // message thread: reloadTree was asked meanwhile
    std::function<void()> treeListener;             // message thread

    mutable std::mutex treeLock;                    // the tree handles, swapped by the conversion's end
    juce::ValueTree tree;
    juce::ValueTree convertedTree;                  // built by the conversion, shown once it has ended
    juce::ValueTree treeBeforeConversion;           // message thread: the built tree a conversion emptied, back if nothing converts

    std::unique_ptr<ConversionThread> conversionThread;   // message thread only
    std::shared_ptr<ConversionProgress> progress;

    struct FailedSaves;
    std::shared_ptr<FailedSaves> failedSaves;       // backups whose background write failed; shared with the writes

    platform::WriteQueue writes;                    // the backups' lane; owns what it writes; finishes before the rest goes

    JUCE_DECLARE_WEAK_REFERENCEABLE (LocalArchiveManager)
    JUCE_DECLARE_NON_COPYABLE (LocalArchiveManager)
};
