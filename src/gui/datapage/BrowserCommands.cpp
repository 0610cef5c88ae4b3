// The operations the source browser offers on the tree: its menu, the drop
// menu of presets, backups of the unit's data, groups, duplicates, deletes.

#include "gui/datapage/SourceDataBrowser.h"

#include "app/Belvora.h"
#include "app/Nexus.h"
#include "devices/DeviceManager.h"
#include "gui/CommandIDs.h"
#include "gui/datapage/DataPage.h"
#include "gui/datapage/GridMenus.h"
#include "gui/datapage/SourceTreeItem.h"
#include "gui/widgets/NavigationKeys.h"
#include "model/SourceTree.h"

using namespace SourceTreeIds;

namespace
{
    enum TreeMenuItem
    {
        getFromUnit = 1, sendChanges, backupAll, backupSelected, backupUser,
        emptyGroup, groupFromSelected, duplicate, deleteEntries, renameEntry,
        sendToUnit, restoreToUnit, copyToWorkspace, makeLocalArchive, synchronize, upload,
        importMwd, importPack, convertPacks
    };

    enum DropMenuItem { replacePresets = 1, pasteToEmptySlots, pasteToEmptyRange, restoreData, sendPresets, sendSetup, cancel };

    juce::String deviceName (const DataPage* page)
    {
        if (auto* devices = Nexus::getDeviceManager())
            return devices->getActiveDeviceDisplayName();

        return page != nullptr ? page->getDeviceName() : juce::String();
    }

    bool isDeveloper()
    {
        auto* app = Belvora::getInstance();
        return app != nullptr && app->isDeveloperMode();
    }

    /** The start of the first run of count consecutive slots among the sorted empty ones; -1 when none. */
    int findEmptyRun (const juce::Array<int>& empty, int count)
    {
        for (int i = 0; i + count <= empty.size(); ++i)
            if (empty[i + count - 1] - empty[i] == count - 1)
                return empty[i];

        return -1;
    }

    /** The target's slots that a drop menu's choice fills with presets from these slots; empty when it fills none. */
    juce::Array<int> chooseSlots (int itemId, const DeviceData& target, const juce::Array<int>& indices)
    {
        const auto n = indices.size();
        const auto empty = target.getEmptyPresetIndices();
        juce::Array<int> slots;

        if (itemId == replacePresets)
            slots = indices;
        else if (itemId == pasteToEmptySlots && empty.size() >= n)
            slots.addArray (empty, 0, n);
        else if (const auto run = findEmptyRun (empty, n); itemId == pasteToEmptyRange && run >= 0)
            for (int i = 0; i < n; ++i)
                slots.add (run + i);

        return slots;
    }
}

//==============================================================================
bool SourceDataBrowser::isInside (const juce::ValueTree& node, const juce::ValueTree& container) const
{
    return container.isValid() && (node == container || node.isAChildOf (container));
}

juce::ValueTree SourceDataBrowser::firstSelectedInside (const juce::ValueTree& container) const
{
    const auto selected = getSelectedTrees();
    return ! selected.isEmpty() && isInside (selected.getFirst(), container) ? selected.getFirst() : juce::ValueTree();
}

juce::String SourceDataBrowser::getSourceName() const
{
    const auto selected = getSelectedTrees();
    return selected.size() == 1 ? "'" + selected.getFirst()[label].toString() + "'" : juce::String ("All Selected");
}

