#include "gui/widgets/PresetButtonHelper.h"

#include "gui/Palette.h"
#include "resources/BinaryResources.h"

#include <algorithm>
#include <mutex>

namespace
{
    // One shared painter per class, alive while some button holds it.
    template <typename Helper>
    std::shared_ptr<Helper> sharedInstance (int width, int height)
    {
        static std::mutex lock;
        static std::weak_ptr<Helper> current;

        const std::lock_guard guard (lock);

        if (auto held = current.lock())
            return held;

        auto made = std::make_shared<Helper>();
        made->setButtonSize (width, height);
        current = made;
        return made;
    }

    // Opaque pictures are kept without alpha: drawing one is then a plain copy, not a blend.
    juce::Image::PixelFormat formatFor (juce::Colour a, juce::Colour b)
    {
        return a.isOpaque() && b.isOpaque() ? juce::Image::RGB : juce::Image::ARGB;
    }

    juce::Image gradient (int w, int h, juce::Colour top, juce::Colour bottom)
    {
        juce::Image image (formatFor (top, bottom), w, h, true);
        juce::Graphics g (image);
        g.setGradientFill (juce::ColourGradient::vertical (top, 0.0f, bottom, (float) h));
        g.fillAll();
        return image;
    }

    juce::Image solid (int w, int h, juce::Colour colour)
    {
        juce::Image image (formatFor (colour, colour), w, h, true);
        image.clear (image.getBounds(), colour);
        return image;
    }

    juce::Image tile (const void* data, int size, int w, int h)
    {
        const auto picture = juce::ImageCache::getFromMemory (data, size);

        if (! picture.isValid() || w <= 0 || h <= 0)
            return {};

        return picture.rescaled (w, h, juce::Graphics::mediumResamplingQuality);
    }
}

juce::Image PresetButtonHelper::getImage (int index) const
{
    if (! juce::isPositiveAndNotGreaterThan (index, (int) images.size()) || index == 0)
        return {};

    return images[(size_t) index - 1];
}

juce::Image PresetButtonHelper::getImage (int index, int width, int height)
{
    if (! juce::isPositiveAndNotGreaterThan (index, (int) images.size()) || index == 0 || width <= 0 || height <= 0)
        return {};

    const auto& own = images[(size_t) index - 1];

    if (! own.isValid() || (own.getWidth() == width && own.getHeight() == height))
        return own;

    auto entry = std::find_if (sized.begin(), sized.end(), [&] (const Sized& s) { return s.width == width && s.height == height; });

    if (entry == sized.end())
    {
        // A grid uses two or three sizes at a time; a stale one goes first.
        if (sized.size() >= 6)
            sized.erase (sized.begin());

        entry = sized.insert (sized.end(), Sized { width, height, {} });
    }

    auto& image = entry->images[(size_t) index - 1];

    if (! image.isValid())
        image = render (index, width, height);

    return image;
}

void PresetButtonHelper::renderAll (int width, int height)
{
    sized.clear();

    for (int index = 1; index <= (int) images.size(); ++index)
        images[(size_t) index - 1] = width > 0 && height > 0 ? render (index, width, height) : juce::Image();
}

//==============================================================================
std::shared_ptr<CellButtonHelper> CellButtonHelper::getInstance()
{
    return sharedInstance<CellButtonHelper> (125, 25);
}

void CellButtonHelper::setButtonSize (int w, int h)
{
    renderAll (w, h);
}

juce::Image CellButtonHelper::render (int index, int w, int h) const
{
    switch (index)
    {
        case normal:                  return gradient (w, h, Palette::presetCellGreyBlue, Palette::presetCellSlate);
        case selected:                return gradient (w, h, Palette::presetCellGreyBlue.brighter (0.4f), Palette::presetCellSlate.brighter (0.4f));
        case differs:                 return gradient (w, h, Palette::presetCellSky, Palette::presetCellBlue);
        case selectedDiffers:         return gradient (w, h, Palette::presetCellSky.brighter (0.4f), Palette::presetCellBlue.brighter (0.4f));
        case highlighted:             return gradient (w, h, Palette::presetCellGold, Palette::presetCellOlive);
        case highlightedSelected:     return gradient (w, h, Palette::presetCellGold.brighter (0.4f), Palette::presetCellOlive.brighter (0.4f));
        case unselectable:            return solid (w, h, Palette::presetCellPaleSlate);
        case unselectableHighlighted: return solid (w, h, Palette::presetCellRose);
        default:                      return {};
    }
}

//==============================================================================
std::shared_ptr<IconButtonHelper> IconButtonHelper::getInstance()
{
    return sharedInstance<IconButtonHelper> (152, 95);
}

void IconButtonHelper::setButtonSize (int w, int h)
{
    renderAll (juce::roundToInt ((float) w * 0.66f), juce::roundToInt ((float) h * 0.66f));
}

juce::Image IconButtonHelper::render (int index, int w, int h) const
{
    using namespace BinaryResources;

    // Selection shows in the frame, not in the picture.
    switch (index)
    {
        case normal:
        case selected:                return tile (preset_tile_normal_png, preset_tile_normal_pngSize, w, h);
        case differs:
        case selectedDiffers:         return tile (preset_tile_differs_png, preset_tile_differs_pngSize, w, h);
        case highlighted:
        case highlightedSelected:     return tile (preset_tile_highlighted_png, preset_tile_highlighted_pngSize, w, h);
        case unselectable:            return tile (preset_tile_unselectable_png, preset_tile_unselectable_pngSize, w, h);
        case unselectableHighlighted: return tile (preset_tile_unselectable_highlighted_png, preset_tile_unselectable_highlighted_pngSize, w, h);
        default:                      return {};
    }
}
