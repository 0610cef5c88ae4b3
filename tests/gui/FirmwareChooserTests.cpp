// The firmware chooser: the list and its details, when an update may start,
// the user's own file with its build number, and the modal runs.

#include "gui/DialogFixtures.h"
#include "gui/Palette.h"
#include "gui/DialogTestSupport.h"
#include "gui/WidgetTestSupport.h"
#include "gui/dialogs/FirmwareChooserDialog.h"
#include "support/ContentFixture.h"
#include "support/DeviceTestRig.h"

using namespace DialogFixtures;
using namespace DialogTests;

namespace
{
    /** The sample list (builds 120, 140, 150) offered to a Vesper of that build. */
    FirmwareChooserContext vesperContext (bool withUpdates = true, int installedBuild = 120)
    {
        FirmwareChooserContext context;
        context.productId = vesper;
        context.activeProductId = vesper;
        context.activeDisplayName = "Vesper Black";
        context.activeVersion = FirmwareVersion (0, 1, 2, 0, installedBuild, 4);

        if (withUpdates)
            context.updates = sampleUpdates();

        return context;
    }

    struct FirmwareChooserTest : SettingsFixture
    {
        void SetUp() override
        {
            SettingsFixture::SetUp();
            userFile = freshFolder ("custom firmware").getChildFile ("vesper_build1234.syx");
            userFile.replaceWithText ("image");
        }

        static juce::ListBox& listOf (FirmwareChooserContent& c)       { return get<juce::ListBox> (c, "list"); }
        static juce::Button& button (FirmwareChooserContent& c, const char* n) { return get<juce::Button> (c, n); }

        WidgetTests::ScopedLookAndFeel look { 1.0f };
        juce::File userFile;
    };
}

TEST_F (FirmwareChooserTest, ListsTheUpdatesAndShowsTheSelectedOnesDetails)
{
    FirmwareChooserContent content (false, vesperContext());
    auto& list = listOf (content);

    ASSERT_EQ (content.getUpdates().size(), 3);
    EXPECT_EQ (content.getUpdates()[0].version.build, 120);
    list.selectRow (0);
    EXPECT_EQ (list.getSelectedRow(), 0);
    EXPECT_EQ (list.getRowHeight(), 19);
    EXPECT_TRUE (button (content, "Start Update").isEnabled());
    EXPECT_FALSE (button (content, "Custom Update...").isVisible());
    EXPECT_EQ (content.getBounds(), juce::Rectangle<int> (700, 400));

    const auto& first = content.getUpdates().getReference (0);
    EXPECT_EQ (textOf (content, "labelReleaseDate"), "Release Date: " + first.pubDate.formatted ("%b %d, %Y - %I:%M %p"));
    EXPECT_EQ (content.getSelectedUpdate().version, first.version);

    auto* viewport = find<juce::Viewport> (content, "viewport");
    ASSERT_NE (viewport, nullptr);
    ASSERT_NE (viewport->getViewedComponent(), nullptr);
    EXPECT_EQ (viewport->getViewedComponent()->getName(), "Firmware Update Description");
    EXPECT_LE (viewport->getViewedComponent()->getWidth(), viewport->getWidth());

    list.selectRow (1);
    EXPECT_EQ (content.getSelectedUpdate().version.build, 140);
    EXPECT_EQ (textOf (content, "labelReleaseDate"), "Release Date: " + content.getUpdates()[1].pubDate.formatted ("%b %d, %Y - %I:%M %p"));
}

