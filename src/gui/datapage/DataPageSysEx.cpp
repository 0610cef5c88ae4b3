// The data page's SysEx export and import, and the developer's imports of
// data files and preset packs.

#include "gui/datapage/DataPage.h"
#include "gui/datapage/DataPageImportRun.h"
#include "gui/datapage/DataPageParts.h"

#include "app/Belvora.h"
#include "app/Nexus.h"
#include "content/ContentManager.h"
#include "conversion/ConversionJob.h"
#include "devices/DeviceCaps.h"
#include "devices/DeviceProfiler.h"
#include "gui/PresetPackToolRunner.h"
#include "gui/dialogs/ExportDialog.h"
#include "gui/dialogs/ImportDialog.h"
#include "gui/dialogs/WarnFileReplaceDialog.h"
#include "gui/widgets/Alerts.h"
#include "gui/widgets/FileChoosers.h"
#include "model/SafeSave.h"
#include "model/SaveFailure.h"
#include "model/SourceTree.h"
#include "model/SysEx.h"
#include "platform/WriteQueue.h"

#include <algorithm>
#include <deque>
#include <mutex>

using namespace SourceTreeIds;

namespace
{
    juce::String importFailureReason (juce::uint32 result)
    {
        if ((result & 0xB0000u) != 0)       return "Invalid SysEx data encountered.";
        if ((result & 0x40000u) != 0)       return "The SysEx data is in an unsupported format.";
        if ((result & 0x100000u) != 0)      return "The SysEx data is intended for a different device.";
        if ((result & 0x3000000u) != 0)     return "The SysEx data is corrupt.";
        if ((result & 0x4000000u) != 0)     return "Data underflow.";
        if ((result & 0x8000000u) != 0)     return "Data overflow.";
        if ((result & 0x10000000u) != 0)    return "There are not enough free preset slots available.";
        if ((result & 0x40000000u) != 0)    return "The preset location is out of range.";
        if ((result & 0x80000000u) != 0)    return "Internal memory allocation failure.";
        return {};
    }

    /** A file the import skipped without a box of its own, and why, for the summary. */
    juce::String refusalOf (const juce::File& file, juce::uint32 kind)
    {
        auto reason = importFailureReason (kind);

        if (reason.isEmpty())
            reason = (kind & SysEx::fileCannotOpen) != 0 ? "The file could not be read." : "The file holds no preset or setup data.";

        return file.getFullPathName() + ": " + reason;
    }

    juce::String conversionFailureText (const juce::File& file)
    {
        return "An error occurred when trying to convert " + file.getFullPathName()
             + " to a compatible format.\n\rThe required translation rules are not available.";
    }
}

void DataPage::setDialogs (Dialogs newDialogs)
{
    dialogs = std::move (newDialogs);
}

