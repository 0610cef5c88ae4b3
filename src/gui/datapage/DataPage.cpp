#include "gui/datapage/DataPage.h"

#include "app/Belvora.h"
#include "app/Nexus.h"
#include "archive/CloudArchiveManager.h"
#include "archive/LocalArchiveManager.h"
#include "content/ContentManager.h"
#include "devices/DeviceCaps.h"
#include "devices/DeviceManager.h"
#include "devices/DeviceObject.h"
#include "gui/BVLookAndFeel.h"
#include "gui/CommandIDs.h"
#include "gui/MainAppWindow.h"
#include "gui/PresetPackToolRunner.h"
#include "gui/ToolbarItemFactories.h"
#include "gui/Palette.h"
#include "gui/datapage/DataPageImportRun.h"
#include "gui/datapage/DataPageParts.h"
#include "gui/datapage/DataPagePanels.h"
#include "gui/datapage/PanelContainerBase.h"
#include "gui/datapage/SourceTreeItem.h"
#include "gui/dialogs/BackupConversionDialog.h"
#include "gui/dialogs/SearchDialog.h"
#include "gui/widgets/Alerts.h"
#include "model/DeviceData.h"
#include "model/SafeSave.h"
#include "model/SourceTree.h"
#include "platform/Clock.h"
#include "platform/WriteQueue.h"
#include "resources/BinaryResources.h"

#include <cmath>

using namespace SourceTreeIds;

namespace
{
    /** Calls every listener from the last to the first; stops when the page goes, and
        takes the list as it is after a call that changed it. */
    template <typename Listener, typename Call>
    void callListeners (juce::Component& page, juce::Array<Listener*>& listeners, Call&& call)
    {
        const juce::Component::BailOutChecker checker (&page);

        for (int i = listeners.size(); --i >= 0;)
        {
            call (*listeners.getUnchecked (i));

            if (checker.shouldBailOut())
                return;

            i = juce::jmin (i, listeners.size());
        }
    }
}

//==============================================================================
DataPage::DataPage()
    : toolbarFactory (std::make_unique<DataToolbarItemFactory>()),
      panels (std::make_unique<Panels> (*this))
{
    toolbar.setStyle (juce::Toolbar::iconsWithText);
    toolbar.addDefaultItems (*toolbarFactory);

    for (int i = 0; i < toolbar.getNumItems(); ++i)
        if (auto* item = toolbar.getItemComponent (i); item != nullptr && item->getItemId() >= syncItem && item->getItemId() <= uploadToAccount)
        {
            item->addListener (this);

            if (item->getItemId() == toggleView && Belvora::getPresetButtonViewType() != 0)
                item->setToggleState (true, juce::dontSendNotification);
        }

    addAndMakeVisible (toolbar);

    addAndMakeVisible (browser);
    browser.addListener (this);

    addAndMakeVisible (*panels);
    panels->getDataView().addChangeListener (this);

    for (auto* panel : { static_cast<PresetDataChangeListener*> (&panels->getDataView()), static_cast<PresetDataChangeListener*> (&panels->getDetails()) })
        addPresetDataChangeListener (panel);

    addArchiveChangeListener (&panels->getDataView());
    addArchiveChangeListener (&panels->getDetails());

    const auto b = getStoredBrowserSize();
    layout.setItemLayout (0, -0.001, -0.8, b);
    layout.setItemLayout (1, 8, 8, 8);
    layout.setItemLayout (2, 150, -1.0, -0.99 - b);
    resizerBar = std::make_unique<juce::StretchableLayoutResizerBar> (&layout, 1, true);
    addAndMakeVisible (*resizerBar);

    const auto arrow = juce::Drawable::createFromImageData (BinaryResources::sync_arrow_svg, (size_t) BinaryResources::sync_arrow_svgSize);
    juce::DrawableImage over;
    BVLookAndFeel::renderDrawableImage (over, arrow.get(), juce::Colours::black.withAlpha (0.2f));
    syncButton.setImages (arrow.get(), &over);
    syncButton.setSize (250, 250);
    syncButton.setColour (juce::DrawableButton::textColourId, Palette::textColour.withAlpha (Palette::opacity (0.7f)));
    syncButton.setCommandToTrigger (MainAppWindow::getApplicationCommandManager(), CommandIDs::downloadDeviceData, true);
    addChildComponent (syncButton);
    conversionNote.setJustificationType (juce::Justification::centred);
    conversionNote.setColour (juce::Label::textColourId, Palette::textColour.withAlpha (Palette::opacity (0.7f)));
    addChildComponent (conversionNote);

    undoManager.addChangeListener (this);
    autosave = std::make_unique<Autosave> (*this);
    updateSyncButtonText (true);
    showSource ({}, {}, viewEmpty, {}, detailsEmpty);

    // A timed save of the settings is a save like the others: its failure is
    // named with theirs, and it writes again what they could not.
    Belvora::setSaveListener ([page = juce::Component::SafePointer<DataPage> (this)]
    {
        if (page != nullptr)
        {
            page->settingsSaveEnded();
            page->save (UnsavedWork::Part::settings);
        }
    });
}

