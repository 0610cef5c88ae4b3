// The panels and their containers: margins, switching containers by kind
// with the scroll position kept per node, the backup details and tiles, the
// unit's and a group's details, and the placeholder with its sync button.

#include "support/TestEnvironment.h"
#include "gui/GridTestHost.h"
#include "gui/WidgetTestSupport.h"
#include "gui/CommandIDs.h"
#include "gui/datapage/DataPagePanels.h"

#include <gtest/gtest.h>

using namespace GridTests;

namespace
{
    struct Counting : PanelContainerBase
    {
        int refreshes = 0;
        void refresh() override                       { ++refreshes; }
        void layoutContent (int w, int h) override    { setLayoutHeight (h); setSize (w, 1000); }
    };
}

TEST (PanelContainers, MarginsFollowTheScaleOfOurLookAndFeelOnly)
{
    {
        Counting plain;
        EXPECT_EQ (plain.getMarginX(), 15);
        EXPECT_EQ (plain.getLayoutHeight(), -1);
        EXPECT_GT (plain.getScrollBarWidth(), 0);
    }

    for (auto [scale, margin] : { std::pair { 1.25f, 19 }, { 0.75f, 11 }, { 2.0f, 30 } })
    {
        const WidgetTests::ScopedLookAndFeel laf (scale);
        Counting scaled;
        EXPECT_EQ (scaled.getMarginX(), margin);
        EXPECT_EQ (scaled.getMarginY(), margin);
    }
}

TEST (PanelContainers, SetItemRefreshesEveryTimeAndNodesWithoutDataHaveNone)
{
    Counting c;
    const auto group = SourceTree::createNode (SourceTreeIds::group, "G");
    c.setItem (group);
    c.setItem (group);
    EXPECT_EQ (c.refreshes, 2);
    c.clearItem();
    EXPECT_EQ (c.refreshes, 2);
    EXPECT_FALSE (c.getItem().isValid());

    c.setItem (group);
    EXPECT_EQ (c.getDeviceData(), nullptr);
    EXPECT_EQ (c.getWorkingData(), nullptr);
    EXPECT_FALSE (c.keyPressed (juce::KeyPress ('a'), nullptr));
}

//==============================================================================
namespace
{
    struct Panels : ::testing::Test
    {
        GridSettings settings;
        TestPage page;
        juce::ValueTree root = makeRoot();
        juce::ValueTree node = addBackup (root, makeSource ("A", 60, { 1, 2, 3 }));
        juce::ValueTree other = addBackup (root, makeSource ("B", 60, { 4 }));
        std::unique_ptr<DataViewPanel> view;
        std::unique_ptr<DetailsPanel> details;

        void SetUp() override
        {
            view = std::make_unique<DataViewPanel> (page);
            details = std::make_unique<DetailsPanel> (page);
            view->getPresetContainer().setCaps (makeCaps (60));
            view->getPresetContainer().rebuildButtons();
            view->setSize (300, 100);
            details->setSize (300, 100);
        }

        void TearDown() override
        {
            view.reset();
            details.reset();
            EXPECT_TRUE (page.presetListeners.isEmpty());
            EXPECT_TRUE (page.archiveListeners.isEmpty());
        }
    };
}