//==============================================================================
void DataPage::exportData()
{
    auto* work = deviceDataSet != nullptr ? deviceDataSet->getWorkingData() : nullptr;

    if (work == nullptr)
        return;

    juce::Array<juce::ValueTree> backups;
    SourceTree::collectNodes (findCategoryNode (archiveCategory), backups);

    juce::Array<juce::ValueTree> sources { getDeviceNode() };
    sources.addArray (backups);

    ExportRequest request;
    request.exportFolder = Belvora::getUserSettings().getValue ("exportFolder");
    request.sourceNames.add ("Workspace");
    request.sourceNames.addArray (SourceTree::makeUniqueLabels (backups));

    for (const auto& source : sources)
    {
        const auto* archive = SourceTree::getArchive (source);
        const auto* data = archive == nullptr ? SourceTree::getDeviceData (source) : nullptr;
        request.sourceHasSetup.add ((uint8_t) (archive != nullptr ? archive->hasSetup() : data != nullptr && data->getSetup().isComplete()));
    }

    const auto selected = browser.getSelectedTrees();

    if (selected.size() == 1 && backups.contains (selected.getFirst()))
        request.selectedSource = backups.indexOf (selected.getFirst()) + 1;

    // The grid's selection belongs to the source it shows: offered only when that is the one preselected.
    const auto selection = getSelectedPresetIndices();
    request.presetsSelected = ! selection.isEmpty() && getSelectedSource() == sources[request.selectedSource];

    ExportChoice choice;

    if (dialogs.exportDialog != nullptr)
    {
        choice = dialogs.exportDialog (*this, request);
    }
    else
    {
        ExportDialog dialog (this, request.exportFolder, request.sourceNames, request.sourceHasSetup,
                             request.selectedSource, request.presetsSelected);
        const auto& content = dialog.getExportContent();
        choice.accepted = dialog.runModal() != 0;
        choice.folder = content.getExportFolder();
        choice.fileName = content.getFileName();
        choice.suffix = content.getFileSuffix();
        choice.sourceId = content.getSourceIndex() + 1;
        choice.setupData = content.isSetupData();
        choice.allPresets = content.isAllPresets();
        choice.singleFile = content.isSingleFile();
    }

    if (! choice.accepted)
        return;

    const juce::File folder (choice.folder);

    if (choice.sourceId < 1 || choice.sourceId > sources.size())
        return;

    const auto sourceNode = sources[choice.sourceId - 1];
    const auto* source = SourceTree::getDeviceData (sourceNode);

    if (source == nullptr)
        return;

    juce::Array<int> indices;

    if (choice.allPresets)
        indices = source->getUsedPresetIndicesInRange (1, source->getNumSlots() - 1);
    else if (sourceNode == getSelectedSource())
        indices = selection;

    // The writes go on while the user edits: they write a copy of what is exported now.
    const std::shared_ptr<const DeviceData> copy = source->createCopy (choice.setupData ? juce::Array<int>() : indices, choice.setupData, false);
    auto plan = choice.setupData ? planSetupFile (copy, folder.getFullPathName() + juce::File::getSeparatorString() + choice.fileName)
                                 : planExportFiles (copy, folder, choice.singleFile ? choice.fileName : choice.suffix, choice.singleFile, indices);

    // Made by the first write where it is missing; named once it is there.
    const auto keepFolder = [folder]
    {
        if (folder.isDirectory())
            Belvora::getUserSettings().setValue ("exportFolder", folder.getFullPathName());
    };

    keepFolder();

    if (plan.files.empty())
        return reportExport (this, plan.result);

    writeExport (std::move (plan.files), [this, keepFolder] (int result, const juce::Array<int>& errors)
    {
        keepFolder();
        reportExport (this, result, errors);
    });
}

void DataPage::reportExport (juce::Component* parent, int result, const juce::Array<int>& errors)
{
    switch (result)
    {
        case written:
            Alerts::showInfo (parent, "Export", "Export completed successfully.");
            break;

        case sourceUnusable:
            Alerts::showWarning (parent, "Export Error", "An internal error occurred. The source data is corrupt. Please restart Belvora and try again.");
            break;

        case writeFailed:
            Alerts::showWarning (parent, "Export Error", getExportFailedText (errors));
            break;

        default:
            break;
    }
}

juce::String DataPage::getExportFailedText (const juce::Array<int>& errors)
{
    return SaveFailure::describeFailure ("An error occurred while saving the data", errors, "Please make sure there is enough free disk space.");
}

int DataPage::askToReplace (const juce::File& file, bool offerApplyToAll)
{
    const auto message = WarnFileReplaceDialog::messageFor (file);

    if (dialogs.replaceFile != nullptr)
        return dialogs.replaceFile (*this, "Replace File", message, offerApplyToAll);

    return WarnFileReplaceDialog (this, "Replace File", message, offerApplyToAll).runModal();
}