DataPage::~DataPage()
{
    Belvora::setSaveListener (nullptr);
    panels->getDataView().removeChangeListener (this);
    panels.reset();   // its containers leave the listener lists while those still exist
    importRun.reset();
    mwdRun.reset();
    packRunner.reset();
    undoManager.removeChangeListener (this);
    browser.removeListener (this);
    browser.setSourceTree (nullptr, {});

    for (int i = 0; i < toolbar.getNumItems(); ++i)
        if (auto* item = toolbar.getItemComponent (i))
            item->removeListener (this);
}

double DataPage::getStoredBrowserSize()
{
    constexpr double standard = -0.3;
    const auto stored = Belvora::getUserSettings().getDoubleValue ("browserWindowSize", standard);

    // Only a share of the width is ever stored; anything else would hide the browser or the panels.
    if (! std::isfinite (stored) || stored >= 0.0)
        return standard;

    return juce::jlimit (-0.8, -0.001, stored);
}

//==============================================================================
void DataPage::addPresetDataChangeListener (PresetDataChangeListener* listener)
{
    if (listener != nullptr)
        presetDataListeners.addIfNotAlreadyThere (listener);
}

void DataPage::removePresetDataChangeListener (PresetDataChangeListener* listener)
{
    presetDataListeners.removeFirstMatchingValue (listener);
}

void DataPage::addArchiveChangeListener (ArchiveChangeListener* listener)
{
    if (listener != nullptr)
        archiveListeners.addIfNotAlreadyThere (listener);
}

void DataPage::removeArchiveChangeListener (ArchiveChangeListener* listener)
{
    archiveListeners.removeFirstMatchingValue (listener);
}

void DataPage::notifyPresetDataChanged (const juce::ValueTree& source, const juce::Array<int>& indices)
{
    autosave->nodeChanged (source);
    callListeners (*this, presetDataListeners, [&] (PresetDataChangeListener& l) { l.presetDataChanged (source, indices); });
}

void DataPage::notifyPresetDataChanged (const juce::ValueTree& source, int index)
{
    notifyPresetDataChanged (source, juce::Array<int> { index });
}

void DataPage::notifyArchiveChanged (const juce::ValueTree& item)
{
    autosave->nodeChanged (item);
    if (item == getViewItem() && getViewKind() != viewSyncPrompt)
        panels->show (titleOf (item), getViewItem(), getViewKind(), getDetailsItem(), getDetailsKind());

    callListeners (*this, archiveListeners, [&] (ArchiveChangeListener& l) { l.archiveItemChanged (item, label); });
}

