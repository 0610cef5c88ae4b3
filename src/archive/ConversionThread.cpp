#include "archive/ConversionThread.h"

#include "base/DeviceInfoMessage.h"
#include "archive/ArchiveConversion.h"
#include "archive/ArchiveFiles.h"
#include "model/SafeSave.h"
#include "model/SaveFailure.h"

#include <atomic>
#include <memory>

LocalArchiveManager::ConversionThread::ConversionThread (LocalArchiveManager& manager, const FirmwareVersion& version,
                                                         std::shared_ptr<ConversionProgress> shared, std::shared_ptr<SavedFirst> saved)
    : juce::Thread ("BackupConversionThread"),
      owner (manager),
      unitVersion (version),
      progress (std::move (shared)),
      savedFirst (std::move (saved)),
      converter (manager.content)
{
    converter.addListener (this);
    progress->setStopHandler ([this] { requestStop(); });
}

LocalArchiveManager::ConversionThread::~ConversionThread()
{
    progress->setStopHandler (nullptr);
    requestStop();
    stopThread (-1);
}

void LocalArchiveManager::ConversionThread::requestStop()
{
    stopRequested.store (true);
    converter.stop();
    signalThreadShouldExit();
    savedFirst->ended.set();
}

void LocalArchiveManager::ConversionThread::setOwnerGone()
{
    ownerGone.store (true);
    requestStop();
}

bool LocalArchiveManager::ConversionThread::shouldStop() const
{
    return stopRequested.load() || threadShouldExit();
}

//==============================================================================
void LocalArchiveManager::ConversionThread::run()
{
    progress->setProgress (-1.0);
    progress->setStatus ("Starting conversion...");

    // A stop or a failure reads the index back from disk: what the tree held must be there first.
    savedFirst->ended.wait();

    if (! shouldStop() && ! savedFirst->written.load())
        addError (juce::BigInteger (1 << fileWriteFailed),
                  SaveFailure::describeFailure ("None was converted: the backups could not be saved", { savedFirst->error.load() }));

    if (! shouldStop() && result.isZero())
    {
        const platform::ScopedLock hold (owner.lock);
        const auto& unitCaps = owner.caps;
        auto* target = owner.findSetLocked (unitCaps.presetVersion, unitCaps.setupVersion);

        if (target == nullptr)
            target = owner.createSetLocked (unitCaps.presetVersion, unitCaps.setupVersion);

        auto* targetGroup = target != nullptr ? target->getChildByName ("group") : nullptr;

        if (target != nullptr && targetGroup == nullptr)
            targetGroup = target->createNewChildElement ("group");

        if (targetGroup == nullptr)
        {
            result.setBit (ConversionErrorBits::allocationFailed);
        }
        else
        {
            convertSets (*targetGroup, target);

            // Written in any case: backups already converted are stored in
            // their new form and must be found in the unit's set.
            if (int error = 0; ! writeInTurn ([this] { return owner.writeIndexLocked(); }, error))
                addError (juce::BigInteger (1 << fileWriteFailed), SaveFailure::describeFailure ("The backup index could not be saved", { error }));
        }

        if (! ownerGone.load())
        {
            if (shouldStop() || ! result.isZero())
                owner.loadIndexLocked();

            // Shown once the manager has taken its end, on the message thread.
            auto converted = owner.buildTreeLocked();
            const std::lock_guard<std::mutex> holdTree (owner.treeLock);
            owner.convertedTree = converted;
        }

        progress->setProgress (-1.0);
    }

    progress->setStopHandler (nullptr);
    progress->setFinished();

    {
        // Done before the outcome is posted: whoever hears of it finds the work ended.
        const std::lock_guard<std::mutex> hold (endLock);
        done.set();

        if (orphanedOwner)
            juce::MessageManager::callAsync ([gone = &owner] { delete gone; });
    }

    postOutcome();
}

void LocalArchiveManager::ConversionThread::deleteOwnerWhenDone (LocalArchiveManager* manager)
{
    jassert (manager == &owner);
    const std::lock_guard<std::mutex> hold (endLock);

    if (done.isSet())
        juce::MessageManager::callAsync ([manager] { delete manager; });
    else
        orphanedOwner = true;
}