//==============================================================================
juce::PopupMenu SourceDataBrowser::createTreeMenu()
{
    juce::PopupMenu menu;
    auto* row = dynamic_cast<SourceTreeItem*> (treeView.getSelectedItem (0));

    if (row == nullptr || rootItem == nullptr)
        return menu;

    const auto& node = row->getNode();
    const auto where = SourceTree::getCategoryOf (node);

    if (where.category.isVoid())
        return menu;

    const auto* set = dataPage != nullptr ? dataPage->getDeviceDataSet() : nullptr;
    const auto active = set != nullptr ? set->getLiveData() : nullptr;
    const bool synced = active != nullptr && active->getNumPresets() > 0;
    const auto* data = SourceTree::getDeviceData (node);
    const bool userPresets = data != nullptr && ! data->getDifferentPresetIndices().isEmpty();
    const bool presetsSelected = data != nullptr && dataPage != nullptr && ! dataPage->getSelectedPresetIndices().isEmpty();
    const bool single = treeView.getNumSelectedItems() == 1;
    const auto name = deviceName (dataPage);
    const auto category = where.category.toString();

    if (category == deviceCategory)
    {
        // The workspace may hold edits where the unit has no presets: the page asks before its read replaces them.
        if (! synced)
        {
            menu.addItem (getFromUnit, "Synchronize With " + name, dataPage == nullptr || ! dataPage->isConvertingWorkspace());
            return menu;
        }

        menu.addItem (getFromUnit, "Get Preset and Setup Data From " + name);
        menu.addItem (sendChanges, "Send Changes To " + name, set != nullptr && set->isModified());
        menu.addItem (backupAll, "Backup All Data", synced);
        menu.addItem (backupUser, "Backup User Presets", userPresets);
        menu.addItem (backupSelected, "Backup Selected Presets", presetsSelected);
    }
    else if (category == archiveCategory)
    {
        menu.addItem (emptyGroup, "Create An Empty Group");

        if (! node.hasType (SourceTreeIds::category))
        {
            menu.addItem (groupFromSelected, "Create A Group From Selected");
            menu.addItem (duplicate, "Duplicate Selected");
            menu.addItem (deleteEntries, "Delete Selected");
            menu.addItem (renameEntry, "Rename", single);
            menu.addSeparator();

            if (SourceTree::getDataSet (node) != nullptr)
            {
                menu.addItem (restoreToUnit, "Restore " + getSourceName() + " To " + name, synced && single);
                menu.addItem (sendToUnit, "Send " + getSourceName() + " To " + name, synced);
                menu.addItem (copyToWorkspace, "Copy " + getSourceName() + " To Workspace", synced);
            }
        }
    }
    else if (category == cloudCategory)
    {
        if (where.subCategory == juce::var (userSubCategory))
        {
            menu.addItem (synchronize, "Synchronize", false);
            menu.addItem (upload, "Upload Data To My Account", false);
        }
        else if (! node.hasType (group) && SourceTree::getDataSet (node) != nullptr)
        {
            menu.addItem (sendToUnit, "Send " + getSourceName() + " To " + name, synced);
            menu.addItem (copyToWorkspace, "Copy " + getSourceName() + " To Workspace", synced);
            menu.addItem (makeLocalArchive, "Create Local Archive Of " + getSourceName());
        }
    }

    if (isDeveloper() && (category == archiveCategory || category == cloudCategory))
    {
        juce::PopupMenu developer;
        developer.addItem (importMwd, "Import .mwd file(s)...");
        developer.addItem (importPack, "Import BV1 preset pack...");
        developer.addItem (convertPacks, "Convert BV1 preset pack(s)...");
        menu.addSeparator();
        menu.addSubMenu ("Developer", developer);
    }

    return menu;
}

void SourceDataBrowser::showTreeMenu (const juce::MouseEvent& e)
{
    if (e.mods.isPopupMenu())
        showTreeMenu (juce::PopupMenu::Options().withMousePosition());
}

bool SourceDataBrowser::showTreeMenuByKeys()
{
    auto* row = treeView.getSelectedItem (0);

    if (row == nullptr || ! treeView.hasKeyboardFocus (true))
        return false;

    treeView.scrollToKeepItemVisible (row);
    return showTreeMenu (NavigationKeys::besideArea (treeView, row->getItemPosition (true)));
}

bool SourceDataBrowser::showTreeMenu (const juce::PopupMenu::Options& where)
{
    auto menu = createTreeMenu();

    if (menu.getNumItems() == 0)
        return false;

    GridMenus::show (std::move (menu), *this, where, [this] (int chosen)
    {
        if (chosen != 0)
            performTreeMenuItem (chosen);
    });
    return true;
}

