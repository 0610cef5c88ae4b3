#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>
#include <memory>
#include <vector>

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

    /** The image to fill that many pixels: the one rendered for the button size when the sizes
        match, else one rendered at that size, kept while the button size stays. Drawing a picture
        at its own size is a copy, where stretching it resamples every pixel at every paint. */
    juce::Image getImage (int index, int width, int height);

protected:
    /** One of the eight images rendered at a size in pixels. */
    virtual juce::Image render (int index, int width, int height) const = 0;

    /** Renders the eight images at that size and forgets those of other sizes. */
    void renderAll (int width, int height);

    std::array<juce::Image, 8> images;

private:
    struct Sized
    {
        int width, height;
        std::array<juce::Image, 8> images;
    };

    std::vector<Sized> sized;   // the few other sizes in use: a row's last cell, a display's scale
};

/** The cell (list) view: eight vertical gradients and plain fills. */
class CellButtonHelper : public PresetButtonHelper
{
public:
    static std::shared_ptr<CellButtonHelper> getInstance();
    void setButtonSize (int width, int height) override;

private:
    juce::Image render (int index, int width, int height) const override;
};

/** The icon view: five picture tiles, shrunk to two thirds of the button. */
class IconButtonHelper : public PresetButtonHelper
{
public:
    static std::shared_ptr<IconButtonHelper> getInstance();
    void setButtonSize (int width, int height) override;

private:
    juce::Image render (int index, int width, int height) const override;
};