TEST_F (Panels, WorkspaceSwitchesContainersAndListenersByKind)
{
    view->showContainer (3, node);
    auto& grid = view->getPresetContainer();
    EXPECT_EQ (view->getCurrentContainer(), &grid);
    EXPECT_EQ (page.presetListeners, juce::Array<PresetDataChangeListener*> ({ &grid }));
    EXPECT_EQ (grid.getWidth(), view->getViewport().getMaximumVisibleWidth());

    grid.setSelectedPresets ({ 2 });
    view->showContainer (3, node);   // the same node: nothing happens
    EXPECT_EQ (grid.getSelectedPresets(), juce::Array<int> ({ 2 }));

    view->showContainer (3, other);  // another node: cleared (and stored) first
    EXPECT_TRUE (grid.getSelectedPresets().isEmpty());
    EXPECT_TRUE (node.hasProperty (SourceTreeIds::selectionList));

    view->showContainer (2, {});
    EXPECT_EQ (view->getEmptyContainer().getMode(), 4);
    EXPECT_TRUE (view->getEmptyContainer().getSyncButton().isVisible());
    view->getEmptyContainer().setMode (0);
    view->showContainer (2, {});     // already shown: the mode is still set
    EXPECT_EQ (view->getEmptyContainer().getMode(), 4);

    view->showContainer (9, {});     // unknown: the placeholder, mode as it was
    EXPECT_EQ (view->getCurrentContainer(), &view->getEmptyContainer());
    EXPECT_EQ (view->getEmptyContainer().getMode(), 4);
    EXPECT_EQ (page.presetListeners.size(), 1);
}

TEST_F (Panels, EachNodeKeepsItsScrollPosition)
{
    view->showContainer (3, node);
    view->getViewport().setViewPosition (0, 120);
    view->showContainer (3, other);
    EXPECT_EQ (view->getViewport().getViewPositionY(), 0);
    view->showContainer (3, node);
    EXPECT_EQ (view->getViewport().getViewPositionY(), 120);
    EXPECT_EQ ((int) node.getProperty (SourceTreeIds::viewportOffset), 120);
}

TEST_F (Panels, ScrollToPresetShowsItsButton)
{
    view->showContainer (3, node);
    auto& grid = view->getPresetContainer();
    auto& viewport = view->getViewport();

    view->scrollToPreset (grid.getNumButtons());
    view->scrollToPreset (-1);
    EXPECT_EQ (viewport.getViewPositionY(), 0);

    view->scrollToPreset (50);
    EXPECT_EQ (viewport.getViewPositionY(), grid.getButton (50)->getY());
    const auto y = viewport.getViewPositionY();
    view->scrollToPreset (50);   // its top exactly at the view: scrolled to the same place
    EXPECT_EQ (viewport.getViewPositionY(), y);
}

TEST_F (Panels, DetailsAreLaidOutAScrollBarNarrower)
{
    EXPECT_EQ (details->getCurrentContainerHeight(), 0);
    details->showDetails (3, root);
    auto& group = details->getGroupContainer();
    EXPECT_EQ (group.getWidth(), 300 - details->getViewport().getScrollBarThickness());
    EXPECT_EQ (details->getCurrentContainerHeight(), group.getHeight());

    details->showDetails (5, node);
    EXPECT_EQ (details->getCurrentContainer(), &details->getPresetDetails());
    EXPECT_EQ (page.presetListeners, juce::Array<PresetDataChangeListener*> ({ &details->getPresetDetails() }));
}

TEST_F (Panels, GridChangesReachTheWorkspaceListeners)
{
    struct Listener : juce::ChangeListener
    {
        int calls = 0;
        void changeListenerCallback (juce::ChangeBroadcaster*) override   { ++calls; }
    } listener;

    view->addChangeListener (&listener);
    view->showContainer (3, node);
    view->getPresetContainer().setSelectedPresets ({ 1 });
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return listener.calls >= 1; }));
    view->removeChangeListener (&listener);
}

//==============================================================================
namespace
{
    struct Groups : ::testing::Test
    {
        TestPage page;
        juce::ValueTree root = makeRoot();
        juce::ValueTree backups = SourceTree::findNode (root, SourceTreeIds::archiveCategory);
        DataSetGroupViewContainer view { page };

        juce::ValueTree addTile (const juce::String& label)
        {
            auto n = makeSource (label, 12, { 1, 3 });
            backups.appendChild (n, nullptr);
            return n;
        }
    };
}