bool SourceDataBrowser::renameByKeys()
{
    bool offered = false;

    if (! treeView.hasKeyboardFocus (true) || ! GridMenus::findItem (createTreeMenu(), renameEntry, nullptr, &offered) || ! offered)
        return false;

    performTreeMenuItem (renameEntry);
    return true;
}

void SourceDataBrowser::performTreeMenuItem (int itemId)
{
    auto* row = dynamic_cast<SourceTreeItem*> (treeView.getSelectedItem (0));
    const auto node = row != nullptr ? row->getNode() : juce::ValueTree();

    switch (itemId)
    {
        case getFromUnit:
            if (dataPage != nullptr)
                dataPage->syncWithDevice();
            break;

        case sendChanges:
            for (auto* c = getParentComponent(); c != nullptr; c = c->getParentComponent())
                if (auto* target = dynamic_cast<juce::ApplicationCommandTarget*> (c))
                {
                    target->invokeDirectly (CommandIDs::applyChanges, false);
                    break;
                }
            break;

        case backupAll:             backupDeviceData (true, true, true); break;
        case backupSelected:        backupDeviceData (false, true, false); break;
        case backupUser:            backupDeviceData (false, false, true); break;
        case emptyGroup:            createEmptyGroup(); break;
        case groupFromSelected:     createGroupFromSelected(); break;
        case duplicate:
        case makeLocalArchive:      duplicateSelected(); break;

        case deleteEntries:         deleteSelected(); break;

        case renameEntry:                showRenameEditor (node, true); break;

        case sendToUnit:
        case restoreToUnit:
            if (dataPage != nullptr && SourceTree::getDeviceData (node) != nullptr)
                if (auto merged = mergeSelectedDeviceData())
                    dataPage->sendDataToDevice (std::move (merged), itemId == restoreToUnit);
            break;

        case copyToWorkspace:
            if (dataPage != nullptr && SourceTree::getDeviceData (node) != nullptr && dataPage->getDeviceDataSet() != nullptr)
                if (auto merged = mergeSelectedDeviceData())
                    askWhereToCopy (*merged);
            break;

        case importMwd:
        case importPack:
            if (dataPage != nullptr && node.isValid())
            {
                const auto target = node.hasType (group) || node.hasType (SourceTreeIds::category) ? node : node.getParent();

                if (itemId == importMwd)
                    dataPage->importMwdBinaryFiles (target);
                else
                    dataPage->importPresetPack (target);
            }
            break;

        case convertPacks:
            if (dataPage != nullptr)
                dataPage->convertPresetPacks();
            break;

        default:
            break;
    }
}

//==============================================================================
juce::PopupMenu SourceDataBrowser::createPresetDropMenu (const juce::ValueTree& target, const juce::ValueTree& source,
                                                         const juce::Array<int>& indices, bool wholeDataSet, bool fromArchive)
{
    const auto* targetData = SourceTree::getDeviceData (target);
    const auto* sourceData = SourceTree::getDeviceData (source);

    if (! target.isValid() || ! source.isValid() || indices.isEmpty() || targetData == nullptr || sourceData == nullptr)
        return {};

    return createPresetDropMenu (*targetData, *sourceData, indices, source == target, wholeDataSet, fromArchive);
}