//==============================================================================
int DataPage::getViewKind() const noexcept             { return panels->getViewKind(); }
int DataPage::getDetailsKind() const noexcept          { return panels->getDetailsKind(); }
juce::ValueTree DataPage::getViewItem() const          { return panels->getViewItem(); }
juce::ValueTree DataPage::getDetailsItem() const       { return panels->getDetailsItem(); }
juce::String DataPage::getViewTitle() const            { return panels->getTitle(); }
DataViewPanel& DataPage::getDataViewPanel() noexcept   { return panels->getDataView(); }
DetailsPanel& DataPage::getDetailsPanel() noexcept     { return panels->getDetails(); }

juce::ValueTree DataPage::getSelectedSource() const
{
    return getViewKind() == viewPresetGrid ? getViewItem() : juce::ValueTree();
}

juce::ValueTree DataPage::getSelectedNode() const
{
    const auto selected = browser.getSelectedTrees();
    return selected.isEmpty() ? juce::ValueTree() : selected.getFirst();
}

DeviceData* DataPage::getSelectedDataSet() const
{
    return SourceTree::getDeviceData (getSelectedNode());
}

juce::Array<int> DataPage::getSelectedPresetIndices() const
{
    const auto* selected = getSelectedDataSet();

    if (selected == nullptr || selected != SourceTree::getDeviceData (getSelectedSource()))
        return {};

    return panels->getSelection();
}

void DataPage::setSelection (const juce::ValueTree& source, const juce::Array<int>& indices)
{
    if (source.isValid() && source == getSelectedSource())
    {
        panels->grid().setSelectedPresets (indices);
        refreshToolbarState (false);
    }
    else if (source.isValid())
    {
        Panels::storeSelection (source, indices);
    }
}

juce::ValueTree DataPage::getDeviceNode() const
{
    return findCategoryNode (deviceCategory);
}

juce::String DataPage::titleOf (const juce::ValueTree& item) const
{
    const auto where = SourceTree::getCategoryOf (item).category.toString();

    // Backups and packs named alike are told apart as the lists tell them apart.
    return where == deviceCategory ? juce::String ("Workspace") : SourceTree::makeUniqueLabel (findCategoryNode (where), item);
}

juce::ValueTree DataPage::findCategoryNode (const juce::String& category) const
{
    return rootTree.isValid() ? SourceTree::findChildWithCategory (rootTree, category) : juce::ValueTree();
}

juce::ValueTree DataPage::getDraggedTreeNode (juce::Component* sourceComponent)
{
    if (sourceComponent != &browser.getTreeView())
        return {};

    return browser.getTreeView().getNumSelectedSources() > 0 ? browser.getTreeView().getSelectedSourceNode (0)
                                                              : getSelectedNode();
}

juce::String DataPage::getWorkspaceLabel() const
{
    const auto* data = deviceDataSet != nullptr ? deviceDataSet->getDeviceData() : nullptr;
    const bool presets = data != nullptr && data->getNumPresets() > 0;
    const bool setup = data != nullptr && data->getSetup().isComplete();

    if (busy)               return "<busy>";
    if (presets && setup)   return "Presets and Setup";
    if (presets)            return "Presets";
    if (setup)              return "Setup";
    if (needSync)           return "<need to sync>";
    return "<no data>";
}

//==============================================================================
void DataPage::setToolbarItemEnabled (int itemId, bool enabled)
{
    for (int i = 0; i < toolbar.getNumItems(); ++i)
        if (auto* item = toolbar.getItemComponent (i); item != nullptr && item->getItemId() == itemId)
            return item->setEnabled (enabled);
}

bool DataPage::isToolbarItemEnabled (int itemId) const
{
    for (int i = 0; i < toolbar.getNumItems(); ++i)
        if (auto* item = toolbar.getItemComponent (i); item != nullptr && item->getItemId() == itemId)
            return item->isEnabled();

    return false;
}