DataPage::ExportPlan DataPage::planExportFiles (std::shared_ptr<const DeviceData> source, const juce::File& folder,
                                                const juce::String& name, bool singleFile, const juce::Array<int>& indices)
{
    if (singleFile)
    {
        const juce::File file (folder.getFullPathName() + juce::File::getSeparatorString() + name);

        if (indices.isEmpty() || (isThereToReplace (file) && askToReplace (file, false) != FileReplaceComponent::yes))
            return { nothingWritten, {} };

        return { written, { { file, [source, indices] (const juce::File& f) { return source->exportPresets (f, indices); } } } };
    }

    ExportPlan plan { nothingWritten, {} };
    bool answerForAll = false;
    int answer = FileReplaceComponent::no;

    for (auto index : indices)
    {
        if (! source->isPresetSlotUsed (index))
            continue;

        const auto file = folder.getChildFile (juce::String::formatted ("Preset_%d", index)
                                               + (name.isNotEmpty() ? "_" + name : juce::String()) + ".syx");

        if (isThereToReplace (file))
        {
            if (! answerForAll)
            {
                answer = askToReplace (file, indices.size() > 1);
                answerForAll = (answer & FileReplaceComponent::noToAll) != 0;
            }

            if ((answer & FileReplaceComponent::yes) == 0)
                continue;
        }

        plan.files.push_back ({ file, [source, index] (const juce::File& f) { return source->exportPresets (f, { index }); } });
    }

    return plan;
}

DataPage::ExportPlan DataPage::planSetupFile (std::shared_ptr<const DeviceData> source, const juce::String& path)
{
    if (! source->getSetup().isComplete())
        return { sourceUnusable, {} };

    const juce::File file (path);

    if (isThereToReplace (file) && (askToReplace (file, false) & FileReplaceComponent::yes) == 0)
        return { nothingWritten, {} };

    return { written, { { file, [source] (const juce::File& f) { return source->exportSetup (f); } } } };
}

/** One export: its files, and how their writes went (read on the message thread once the last is written). */
struct DataPage::ExportRun
{
    juce::StringArray paths;
    size_t left = 0;
    bool anyWritten = false, anyFailed = false;
    juce::Array<int> errors;   // what the system said of those that failed
};

/** The files of the exports handed over, in that order, written one at a
    time on the writes thread: each is handed over once the one before it is
    written, so that saves handed over meanwhile go between. The page's lane
    waits for its jobs before it goes, the last file of an export included. */
struct DataPage::ExportQueue
{
    using Ended = std::function<void (const std::shared_ptr<ExportRun>&)>;

    std::mutex lock;
    std::deque<std::pair<ExportFile, std::shared_ptr<ExportRun>>> files;
    bool writing = false;

    static void writeNext (platform::WriteQueue& lane, std::shared_ptr<ExportQueue> queue, Ended ended)
    {
        lane.post ([&lane, queue, ended]
        {
            // Named apart: a lambda cannot capture a structured binding in every compiler.
            auto taken = queue->take();
            const auto& next = taken.first;
            const auto run = taken.second;

            if (SafeSave::makeFolder (next.file.getParentDirectory()) && next.write (next.file))
            {
                run->anyWritten = true;
            }
            else
            {
                run->anyFailed = true;
                run->errors.addIfNotAlreadyThere (SafeSave::lastError());
            }

            if (--run->left == 0)
                juce::MessageManager::callAsync ([run, ended] { ended (run); });

            const std::lock_guard hold (queue->lock);
            queue->writing = ! queue->files.empty();

            if (queue->writing)
                writeNext (lane, queue, ended);
        });
    }

    std::pair<ExportFile, std::shared_ptr<ExportRun>> take()
    {
        const std::lock_guard hold (lock);
        auto next = std::move (files.front());
        files.pop_front();
        return next;
    }
};

void DataPage::writeExport (std::vector<ExportFile> files, ExportWritten whenWritten)
{
    if (files.empty())
        return whenWritten (nothingWritten, {});

    auto run = std::make_shared<ExportRun>();
    run->left = files.size();

    for (const auto& file : files)
        run->paths.add (file.file.getFullPathName());

    exportsBeingWritten.push_back ({ run, std::move (whenWritten) });

    if (exportQueue == nullptr)
        exportQueue = std::make_shared<ExportQueue>();

    const std::lock_guard hold (exportQueue->lock);

    for (auto& file : files)
        exportQueue->files.emplace_back (std::move (file), run);

    if (! std::exchange (exportQueue->writing, true))
        ExportQueue::writeNext (autosave->exports, exportQueue, [page = juce::Component::SafePointer<DataPage> (this)] (const auto& ended)
        {
            if (page != nullptr)
                page->exportWritten (ended);
        });
}

