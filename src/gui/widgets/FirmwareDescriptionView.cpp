// The widget of a firmware update's description. The update itself lives in
// the core, which makes no widgets; its createDescriptionView is defined here.

#include "content/FirmwareUpdateElement.h"

#include "gui/BVLookAndFeel.h"
#include "gui/Palette.h"
#include "gui/widgets/Alerts.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace
{
    const char* const makerHomePage = "https://www.marrowell.com/";

    // The address comes with the downloaded description: it is opened the
    // program's safe way, never handed to the system as it stands.
    struct LinkButton : public juce::HyperlinkButton
    {
        using juce::HyperlinkButton::HyperlinkButton;
        void clicked() override     { Alerts::openWebAddress (this, getURL()); }

        // Marked as any control with the keyboard focus, and brought into view when Tab reaches it.
        void paintButton (juce::Graphics& g, bool over, bool down) override
        {
            juce::HyperlinkButton::paintButton (g, over, down);

            if (auto* laf = BVLookAndFeel::of (*this); laf != nullptr && hasKeyboardFocus (false))
                laf->drawFocusRing (g, getLocalBounds().toFloat());
        }

        void focusGained (FocusChangeType) override
        {
            if (auto* viewport = findParentComponentOfClass<juce::Viewport>())
            {
                const auto shown = viewport->getViewArea();
                const auto area = viewport->getViewedComponent()->getLocalArea (this, getLocalBounds());
                viewport->setViewPosition (juce::jmin (area.getX(), juce::jmax (shown.getX(), area.getRight() - shown.getWidth())),
                                           juce::jmin (area.getY(), juce::jmax (shown.getY(), area.getBottom() - shown.getHeight())));
            }

            repaint();
        }

        void focusLost (FocusChangeType) override   { repaint(); }
    };

    struct Link
    {
        juce::String text;
        juce::String address;
    };

    juce::Array<Link> linksOf (const juce::XmlElement& row)
    {
        juce::Array<Link> links;

        for (auto* a : row.getChildWithTagNameIterator ("a"))
            links.add ({ a->getAllSubText(), a->getStringAttribute ("href", makerHomePage) });

        return links;
    }

    int textWidth (const juce::Font& font, const juce::String& text)
    {
        return juce::roundToInt (font.getStringWidthFloat (text));
    }

    // Lays one row out from x 0; returns the row's width.
    int addRow (juce::Component& view, const juce::XmlElement& row, const juce::Font& font, int y, int rowHeight)
    {
        auto text = row.getAllSubText().trim();
        const auto links = linksOf (row);
        int x = 0, nextLink = 0;
        bool shownLink = false;

        while (text.isNotEmpty())
        {
            const bool haveLink = nextLink < links.size() && text.contains (links[nextLink].text) && links[nextLink].text.isNotEmpty();
            juce::String piece;

            if (haveLink)
            {
                piece = text.upToFirstOccurrenceOf (links[nextLink].text, false, false);
                text = text.fromFirstOccurrenceOf (links[nextLink].text, false, false);
            }
            else
            {
                piece = text;
                text = {};
            }

            if (piece.isNotEmpty())
            {
                auto* drawable = new juce::DrawableText();
                const auto width = textWidth (font, piece);
                drawable->setText (piece);
                drawable->setFont (font.withStyle (font.getStyleFlags() & ~juce::Font::underlined), true);
                drawable->setColour (Palette::firmwareNotesDark);
                drawable->setJustification (shownLink ? juce::Justification::centredTop : juce::Justification::centredLeft);
                drawable->setBoundingBox (juce::Rectangle<float> ((float) x, (float) y, (float) width, (float) rowHeight));
                view.addAndMakeVisible (drawable);
                x += width;
            }

            if (! haveLink)
                break;

            const auto& link = links[nextLink++];
            auto* button = new LinkButton (link.text, juce::URL (link.address));
            const auto width = textWidth (font, link.text) + 3;
            button->setFont (font.withStyle (font.getStyleFlags() | juce::Font::underlined), false, juce::Justification::topLeft);
            button->setColour (juce::HyperlinkButton::textColourId, Palette::firmwareNotesBlue);
            button->setBounds (x, y, width, rowHeight);
            view.addAndMakeVisible (button);
            x += width;
            shownLink = true;
        }

        return x;
    }

    // Owns the pieces it shows.
    struct DescriptionView : public juce::Component
    {
        ~DescriptionView() override { deleteAllChildren(); }
    };
}

std::unique_ptr<juce::Component> FirmwareUpdateElement::createDescriptionView (const juce::Font& font) const
{
    auto view = std::make_unique<DescriptionView>();
    view->setName ("Firmware Update Description");

    // The rows' spacing grows with the font: 18 for 14 at scale 1.
    const auto rowHeight = (int) (font.getHeight() * 18.0f / 14.0f);
    int y = 0, width = 0, rows = 0;

    for (auto* row = description.getFirstChildElement(); row != nullptr; row = row->getNextElementWithTagName ("line"))
    {
        width = juce::jmax (width, addRow (*view, *row, font, y, rowHeight));
        y += rowHeight;
        ++rows;
    }

    view->setSize (width, rows * rowHeight);
    return view;
}