void DataPage::refreshToolbarState (bool force)
{
    if (! toolbar.isEnabled() && ! force)
        return;

    const auto source = getSelectedSource();
    const auto* s = SourceTree::getDeviceData (source);
    const auto* d = deviceDataSet != nullptr ? deviceDataSet->getWorkingData() : nullptr;
    const bool selected = s != nullptr && ! panels->getSelection().isEmpty();

    setToolbarItemEnabled (applyChanges, deviceDataSet != nullptr && deviceDataSet->isModified());
    setToolbarItemEnabled (sendSetup, s != nullptr && s->getSetup().isComplete());
    setToolbarItemEnabled (sendSelected, selected);
    setToolbarItemEnabled (backupAll, d != nullptr);
    setToolbarItemEnabled (backupUser, d != nullptr && d->getNumDifferentPresets() > 0);
    setToolbarItemEnabled (backupSelected, d != nullptr && d == s && selected);
    setToolbarItemEnabled (optimizeSpace, s != nullptr && s->hasGaps() && ! SourceTree::isUserNode (source));
    setToolbarItemEnabled (toggleView, s != nullptr);
    setToolbarItemEnabled (exportItem, s != nullptr);
    setToolbarItemEnabled (importItem, s != nullptr);
    setToolbarItemEnabled (selectUser, s != nullptr && ! PresetButtonContainer::getUserPresetSlots (*s).isEmpty());
    setToolbarItemEnabled (undoItem, undoManager.canUndo());
    setToolbarItemEnabled (redoItem, undoManager.canRedo());
}

void DataPage::buttonClicked (juce::Button* button)
{
    if (auto* item = dynamic_cast<juce::ToolbarItemComponent*> (button))
        handleToolbarItem (item->getItemId());
}

void DataPage::handleToolbarItem (int itemId)
{
    const bool gridShown = getViewKind() == viewPresetGrid;
    const auto source = getSelectedSource();

    switch (itemId)
    {
        case getData:               syncWithDevice(); break;
        case applyChanges:          perform (CommandIDs::applyChanges); break;
        case sendSetup:             perform (CommandIDs::restoreSetup); break;
        case sendSelected:          perform (CommandIDs::sendDirectToDevice); break;
        case deleteBackup:          browser.deleteSelected(); break;
        case backupAll:             browser.backupDeviceData (true, true, true); break;
        case backupUser:            browser.backupDeviceData (false, false, true); break;
        case backupSelected:        browser.backupDeviceData (false, true, false); break;
        case newGroup:              browser.createEmptyGroup(); break;
        case groupSelected:         browser.createGroupFromSelected(); break;
        case duplicateSelectedItem: browser.duplicateSelected(); break;
        case findPreset:            showFindDialog(); break;
        case undoItem:              undo(); break;
        case redoItem:              redo(); break;
        case exportItem:            exportData(); break;
        case importItem:            importData(); break;

        case optimizeSpace:
            if (gridShown && ! SourceTree::isUserNode (source))
                defragData (source, true, true);
            break;

        case toggleView:
            for (int i = 0; i < toolbar.getNumItems(); ++i)
                if (auto* item = toolbar.getItemComponent (i); item != nullptr && item->getItemId() == toggleView)
                {
                    item->setToggleState (! item->getToggleState(), juce::dontSendNotification);
                    panels->grid().setIconView (item->getToggleState() ? 1 : 0);
                }
            break;

        case selectUser:
            if (gridShown)
            {
                panels->grid().selectPresets (true);
                refreshToolbarState (false);
            }
            break;

        case deletePresetsItem:
            if (gridShown)
                panels->grid().deleteSelectedPresets();
            break;

        case cutItem:
        case copyItem:
        case pasteItem:
            if (gridShown)
                panels->grid().performMenuCommand (itemId == cutItem ? 102 : itemId == copyItem ? 103 : 105, nullptr);
            break;

        case deleteSetup:
        case downloadFromAccount:
        case uploadToAccount:
            Alerts::showWarning (this, "Feature", "Not Implemented Yet!");
            break;

        default:
            break;
    }
}