TEST_F (Groups, TilesWrapAsWideAsTheyFit)
{
    view.setItem (backups);
    view.layoutContent (500, 100);
    EXPECT_EQ (view.getLayoutHeight(), -1);   // no tiles: nothing laid out

    addTile ("One");
    addTile ("Two");
    EXPECT_EQ (view.getTiles().size(), 2);
    view.layoutContent (500, 100);
    EXPECT_EQ (view.getHeight(), 185);

    addTile ("Three");
    view.layoutContent (500, 100);
    EXPECT_EQ (view.getTiles()[1]->getPosition(), juce::Point<int> (170, 10));
    EXPECT_EQ (view.getTiles()[2]->getPosition(), juce::Point<int> (330, 10));
    EXPECT_EQ (view.getHeight(), 360);

    backups.getChild (0).setProperty (SourceTreeIds::label, "Renamed", nullptr);
    EXPECT_EQ (view.getTiles()[0]->getButtonText(), "Renamed");
}

TEST_F (Groups, DeleteGoesThroughTheBrowserAndDoubleClickOpens)
{
    const auto first = addTile ("One");
    view.setItem (backups);
    EXPECT_FALSE (view.keyPressed (juce::KeyPress (juce::KeyPress::deleteKey)));
    EXPECT_TRUE (page.deletedNodes.isEmpty());

    view.getTiles()[0]->setToggleState (true, juce::dontSendNotification);
    EXPECT_EQ (view.getFirstSelectedItem(), first);
    EXPECT_FALSE (view.keyPressed (juce::KeyPress (juce::KeyPress::backspaceKey)));
    EXPECT_EQ (page.deletedNodes, juce::Array<juce::ValueTree> ({ first }));

    view.mouseDoubleClick (eventOn (*view.getTiles()[0], {}, 2));
    EXPECT_EQ (page.selectedItems, juce::Array<juce::ValueTree> ({ first }));

    // A pack of the cloud: never deleted.
    auto cloud = SourceTree::createCloudCategory();
    root.appendChild (cloud, nullptr);
    cloud.appendChild (makeSource ("P", 12, { 1 }), nullptr);
    view.setItem (cloud);
    view.getTiles()[0]->setToggleState (true, juce::dontSendNotification);
    view.keyPressed (juce::KeyPress (juce::KeyPress::deleteKey));
    EXPECT_EQ (page.deletedNodes.size(), 1);
}

TEST_F (Groups, OnlyBackupTilesDragAndCarryTheirPresets)
{
    struct Host : juce::Component, juce::DragAndDropContainer {} host;
    const auto tile = addTile ("One");
    backups.appendChild (SourceTree::createNode (SourceTreeIds::group, "Sub"), nullptr);
    view.setItem (backups);
    host.addAndMakeVisible (view);
    view.layoutContent (500, 100);

    view.mouseDrag (eventOn (*view.getTiles()[1], juce::ModifierKeys::leftButtonModifier));
    EXPECT_FALSE (view.getDragSnapShot().source.isValid());

    view.mouseDrag (eventOn (*view.getTiles()[0], juce::ModifierKeys::leftButtonModifier));
    EXPECT_EQ (view.getDragSnapShot().source, tile);
    EXPECT_EQ (view.getDragSnapShot().presetIndices, juce::Array<int> ({ 1, 3 }));
    EXPECT_EQ (view.getDragSnapShot().dragKind, (int) DataSetDragSnapShot::backups);
}

