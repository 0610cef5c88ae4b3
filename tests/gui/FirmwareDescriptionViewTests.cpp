// The firmware update description widget and the palette it draws with.

#include "content/FirmwareUpdateElement.h"
#include "gui/Palette.h"
#include "gui/widgets/Alerts.h"
#include "support/TestEnvironment.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

namespace
{
    std::unique_ptr<juce::XmlElement> item (const juce::String& status, const juce::String& version, const juce::String& link,
                                            const juce::String& extra = {})
    {
        return juce::parseXML ("<firmwareUpdate><status>" + status + "</status><pubDate>2014-11-05T10:20:30Z</pubDate><version>"
                               + version + "</version><link>" + link + "</link>" + extra + "</firmwareUpdate>");
    }
}

TEST (FirmwareUpdateElements, DescriptionViewSplitsRowsAtTheirLinks)
{
    const auto xml = item ("public", "1.0.0 build 1", "http://x/a.syx",
        "<description><line>See the <a href='http://x/notes'>release notes</a> for details.</line>"
        "<line>Plain row</line><line>Home <a>page</a> then <a href='http://x/y'>then</a></line>"
        "<line>Row <a href='http://x/z'>end </a></line></description>");
    const auto element = FirmwareUpdateElement::parse ("/data/fw", *xml);

    const juce::Font font (14.0f);
    const auto view = element.createDescriptionView (font);
    EXPECT_EQ (view->getName(), "Firmware Update Description");
    EXPECT_EQ (view->getHeight(), 4 * 18);

    juce::StringArray pieces;
    for (auto* child : view->getChildren())
    {
        if (auto* text = dynamic_cast<juce::DrawableText*> (child))
        {
            pieces.add ("text:" + text->getText());
            EXPECT_EQ (text->getColour(), Palette::firmwareNotesDark);
        }
        else if (auto* link = dynamic_cast<juce::HyperlinkButton*> (child))
        {
            pieces.add ("link:" + link->getButtonText() + "@" + link->getURL().toString (false));
            EXPECT_EQ (link->findColour (juce::HyperlinkButton::textColourId), Palette::firmwareNotesBlue);
        }
    }

    EXPECT_EQ (pieces.joinIntoString ("|"), juce::StringArray ({ "text:See the ", "link:release notes@http://x/notes", "text: for details.",
                                            "text:Plain row",
                                            "text:Home ", "link:page@https://www.marrowell.com/", "text: ", "link:then@http://x/y", "text: then",
                                            "text:Row end" }).joinIntoString ("|"));
    EXPECT_GE (view->getWidth(), juce::roundToInt (font.getStringWidthFloat ("See the release notes for details.")));

    // Text pieces are drawn in the given font and size, without its underline.
    const auto boldUnderlined = juce::Font (20.0f).withStyle (juce::Font::bold | juce::Font::underlined);
    const auto styled = element.createDescriptionView (boldUnderlined);
    int texts = 0;

    for (auto* child : styled->getChildren())
    {
        if (auto* text = dynamic_cast<juce::DrawableText*> (child))
        {
            ++texts;
            EXPECT_EQ (text->getFontHeight(), 20.0f);
            EXPECT_TRUE (text->getFont().isBold());
            EXPECT_FALSE (text->getFont().isUnderlined());
        }
    }

    EXPECT_EQ (texts, 7);

    FirmwareUpdateElement none;
    EXPECT_EQ (none.createDescriptionView (font)->getBounds(), juce::Rectangle<int>());

    // A link's address comes with the download: one that is not a web address is shown, never opened.
    const auto local = FirmwareUpdateElement::parse ("/data/fw", *item ("public", "1.0.0 build 1", "http://x/a.syx",
        "<description><line><a href='file:///nonexistent/belvora'>local</a></line></description>"));
    const auto localView = local.createDescriptionView (font);
    std::vector<Alerts::Box> seen;
    const Alerts::ScopedResponder responder ([&] (const Alerts::Box& box) { seen.push_back (box); return true; });

    for (auto* child : localView->getChildren())
        if (auto* link = dynamic_cast<juce::HyperlinkButton*> (child))
            link->triggerClick();

    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return ! seen.empty(); }));
    ASSERT_EQ (seen.size(), 1u);
    EXPECT_TRUE (seen[0].message.contains ("file:///nonexistent/belvora")) << seen[0].message;
}

TEST (Palette, DerivedColours)
{
    EXPECT_EQ (Palette::textLightColour.getARGB(), 0xff78848cu);
    EXPECT_EQ (Palette::backgroundDarkColour.getARGB(), 0xff9ba0a4u);
    EXPECT_EQ (Palette::groupOutlineColour.getARGB(), 0xb342545eu);
    EXPECT_EQ (Palette::labelTextDarkColour.getARGB(), 0xff2f3c43u);
    EXPECT_EQ (Palette::translucentSkyColour.getARGB(), 0x7f69c3f5u);
    EXPECT_EQ (Palette::translucentTealColour.getARGB(), 0x7f003755u);
    EXPECT_EQ (Palette::editorOutlineColour.getARGB(), 0x00000000u);
    EXPECT_EQ (Palette::searchTextColour, Palette::textColour);
}