void DataPage::exportWritten (const std::shared_ptr<ExportRun>& run)
{
    const auto found = std::find_if (exportsBeingWritten.begin(), exportsBeingWritten.end(), [&run] (const auto& e) { return e.first == run; });

    if (found == exportsBeingWritten.end())
        return;

    const auto whenWritten = std::move (found->second);
    exportsBeingWritten.erase (found);
    whenWritten (run->anyFailed ? writeFailed : run->anyWritten ? written : nothingWritten, run->errors);
}

// A file an export still being written is about to make is there for the question too.
bool DataPage::isThereToReplace (const juce::File& file) const
{
    const auto path = file.getFullPathName();
    return file.exists() || std::any_of (exportsBeingWritten.begin(), exportsBeingWritten.end(),
                                         [&path] (const auto& e) { return e.first->paths.contains (path); });
}

//==============================================================================
void DataPage::importData()
{
    auto* work = deviceDataSet != nullptr ? deviceDataSet->getWorkingData() : nullptr;

    if (work == nullptr || caps == nullptr || importRun != nullptr)
        return;

    juce::Array<juce::ValueTree> backups;
    SourceTree::collectNodes (findCategoryNode (archiveCategory), backups);

    ImportRequest request;
    request.caps = caps.get();
    request.deviceName = deviceName;
    request.lastImportFile = Belvora::getUserSettings().getValue ("lastImportFile");
    request.destinationNames.addArray ({ "<Send directly to " + deviceName + "...>", "<Create new backup...>", "To Workspace" });
    request.destinationNames.addArray (SourceTree::makeUniqueLabels (backups));
    request.destinations.add (deviceDataSet->getLiveData().get());
    request.destinations.add (nullptr);
    request.destinations.add (work);

    for (const auto& backup : backups)
        request.destinations.add (SourceTree::getDeviceData (backup));

    ImportChoice choice;

    if (dialogs.importDialog != nullptr)
    {
        choice = dialogs.importDialog (*this, request);
    }
    else
    {
        ImportDialog dialog (this, *caps, request.destinations, request.lastImportFile, request.destinationNames);
        choice.accepted = dialog.runModal() != 0;
        choice.files = dialog.getChosenFiles();
        choice.destinationId = dialog.getSelectedDestinationId();
        choice.startId = dialog.getSelectedStartId();
    }

    if (! choice.accepted || choice.files.isEmpty())
        return;

    const auto& model = deviceDataSet->getLiveData() != nullptr ? *deviceDataSet->getLiveData() : *work;

    importRun = std::make_unique<ImportRun>();
    importRun->files = choice.files;
    importRun->startSlot = ImportContent::startSlotFor (choice.startId);
    importRun->destinationId = choice.destinationId;
    importRun->backups = backups;
    importRun->collector = std::make_unique<DeviceData> (model.getProductName(), model.getFirmwareVersion(), caps->caps,
                                                         model.getFactoryBank());
    continueImport();
}

void DataPage::addImportedData (const DeviceData& data)
{
    auto& collector = *importRun->collector;
    collector.copyPresetsFrom (data);

    // A setup file brings its setup along.
    if (data.getSetup().isComplete())
        collector.setSetup (data.getSetup(), true);

    importRun->importedAny = importRun->importedAny || data.getNumPresets() > 0 || data.getSetup().isComplete();
}

