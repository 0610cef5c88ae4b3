#pragma once

#include "archive/LocalArchiveManager.h"
#include "conversion/DataConversionManager.h"
#include "platform/Event.h"

/** One backup conversion: once the tree's last save is on disk, walks every
    set of the index but the unit's, converts each backup to the unit's
    firmware, moves the converted ones into the unit's set with their groups,
    drops entries whose files are gone, writes the index and posts 0x85001.
    When that save failed it converts nothing and posts an error.

    It holds the manager's lock while it converts; the manager's other
    operations do not wait for it. It stops only cooperatively: between
    backups, and a running script at once; never by force, so no archive is
    left half written and the lock is always released. */
class LocalArchiveManager::ConversionThread : public juce::Thread,
                                              private DataConversionManager::Listener
{
public:
    /** A converted backup, or the index, could not be written. */
    static constexpr int fileWriteFailed = 20;

    /** Told by the manager's saves thread once the saves handed over before
        the start are written; a stop ends the wait too. */
    struct SavedFirst
    {
        platform::Event ended { true };
        std::atomic<bool> written { false };
        std::atomic<int> error { 0 };   // what the system said of a save that failed
    };

    ConversionThread (LocalArchiveManager& owner, const FirmwareVersion& unitVersion, std::shared_ptr<ConversionProgress> progress,
                      std::shared_ptr<SavedFirst> savedFirst);
    ~ConversionThread() override;

    /** Any thread; returns at once. */
    void requestStop();

    /** The manager is going away: no success, no rebuilt tree. Implies a stop. */
    void setOwnerGone();

    /** True once the run has ended and posted its outcome. */
    bool waitUntilDone (int timeoutMs)          { return done.wait (timeoutMs); }
    bool isDone() const                         { return done.isSet(); }

    /** The manager that closed without waiting for this thread is deleted on
        the message thread once the run has ended. */
    void deleteOwnerWhenDone (LocalArchiveManager* manager);

private:
    void run() override;
    void convertSets (juce::XmlElement& targetGroup, const juce::XmlElement* target);
    void convertGroup (juce::XmlElement& destination, juce::XmlElement& source);

    /** False when the entry stays where it is. */
    bool convertArchive (const juce::File& file);
    void addError (const juce::BigInteger& bits, const juce::String& text);
    /** False, with what the system said in error, when the write failed. */
    bool writeInTurn (std::function<bool()> write, int& error);
    void postOutcome();

    bool shouldStop() const;

    void conversionProgress (int doneCount, int total) override;
    void conversionFinished() override;

    LocalArchiveManager& owner;
    const FirmwareVersion unitVersion;
    const std::shared_ptr<ConversionProgress> progress;
    const std::shared_ptr<SavedFirst> savedFirst;
    DataConversionManager converter;

    std::atomic<bool> ownerGone { false };
    std::atomic<bool> stopRequested { false };
    juce::BigInteger result;
    juce::String errorText;
    platform::Event done { true };
    std::mutex endLock;
    bool orphanedOwner = false;

    JUCE_DECLARE_NON_COPYABLE (ConversionThread)
};