void LocalArchiveManager::ConversionThread::convertSets (juce::XmlElement& targetGroup, const juce::XmlElement* target)
{
    auto& backupIndex = *owner.index;

    for (int i = 0; i < backupIndex.getNumChildElements() && ! shouldStop();)
    {
        auto* set = backupIndex.getChildElement (i);

        if (set == target || ! set->hasTagName ("set"))
        {
            ++i;
            continue;
        }

        progress->setStatus ("Converting Group: " + juce::String (set->getIntAttribute ("presetVersion", 0)));

        auto* root = set->getChildByName ("group");

        if (root == nullptr)
        {
            ++i;
            continue;
        }

        convertGroup (targetGroup, *root);

        if (root->getNumChildElements() == 0)
            backupIndex.removeChildElement (set, true);
        else
            ++i;
    }
}

void LocalArchiveManager::ConversionThread::convertGroup (juce::XmlElement& destination, juce::XmlElement& source)
{
    for (int i = 0; i < source.getNumChildElements() && ! shouldStop();)
    {
        auto* child = source.getChildElement (i);

        if (child->hasTagName ("group"))
        {
            auto* copy = destination.createNewChildElement ("group");
            copy->setAttribute ("name", child->getStringAttribute ("name"));
            convertGroup (*copy, *child);

            if (child->getNumChildElements() == 0)
            {
                source.removeChildElement (child, true);
            }
            else
            {
                // Nothing of it moved: no empty namesake in the unit's set,
                // which every later attempt would add to.
                if (copy->getNumChildElements() == 0)
                    destination.removeChildElement (copy, true);

                ++i;
            }

            continue;
        }

        if (! child->hasTagName ("archive"))
        {
            ++i;
            continue;
        }

        const auto file = owner.findEntryFile (child->getAllSubText());
        const auto path = file.getFullPathName();

        if (! file.existsAsFile())
        {
            source.removeChildElement (child, true);   // a stale entry
            continue;
        }

        if (! convertArchive (file))
        {
            ++i;
            continue;
        }

        destination.createNewChildElement ("archive")->addTextElement (path);
        source.removeChildElement (child, true);
    }
}

bool LocalArchiveManager::ConversionThread::convertArchive (const juce::File& file)
{
    // Files of another home are never written: that one stays where it is.
    if (! isInsideDataFolder (file))
        return false;

    auto archive = owner.loadBackup (file);

    // One that cannot be read stays where it is, for a later look.
    if (archive == nullptr || ! archive->isValid())
        return false;

    progress->setStatus ("Converting: " + archive->getTitle());

    juce::String text;
    auto bits = ArchiveConversion::convert (*archive, converter, unitVersion, text);

    if (bits.isZero())
    {
        // The old files stay until the new ones are whole; a backup that could
        // not be written keeps its old form and its place.
        int error = 0;

        if (writeInTurn ([converted = archive.get(), file] { return converted->save (file); }, error))
            return true;

        bits.setBit (fileWriteFailed);
        text = SaveFailure::describeFailure ("A converted backup was kept in its old format: it could not be saved", { error });
    }

    if (shouldStop() && bits == juce::BigInteger (1 << ConversionErrorBits::cancelled))
        return false;

    addError (bits, text);
    return false;
}

// Written by the writes thread, in turn with the manager's saves; this thread
// (which holds the index meanwhile) waits for it.
bool LocalArchiveManager::ConversionThread::writeInTurn (std::function<bool()> write, int& error)
{
    auto failure = std::make_shared<std::atomic<int>> (-1);   // -1: written
    owner.writes.post ([failure, write = std::move (write)] { *failure = write() ? -1 : SafeSave::lastError(); });
    owner.writes.waitUntilIdle();
    error = juce::jmax (0, failure->load());
    return failure->load() < 0;
}

void LocalArchiveManager::ConversionThread::addError (const juce::BigInteger& bits, const juce::String& text)
{
    result |= bits;

    if (text.isNotEmpty() && ! errorText.contains (text))
        errorText << "\n" << text;
}

void LocalArchiveManager::ConversionThread::postOutcome()
{
    // A stop, by the user or by the manager going, interrupts; anything else that failed is an error.
    const bool interrupted = stopRequested.load() || ownerGone.load();

    if (! interrupted && result.isZero())
    {
        owner.notifications.postMessage (new DeviceInfoMessage (DeviceInfoMessage::backupConversionDone, 1, 0, {}));
        return;
    }

    const auto text = errorText.isNotEmpty() ? errorText : ConversionResult::describeErrorBits (result);
    owner.notifications.postMessage (new DeviceInfoMessage (DeviceInfoMessage::backupConversionDone, 0, interrupted ? 0 : 1, text));
}

//==============================================================================
void LocalArchiveManager::ConversionThread::conversionProgress (int doneCount, int total)
{
    if (total != 0)
        progress->setProgress ((double) doneCount / (double) total);
}

void LocalArchiveManager::ConversionThread::conversionFinished()
{
    progress->setProgress (1.0);
}