bool DataPage::keyPressed (const juce::KeyPress& key)
{
    const auto ctrl = juce::ModifierKeys::ctrlModifier;

    if (key == juce::KeyPress ('z', ctrl, 0))       undo();
    else if (key == juce::KeyPress ('y', ctrl, 0))  redo();
    else if (key == juce::KeyPress ('f', ctrl, 0))  showFindDialog();
    else                                            return false;

    return true;
}

void DataPage::changeListenerCallback (juce::ChangeBroadcaster* source)
{
    if (source == &undoManager)
        refreshToolbarState (false);

    if (source == &panels->getDataView())
    {
        // A new grid selection or tile: the details follow it.
        if (getDetailsKind() != detailsPreset)
            sourceSelectionChanged();

        panels->followGridSelection();
        refreshToolbarState (false);
    }
}

void DataPage::undo()
{
    if (! undoManager.canUndo())
        return Alerts::showInfo (this, "Undo", "Nothing to undo");

    undoManager.undo();
    showBackupsIfShownSourceWent();
    refreshToolbarState (false);
}

void DataPage::redo()
{
    if (! undoManager.canRedo())
        return Alerts::showInfo (this, "Redo", "Nothing to redo");

    undoManager.redo();
    showBackupsIfShownSourceWent();
    refreshToolbarState (false);
}

// An undo or redo may take away the entry the panels show (a new group undone): the
// backups are shown then, as after a delete, and the panels' header says so.
void DataPage::showBackupsIfShownSourceWent()
{
    const auto root = browser.getRootNode();
    const auto gone = [&root] (const juce::ValueTree& node) { return node.isValid() && node != root && ! node.isAChildOf (root); };

    if (! gone (getViewItem()) && ! gone (getDetailsItem()))
        return;

    browser.selectItemFor (browser.getBackupsNode());

    if (gone (getViewItem()) || gone (getDetailsItem()))
        sourceSelectionChanged();
}

void DataPage::scrollToPreset (int index)
{
    panels->getDataView().scrollToPreset (index);
}

void DataPage::editPresetName()
{
    if (getDetailsKind() == detailsPreset)
        panels->presetDetails().editName();
}

bool DataPage::selectItemFor (const juce::ValueTree& node)
{
    // A node taken out of the tree (a backup deleted, a unit gone) has no row: the selection stays.
    if (browser.findItemFor (browser.getRootItem(), node) == nullptr)
        return false;

    browser.selectItemFor (node);
    return true;
}

void DataPage::showFindDialog()
{
    if (! rootTree.isValid() || caps == nullptr)
        return;

    juce::Array<juce::ValueTree> backups, packs;
    SourceTree::collectNodes (findCategoryNode (archiveCategory), backups);
    SourceTree::collectNodes (findCategoryNode (cloudCategory), packs);

    SearchDialog dialog (*this, { getDeviceNode() }, backups, packs, *caps);
    dialog.runModal();
}

//==============================================================================
void DataPage::perform (int commandId)
{
    // The page's command target is its nearest parent that is one (the content component);
    // a page out of its tab goes to the manager's first target.
    for (auto* c = getParentComponent(); c != nullptr; c = c->getParentComponent())
        if (auto* target = dynamic_cast<juce::ApplicationCommandTarget*> (c))
        {
            target->invokeDirectly (commandId, false);
            return;
        }

    if (auto* target = MainAppWindow::getApplicationCommandManager()->getFirstCommandTarget (commandId))
        target->invokeDirectly (commandId, false);
}

void DataPage::syncWithDevice()
{
    if (deviceDataSet != nullptr && deviceDataSet->isModified()
        && ! Alerts::askBeforeDiscarding (juce::MessageBoxIconType::WarningIcon, this, "Changes Will Be Lost",
                                          "Your preset edits have not been transferred to " + deviceName + " yet. If you synchronize now, "
                                          "these changes will be discarded. To avoid losing your changes use the 'Apply' or 'Backup' functions on the toolbar.",
                                          "Continue", "Cancel"))
        return;

    perform (CommandIDs::downloadDeviceData);
}

