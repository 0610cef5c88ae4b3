// The file-replace prompt: its layout at each scale and, with a display, the
// answer each way of closing it gives.

#include "gui/DialogTestSupport.h"
#include "gui/Palette.h"
#include "gui/WidgetTestSupport.h"
#include "gui/dialogs/WarnFileReplaceDialog.h"

using namespace DialogTests;
using namespace WidgetTests;

TEST (FileReplaceComponent, SizesPictureAndButtonsFollowTheScale)
{
    for (auto scale : scales)
    {
        SCOPED_TRACE (scale);
        ScopedLookAndFeel look (scale);
        FileReplaceComponent prompt ("'/x.syx' already exists.", false);
        const auto g = juce::roundToInt (10.0f * scale);

        EXPECT_EQ (prompt.getBounds(), juce::Rectangle<int> (juce::roundToInt (450 * scale), juce::roundToInt (160 * scale)));
        EXPECT_EQ (prompt.getPictureArea(), juce::Rectangle<int> (g, g, juce::roundToInt (100 * scale), juce::roundToInt (100 * scale)));

        auto& no = get<juce::Button> (prompt, "textButtonNo");
        EXPECT_EQ (no.getBounds().getBottomRight(), juce::Point<int> (prompt.getWidth() - g, prompt.getHeight() - g));
        EXPECT_EQ (get<juce::Button> (prompt, "textButtonYes").getRight(), no.getX() - g);
        EXPECT_FALSE (get<juce::Button> (prompt, "toggleButtonApplyToAll").isVisible());

        // The picture, faded to 90 %, sits in its square and nowhere right of the text's margin.
        const auto image = snapshot (prompt);
        const auto area = prompt.getPictureArea();
        EXPECT_GT (countPixels (image, area, [] (juce::Colour c) { return c != Palette::dialogBackgroundColour; }), area.getWidth() * 4);
    }
}

TEST (FileReplaceComponent, ApplyToAllSitsLeftOfYesWhenAskedFor)
{
    ScopedLookAndFeel look (1.0f);
    FileReplaceComponent prompt ("question", true);
    auto& toggle = get<juce::Button> (prompt, "toggleButtonApplyToAll");
    auto& yes = get<juce::Button> (prompt, "textButtonYes");

    EXPECT_TRUE (toggle.isVisible());
    EXPECT_EQ (toggle.getButtonText(), "Apply to all");
    EXPECT_LT (toggle.getRight(), yes.getX());
    EXPECT_NEAR (toggle.getBounds().getCentreY(), yes.getBounds().getCentreY(), 1);

    EXPECT_EQ (WarnFileReplaceDialog::messageFor (juce::File ("/home/a/Setup.syx")),
               "'/home/a/Setup.syx' already exists.\n\nDo you want to replace the existing file?");
}

TEST (FileReplaceComponent, ALongPathBreaksIntoLinesBesideThePicture)
{
    for (auto scale : scales)
    {
        SCOPED_TRACE (scale);
        ScopedLookAndFeel look (scale);
        const juce::String path ("/home/singer/Documents/Belvora_Exports/Vesper_Black_Live_Set/AllPresets_6_12_2026.syx");
        FileReplaceComponent prompt (WarnFileReplaceDialog::messageFor (juce::File (path)), true);
        const auto lines = prompt.getLines();
        const auto font = BVLookAndFeel::makeFont (14.0f * scale);

        ASSERT_GT (lines.size(), 3);
        EXPECT_TRUE (lines.joinIntoString ("").contains (path));
        EXPECT_TRUE (lines[0].endsWithChar ('/'));   // broken after a slash, not in a name
        EXPECT_EQ (lines[lines.size() - 1], "Do you want to replace the existing file?");
        EXPECT_GT (prompt.getTextArea().getX(), prompt.getPictureArea().getRight());
        EXPECT_LE (prompt.getTextArea().getBottom(), get<juce::Button> (prompt, "textButtonNo").getY());
        EXPECT_GE ((float) prompt.getTextArea().getHeight(), (float) lines.size() * font.getHeight() - 1.0f);

        for (auto& line : lines)
            EXPECT_LE (font.getStringWidthFloat (line), (float) prompt.getTextArea().getWidth()) << line;
    }
}

//==============================================================================
class FileReplaceDialogTest : public DisplayTest {};

TEST_F (FileReplaceDialogTest, EachAnswerHasItsBits)
{
    struct Case { const char* what; bool showToggle; bool tick; const char* press; int expected; };
    const Case cases[] =
    {
        { "No", false, false, "textButtonNo", 0 },
        { "Yes", false, false, "textButtonYes", 1 },
        { "No for all", true, true, "textButtonNo", 2 },
        { "Yes for all", true, true, "textButtonYes", 3 },
        { "Yes, toggle shown but not ticked", true, false, "textButtonYes", 1 },
        { "the close button", true, true, "close", 0 },
        { "Escape", true, true, "escape", 0 },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        WarnFileReplaceDialog dialog (nullptr, "Replace File", "question", c.showToggle);
        EXPECT_EQ (dialog.getName(), "Replace File");
        EXPECT_EQ (dialog.getBackgroundColour(), Palette::dialogBackgroundColour);

        const auto result = runModally (dialog, [&c] (BelvoraDialog& d)
        {
            auto& content = *d.getContentComponent();

            if (c.tick)
                get<juce::Button> (content, "toggleButtonApplyToAll").setToggleState (true, juce::sendNotificationSync);

            if (juce::String (c.press) == "close")
                d.getCloseButton()->triggerClick();
            else if (juce::String (c.press) == "escape")
                static_cast<juce::Component&> (d).keyPressed (juce::KeyPress (juce::KeyPress::escapeKey));
            else
                get<juce::Button> (content, c.press).triggerClick();
        });

        EXPECT_EQ (result, c.expected);
        EXPECT_FALSE (dialog.isVisible());
    }
}

// It opens on "No", and Return there keeps the file, under a window manager too.
TEST_F (FileReplaceDialogTest, ReturnWhereItOpensKeepsTheFile)
{
    for (auto scale : scales)
    {
        SCOPED_TRACE (scale);
        ScopedLookAndFeel look (scale);
        WarnFileReplaceDialog dialog (nullptr, "Replace File", "question", true);
        WhenUp returnKey ("Replace File", [&dialog] (juce::Component&)
        {
            const auto pressed = pressKey (juce::KeyPress (juce::KeyPress::returnKey));

            if (dialog.isCurrentlyModal())   // Return did nothing
                dialog.closeWith (-1);

            return pressed;
        });
        EXPECT_EQ (dialog.runModal(), FileReplaceComponent::no);
        EXPECT_EQ (returnKey.focused, "No");
    }
}

