#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>
#include <memory>

/** The backgrounds of every preset button of one view, rendered once per
    button size, so that painting a button is one blit plus its texts.

    Each painter exists once, while some button holds it: getInstance hands
    out the shared one, made and rendered at its view's design size when the
    first holder asks. */
class PresetButtonHelper
{
public:
    /** The eight backgrounds; a button picks one by its state. */
    enum Image
    {
        normal = 1,
        selected,
        differs,
        selectedDiffers,
        highlighted,
        highlightedSelected,
        unselectable,
        unselectableHighlighted
    };

    virtual ~PresetButtonHelper() = default;

    /** Renders all eight images for buttons of that size. */
    virtual void setButtonSize (int width, int height) = 0;

    /** The image, or an invalid one when it was never rendered (or would not load). */
    juce::Image getImage (int index) const;

protected:
    std::array<juce::Image, 8> images;
};

/** The cell (list) view: eight vertical gradients and plain fills. */
class CellButtonHelper : public PresetButtonHelper
{
public:
    static std::shared_ptr<CellButtonHelper> getInstance();
    void setButtonSize (int width, int height) override;
};

/** The icon view: five picture tiles, shrunk to two thirds of the button. */
class IconButtonHelper : public PresetButtonHelper
{
public:
    static std::shared_ptr<IconButtonHelper> getInstance();
    void setButtonSize (int width, int height) override;
};
