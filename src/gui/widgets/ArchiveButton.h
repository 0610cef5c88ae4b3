#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

/** The tile of one item of a backup group shown as a grid: the item's icon on a
    card with its label underneath. The grid makes one per child node of the
    group, reads the toggle states as its selection and handles clicks and
    dragging; the tile only draws and keeps its node. */
class ArchiveButton : public juce::Button
{
public:
    /** The label is the node's "label"; the icon (the grid makes it for the node)
        may be null, which draws none. */
    ArchiveButton (const juce::ValueTree& node, std::unique_ptr<juce::Drawable> icon);
    ~ArchiveButton() override;

    const juce::ValueTree& getNode() const noexcept        { return node; }
    juce::Rectangle<float> getFaceBox() const noexcept     { return faceBox; }
    juce::Rectangle<float> getIconBox() const noexcept     { return iconBox; }
    juce::Rectangle<int> getLabelBox() const;
    const juce::Font& getFont() const noexcept             { return font; }

    void resized() override;
    void paintButton (juce::Graphics& g, bool isMouseOver, bool isButtonDown) override;

private:
    const juce::ValueTree node;
    juce::Font font;
    std::unique_ptr<juce::Drawable> icon;
    juce::Rectangle<float> shadowBox, bodyBox, faceBox, iconBox;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ArchiveButton)
};