//==============================================================================
TEST (DataSetDetails, BackupsAreEditableAndPacksReadOnly)
{
    TestPage page;
    auto root = makeRoot();
    auto node = addBackup (root, makeSource ("Backup", 12, { 1 }));
    DataSetDetailsContainer details (page);
    details.setItem (node);
    details.layoutContent (600, 200);

    EXPECT_EQ (details.getTitleEditor().getText(), "Backup");
    EXPECT_FALSE (details.getTitleEditor().isReadOnly());
    EXPECT_EQ (details.getImageAspect(), 1.0f);   // the default picture
    EXPECT_NE (details.getImage(), nullptr);

    // A title typed and Return: one undo step. A description left: stored, no undo step.
    details.getTitleEditor().setText ("New Title", false);
    details.commitEdit (details.getTitleEditor());
    EXPECT_EQ (node.getProperty (SourceTreeIds::label).toString(), "New Title");
    EXPECT_TRUE (page.undoManager.canUndo());
    page.undoManager.clearUndoHistory();

    auto* archive = SourceTree::getArchive (node);
    archive->computeMd5();
    details.getDescriptionEditor().setText ("Takes the stage", false);
    details.clearItem();
    EXPECT_EQ (archive->getDescription(), "Takes the stage");
    EXPECT_TRUE (archive->isModified());
    EXPECT_TRUE (archive->getMd5().isEmpty());
    EXPECT_FALSE (page.undoManager.canUndo());

    // The same kind of node among the cloud's packs: read-only, focus loss writes nothing.
    auto cloud = SourceTree::createCloudCategory();
    root.appendChild (cloud, nullptr);
    auto pack = makeSource ("Pack", 12, { 1 });
    pack.removeProperty (SourceTreeIds::label, nullptr);
    cloud.appendChild (pack, nullptr);
    details.setItem (pack);
    EXPECT_EQ (details.getTitleEditor().getText(), "Unknown");
    EXPECT_TRUE (details.getTitleEditor().isReadOnly());
    EXPECT_TRUE (details.getDescriptionEditor().isReadOnly());
    details.getDescriptionEditor().setText ("x", false);
    details.clearItem();
    EXPECT_EQ (SourceTree::getArchive (pack)->getDescription(), "test data");

    details.setItem (node);
    details.layoutContent (100, 200);   // too narrow for the rows: picture and description only
    EXPECT_FALSE (details.getNameLabel().isVisible());
    EXPECT_FALSE (details.getTitleEditor().isVisible());
    EXPECT_TRUE (details.getDescriptionEditor().isVisible());
}

//==============================================================================
TEST (EmptyContainer, ModesAndTheSyncButton)
{
    struct Target : juce::Component, juce::ApplicationCommandTarget
    {
        juce::Array<int> performed;
        juce::ApplicationCommandTarget* getNextCommandTarget() override    { return nullptr; }
        void getAllCommands (juce::Array<juce::CommandID>& ids) override    { ids.add (CommandIDs::downloadDeviceData); }
        void getCommandInfo (juce::CommandID id, juce::ApplicationCommandInfo& info) override   { info = juce::ApplicationCommandInfo (id); }
        bool perform (const InvocationInfo& info) override                 { performed.add (info.commandID); return true; }
    } target;

    EmptyContainer empty;
    target.addAndMakeVisible (empty);
    target.setSize (400, 300);

    empty.setMode (4);
    empty.layoutContent (400, 300);
    EXPECT_TRUE (empty.getSyncButton().isVisible());
    EXPECT_EQ (empty.getSyncButton().getBounds().getCentre(), empty.getLocalBounds().getCentre());

    empty.getSyncButton().triggerClick();
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return ! target.performed.isEmpty(); }));
    ASSERT_TRUE (TestEnvironment::drainMessages());   // a second invocation would show now
    EXPECT_EQ (target.performed, juce::Array<int> ({ CommandIDs::downloadDeviceData }));

    empty.setMode (0);
    empty.layoutContent (500, 300);
    EXPECT_FALSE (empty.getSyncButton().isVisible());
    EXPECT_TRUE (empty.getSyncButton().isEnabled());
    EXPECT_EQ (empty.getHeight(), 0);
}

//==============================================================================
namespace
{
    DeviceDetailsContainer::Unit unitOf (int slots, std::initializer_list<int> used, bool setup)
    {
        auto caps = smallTestCaps();
        caps.numPresets = slots;
        auto data = std::make_shared<DeviceData> ("Small", FirmwareVersion(), caps, nullptr);

        for (auto s : used)
            data->setPreset (s, SimulatedUnit::makePreset (caps, s, 1, "P"));

        if (setup)
        {
            for (int i = 0; i < caps.numSyxPackagesPerSetup; ++i)
                data->getSetup().addMidiMessage (juce::MidiMessage::createSysExMessage ("setup", 5));

            data->getSetup().setSetupDataVersion (caps.setupVersion);
        }

        DeviceDetailsContainer::Unit unit;
        unit.data = data;
        unit.numPresets = slots;
        unit.known = true;
        return unit;
    }
}