juce::PopupMenu SourceDataBrowser::createPresetDropMenu (const DeviceData& targetData, const DeviceData& sourceData,
                                                         const juce::Array<int>& indices, bool sameSet, bool wholeDataSet, bool fromArchive)
{
    juce::PopupMenu menu;
    const auto n = indices.size();
    const juce::String noun = n > 1 ? "Presets" : "Preset";
    const juce::String plural = n > 1 ? "s" : "";
    const auto empty = targetData.getEmptyPresetIndices();
    const auto run = findEmptyRun (empty, n);

    if (wholeDataSet || fromArchive)
        menu.addSectionHeader ("To Workspace");

    if (! sameSet)
    {
        if (n == 1)
        {
            const auto* preset = targetData.getPreset (indices.getFirst());
            menu.addItem (replacePresets, "Replace " + juce::String (indices.getFirst()) + ": "
                                              + (preset != nullptr ? preset->getName() : juce::String ("<empty>")));
        }
        else
        {
            menu.addItem (replacePresets, "Replace Presets");
        }
    }

    menu.addItem (pasteToEmptySlots, "Paste " + noun + " to Empty Slot" + plural, empty.size() >= n);

    if (n > 1)
    {
        if (run >= 0)
            menu.addItem (pasteToEmptyRange, "Paste " + noun + " to Empty Range [" + juce::String (run) + "-" + juce::String (run + n - 1) + "]");
        else
            menu.addItem (pasteToEmptyRange, "Paste " + noun + " to Empty Range", false);
    }

    if (wholeDataSet || fromArchive)
    {
        menu.addSeparator();
        menu.addSectionHeader ("To " + deviceName (dataPage));

        if (fromArchive)
            menu.addItem (restoreData, "Restore Data");

        menu.addItem (sendPresets, "Send Presets");
        menu.addItem (sendSetup, "Send Setup", sourceData.getSetup().isComplete());
    }

    menu.addSeparator();
    menu.addItem (cancel, "Cancel");
    return menu;
}

void SourceDataBrowser::showPresetDropMenu (const juce::ValueTree& target, const juce::ValueTree& source,
                                            const juce::Array<int>& indices, bool wholeDataSet, bool fromArchive)
{
    auto menu = createPresetDropMenu (target, source, indices, wholeDataSet, fromArchive);

    if (menu.getNumItems() == 0)
        return;

    GridMenus::show (std::move (menu), *this, [this, target, source, indices] (int chosen)
    {
        if (chosen != 0)
            performPresetDropItem (chosen, target, source, indices);
    });
}

void SourceDataBrowser::performPresetDropItem (int itemId, const juce::ValueTree& target, const juce::ValueTree& source,
                                               const juce::Array<int>& indices)
{
    const auto* targetData = SourceTree::getDeviceData (target);
    const auto* sourceData = SourceTree::getDeviceData (source);

    if (dataPage == nullptr || targetData == nullptr || sourceData == nullptr || indices.isEmpty())
        return;

    switch (itemId)
    {
        case restoreData:
        case sendPresets:
            dataPage->sendDataToDevice (sourceData->createCopy (indices, true, false), itemId == restoreData);
            return;

        case sendSetup:
            dataPage->sendDataToDevice (sourceData->createCopy ({}, true, false), false);
            return;

        default:
            break;
    }

    if (const auto targetIndices = chooseSlots (itemId, *targetData, indices); ! targetIndices.isEmpty())
    {
        dataPage->copyPresets (target, targetIndices, source, indices, true, true);
        dataPage->setSelection (target, targetIndices);
    }
}

// Into the workspace where the user says, as when the presets are dropped on it:
// its own presets are replaced only when that is the choice.
void SourceDataBrowser::askWhereToCopy (const DeviceData& merged)
{
    const auto target = getDeviceNode();
    const auto* targetData = SourceTree::getDeviceData (target);
    const auto indices = merged.getUsedPresetIndicesInRange (1, merged.getNumSlots() - 1);

    if (targetData == nullptr || indices.isEmpty())
        return;

    std::shared_ptr<const DeviceData> presets (merged.createCopy (indices, false, false));
    auto* row = treeView.getSelectedItem (0);
    const auto where = row != nullptr ? NavigationKeys::besideArea (treeView, row->getItemPosition (true))
                                      : juce::PopupMenu::Options().withMousePosition();

    GridMenus::show (createPresetDropMenu (*targetData, *presets, indices, false, false, false), *this, where,
                     [this, target, presets, indices] (int chosen)
    {
        const auto* data = SourceTree::getDeviceData (target);
        const auto slots = data != nullptr ? chooseSlots (chosen, *data, indices) : juce::Array<int>();

        if (dataPage != nullptr && ! slots.isEmpty())
        {
            dataPage->pastePresets (target, slots, *presets, true, true);
            dataPage->setSelection (target, slots);
        }
    });
}