TEST_F (FirmwareChooserTest, OffersTheNewestBuildAboveTheUnitsAndMarksTheInstalledOne)
{
    struct Case { int installed; int offeredRow; int markedRow; };
    const Case cases[] =
    {
        { 140, 2, 1 },     // the newer build, never the oldest one
        { 120, 2, 0 },
        { 150, -1, 2 },    // up to date: nothing to offer
        { 160, -1, -1 },   // newer than anything listed
        { 0, 2, -1 },      // build unknown
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.installed);
        FirmwareChooserContent content (true, vesperContext (true, c.installed));
        auto& list = listOf (content);

        EXPECT_EQ (list.getSelectedRow(), c.offeredRow);
        EXPECT_EQ (button (content, "Start Update").isEnabled(), c.offeredRow >= 0);
        EXPECT_EQ (content.getSelectedUpdate().status, c.offeredRow >= 0 ? content.getUpdates()[c.offeredRow].status
                                                                          : (int) FirmwareUpdateElement::statusNone);

        for (int row = 0; row < content.getNumRows(); ++row)
            EXPECT_EQ (content.getRowText (row).endsWith (" (installed)"), row == c.markedRow) << content.getRowText (row);
    }

    // Of another product than the active unit's: its build says nothing about these.
    auto other = vesperContext (true, 150);
    other.activeProductId = quill;
    FirmwareChooserContent content (false, other);
    EXPECT_EQ (listOf (content).getSelectedRow(), 2);
    EXPECT_FALSE (content.getRowText (2).contains ("installed"));

    // The installed build can still be chosen, for a reinstall.
    FirmwareChooserContent upToDate (false, vesperContext (true, 150));
    listOf (upToDate).selectRow (2);
    EXPECT_TRUE (button (upToDate, "Start Update").isEnabled());
    EXPECT_EQ (upToDate.getSelectedUpdate().version.build, 150);
    EXPECT_EQ (upToDate.getRowText (2), formatFirmwareVersion (upToDate.getUpdates()[2].version, false) + " (installed)");
}

TEST_F (FirmwareChooserTest, StartUpdateOnlyWhileARowIsSelected)
{
    FirmwareChooserContent content (true, vesperContext());
    auto& list = listOf (content);

    list.deselectAllRows();
    EXPECT_FALSE (button (content, "Start Update").isEnabled());
    EXPECT_EQ (content.getSelectedUpdate().status, FirmwareUpdateElement::statusNone);
    EXPECT_TRUE (textOf (content, "labelReleaseDate").contains ("1970"));

    list.selectRow (2);
    EXPECT_TRUE (button (content, "Start Update").isEnabled());

    // No updates at all: nothing to start, a file of one's own still possible.
    FirmwareChooserContent empty (true, vesperContext (false));
    EXPECT_EQ (empty.getNumRows(), 0);
    EXPECT_FALSE (button (empty, "Start Update").isEnabled());
    EXPECT_TRUE (button (empty, "Custom Update...").isVisible());
}

TEST_F (FirmwareChooserTest, BuildNumbersFromPathsAndTyping)
{
    EXPECT_EQ (FirmwareChooserContent::buildNumberInPath ("/fw/update_build1234.syx"), 1234);
    EXPECT_EQ (FirmwareChooserContent::buildNumberInPath ("/fw/update.syx"), 0);
    EXPECT_EQ (FirmwareChooserContent::buildNumberInPath ("/builds/build_area/fw_build77.syx"), 77);
    EXPECT_EQ (FirmwareChooserContent::buildNumberInPath ("/fw/Build12.syx"), 0);
    EXPECT_EQ (FirmwareChooserContent::buildNumberInPath ("/fw/build99999999999.syx"), 99999999999);

    EXPECT_EQ (FirmwareChooserContent::parseBuildNumber (""), 0);
    EXPECT_EQ (FirmwareChooserContent::parseBuildNumber ("0"), 0);
    EXPECT_EQ (FirmwareChooserContent::parseBuildNumber (" 42 "), 42);
    EXPECT_EQ (FirmwareChooserContent::parseBuildNumber ("1"), 1);
    EXPECT_EQ (FirmwareChooserContent::parseBuildNumber ("32767"), 32767);

    // A version holds the build in 16 signed bits: more would wrap into another build.
    for (auto* refused : { "32768", "65536", "99999999999", "-5", "12a", "1.5" })
        EXPECT_EQ (FirmwareChooserContent::parseBuildNumber (refused), -1) << refused;
}

