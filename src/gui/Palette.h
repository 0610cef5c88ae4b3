#pragma once

#include <juce_graphics/juce_graphics.h>

/** The program's named colours. Each source that includes this header holds
    its own identical copy (namespace-scope constants have internal linkage);
    the derived ones are built from those defined before them. */
namespace Palette
{
    // An alpha byte as the colours were first designed with: truncated, not rounded.
    constexpr juce::uint8 opacity (float alpha) { return (juce::uint8) (alpha * 255.996f); }

    const juce::Colour alertTextColour { 0xff406a80 };
    const juce::Colour editorFocusedOutlineColour { 0xffc8c8c8 };
    const juce::Colour firmwareChooserBlack { 0xff000000 };
    const juce::Colour midiListRed { 0xffca0000 };
    const juce::Colour paleGreyColour { 0xffe9e9e9 };
    const juce::Colour greyB7BFC4 { 0xffb7bfc4 };
    const juce::Colour statusErrorOrange { 0xffdf4526 };
    const juce::Colour menuHeaderTextColour { 0xff000000 };
    const juce::Colour greyCCD3D7 { 0xffccd3d7 };
    const juce::Colour tooltipOutlineColour { 0x4c000000 };
    const juce::Colour greyBlue939FA8 { 0xff939fa8 };
    const juce::Colour textColour { 0xff42545e };
    const juce::Colour presetCellSlate { 0xff8599a3 };
    const juce::Colour accentBlueColour { 0xff086da6 };
    const juce::Colour slate6B7D86 { 0xff6b7d86 };
    const juce::Colour statusProgressGrey { 0xff828e98 };
    const juce::Colour resultsOddRowColour { 0xffeeeeee };
    const juce::Colour deviceButtonGrey { 0xffb2c0ca };
    const juce::Colour lightBlue95C7FE { 0xff95c7fe };
    const juce::Colour selectionColour { 0xff98b8da };
    const juce::Colour paleEAEEF0 { 0xffeaeef0 };
    const juce::Colour toolbarPressedColour { 0xffffffff };
    const juce::Colour buttonOnColour { 0xff97abbc };
    const juce::Colour statusErrorRose { 0xffc86464 };
    const juce::Colour steelBlueColour { 0xff406a80 };
    const juce::Colour toolbarLabelColour { 0xff374c57 };
    const juce::Colour deviceButtonCyan { 0xff35c8ff };
    const juce::Colour darkSlate23313B { 0xff23313b };
    const juce::Colour buttonColour { 0xff97abbc };
    const juce::Colour deviceButtonDim { 0xff80919c };
    const juce::Colour greyD9D9D9 { 0xffd9d9d9 };
    const juce::Colour aboutBlue { 0xff26a2db };
    const juce::Colour midiListGrey { 0xff80919c };
    const juce::Colour blueGrey88A9BC { 0xff88a9bc };
    const juce::Colour presetCellOlive { 0xffac9961 };
    const juce::Colour searchWhite { 0xffffffff };
    const juce::Colour presetCellPaleBlue { 0xffb6c8d1 };
    const juce::Colour buttonTextColour { 0xffffffff };
    const juce::Colour presetCellBlue { 0xff5e8ec9 };
    const juce::Colour presetCellSand { 0xffd7c48c };
    const juce::Colour searchBarColour { 0xffd7dcdf };
    const juce::Colour paleE7EDF1 { 0xffe7edf1 };
    const juce::Colour lafBlack { 0xff000000 };
    const juce::Colour updateErrorTextColour { 0xffff0000 };
    const juce::Colour statusBarLight { 0xffdae1d5 };
    const juce::Colour progressBackgroundColour { 0xff75838e };
    const juce::Colour midiListRose { 0xffaa6e6e };
    const juce::Colour menuTextColour { 0xff000000 };
    const juce::Colour buttonTextOnColour { 0xffffffff };
    const juce::Colour browserPale { 0xffe6eaed };
    const juce::Colour backgroundColour { 0xffdae1e6 };
    const juce::Colour menuBackgroundColour { 0xffffffff };
    const juce::Colour presetGridWhite { 0xffffffff };
    const juce::Colour editorBackgroundColour { 0xffe6eaed };
    const juce::Colour presetGridSlate { 0xff4b5f6e };
    const juce::Colour presetCellBlack { 0xff000000 };
    const juce::Colour nearWhiteFEFEFE { 0xfffefefe };
    const juce::Colour editorShadowColour { 0xff555555 };
    const juce::Colour statusProgressGold { 0xffedce83 };
    const juce::Colour presetCellRose { 0xff9d5b63 };
    const juce::Colour toolbarHoverColour { 0xffb2c0ca };
    const juce::Colour paleSlateCDD8DE { 0xffcdd8de };
    const juce::Colour tabFrontTextColour { 0xff595959 };
    const juce::Colour editorHighlightColour { 0xff98b8da };
    const juce::Colour progressForegroundColour { 0xffedce83 };
    const juce::Colour deviceButtonDark { 0xff303234 };
    const juce::Colour tooltipTextColour { 0xff000000 };
    const juce::Colour shadowColour { 0x33000000 };
    const juce::Colour firmwareChooserGrey { 0xffa2b4c4 };
    const juce::Colour firmwareNotesBlue { 0xff0000c8 };
    const juce::Colour menuHighlightColour { 0xffa2b5c4 };
    const juce::Colour greyADAFB2 { 0xffadafb2 };
    const juce::Colour presetCellSky { 0xff77a6e0 };
    const juce::Colour lafNearWhite { 0xfffefefe };
    const juce::Colour tooltipBackgroundColour { 0xffeeeebb };
    const juce::Colour presetCellGreyBlue { 0xff9fb3bd };
    const juce::Colour olive8C7941 { 0xff8c7941 };
    const juce::Colour presetCellLightBlue { 0xff95c7fe };
    const juce::Colour firmwareNotesDark { 0xff1a1a1c };
    const juce::Colour presetCellGold { 0xffc2af77 };
    const juce::Colour paleDBE2E6 { 0xffdbe2e6 };
    const juce::Colour menuHighlightedTextColour { 0xff000000 };
    const juce::Colour toolbarSeparatorColour { 0xffa5a6a7 };
    const juce::Colour spareWhite { 0xffffffff };
    const juce::Colour statusBarDark { 0xff00435a };
    const juce::Colour presetCellPaleSlate { 0xffbecdd2 };
    const juce::Colour archiveTilePale { 0xffeaeef0 };
    const juce::Colour darkShadowColour { 0x99000000 };
    const juce::Colour tabOutlineColour { 0xff797d80 };

