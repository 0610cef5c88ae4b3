// The palette's named colours: the design values, the colours derived from
// others, and the widgets' names of the same colours.

#include "gui/Palette.h"

#include <gtest/gtest.h>

TEST (Palette, StandardAndTableColours)
{
    EXPECT_EQ (Palette::textColour.getARGB(), 0xff42545eu);
    EXPECT_EQ (Palette::backgroundColour.getARGB(), 0xffdae1e6u);
    EXPECT_EQ (Palette::outlineColour.getARGB(), 0xff797d80u);
    EXPECT_EQ (Palette::frontTabColour.getARGB(), 0xffcdd8deu);
    EXPECT_EQ (Palette::tabBottomColour.getARGB(), 0xffdbe2e6u);
    EXPECT_EQ (Palette::tooltipOutlineColour.getARGB(), 0x4c000000u);
    EXPECT_EQ (Palette::statusBackgroundColour.getARGB(), 0xff00435au);
    EXPECT_EQ (Palette::tableHeaderLineColour.getARGB(), 0x99000000u);

    // Same value, separate names for separate roles.
    EXPECT_EQ (Palette::statusProgressForegroundColour, Palette::progressBarForegroundColour);
    EXPECT_EQ (Palette::searchBackgroundColour, Palette::backgroundColour);
    EXPECT_EQ (Palette::optionsBackgroundColour.getARGB(), 0xffe9e9e9u);
}

TEST (Palette, DerivedColoursKeepTheDesignValues)
{
    EXPECT_EQ (Palette::editorTextLightColour.getARGB(), 0xff78848cu);   // brighter by 0.4
    EXPECT_EQ (Palette::dropIndicatorColour.getARGB(), 0xff9ba0a4u);     // darker by 0.4
    EXPECT_EQ (Palette::labelTextDarkColour.getARGB(), 0xff2f3c43u);
    EXPECT_EQ (Palette::editorOutlineColour.getARGB(), 0x00000000u);

    // The alpha bytes are truncated as designed; JUCE 7 rounds half to even and
    // would give 0xb2 and 0x80, so these are literals.
    EXPECT_EQ (Palette::groupOutlineColour.getARGB(), 0xb342545eu);
    EXPECT_EQ (Palette::iconLightColour.getARGB(), 0x7f69c3f5u);
    EXPECT_EQ (Palette::iconDarkColour.getARGB(), 0x7f003755u);
    EXPECT_EQ (Palette::textColour.withAlpha (Palette::opacity (0.7f)), Palette::groupOutlineColour);
    EXPECT_EQ (Palette::opacity (0.5f), 0x7f);
    EXPECT_NE (Palette::textColour.withAlpha (0.7f), Palette::groupOutlineColour);
}

TEST (Palette, WidgetNamesGiveTheSameColours)
{
    const std::pair<juce::Colour, juce::uint32> widgetNames[] =
    {
        { Palette::editorFocusedOutlineColour, 0xffc8c8c8 }, { Palette::firmwareChooserBlack, 0xff000000 },
        { Palette::midiListRed, 0xffca0000 },                { Palette::paleGreyColour, 0xffe9e9e9 },
        { Palette::greyB7BFC4, 0xffb7bfc4 },                 { Palette::statusErrorOrange, 0xffdf4526 },
        { Palette::greyCCD3D7, 0xffccd3d7 },                 { Palette::greyBlue939FA8, 0xff939fa8 },
        { Palette::presetCellSlate, 0xff8599a3 },            { Palette::accentBlueColour, 0xff086da6 },
        { Palette::statusProgressGrey, 0xff828e98 },         { Palette::resultsOddRowColour, 0xffeeeeee },
        { Palette::deviceButtonGrey, 0xffb2c0ca },           { Palette::selectionColour, 0xff98b8da },
        { Palette::paleEAEEF0, 0xffeaeef0 },                 { Palette::statusErrorRose, 0xffc86464 },
        { Palette::steelBlueColour, 0xff406a80 },            { Palette::toolbarLabelColour, 0xff374c57 },
        { Palette::deviceButtonCyan, 0xff35c8ff },           { Palette::deviceButtonDim, 0xff80919c },
        { Palette::greyD9D9D9, 0xffd9d9d9 },                 { Palette::aboutBlue, 0xff26a2db },
        { Palette::presetCellOlive, 0xffac9961 },            { Palette::presetCellPaleBlue, 0xffb6c8d1 },
        { Palette::presetCellBlue, 0xff5e8ec9 },             { Palette::presetCellSand, 0xffd7c48c },
        { Palette::paleE7EDF1, 0xffe7edf1 },                 { Palette::statusBarLight, 0xffdae1d5 },
        { Palette::progressBackgroundColour, 0xff75838e },   { Palette::midiListRose, 0xffaa6e6e },
        { Palette::browserPale, 0xffe6eaed },                { Palette::presetGridSlate, 0xff4b5f6e },
        { Palette::nearWhiteFEFEFE, 0xfffefefe },            { Palette::presetCellRose, 0xff9d5b63 },
        { Palette::toolbarHoverColour, 0xffb2c0ca },         { Palette::paleSlateCDD8DE, 0xffcdd8de },
        { Palette::deviceButtonDark, 0xff303234 },           { Palette::shadowColour, 0x33000000 },
        { Palette::firmwareChooserGrey, 0xffa2b4c4 },        { Palette::firmwareNotesBlue, 0xff0000c8 },
        { Palette::menuHighlightColour, 0xffa2b5c4 },        { Palette::presetCellSky, 0xff77a6e0 },
        { Palette::lafNearWhite, 0xfffefefe },               { Palette::presetCellGreyBlue, 0xff9fb3bd },
        { Palette::presetCellLightBlue, 0xff95c7fe },        { Palette::firmwareNotesDark, 0xff1a1a1c },
        { Palette::presetCellGold, 0xffc2af77 },             { Palette::paleDBE2E6, 0xffdbe2e6 },
        { Palette::statusBarDark, 0xff00435a },              { Palette::presetCellPaleSlate, 0xffbecdd2 },
        { Palette::archiveTilePale, 0xffeaeef0 },            { Palette::darkShadowColour, 0x99000000 },
        { Palette::tabOutlineColour, 0xff797d80 },           { Palette::textLightColour, 0xff78848c },
        { Palette::backgroundDarkColour, 0xff9ba0a4 },       { Palette::translucentSkyColour, 0x7f69c3f5 },
        { Palette::translucentTealColour, 0x7f003755 },      { Palette::gridGreyBlue, 0xff9fb3bd },
        { Palette::gridSlate, 0xff8599a3 },                  { Palette::gridPaleSlate, 0xffbecdd2 },
        { Palette::midiStateSteel, 0xff406a80 },             { Palette::midiStateBlue, 0xff086da6 },
        { Palette::optionsTabColour, 0xffe9e9e9 },           { Palette::lafPaleGrey, 0xffe9e9e9 },
        { Palette::panelLightColour, 0xffdae1d5 },           { Palette::dialogTextColour, 0xff42545e },
    };

    for (auto& [colour, argb] : widgetNames)
        EXPECT_EQ (colour.getARGB(), argb) << std::hex << argb;
}