void DataPage::sendDataToDevice (std::unique_ptr<DeviceData> data, bool asImage)
{
    pendingSendData = std::move (data);

    if (pendingSendData != nullptr && deviceDataSet != nullptr)
        perform (asImage ? CommandIDs::restoreToDevice : CommandIDs::sendDirectToDevice);

    // The command carries its own copy: whether it went out or not, nothing is left
    // that a later "Send Selected" could write to this or another unit.
    pendingSendData.reset();
}

//==============================================================================
void DataPage::paint (juce::Graphics& g)
{
    g.fillAll (Palette::backgroundColour);
    g.setColour (Palette::outlineColour);
    g.drawHorizontalLine (toolbar.getBottom(), 0.0f, (float) getWidth());
}

void DataPage::resized()
{
    auto* laf = BVLookAndFeel::of (*this);
    const auto thickness = laf != nullptr ? (int) laf->getToolbarThickness() : BVLookAndFeel::Defaults::toolbarThickness;

    const auto scale = laf != nullptr ? laf->getScale() : BVLookAndFeel::Defaults::scale;

    auto area = getLocalBounds();
    toolbar.setBounds (area.removeFromTop (thickness));
    area.removeFromTop (1);

    // Set again only when the scale changed: setting it forgets where the user dragged the bar.
    if (const auto bar = juce::roundToInt (8.0f * scale); bar != resizerWidth)
    {
        resizerWidth = bar;
        layout.setItemLayout (1, bar, bar, bar);
    }

    juce::Component* parts[] = { &browser, resizerBar.get(), panels.get() };
    layout.layOutComponents (parts, 3, area.getX(), area.getY(), area.getWidth(), area.getHeight(), false, true);

    if (const auto indent = juce::roundToInt (3.0f * scale); indent != syncButton.getEdgeIndent())
        syncButton.setEdgeIndent (indent);
    syncButton.setSize (juce::roundToInt (250.0f * scale), juce::roundToInt (250.0f * scale));
    syncButton.setCentrePosition (getLocalBounds().getCentre());

    // As the sync button's label, where the button stood.
    conversionNote.setFont (juce::Font (16.0f * scale));
    conversionNote.setBounds (getLocalBounds().withSizeKeepingCentre (getWidth(), juce::roundToInt (24.0f * scale)));
}

juce::Rectangle<float> DataPage::SyncButton::getImageBounds() const
{
    auto* laf = BVLookAndFeel::of (const_cast<SyncButton&> (*this));
    const auto indent = juce::jmin (getEdgeIndent(), proportionOfWidth (0.3f), proportionOfHeight (0.3f));
    const auto label = laf != nullptr ? laf->getDrawableButtonTextHeight (const_cast<SyncButton&> (*this)) : juce::jmin (16, proportionOfHeight (0.25f));
    return getLocalBounds().withTrimmedBottom (label).reduced (indent).toFloat();
}

void DataPage::visibilityChanged()
{
    if (isVisible() && panels->grid().isVisible())
        panels->grid().grabKeyboardFocus();
}

void DataPage::dragOperationStarted (const juce::DragAndDropTarget::SourceDetails&)
{
    browser.getTreeView().updateSelectedItems();
}

void DataPage::dragOperationEnded (const juce::DragAndDropTarget::SourceDetails& details)
{
    browser.getTreeView().clearSelectedItems();

    // The framework's drag image takes the keyboard focus (for Escape) and leaves
    // nothing focused when it goes: the focus returns to where the drag began, so
    // the page's keys (Ctrl+Z and the rest) work again right after a drop.
    juce::Component::SafePointer<juce::Component> source (details.sourceComponent.get());
    juce::Component::SafePointer<DataPage> page (this);

    juce::MessageManager::callAsync ([page, source]
    {
        if (page == nullptr || ! page->isShowing() || juce::Component::getCurrentlyFocusedComponent() != nullptr)
            return;

        if (source != nullptr && source->isShowing() && page->isParentOf (source))
            source->grabKeyboardFocus();
        else
            page->grabKeyboardFocus();
    });
}