TEST (DeviceDetails, CountsSlotsOneToTheLastAndShowsTheSetupRow)
{
    DeviceDetailsContainer details;
    std::initializer_list<int> used37 = { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19,
                                          20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37 };
    auto unit = unitOf (100, used37, false);   // slot 0 holds a preset too: never counted
    details.setUnitSource ([&] { return unit; });
    details.refresh();
    details.layoutContent (600, 200);
    EXPECT_EQ (details.getTotalValue().getText(), "37/99");
    EXPECT_EQ (details.getSetupLabel().getText(), "Setup: ");
    EXPECT_TRUE (details.getSetupValue().isVisible());
    EXPECT_FALSE (details.getRestoreSetupButton().isVisible());
    const auto setupRowY = details.getSetupLabel().getY();

    unit = unitOf (0, {}, true);
    details.refresh();
    details.layoutContent (600, 200);
    EXPECT_EQ (details.getTotalValue().getText(), "none");
    EXPECT_FALSE (details.getUserLabel().isVisible());
    EXPECT_LT (details.getSetupLabel().getY(), setupRowY);
    EXPECT_EQ (details.getSetupLabel().getText(), "Restore Setup: ");
    EXPECT_TRUE (details.getRestoreSetupButton().isVisible());
    EXPECT_EQ (details.getRestoreSetupButton().getWidth(), (int) (details.getSetupLabel().getHeight() * 1.3));

    unit.picture = juce::Image (juce::Image::RGB, 200, 300, true);
    details.refresh();
    EXPECT_EQ (details.getDeviceImage().getImage().getHeight(), 150);
    EXPECT_EQ (details.getDeviceImage().getImage().getWidth(), 100);

    unit.data = nullptr;
    details.refresh();
    EXPECT_FALSE (details.isVisible());
}

TEST (GroupDetails, CountsDirectBackupsAndAllSubGroups)
{
    auto group = SourceTree::createNode (SourceTreeIds::group, "G");

    for (int i = 0; i < 3; ++i)
        group.appendChild (makeSource ("B", 12, { 1 }), nullptr);

    auto sub = SourceTree::createNode (SourceTreeIds::group, "Sub");
    for (int i = 0; i < 4; ++i)
        sub.appendChild (makeSource ("C", 12, { 1 }), nullptr);
    sub.appendChild (SourceTree::createNode (SourceTreeIds::group, "Deeper"), nullptr);
    group.appendChild (sub, nullptr);
    group.appendChild (SourceTree::createNode (SourceTreeIds::group, "Empty"), nullptr);

    GroupDetailsContainer details;
    details.setItem (group);
    details.layoutContent (400, 100);
    EXPECT_EQ (details.getItemsValue().getText(), "3");
    EXPECT_EQ (details.getSubGroupsValue().getText(), "3");

    // Backups and groups moved in or out while shown (an undo, a drop) are counted at once.
    group.appendChild (makeSource ("D", 12, { 1 }), nullptr);
    sub.appendChild (SourceTree::createNode (SourceTreeIds::group, "New"), nullptr);
    EXPECT_EQ (details.getItemsValue().getText(), "4");
    EXPECT_EQ (details.getSubGroupsValue().getText(), "4");
    group.removeChild (0, nullptr);
    EXPECT_EQ (details.getItemsValue().getText(), "3");

    // Once the group is no longer shown its changes leave the labels alone.
    details.clearItem();
    group.removeChild (0, nullptr);
    EXPECT_EQ (details.getItemsValue().getText(), "3");
}