TEST_F (FirmwareChooserTest, ChooserStartsAtTheLastFileOrWhatIsLeftOfIt)
{
    const auto home = juce::File::getSpecialLocation (juce::File::userHomeDirectory);
    const auto deleted = userFile.getSiblingFile ("gone.syx");

    EXPECT_EQ (FirmwareChooserContent::startForCustomFile (userFile.getFullPathName()), userFile);
    EXPECT_EQ (FirmwareChooserContent::startForCustomFile (deleted.getFullPathName()), userFile.getParentDirectory());
    EXPECT_EQ (FirmwareChooserContent::startForCustomFile ("/no/such/folder/x.syx"), home);
    EXPECT_EQ (FirmwareChooserContent::startForCustomFile ({}), home);

    settings().setValue ("lastFirmwareFile", deleted.getFullPathName());
    FirmwareChooserContent content (true, vesperContext());
    ChooserAnswers chooser;
    content.chooseCustomUpdateFile();

    ASSERT_EQ (chooser.requests.size(), 1u);
    EXPECT_EQ (chooser.requests[0].title, "Select update file...");
    EXPECT_EQ (chooser.requests[0].start, userFile.getParentDirectory());
    EXPECT_EQ (chooser.requests[0].patterns, "*.syx");
    EXPECT_FALSE (content.isStartRequested());
}

TEST_F (FirmwareChooserTest, MissingFileIsReported)
{
    FirmwareChooserContent content (true, vesperContext());
    AlertLog alerts;
    ChooserAnswers chooser (userFile.getSiblingFile ("missing_build5.syx"));
    content.chooseCustomUpdateFile();

    ASSERT_EQ (alerts.boxes.size(), 1u);
    EXPECT_EQ (alerts.boxes[0].title, "File Not Found");
    EXPECT_EQ (alerts.boxes[0].message, "The specified file does not exist.");
    EXPECT_EQ (content.getBuildNumberPrompt(), nullptr);
    EXPECT_FALSE (content.isStartRequested());
}

TEST_F (FirmwareChooserTest, TitleNamesTheActiveUnitOfThatProduct)
{
    EXPECT_EQ (FirmwareChooserDialog::titleFor (vesper, vesperContext()), "Vesper Black Firmware Updates");
    EXPECT_EQ (FirmwareChooserDialog::titleFor (quill, vesperContext()), "Product Firmware Updates");
    EXPECT_EQ (FirmwareChooserDialog::titleFor (vesper, FirmwareChooserContext()), "Product Firmware Updates");
}

//==============================================================================
class FirmwareContextTest : public ContentFixture {};

TEST_F (FirmwareContextTest, ReadsTheCataloguesUpdatesAndTheActiveUnit)
{
    auto& content = startCatalogueQuietly();
    struct Idle : juce::Thread { Idle() : juce::Thread ("test downloader") {} void run() override {} } worker;
    ASSERT_TRUE (content.downloadProductContent (vesper, &worker));

    DeviceRig rig;
    rig.addUnit (SimulatedUnit::sampleProfile (vesper));
    ASSERT_TRUE (rig.connect());

    const auto context = FirmwareChooserContext::read (&content, rig.manager.get(), vesper);
    ASSERT_EQ (context.updates.size(), 2);   // the public ones, oldest first
    EXPECT_EQ (context.updates[0].version.build, 120);
    EXPECT_EQ (context.updates[1].version.build, 140);
    EXPECT_EQ (context.activeProductId, vesper);
    EXPECT_EQ (context.activeDisplayName, "Vesper");
    EXPECT_EQ (context.activeVersion.build, 140);
    EXPECT_EQ (context.getInstalledBuild(), 140);
    EXPECT_EQ (context.getSuggestedRow(), -1) << "nothing public is newer than the unit's build";
    EXPECT_EQ (FirmwareChooserContext::read (&content, rig.manager.get(), quill).getInstalledBuild(), -1);

    EXPECT_TRUE (FirmwareChooserContext::read (nullptr, nullptr, vesper).updates.isEmpty());
    EXPECT_EQ (FirmwareChooserContext::read (nullptr, nullptr, vesper).activeProductId, 255);
}

//==============================================================================
class FirmwareChooserDialogTest : public DisplayTest {};

