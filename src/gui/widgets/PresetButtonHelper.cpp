#include "gui/widgets/PresetButtonHelper.h"

#include "gui/Palette.h"
#include "resources/BinaryResources.h"

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

    juce::Image gradient (int w, int h, juce::Colour top, juce::Colour bottom)
    {
        juce::Image image (juce::Image::ARGB, w, h, true);
        juce::Graphics g (image);
        g.setGradientFill (juce::ColourGradient::vertical (top, 0.0f, bottom, (float) h));
        g.fillAll();
        return image;
    }

    juce::Image solid (int w, int h, juce::Colour colour)
    {
        juce::Image image (juce::Image::ARGB, w, h, true);
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

//==============================================================================
std::shared_ptr<CellButtonHelper> CellButtonHelper::getInstance()
{
    return sharedInstance<CellButtonHelper> (125, 25);
}

void CellButtonHelper::setButtonSize (int w, int h)
{
    if (w <= 0 || h <= 0)
        return images.fill ({});

    images[0] = gradient (w, h, Palette::presetCellGreyBlue, Palette::presetCellSlate);
    images[1] = gradient (w, h, Palette::presetCellGreyBlue.brighter (0.4f), Palette::presetCellSlate.brighter (0.4f));
    images[2] = gradient (w, h, Palette::presetCellSky, Palette::presetCellBlue);
    images[3] = gradient (w, h, Palette::presetCellSky.brighter (0.4f), Palette::presetCellBlue.brighter (0.4f));
    images[4] = gradient (w, h, Palette::presetCellGold, Palette::presetCellOlive);
    images[5] = gradient (w, h, Palette::presetCellGold.brighter (0.4f), Palette::presetCellOlive.brighter (0.4f));
    images[6] = solid (w, h, Palette::presetCellPaleSlate);
    images[7] = solid (w, h, Palette::presetCellRose);
}

//==============================================================================
std::shared_ptr<IconButtonHelper> IconButtonHelper::getInstance()
{
    return sharedInstance<IconButtonHelper> (152, 95);
}

void IconButtonHelper::setButtonSize (int w, int h)
{
    using namespace BinaryResources;
    const auto iw = juce::roundToInt ((float) w * 0.66f), ih = juce::roundToInt ((float) h * 0.66f);

    const auto normalTile = tile (preset_tile_normal_png, preset_tile_normal_pngSize, iw, ih);
    const auto differsTile = tile (preset_tile_differs_png, preset_tile_differs_pngSize, iw, ih);
    const auto highlightedTile = tile (preset_tile_highlighted_png, preset_tile_highlighted_pngSize, iw, ih);

    // Selection shows in the frame, not in the picture.
    images[0] = images[1] = normalTile;
    images[2] = images[3] = differsTile;
    images[4] = images[5] = highlightedTile;
    images[6] = tile (preset_tile_unselectable_png, preset_tile_unselectable_pngSize, iw, ih);
    images[7] = tile (preset_tile_unselectable_highlighted_png, preset_tile_unselectable_highlighted_pngSize, iw, ih);
}