void DataPage::continueImport()
{
    auto* content = Nexus::getContentManager();
    auto& run = *importRun;
    const auto& unit = run.collector->getCapsBlock();

    while (run.next < run.files.size())
    {
        const auto file = run.files[run.next++];
        int productId = 0, version = 0;
        const auto kind = SysEx::peekFile (file, productId, version);

        // Step packets and firmware images are no data to import either: the user hears of them too.
        if ((kind & 0x10u) != 0 || kind == SysEx::fileStepPacket || kind == SysEx::fileFirmware)
        {
            run.allOk = false;

            if (! warnDuringRun (&run, "Import Error", "Unable to import " + file.getFullPathName() + ". The file will be skipped."))
                return;

            continue;
        }

        if (kind != SysEx::filePreset && kind != SysEx::fileSetup)
        {
            run.allOk = false;
            run.refused.add (refusalOf (file, kind));
            continue;
        }

        const bool presets = kind == SysEx::filePreset;
        std::unique_ptr<DeviceData> fileData;

        if (productId == unit.productId && version == (presets ? unit.presetVersion : unit.setupVersion))
        {
            fileData = std::make_unique<DeviceData> (run.collector->getProductName(), run.collector->getFirmwareVersion(),
                                                     unit, run.collector->getFactoryBank());
        }
        else if (content != nullptr)
        {
            if (auto fileCaps = DeviceProfiler::createCapsForDataVersions (*content, productId, presets ? 1 : 2, version))
            {
                auto firmware = run.collector->getFirmwareVersion();
                firmware.build = (int16_t) fileCaps->buildStart;

                // The presets go to the unit's slots, so its slot count says which slots there are.
                auto block = fileCaps->caps;
                block.numPresets = unit.numPresets;
                fileData = std::make_unique<DeviceData> (content->getProductName (productId), firmware, block, nullptr);
            }
        }

        if (fileData == nullptr)
        {
            run.allOk = false;
            run.refused.add (refusalOf (file, productId != unit.productId ? SysEx::fileOtherProduct : SysEx::fileOtherVersion));
            continue;
        }

        juce::SortedSet<int> filled;
        const auto result = fileData->importSysEx (file, filled, run.startSlot);

        if ((result & 0xFFFF0000u) != 0)
        {
            const bool full = (result & SysEx::fileBeyondLastSlot) != 0;
            run.anyError = true;

            if (! warnDuringRun (&run, full ? "Import Warning" : "Import Error",
                                 "Not all data could be imported from '" + file.getFullPathName() + "'. " + importFailureReason (result)))
                return;

            if (full)
                break;
        }

        // The next file goes on after the last slot filled; a file that filled none leaves the start where it was.
        if (run.startSlot >= 0 && ! filled.isEmpty())
            run.startSlot = filled.getLast() + 1;

        if (fileData->isSameDeviceType (unit))
        {
            addImportedData (*fileData);
            continue;
        }

        // Conversions run scripts: the import goes on once this one is done.
        const bool started = startConversion (run.conversion, std::move (fileData), *run.collector,
                                              [file] (DataPage& page, std::unique_ptr<DeviceData> converted)
        {
            auto& r = *page.importRun;

            if (converted != nullptr)
            {
                page.addImportedData (*converted);
            }
            else
            {
                r.anyError = true;
                r.allOk = false;

                if (! page.warnDuringRun (&r, "Import Error", conversionFailureText (file)))
                    return;
            }

            page.continueImport();
        });

        if (started)
            return;

        run.anyError = true;
        run.allOk = false;

        if (! warnDuringRun (&run, "Import Error", conversionFailureText (file)))
            return;
    }

    finishImport();
}

bool DataPage::startConversion (std::unique_ptr<ConversionJob>& holder, std::unique_ptr<DeviceData> data,
                                const DeviceData& target, ConversionDone whenDone)
{
    auto* content = Nexus::getContentManager();

    if (content == nullptr)
        return false;

    holder = std::make_unique<ConversionJob> (*content, std::shared_ptr<const DeviceData> (std::move (data)),
                                              target.getCapsBlock().productId, target.getFirmwareVersion());
    const auto* job = holder.get();
    juce::Component::SafePointer<DataPage> page (this);

    const bool started = holder->start ([page, job, whenDone] (ConversionJob::Outcome outcome)
    {
        // Data that comes back with error bits lacks a preset or the setup: it is no converted file.
        if (outcome.result.hasErrors())
            outcome.converted.reset();

        auto converted = std::make_shared<std::unique_ptr<DeviceData>> (std::move (outcome.converted));

        juce::MessageManager::callAsync ([page, job, converted, whenDone]
        {
            auto* owner = page != nullptr ? page->findConversion (job) : nullptr;

            if (owner == nullptr)
                return;

            owner->reset();
            whenDone (*page, std::move (*converted));
        });
    });

    if (! started)
        holder.reset();

    return started;
}

