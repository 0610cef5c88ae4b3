#include "gui/widgets/PresetButton.h"

#include "gui/Palette.h"
#include "gui/widgets/TileCard.h"
#include "gui/widgets/WidgetMetrics.h"
#include "model/DeviceData.h"

namespace
{
    /** Draws a painter's image over an area, rendered at the area's size in the context's own
        pixels, so that drawing it is a copy rather than a resampling. */
    bool drawBackground (juce::Graphics& g, PresetButtonHelper& painter, int index, juce::Rectangle<int> area)
    {
        const auto scale = g.getInternalContext().getPhysicalPixelScaleFactor();
        const auto w = juce::roundToInt ((float) area.getWidth() * scale), h = juce::roundToInt ((float) area.getHeight() * scale);
        const auto image = painter.getImage (index, w, h);

        if (! image.isValid())
            return false;

        if (image.getWidth() == area.getWidth() && image.getHeight() == area.getHeight())
            g.drawImageAt (image, area.getX(), area.getY());
        else
            g.drawImageTransformed (image, juce::AffineTransform::scale ((float) area.getWidth() / (float) image.getWidth(),
                                                                         (float) area.getHeight() / (float) image.getHeight())
                                               .translated ((float) area.getX(), (float) area.getY()));
        return true;
    }
}

PresetButton::PresetButton (int slot)
    : juce::ImageButton ("preset button"),
      cellHelper (CellButtonHelper::getInstance()),
      iconHelper (IconButtonHelper::getInstance()),
      slotNumber (slot),
      font (BVLookAndFeel::makeFont (14.0f))
{
    setButtonText ("<empty>");
    setOpaque (viewMode == cellView);

    // The grid is one stop for Tab, ringed as a whole, and takes the keys for
    // its cells: a stop per cell would take 30 Tabs to pass.
    setWantsKeyboardFocus (false);
}

PresetButton::~PresetButton() = default;

void PresetButton::setPresetData (std::weak_ptr<const DeviceData> data, bool flag)
{
    deviceData = std::move (data);
    dataFlag = flag;
}

int PresetButton::chooseImage() const
{
    using Image = PresetButtonHelper::Image;
    const auto on = getToggleState();

    if (unselectable)
        return highlighted && dataFlag ? Image::unselectableHighlighted : Image::unselectable;

    if (highlighted && dataFlag)
        return on ? Image::highlightedSelected : Image::highlighted;

    const auto data = deviceData.lock();
    const auto differs = data != nullptr && data->isPresetDifferent (slotNumber);

    if (on)
        return differs ? Image::selectedDiffers : Image::selected;

    return differs ? Image::differs : Image::normal;
}

int PresetButton::getNumSteps() const
{
    const auto data = deviceData.lock();
    const auto* preset = data != nullptr ? data->getPreset (slotNumber) : nullptr;
    return preset != nullptr ? preset->getNumSteps() : 0;
}

//==============================================================================
void PresetButton::setAllViewModes (const juce::OwnedArray<PresetButton>& buttons, int mode)
{
    if (buttons.isEmpty() || buttons.getFirst() == nullptr)
        return;

    for (auto* button : buttons)
    {
        if (button == nullptr)
            continue;

        button->viewMode = mode;
        button->setOpaque (mode == cellView);   // a cell covers its place: the grid paints nothing under it
        button->resized();   // the two views lay the button out differently
        button->repaint();
    }
}

PresetButton* PresetButton::findNearest (const juce::OwnedArray<PresetButton>& buttons, juce::Point<int> point)
{
    auto* last = buttons.getLast();

    if (buttons.size() < 2 || last == nullptr)
        return last;

    const auto lastBounds = last->getBounds();

    if ((point.y >= lastBounds.getY() && point.x >= lastBounds.getRight()) || point.y >= lastBounds.getBottom())
        return last;

    PresetButton* nearest = nullptr;
    auto best = std::numeric_limits<juce::int64>::max();

    for (int i = 1; i < buttons.size(); ++i)
    {
        auto* button = buttons.getUnchecked (i);

        if (button == nullptr)
            continue;

        const auto offset = button->getBounds().getCentre() - point;
        const auto distance = (juce::int64) offset.x * offset.x + (juce::int64) offset.y * offset.y;

        if (distance < best)
        {
            best = distance;
            nearest = button;
        }
    }

    return nearest;
}

//==============================================================================
void PresetButton::resized()
{
    if (viewMode == cellView)
        font = font.withHeight ((float) getHeight() * 0.44f);
    else
        layoutIconView();
}

void PresetButton::layoutIconView()
{
    const auto w = (float) getWidth(), h = (float) getHeight();
    const auto fs = WidgetMetrics::smallFontSize (*this);
    const auto icon = iconHelper->getImage (PresetButtonHelper::normal);
    const auto iw = icon.getWidth(), ih = icon.getHeight();

    // The height carries the UI scale already (and the user's zoom): the font grows with it alone.
    font = font.withHeight (fs / WidgetMetrics::scale (*this) * h / 95.0f);

    // The tile's pixels grow with it, as its font does: 95 high at scale 1 without zoom.
    const auto s = h / 95.0f;
    shadowBox = { 5.0f * s, 5.0f * s, w - 10.0f * s, h - 10.0f * s };
    bodyBox = { 0.0f, 0.0f, w - 5.0f * s, h - 5.0f * s };
    faceBox = { 1.0f * s, 1.0f * s, w - 7.0f * s, h - 7.0f * s };

    iconPosition.x = (int) faceBox.getCentreX() - iw / 2;
    iconPosition.y = juce::jmax (juce::roundToInt (4.0f * s), (int) ((h - 7.0f * s) * 0.5f + s - ((float) (ih / 2) + fs)));

    const auto iconBottom = (float) (iconPosition.y + ih);
    nameBox = { fs * 0.5f + s, iconBottom + s, w - 7.0f * s - fs, h - 6.0f * s - iconBottom };

    // The number goes in the tile's dark strip below its pale bars (from 72 % of its
    // height down), where it and the step count stay clear of them at every scale.
    const auto margin = (float) iw * 0.09765625f;   // the tile's own inset for its number
    const auto strip = (float) ih * 0.25f;
    numberBox = { (float) iconPosition.x + margin, (float) iconPosition.y + (float) ih * 0.725f + juce::jmax (0.0f, strip - fs) * 0.5f,
                  (float) iw - 2.0f * margin, juce::jmin (fs, strip) };
}