TEST_F (FirmwareChooserDialogTest, OnlyStartUpdateAsksForTheSelectedUpdate)
{
    {
        FirmwareChooserDialog dialog (nullptr, false, vesperContext());
        EXPECT_EQ (dialog.getName(), "Vesper Black Firmware Updates");

        // Closed with a row selected: nothing to install.
        EXPECT_EQ (runModally (dialog, [] (BelvoraDialog& d) { d.getCloseButton()->triggerClick(); }), 0);
        EXPECT_FALSE (dialog.isStartRequested());
    }

    {
        FirmwareChooserDialog dialog (nullptr, false, vesperContext());
        runModally (dialog, [] (BelvoraDialog& d) { get<juce::Button> (*d.getContentComponent(), "Cancel").triggerClick(); });
        EXPECT_FALSE (dialog.isStartRequested());
    }

    // The context says whose updates these are: installed 140 offers 150.
    FirmwareChooserDialog offered (nullptr, false, vesperContext (true, 140));
    runModally (offered, [] (BelvoraDialog& d) { get<juce::Button> (*d.getContentComponent(), "Start Update").triggerClick(); });
    EXPECT_TRUE (offered.isStartRequested());
    EXPECT_EQ (offered.getSelectedUpdate().version.build, 150);

    FirmwareChooserDialog dialog (nullptr, false, vesperContext());
    runModally (dialog, [] (BelvoraDialog& d)
    {
        auto& content = *d.getContentComponent();
        get<juce::ListBox> (content, "list").selectRow (1);
        get<juce::Button> (content, "Start Update").triggerClick();
    });

    EXPECT_TRUE (dialog.isStartRequested());
    EXPECT_EQ (dialog.getSelectedUpdate().version.build, 140);
}

// By keys: Tab reaches the list, which then wears the focus ring at both
// scales, and the arrows move its selection.
TEST_F (FirmwareChooserDialogTest, TabReachesTheListWhichShowsTheFocusAndTakesTheArrows)
{
    for (const auto scale : WidgetTests::scales)
    {
        SCOPED_TRACE (scale);
        WidgetTests::ScopedLookAndFeel look { scale };
        FirmwareChooserDialog dialog (nullptr, false, vesperContext());
        juce::StringArray order;
        int ringBefore = -1, ringAfter = -1, ringFull = 0, rowBefore = -1, rowAfterUp = -1, rowAfterDown = -1;

        runModally (dialog, [&] (BelvoraDialog& d)
        {
            ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return d.getPeer()->isFocused() && d.isParentOf (juce::Component::getCurrentlyFocusedComponent()); }));
            auto& content = *d.getContentComponent();
            auto& list = get<juce::ListBox> (content, "list");
            const auto inList = [&] { return list.hasKeyboardFocus (true); };

            // The ring's colour along the list's left edge, inside the list.
            const auto ringPixels = [&]
            {
                content.repaint();
                const auto image = WidgetTests::snapshot (content);
                const auto edge = juce::Rectangle<int> (list.getX(), list.getY() + list.getHeight() / 4,
                                                        juce::roundToInt (2.0f * scale), list.getHeight() / 2);
                ringFull = edge.getWidth() * edge.getHeight();
                return WidgetTests::countPixels (image, edge, WidgetTests::hue (Palette::focusRingColour, 8));
            };

            // Away from the list first: its ring goes with the focus.
            for (int i = 0; i < 8 && inList(); ++i)
                ASSERT_TRUE (pressKey (juce::KeyPress (juce::KeyPress::tabKey)));

            ASSERT_FALSE (inList());
            ringBefore = ringPixels();

            for (int i = 0; i < 8 && ! inList(); ++i)
            {
                ASSERT_TRUE (pressKey (juce::KeyPress (juce::KeyPress::tabKey)));
                order.add (juce::Component::getCurrentlyFocusedComponent()->getName());
            }

            ASSERT_TRUE (inList());
            ringAfter = ringPixels();

            rowBefore = list.getSelectedRow();
            ASSERT_TRUE (pressKey (juce::KeyPress (juce::KeyPress::upKey)));
            rowAfterUp = list.getSelectedRow();
            ASSERT_TRUE (pressKey (juce::KeyPress (juce::KeyPress::downKey)));
            rowAfterDown = list.getSelectedRow();
            ASSERT_TRUE (pressKey (juce::KeyPress (juce::KeyPress::escapeKey)));
        });

        if (dialog.isCurrentlyModal())
            dialog.closeWith (-1);

        EXPECT_EQ (ringBefore, 0);
        // The ring's whole width along half the list's height.
        EXPECT_EQ (ringAfter, ringFull) << order.joinIntoString (", ");
        EXPECT_EQ (rowBefore, 2);
        EXPECT_EQ (rowAfterUp, 1);
        EXPECT_EQ (rowAfterDown, 2);
        EXPECT_FALSE (dialog.isStartRequested());
    }
}

