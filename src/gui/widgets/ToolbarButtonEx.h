#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The button of the data and device toolbars: a normal and an optional toggled
    drawable, drawn smaller than the framework's toolbar button and lifted above
    a label that is given more room. */
class ToolbarButtonEx : public juce::ToolbarItemComponent
{
public:
    ToolbarButtonEx (int itemId, const juce::String& labelText,
                     std::unique_ptr<juce::Drawable> normalImage,
                     std::unique_ptr<juce::Drawable> toggledImage = {});
    ~ToolbarButtonEx() override;

    /** The drawable shown now (null in the text-only style). */
    juce::Drawable* getCurrentImage() const noexcept   { return currentImage; }

    /** Where the drawable is fitted within the content area, by style. */
    static juce::Rectangle<float> getImageBox (juce::Rectangle<int> contentArea, juce::Toolbar::ToolbarItemStyle style);

    /** The label's vertical room (y, height) in an item of that height, by style. */
    static juce::Range<int> getLabelRows (int height, juce::Rectangle<int> contentArea, juce::Toolbar::ToolbarItemStyle style);

    void enablementChanged() override;
    void resized() override;
    void paintButton (juce::Graphics& g, bool isMouseOver, bool isButtonDown) override;
    void buttonStateChanged() override;
    bool getToolbarItemSizes (int toolbarDepth, bool isVertical, int& preferredSize, int& minSize, int& maxSize) override;
    void paintButtonArea (juce::Graphics&, int, int, bool, bool) override {}
    void contentAreaChanged (const juce::Rectangle<int>& area) override;

private:
    juce::Drawable* getImageToUse() const;
    void updateDrawable();

    std::unique_ptr<juce::Drawable> normalImage, toggledImage;
    juce::Drawable* currentImage = nullptr;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ToolbarButtonEx)
};
