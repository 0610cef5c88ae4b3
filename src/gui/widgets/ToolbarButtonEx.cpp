#include "gui/widgets/ToolbarButtonEx.h"

#include "gui/BVLookAndFeel.h"

ToolbarButtonEx::ToolbarButtonEx (int id, const juce::String& labelText,
                                  std::unique_ptr<juce::Drawable> normal, std::unique_ptr<juce::Drawable> toggled)
    : juce::ToolbarItemComponent (id, labelText, true),
      normalImage (std::move (normal)),
      toggledImage (std::move (toggled))
{
}

ToolbarButtonEx::~ToolbarButtonEx()
{
    // The drawables are children only while shown; take the shown one out before it goes.
    if (currentImage != nullptr)
        removeChildComponent (currentImage);
}

bool ToolbarButtonEx::getToolbarItemSizes (int toolbarDepth, bool, int& preferredSize, int& minSize, int& maxSize)
{
    preferredSize = minSize = maxSize = toolbarDepth;
    return true;
}

void ToolbarButtonEx::contentAreaChanged (const juce::Rectangle<int>&)
{
    buttonStateChanged();
}

juce::Drawable* ToolbarButtonEx::getImageToUse() const
{
    if (getStyle() == juce::Toolbar::textOnly)
        return nullptr;

    if (getToggleState() && toggledImage != nullptr)
        return toggledImage.get();

    return normalImage.get();
}

void ToolbarButtonEx::buttonStateChanged()
{
    auto* image = getImageToUse();

    if (image == currentImage)
        return;

    if (currentImage != nullptr)
        removeChildComponent (currentImage);

    currentImage = image;

    if (currentImage != nullptr)
    {
        enablementChanged();
        addAndMakeVisible (currentImage);
        updateDrawable();
    }
}

void ToolbarButtonEx::enablementChanged()
{
    juce::ToolbarItemComponent::enablementChanged();
    updateDrawable();
}

void ToolbarButtonEx::resized()
{
    juce::ToolbarItemComponent::resized();
    updateDrawable();
}

juce::Rectangle<float> ToolbarButtonEx::getImageBox (juce::Rectangle<int> contentArea, juce::Toolbar::ToolbarItemStyle style)
{
    const auto area = contentArea.toFloat();
    const auto s = style == juce::Toolbar::iconsWithText ? 0.7f : 0.9f;
    auto box = area.withSizeKeepingCentre (area.getWidth() * s, area.getHeight() * s);

    // Lifted, so the label below keeps its room.
    if (style != juce::Toolbar::iconsOnly)
        box = box.translated (0.0f, -(area.getHeight() - box.getHeight()) / 3.0f);

    return box;
}

juce::Range<int> ToolbarButtonEx::getLabelRows (int height, juce::Rectangle<int> contentArea, juce::Toolbar::ToolbarItemStyle style)
{
    const auto indent = contentArea.getX();
    auto y = indent;
    auto h = height - 2 * indent;

    if (style == juce::Toolbar::iconsWithText)
    {
        const auto free = h - contentArea.getHeight();
        const auto lift = juce::roundToInt ((float) free * 0.4f);
        y = contentArea.getBottom() + indent / 2 - lift;
        h = free + lift;
    }

    return juce::Range<int>::withStartAndLength (y, h);
}

void ToolbarButtonEx::updateDrawable()
{
    if (currentImage == nullptr)
        return;

    currentImage->setInterceptsMouseClicks (false, false);
    currentImage->setTransformToFit (getImageBox (getContentArea(), getStyle()), juce::RectanglePlacement::centred);
    currentImage->setAlpha (isEnabled() ? 1.0f : 0.5f);
}

void ToolbarButtonEx::paintButton (juce::Graphics& g, bool isMouseOver, bool isButtonDown)
{
    auto& laf = getLookAndFeel();

    {
        const juce::Graphics::ScopedSaveState state (g);
        laf.paintToolbarButtonBackground (g, getWidth(), getHeight(), isMouseOver, isButtonDown, *this);
    }

    const auto area = getContentArea();

    if (getStyle() != juce::Toolbar::iconsOnly)
    {
        const auto rows = getLabelRows (getHeight(), area, getStyle());
        const auto indent = area.getX();
        laf.paintToolbarButtonLabel (g, indent, rows.getStart(), getWidth() - 2 * indent, rows.getLength(), getButtonText(), *this);
    }

    if (area.getWidth() > 0 && area.getHeight() > 0)
    {
        const juce::Graphics::ScopedSaveState state (g);
        g.reduceClipRegion (area);
        g.setOrigin (area.getPosition());
        paintButtonArea (g, area.getWidth(), area.getHeight(), isMouseOver, isButtonDown);
    }

    if (hasKeyboardFocus (false))
        if (auto* look = BVLookAndFeel::of (*this))
            look->drawFocusRing (g, look->getToolbarButtonArea (*this).toFloat());
}