std::unique_ptr<ConversionJob>* DataPage::findConversion (const ConversionJob* job)
{
    if (importRun != nullptr && importRun->conversion.get() == job)
        return &importRun->conversion;

    if (mwdRun != nullptr && mwdRun->conversion.get() == job)
        return &mwdRun->conversion;

    if (workspaceConversion.get() == job)
        return &workspaceConversion;

    return nullptr;
}

bool DataPage::warnDuringRun (const void* run, const juce::String& title, const juce::String& message)
{
    juce::Component::SafePointer<DataPage> page (this);
    Alerts::showWarning (this, title, message);
    return page != nullptr && run != nullptr && (run == importRun.get() || run == mwdRun.get());
}

void DataPage::finishImport()
{
    const auto run = std::move (importRun);

    if (deviceDataSet == nullptr)
        return;

    juce::ValueTree target;
    bool newTransaction = true;

    // Nothing came of the files: no empty backup, nothing merged or sent, only the reasons.
    if (! run->importedAny)
    {
        run->destinationId = 0;

        if (run->refused.isEmpty() && ! run->anyError)
            run->allOk = false;
    }

    switch (run->destinationId)
    {
        case 1:
            sendDataToDevice (run->collector->clone (false), false);
            break;

        case 2:
        {
            juce::String description ("Imported from:\n");

            for (const auto& file : run->files)
                description << file.getFullPathName() << "\n";

            auto backups = findCategoryNode (archiveCategory);

            if (backups.isValid())
            {
                target = SourceTree::addArchiveNode (std::make_unique<DeviceDataArchive> (*run->collector, run->files.getFirst().getFileNameWithoutExtension(), description));
                undoManager.beginNewTransaction();
                backups.appendChild (target, &undoManager);
                newTransaction = false;
            }
            break;
        }

        case 3:
            target = getDeviceNode();
            break;

        case 0:
            break;

        default:
            if (run->destinationId < 1 || run->destinationId - 4 >= run->backups.size())
                return;

            target = run->backups[run->destinationId - 4];
            break;
    }

    Belvora::getUserSettings().setValue ("lastImportFile", run->files.getFirst().getFullPathName());

    if (run->destinationId > 1)
    {
        if (! target.isValid())
            return;

        // A backup taken out of the page's tree while the files converted gets nothing.
        if (! target.isAChildOf (rootTree))
            return Alerts::showWarning (this, "Import Error", "Not all file(s) could be imported");

        mergeData (target, *run->collector, true, newTransaction);
    }

    // Files refused without a box of their own are named here, each with its reason.
    if (! run->refused.isEmpty())
        Alerts::showWarning (this, "Import Error", "Not all file(s) could be imported\n\n" + run->refused.joinIntoString ("\n"));
    else if (run->anyError)
        return;
    else if (! run->allOk)
        Alerts::showWarning (this, "Import Error", "Not all file(s) could be imported");
    else if (run->destinationId != 1)
        Alerts::showInfo (this, "Import", "Import complete");
}

//==============================================================================
void DataPage::importMwdBinaryFiles (const juce::ValueTree& targetGroup)
{
    if (mwdRun != nullptr)
        return;

    FileChoosers::Request request;
    request.mode = FileChoosers::Mode::openFiles;
    request.title = "Import MWD Binary Files";
    request.start = juce::File (Belvora::getUserSettings().getValue ("developerLastMWDImportFile"));
    request.patterns = "*.mwd";

    const auto files = FileChoosers::choose (request);

    if (files.isEmpty())
        return;

    mwdRun = std::make_unique<MwdImportRun>();
    mwdRun->files = files;
    mwdRun->target = targetGroup;
    continueMwdImport();
}