    // Built from the colours above.
    const juce::Colour editorTextColour = textColour;   // 0xff42545e
    const juce::Colour textLightColour = editorTextColour.brighter (0.4f);   // 0xff78848c
    const juce::Colour editorHighlightedTextColour = editorBackgroundColour;   // 0xffe6eaed
    const juce::Colour editorOutlineColour = juce::Colours::transparentBlack;   // 0x00000000
    const juce::Colour labelTextColour = textColour;   // 0xff42545e
    const juce::Colour labelTextDarkColour = labelTextColour.darker (0.4f);   // 0xff2f3c43
    const juce::Colour groupOutlineColour = textColour.withAlpha (opacity (0.7f));   // 0xb342545e
    const juce::Colour groupTextColour = textColour;   // 0xff42545e
    const juce::Colour dialogBackgroundColour = backgroundColour;   // 0xffdae1e6
    const juce::Colour dialogTextColour = textColour;   // 0xff42545e
    const juce::Colour listBackgroundColour = editorBackgroundColour;   // 0xffe6eaed
    const juce::Colour alertBackgroundColour = backgroundColour;   // 0xffdae1e6
    const juce::Colour tabTextColour = textColour;   // 0xff42545e
    const juce::Colour tabFrontOutlineColour = tabOutlineColour;   // 0xff797d80
    const juce::Colour panelLightColour = statusBarLight;   // 0xffdae1d5
    const juce::Colour browserBackgroundColour = backgroundColour;   // 0xffdae1e6
    const juce::Colour backgroundDarkColour = dialogBackgroundColour.darker (0.4f);   // 0xff9ba0a4
    const juce::Colour itemTextColour = textColour;   // 0xff42545e
    const juce::Colour treeTextColour = textColour;   // 0xff42545e
    const juce::Colour gridGreyBlue = presetCellGreyBlue;   // 0xff9fb3bd
    const juce::Colour gridSlate = presetCellSlate;   // 0xff8599a3
    const juce::Colour gridWhite = presetGridWhite;   // 0xffffffff
    const juce::Colour gridPaleSlate = presetCellPaleSlate;   // 0xffbecdd2
    const juce::Colour gridDarkSlate = presetGridSlate;   // 0xff4b5f6e
    const juce::Colour translucentSkyColour = juce::Colour ((juce::uint8) 105, (juce::uint8) 195, (juce::uint8) 245, opacity (0.5f));   // 0x7f69c3f5
    const juce::Colour translucentTealColour = juce::Colour ((juce::uint8) 0, (juce::uint8) 55, (juce::uint8) 85, opacity (0.5f));   // 0x7f003755
    const juce::Colour aboutBackgroundColour = dialogBackgroundColour;   // 0xffdae1e6
    const juce::Colour midiStateSteel = steelBlueColour;   // 0xff406a80
    const juce::Colour midiStateBlue = accentBlueColour;   // 0xff086da6
    const juce::Colour optionsTabColour = paleGreyColour;   // 0xffe9e9e9
    const juce::Colour midiStateGrey = midiListGrey;   // 0xff80919c
    const juce::Colour lafPaleGrey = paleGreyColour;   // 0xffe9e9e9
    const juce::Colour searchBackgroundColour = backgroundColour;   // 0xffdae1e6
    const juce::Colour searchTextColour = textColour;   // 0xff42545e
}