void PresetButton::setFocusRing (bool shouldShow)
{
    if (focusRing != shouldShow)
    {
        focusRing = shouldShow;
        repaint();
    }
}

void PresetButton::paintButton (juce::Graphics& g, bool isMouseOver, bool isButtonDown)
{
    if (viewMode == cellView)
        paintCell (g);
    else
        paintIcon (g, isMouseOver, isButtonDown);

    if (focusRing)
        paintFocusRing (g);
}

// The ring of the other controls, lined inside with white so that it stands out
// from the blue of a changed cell; on a tile inside the frame a selected tile wears.
void PresetButton::paintFocusRing (juce::Graphics& g)
{
    auto* laf = BVLookAndFeel::of (*this);
    const auto s = laf != nullptr ? laf->getScale() : BVLookAndFeel::Defaults::scale;
    const auto area = viewMode == cellView ? getLocalBounds().toFloat() : bodyBox.reduced (3.0f * s);

    if (laf != nullptr)
    {
        laf->drawFocusRing (g, area);
    }
    else
    {
        g.setColour (Palette::focusRingColour);
        g.drawRect (area, 2.0f * s);
    }

    g.setColour (Palette::presetGridWhite);
    g.drawRoundedRectangle (area.reduced (2.5f * s), 1.5f * s, s);
}

void PresetButton::paintCell (juce::Graphics& g)
{
    const auto w = getWidth(), h = getHeight();

    // Cells are laid out wider than the grid's nominal size to fill a row: the picture fills the cell.
    if (! drawBackground (g, *cellHelper, chooseImage(), getLocalBounds()))
        g.fillAll (Palette::backgroundColour);

    // The cell's pixels grow with it, as its font does: 25 high at scale 1 without zoom.
    const BVLookAndFeel::Pixels px { (float) h / 25.0f };

    g.setColour (getToggleState() ? Palette::presetCellBlack : Palette::presetGridWhite);
    g.setFont (font);
    g.drawFittedText (getButtonText(), px (6.0f), px (4.0f), w - px (12.0f), h - px (8.0f), juce::Justification::left, 2);

    const auto line = juce::jmax (1, px (1.0f));
    g.setColour (Palette::presetGridSlate);
    g.fillRect (0, 0, w, line);
    g.fillRect (0, h - line, w, line);
    g.fillRect (0, 0, line, h);
    g.fillRect (w - line, 0, line, h);

    if (const auto steps = getNumSteps(); steps > 1)
    {
        const juce::Rectangle<int> mark (w - px (11.0f), line, px (10.0f), px (9.0f));
        g.setColour (juce::Colours::black.withAlpha (0.15f));
        g.fillRect (mark);
        g.setColour (Palette::presetGridWhite);
        g.setFont (font.withHeight (8.5f * px.scale));
        g.drawText (juce::String (steps), mark, juce::Justification::centred, true);
    }

    if (! isEnabled() && ! unselectable)
        g.fillAll (juce::Colours::white.withAlpha (0.4f));
}

void PresetButton::paintIcon (juce::Graphics& g, bool isMouseOver, bool isButtonDown)
{
    const auto enabled = isEnabled();
    const auto alpha = TileCard::contentAlpha (enabled);

    if (isButtonDown || getToggleState() || isMouseOver)
    {
        const auto framed = isButtonDown || getToggleState();
        const auto s = (float) getHeight() / 95.0f;
        const TileCard card { shadowBox, bodyBox, faceBox, 2.0f * s, 2.0f * s, 1.0f * s, s };
        card.draw (g, framed ? Palette::accentBlueColour : Palette::steelBlueColour,
                   framed ? Palette::backgroundColour.brighter (0.4f) : Palette::archiveTilePale, isButtonDown, enabled);
    }

    if (const auto image = iconHelper->getImage (chooseImage()); image.isValid())
    {
        g.setOpacity (alpha);
        drawBackground (g, *iconHelper, chooseImage(), image.getBounds() + iconPosition);
    }

    g.setColour (Palette::textColour.withMultipliedAlpha (alpha));
    g.setFont (font);
    g.drawFittedText (getButtonText(), nameBox.toNearestInt(), juce::Justification::centred, 2, 0.6f);

    const auto number = juce::String (slotNumber);
    const auto numberFont = font.withHeight (juce::jmin (font.getHeight(), numberBox.getHeight()));
    g.setColour (Palette::presetGridWhite.withMultipliedAlpha (alpha));
    g.setFont (numberFont);
    g.drawText (number, numberBox, juce::Justification::topLeft, true);

    if (const auto steps = getNumSteps(); steps > 1)
    {
        const auto shift = (float) juce::roundToInt (numberFont.getStringWidthFloat (number + ":"));
        g.setFont (numberFont.withHeight (numberFont.getHeight() * 0.85f));
        g.drawText ("(x" + juce::String (steps) + ")", numberBox.translated (shift, (float) getHeight() / 95.0f), juce::Justification::topLeft, true);
    }
}