TEST_F (FirmwareChooserDialogTest, UsersFileWithTheBuildNumberPrompt)
{
    const auto file = freshFolder ("prompt").getChildFile ("update_build321.syx");
    file.replaceWithText ("image");

    struct Case { const char* typed; const char* press; bool started; int build; int warnings; };
    const Case cases[] =
    {
        { "150", "Ok", true, 150, 0 },
        { "0", "Ok", true, 120, 0 },          // keeps the unit's build
        { "40000", "Ok", false, 0, 1 },      // would wrap in the version's 16 bits
        { "150", "Cancel", false, 0, 0 },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.typed) + " " + c.press);
        settings().removeValue ("lastFirmwareFile");
        ChooserAnswers chooser (file);
        AlertLog alerts;
        juce::String proposed, promptTitle;
        juce::StringArray tabOrder;

        FirmwareChooserDialog dialog (nullptr, true, vesperContext (false));
        const auto result = runModally (dialog, [&] (BelvoraDialog& d)
        {
            get<juce::Button> (*d.getContentComponent(), "Custom Update...").triggerClick();

            // The prompt opens over the dialog without blocking it, the focus in its field.
            ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([] { return dynamic_cast<juce::AlertWindow*> (currentModal()) != nullptr; }));
            juce::Component::SafePointer<juce::AlertWindow> prompt (dynamic_cast<juce::AlertWindow*> (currentModal()));
            promptTitle = prompt->getName();
            proposed = prompt->getTextEditorContents ("Build Number");
            const auto focused = [] { auto* f = juce::Component::getCurrentlyFocusedComponent(); return f != nullptr ? f->getName() : juce::String ("<none>"); };
            EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return prompt->getPeer()->isFocused() && focused() == "Build Number"; })) << focused();

            // Round in reading order, then what the user types replaces the proposal.
            for (int i = 0; i < 3 && pressKey (juce::KeyPress (juce::KeyPress::tabKey)); ++i)
                tabOrder.add (focused());

            EXPECT_TRUE (typeText (c.typed) && pressKey (juce::KeyPress (juce::String (c.press) == "Ok" ? juce::KeyPress::returnKey : juce::KeyPress::escapeKey)));

            // Refused or cancelled, the chooser stays open for another try (a prompt the keys missed is closed).
            if (! TestEnvironment::runMessageLoopUntil ([&] { return prompt == nullptr || ! prompt->isCurrentlyModal(); }))
                prompt->exitModalState (-1);

            if (d.isVisible())
                d.closeWith (0);
        });

        EXPECT_EQ (result, 0);
        EXPECT_EQ (promptTitle, "Specify Build Number");
        EXPECT_EQ (proposed, "321");
        EXPECT_EQ (tabOrder.joinIntoString (", "), "Ok, Cancel, Build Number");
        EXPECT_EQ (dialog.isStartRequested(), c.started);
        EXPECT_EQ ((int) alerts.boxes.size(), c.warnings);

        if (! alerts.boxes.empty())
        {
            EXPECT_EQ (alerts.boxes[0].title, "Invalid Build Number");
        }

        if (! c.started)
        {
            EXPECT_EQ (dialog.getChooserContent().getCustomUpdate(), nullptr);
            EXPECT_FALSE (settings().containsKey ("lastFirmwareFile"));
            continue;
        }

        EXPECT_EQ (dialog.getSelectedUpdate().status, FirmwareUpdateElement::statusCustom);
        EXPECT_EQ (dialog.getSelectedUpdate().version.build, c.build);
        EXPECT_EQ (dialog.getSelectedUpdate().version.major, 1);
        EXPECT_EQ (dialog.getSelectedUpdate().file, file.getFullPathName());
        EXPECT_EQ (settings().getValue ("lastFirmwareFile"), file.getFullPathName());
    }
}