//==============================================================================
void SourceDataBrowser::backupDeviceData (bool all, bool selected, bool user)
{
    const auto deviceNode = getDeviceNode();
    const auto backups = getBackupsNode();
    const auto* data = SourceTree::getDeviceData (deviceNode);

    if (! deviceNode.isValid() || ! backups.isValid() || dataPage == nullptr || data == nullptr)
        return;

    auto target = firstSelectedInside (backups);

    if (! target.isValid())
        target = backups;

    if (target.hasType (SourceTreeIds::node))
        target = target.getParent();

    std::unique_ptr<DeviceDataArchive> backup;

    if (all)
    {
        backup = std::make_unique<DeviceDataArchive> (*data, "Backup", juce::String());
    }
    else
    {
        juce::Array<int> indices;

        // Selected slots are the workspace's only while the grid shows the workspace.
        if (selected && dataPage->getSelectedSource() == deviceNode)
            indices = dataPage->getSelectedPresetIndices();

        if (user)
            for (auto slot : data->getDifferentPresetIndices())
                indices.addIfNotAlreadyThere (slot);

        const auto copy = data->createCopy (indices, true, false);
        backup = std::make_unique<DeviceDataArchive> (*copy, "Backup", juce::String());
    }

    const juce::String suffix = all ? " (All)" : user ? " (User)" : selected ? " (Selected)" : " (\?\?\?)";
    backup->setTitle (SourceTreeItem::makeUniqueTitle (target, backup->getPubDateString() + suffix, {}));

    auto& undoManager = dataPage->getUndoManager();
    undoManager.beginNewTransaction();
    target.appendChild (SourceTree::addArchiveNode (std::move (backup)), &undoManager);
}

juce::ValueTree SourceDataBrowser::makeGroupNextTo (const juce::ValueTree& reference)
{
    auto backups = getBackupsNode();
    auto group = SourceTree::createNode (SourceTreeIds::group, nextGroupName());
    auto& undoManager = dataPage->getUndoManager();
    undoManager.beginNewTransaction();

    if (reference == backups)
    {
        backups.addChild (group, 0, &undoManager);
    }
    else
    {
        auto parent = reference.getParent();
        parent.addChild (group, parent.indexOf (reference) + 1, &undoManager);
    }

    return group;
}

void SourceDataBrowser::createEmptyGroup()
{
    const auto backups = getBackupsNode();

    if (! backups.isValid() || dataPage == nullptr)
        return;

    auto reference = firstSelectedInside (backups);
    const auto group = makeGroupNextTo (reference.isValid() ? reference : backups);

    treeView.resized();
    selectItemFor (group);
    showRenameEditor (group, true);
}

void SourceDataBrowser::createGroupFromSelected()
{
    const auto backups = getBackupsNode();

    if (! backups.isValid() || dataPage == nullptr)
        return;

    juce::Array<juce::ValueTree> entries;
    const auto selected = getSelectedTrees();

    for (int i = selected.size(); --i >= 0;)
        if (selected[i].hasType (SourceTreeIds::node) && selected[i].isAChildOf (backups))
            entries.add (selected[i]);

    if (entries.isEmpty())
        return;

    const auto group = makeGroupNextTo (entries.getFirst());
    moveNodesInto (-1, dataPage->getUndoManager(), entries, group);

    treeView.resized();
    selectItemFor (group);
    showRenameEditor (group, true);
}

void SourceDataBrowser::duplicateSelected()
{
    const auto backups = getBackupsNode();
    const auto selected = getSelectedTrees();

    if (! backups.isValid() || dataPage == nullptr || selected.isEmpty())
        return;

    const auto parent = selected.getFirst().getParent();
    const auto target = isInside (parent, backups) ? parent : backups;

    auto& undoManager = dataPage->getUndoManager();
    undoManager.beginNewTransaction();
    copyNodesInto (-1, undoManager, selected, target);
    treeView.resized();
}