//==============================================================================
TEST (DataPagePanels, ShowByKindsAndReadBackWhatIsShown)
{
    GridSettings settings;
    TestPage page;
    auto root = makeRoot();
    auto node = addBackup (root, makeSource ("A", 20, { 1, 2, 3 }));
    DataPagePanels panels (page);
    panels.getDataView().getPresetContainer().setCaps (makeCaps (20));
    panels.getDataView().getPresetContainer().rebuildButtons();
    panels.getDetails().getPresetDetails().setCaps (makeCaps (20));
    panels.getDetails().getPresetDetails().rebuildStepButtons();
    panels.setSize (400, 500);

    panels.show ("Backup A", node, DataViewPanel::presetsKind, node, DetailsPanel::presetKind);
    EXPECT_EQ (panels.getTitle(), "Backup A");
    EXPECT_EQ (panels.getViewItem(), node);
    EXPECT_EQ (panels.getDetailsKind(), (int) DetailsPanel::presetKind);
    EXPECT_GT (panels.getDetails().getHeight(), 0);

    // The height the details want is their page's, however high the panel is at
    // the moment (still sliding from a taller page): the split never depends on when.
    const auto wanted = panels.getDetailsHeight();
    auto& details = panels.getDetails();
    details.setSize (details.getWidth(), wanted + 100);
    EXPECT_EQ (panels.getDetailsHeight(), wanted);
    details.setSize (details.getWidth(), wanted);

    panels.getDataView().getPresetContainer().setSelectedPresets ({ 2, 3 });
    panels.followGridSelection();
    EXPECT_EQ (panels.getSelection(), juce::Array<int> ({ 2, 3 }));
    EXPECT_EQ (panels.getDetails().getPresetDetails().getSelectedPresets(), juce::Array<int> ({ 2, 3 }));

    panels.setSize (400, 200);   // the details page is taller than its share: the workspace keeps the rest
    EXPECT_LE (panels.getDetailsHeight(), 120);

    panels.show ("Backups", root, DataViewPanel::groupKind, root, DetailsPanel::groupKind);
    EXPECT_TRUE (panels.getSelection().isEmpty());
    EXPECT_EQ (panels.getDetailsItem(), root);
    EXPECT_EQ (page.presetListeners.size(), 2);   // the two shown containers
}

TEST (DataPagePanels, HeadersFollowTheScaleAndTheDetailsTheirPageUnlessTheUserSizedThem)
{
    GridSettings settings;
    const WidgetTests::ScopedLookAndFeel one (1.0f);
    BVLookAndFeel two (2.0f);
    TestPage page;
    auto root = makeRoot();
    auto node = addBackup (root, makeSource ("A", 20, { 1, 2, 3 }));
    DataPagePanels panels (page);
    panels.setSize (400, 900);
    panels.show ("Backup A", node, DataViewPanel::presetsKind, node, DetailsPanel::dataSetKind);

    auto& details = panels.getDetails();
    auto* concertina = dynamic_cast<juce::ConcertinaPanel*> (details.getParentComponent()->getParentComponent());
    ASSERT_NE (concertina, nullptr);
    const auto headerOf = [] (juce::Component& panel) { return panel.getY(); };   // the panel sits below its header
    EXPECT_EQ (headerOf (details), 20);
    EXPECT_EQ (details.getHeight(), panels.getDetailsHeight());
    const auto atScaleOne = details.getHeight();

    // A new scale reaches the headers and the details' wanted height at the next layout.
    panels.setLookAndFeel (&two);
    panels.setSize (420, 900);
    EXPECT_EQ (headerOf (details), 40);
    EXPECT_EQ (headerOf (panels.getDataView()), 40);
    EXPECT_NE (panels.getDetailsHeight(), atScaleOne);
    EXPECT_EQ (details.getHeight(), panels.getDetailsHeight()) << "a panel as high as it wanted follows";

    // Sized by the user, it is not squeezed by a smaller area, nor by a scale change.
    concertina->setPanelSize (&details, 60, false);
    panels.setSize (420, 500);
    EXPECT_EQ (details.getHeight(), 60);
    panels.setLookAndFeel (nullptr);
    panels.setSize (400, 400);
    EXPECT_EQ (headerOf (details), 20);
    EXPECT_EQ (details.getHeight(), 60);

    panels.setLookAndFeel (nullptr);
}
