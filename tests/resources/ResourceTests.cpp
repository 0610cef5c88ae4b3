// The embedded pictures: the name hash, the lookup of every resource, image
// links, and the sizes the interface relies on.

#include "resources/BinaryResources.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

namespace
{
    bool isPng (const void* data, int size)
    {
        static const unsigned char signature[] = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n' };
        return size > 8 && std::memcmp (data, signature, sizeof (signature)) == 0;
    }

    juce::Image image (const char* name)
    {
        int size = 0;
        const auto* data = BinaryResources::getNamedResource (name, size);
        return data != nullptr ? juce::ImageFileFormat::loadFrom (data, (size_t) size) : juce::Image();
    }

    juce::Rectangle<float> drawingBounds (const char* name)
    {
        int size = 0;
        const auto* data = BinaryResources::getNamedResource (name, size);
        auto drawing = juce::Drawable::createFromImageData (data, (size_t) size);
        return drawing != nullptr ? drawing->getDrawableBounds() : juce::Rectangle<float>();
    }
}

TEST (BinaryResources, NameHash)
{
    EXPECT_EQ (BinaryResources::hashName ("abc"), 96354u);
    EXPECT_EQ (BinaryResources::hashName (""), 0u);

    // Bytes above 0x7f count as negative: 0xe9 adds -23.
    EXPECT_EQ (BinaryResources::hashName ("\xe9"), 0xffffffe9u);
    EXPECT_EQ (BinaryResources::hashName ("a\xe9"), 97u * 31u - 23u);
}

TEST (BinaryResources, EveryResourceIsFoundByNameAndDecodes)
{
    ASSERT_GT (BinaryResources::namedResourceListSize, 80);

    for (int i = 0; i < BinaryResources::namedResourceListSize; ++i)
    {
        const juce::String name (BinaryResources::namedResourceList[i]);
        SCOPED_TRACE (name);

        int size = -1;
        const auto* data = BinaryResources::getNamedResource (name.toRawUTF8(), size);
        ASSERT_NE (data, nullptr);
        ASSERT_GT (size, 0);

        if (name.endsWith ("_svg"))
            EXPECT_TRUE (juce::String::fromUTF8 (static_cast<const char*> (data), juce::jmin (size, 64)).startsWith ("<?xml"));
        else
            EXPECT_TRUE (isPng (data, size));

        EXPECT_NE (juce::Drawable::createFromImageData (data, (size_t) size), nullptr);
    }
}

TEST (BinaryResources, NullEmptyAndUnknownNamesFindNothing)
{
    for (const char* name : { static_cast<const char*> (nullptr), "", "no_such_picture_svg", "TICK_SVG", "tick_svg " })
    {
        int size = 5;
        EXPECT_EQ (BinaryResources::getNamedResource (name, size), nullptr) << (name != nullptr ? name : "null");
        EXPECT_EQ (size, 0);
    }

    int size = 0;
    EXPECT_EQ (BinaryResources::getNamedResource ("tick_svg", size), BinaryResources::tick_svg);
    EXPECT_EQ (size, BinaryResources::tick_svgSize);
}

TEST (BinaryResources, ImageLinksFindTheSvgVariantFirst)
{
    const auto both = BinaryResources::findLinkedPicture ("*app_icon_png");
    EXPECT_EQ (both.data, BinaryResources::app_icon_svg);
    EXPECT_EQ (both.size, BinaryResources::app_icon_svgSize);
    EXPECT_TRUE (both.isSvg);

    const auto pngOnly = BinaryResources::findLinkedPicture ("*sync_button_png");
    EXPECT_EQ (pngOnly.data, BinaryResources::sync_button_png);
    EXPECT_FALSE (pngOnly.isSvg);

    const auto svgOnly = BinaryResources::findLinkedPicture ("*archive_default_png");
    EXPECT_EQ (svgOnly.data, BinaryResources::archive_default_svg);
    EXPECT_TRUE (svgOnly.isSvg);

    // A pack icon's link names a raster picture without a suffix.
    const auto pack = BinaryResources::findLinkedPicture ("*archive_icon_star");
    EXPECT_EQ (pack.data, BinaryResources::archive_icon_star);
    EXPECT_FALSE (pack.isSvg);

    // Plain "*" is the default picture, which the caller draws itself.
    for (const char* link : { static_cast<const char*> (nullptr), "", "*", "app_icon_png", "*nothing_png", "*png" })
        EXPECT_EQ (BinaryResources::findLinkedPicture (link).data, nullptr) << (link != nullptr ? link : "null");
}

TEST (BinaryResources, PicturesHaveTheSizesTheInterfaceUses)
{
    const std::tuple<const char*, int, int> pngs[] =
    {
        { "app_icon_png", 32, 32 }, { "sync_button_png", 218, 218 }, { "state_connected_png", 41, 21 },
        { "device_generic_png", 183, 132 }, { "preset_tile_normal_png", 256, 160 }, { "about_logo_png", 335, 282 },
        { "replace_prompt_png", 199, 297 }, { "user_picture_default_png", 256, 256 }, { "archive_icon_Live_Vox_2_0", 256, 256 },
    };

    for (auto& [name, w, h] : pngs)
    {
        const auto picture = image (name);
        EXPECT_EQ (picture.getWidth(), w) << name;
        EXPECT_EQ (picture.getHeight(), h) << name;
    }

    const std::tuple<const char*, float, float> svgs[] =
    {
        { "wordmark_svg", 173.2f, 11.0f }, { "tick_svg", 10.0f, 10.0f }, { "alert_question_svg", 207.0f, 300.0f },
        { "alert_warning_svg", 88.0f, 300.0f }, { "alert_info_svg", 94.0f, 300.0f }, { "toolbar_send_setup_svg", 34.0f, 25.0f },
        { "archive_default_svg", 100.0f, 100.0f }, { "resize_grip_svg", 512.0f, 512.0f }, { "update_badge_svg", 102.0f, 80.0f },
        { "window_close_svg", 10.0f, 10.0f }, { "window_minimise_svg", 10.0f, 10.0f }, { "window_maximise_svg", 10.0f, 10.0f },
    };

    for (auto& [name, w, h] : svgs)
    {
        // The drawing's own bounds lie inside its declared page.
        const auto bounds = drawingBounds (name);
        EXPECT_GT (bounds.getWidth(), 0.0f) << name;
        EXPECT_LE (bounds.getRight(), w + 0.5f) << name;
        EXPECT_LE (bounds.getBottom(), h + 0.5f) << name;
    }
}