void DataPage::continueMwdImport()
{
    auto& run = *mwdRun;

    while (run.next < run.files.size())
    {
        const auto file = run.files[run.next++];
        auto data = DeviceData::loadFromFile (file);

        if (data == nullptr)
        {
            if (! warnDuringRun (&run, "Import Error", "Unable to load " + file.getFullPathName() + ". Skipping this file."))
                return;

            continue;
        }

        const auto* work = deviceDataSet != nullptr ? deviceDataSet->getWorkingData() : nullptr;

        if (work == nullptr || data->isSameDeviceType (work->getCapsBlock()))
        {
            addMwdBackup (*data, file);
            continue;
        }

        // Conversions run scripts: the files go on once this one is done, in their order.
        const bool started = startConversion (run.conversion, std::move (data), *work,
                                              [file] (DataPage& page, std::unique_ptr<DeviceData> converted)
        {
            if (converted != nullptr)
                page.addMwdBackup (*converted, file);
            else if (! page.warnDuringRun (page.mwdRun.get(), "Import Error", conversionFailureText (file)))
                return;

            page.continueMwdImport();
        });

        if (started)
            return;

        if (! warnDuringRun (&run, "Import Error", conversionFailureText (file)))
            return;
    }

    mwdRun.reset();
}

void DataPage::addMwdBackup (DeviceData& data, const juce::File& file)
{
    data.clearModified (false);
    auto& target = mwdRun->target;

    // A group taken out of the page's tree meanwhile gets nothing.
    if (! target.isAChildOf (rootTree))
        return;

    auto node = SourceTree::addArchiveNode (std::make_unique<DeviceDataArchive> (data, file.getFileNameWithoutExtension(), "FILL THIS IN"));
    undoManager.beginNewTransaction();
    target.appendChild (node, &undoManager);
}

void DataPage::importPresetPack (const juce::ValueTree& targetGroup)
{
    auto* content = Nexus::getContentManager();
    const auto live = deviceDataSet != nullptr ? deviceDataSet->getLiveData() : nullptr;

    if (content == nullptr || live == nullptr || caps == nullptr || ! targetGroup.isValid())
        return;

    FileChoosers::Request request;
    request.title = "Import Preset Pack";
    request.start = juce::File (Belvora::getUserSettings().getValue ("developerLastMWDImportFile"));
    request.patterns = "*.xml";
    const auto chosen = FileChoosers::choose (request);

    // The system's chooser leaves the window free: a quit or a disconnection meanwhile closed the sources.
    if (chosen.isEmpty() || caps == nullptr || ! targetGroup.isAChildOf (rootTree))
        return;

    const auto file = chosen.getFirst();
    const std::shared_ptr<juce::XmlElement> pack (ContentManager::readXmlFromFile (file.getFullPathName(), nullptr));

    if (pack == nullptr || ! pack->hasTagName ("PRESETS"))
        return;

    const auto* product = pack->getChildByName ("product");

    if ((product != nullptr ? product->getStringAttribute ("name") : juce::String()) != content->getProductName (caps->caps.productId))
        return Alerts::showWarning (this, "Error", "The presets.xml control file doesn't match the product you're working with.");

    if (packRunner == nullptr)
        packRunner = std::make_unique<PresetPackToolRunner> (*content);

    // The entries convert with scripts, on the runner's thread; the backups join the tree here.
    auto made = std::make_shared<std::vector<std::unique_ptr<DeviceDataArchive>>>();
    const auto firmware = live->getFirmwareVersion();
    const auto folder = file.getParentDirectory();
    juce::Component::SafePointer<DataPage> page (this);
    juce::ValueTree target (targetGroup);

    packRunner->start ([pack, made, firmware, folder] (PresetPackTool& tool)
    {
        for (auto* entry : pack->getChildWithTagNameIterator ("archive"))
            if (auto archive = tool.createArchive (*entry, firmware, folder))
                made->push_back (std::move (archive));
    },
    [page, made, target]() mutable
    {
        if (page == nullptr || ! target.isAChildOf (page->getRootTree()))
            return;

        for (auto& archive : *made)
        {
            page->getUndoManager().beginNewTransaction();
            target.appendChild (SourceTree::addArchiveNode (std::move (archive)), &page->getUndoManager());
        }
    });
}

void DataPage::convertPresetPacks()
{
    auto* content = Nexus::getContentManager();

    if (content == nullptr)
        return;

    if (packRunner == nullptr)
        packRunner = std::make_unique<PresetPackToolRunner> (*content);

    packRunner->selectAndConvert();
}