void SourceDataBrowser::deleteSelected()
{
    if (dataPage == nullptr)
        return;

    const auto backups = getBackupsNode();
    const auto uploads = getUploadFolder();
    juce::Array<juce::ValueTree> trees;

    for (const auto& tree : getSelectedTrees())
        if ((backups.isValid() && tree.isAChildOf (backups)) || (uploads.isValid() && tree.isAChildOf (uploads)))
            trees.add (tree);

    // Nothing to delete opens no transaction: the edit before it stays one step.
    if (trees.isEmpty())
        return;

    auto& undoManager = dataPage->getUndoManager();
    undoManager.beginNewTransaction();
    deleteNodes (trees, undoManager);
    treeView.resized();
    selectItemFor (backups);
}

void SourceDataBrowser::deleteArchiveEntry (const juce::ValueTree& node)
{
    if (! node.isValid() || SourceTree::isUserNode (node) || ! node.isAChildOf (getRootNode())
        || ! (node.hasType (SourceTreeIds::group) || node.hasType (SourceTreeIds::node)) || dataPage == nullptr)
        return;

    const auto parent = node.getParent();
    auto& undoManager = dataPage->getUndoManager();
    undoManager.beginNewTransaction();
    deleteNodes ({ node }, undoManager);
    selectItemFor (parent);
    notifySelectionChanged();
}

std::unique_ptr<DeviceData> SourceDataBrowser::mergeSelectedDeviceData()
{
    std::unique_ptr<DeviceData> merged;

    for (const auto& tree : getSelectedTrees())
    {
        const auto* data = SourceTree::getDeviceData (tree);

        if (data == nullptr)
            continue;

        if (merged == nullptr)
            merged = data->clone (false);
        else
            merged->copyPresetsFrom (*data);
    }

    return merged;
}

//==============================================================================
void SourceDataBrowser::copyNodesInto (int insertIndex, juce::UndoManager& undoManager,
                                       const juce::Array<juce::ValueTree>& trees, juce::ValueTree target)
{
    const auto openness = treeView.getOpennessState (true);

    for (int i = trees.size(); --i >= 0;)
    {
        const auto& tree = trees.getReference (i);

        // A copy leaves the original where it is, so the insert index stays as it was.
        if (! tree.getParent().isValid() || tree == target || target.isAChildOf (tree))
            continue;

        if (! (tree.hasType (SourceTreeIds::group) || tree.hasType (SourceTreeIds::node)))
            continue;

        const auto title = SourceTreeItem::makeUniqueTitle (target, tree[label].toString(), " copy");
        auto copy = tree.createCopy();
        SourceTree::renumber (copy);
        copy.setProperty (label, title, nullptr);

        if (auto* backup = SourceTree::getArchive (copy))
            backup->setTitle (title);

        undoManager.beginNewTransaction();
        target.addChild (copy, insertIndex, &undoManager);
    }

    if (openness != nullptr)
        treeView.restoreOpennessState (*openness, true);
}

void SourceDataBrowser::moveNodesInto (int insertIndex, juce::UndoManager& undoManager,
                                       const juce::Array<juce::ValueTree>& trees, juce::ValueTree target)
{
    const auto openness = treeView.getOpennessState (true);

    for (int i = trees.size(); --i >= 0;)
    {
        auto tree = trees.getReference (i);
        auto parent = tree.getParent();

        if (! parent.isValid() || tree == target || target.isAChildOf (tree))
            continue;

        if (parent == target && parent.indexOf (tree) < insertIndex)
            --insertIndex;

        parent.removeChild (tree, &undoManager);
        target.addChild (tree, insertIndex, &undoManager);
    }

    if (openness != nullptr)
        treeView.restoreOpennessState (*openness, true);
}

void SourceDataBrowser::deleteNodes (const juce::Array<juce::ValueTree>& trees, juce::UndoManager& undoManager)
{
    for (int i = trees.size(); --i >= 0;)
    {
        auto tree = trees.getReference (i);
        auto parent = tree.getParent();

        if (! parent.isValid())
            continue;

        parent.removeChild (tree, &undoManager);

        if (dataPage != nullptr)
            dataPage->deleteBackupFilesLater (tree);
    }
}
