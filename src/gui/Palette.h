#pragma once

#include <juce_graphics/juce_graphics.h>

/** The program's named colours, one table for the whole interface. Each source
    that includes this header holds its own identical copy (namespace-scope
    constants have internal linkage); a derived colour always follows the one it
    is made from.

    The second half gives the widget and dialog names of the same colours: each
    is the colour of the first half that serves the same role. */
namespace Palette
{
    /** An alpha byte as the colours were designed with: truncated, where JUCE's
        withAlpha (float) rounds (0.7 gives 0xb3 here, 0xb2 there). */
    constexpr juce::uint8 opacity (float alpha) { return (juce::uint8) (alpha * 255.996f); }

    // The standard colours.
    const juce::Colour textColour { 0xff42545e };
    const juce::Colour backgroundColour { 0xffdae1e6 };
    const juce::Colour outlineColour { 0xff797d80 };

    // Fed into the look-and-feel's colour table.
    const juce::Colour alertTextColour { 0xff406a80 };
    const juce::Colour focusedOutlineColour { 0xffc8c8c8 };
    const juce::Colour popupHeaderTextColour { 0xff000000 };
    const juce::Colour tooltipOutlineColour { 0x4c000000 };
    const juce::Colour toolbarButtonDownColour { 0xffffffff };
    const juce::Colour buttonOnColour { 0xff97abbc };
    const juce::Colour toolbarLabelTextColour { 0xff374c57 };
    const juce::Colour buttonColour { 0xff97abbc };
    const juce::Colour buttonTextColour { 0xffffffff };
    const juce::Colour progressBarBackgroundColour { 0xff75838e };
    const juce::Colour popupTextColour { 0xff000000 };
    const juce::Colour buttonOnTextColour { 0xffffffff };
    const juce::Colour popupBackgroundColour { 0xffffffff };
    const juce::Colour editorBackgroundColour { 0xffe6eaed };
    const juce::Colour editorShadowColour { 0xff555555 };
    const juce::Colour toolbarButtonOverColour { 0xffb2c0ca };
    const juce::Colour tabFrontTextColour { 0xff595959 };
    const juce::Colour editorHighlightColour { 0xff98b8da };
    const juce::Colour progressBarForegroundColour { 0xffedce83 };
    const juce::Colour tooltipTextColour { 0xff000000 };
    const juce::Colour popupHighlightColour { 0xffa2b5c4 };
    const juce::Colour tooltipBackgroundColour { 0xffeeeebb };
    const juce::Colour popupHighlightedTextColour { 0xff000000 };
    const juce::Colour toolbarSeparatorColour { 0xffa5a6a7 };
    const juce::Colour frontTabColour { 0xffcdd8de };
    const juce::Colour tabTopColour { 0xfffefefe };
    const juce::Colour tabBottomColour { 0xffdbe2e6 };

    // The look-and-feel's drawing and the window frame.
    const juce::Colour barLightColour { 0xffe9e9e9 };
    const juce::Colour barWhiteColour { 0xfffefefe };
    const juce::Colour barDarkColour { 0xffd9d9d9 };
    const juce::Colour panelShadeBottomColour { 0xffb7bfc4 };
    const juce::Colour panelShadeTopColour { 0xffccd3d7 };
    const juce::Colour resizerBarColour { 0xff939fa8 };
    const juce::Colour toolbarLightColour { 0xffeaeef0 };
    const juce::Colour alertShadeColour { 0xffe7edf1 };
    const juce::Colour focusRingColour { 0xff2b6cb0 };
    const juce::Colour progressTextColour { 0xff000000 };
    const juce::Colour tableHeaderShadeColour { 0x33000000 };
    const juce::Colour tableHeaderLineColour { 0x99000000 };

    // The status bar.
    const juce::Colour statusProgressBackgroundColour { 0xff828e98 };
    const juce::Colour statusProgressForegroundColour { 0xffedce83 };
    const juce::Colour statusErrorBackgroundColour { 0xffc86464 };
    const juce::Colour statusErrorForegroundColour { 0xffdf4526 };
    const juce::Colour statusTextColour { 0xffdae1d5 };
    const juce::Colour statusBackgroundColour { 0xff00435a };

    // The source browser and the preset views.
    const juce::Colour browserSelectionColour { 0xffe6eaed };
    const juce::Colour cellBlueShadeTopColour { 0xff5e8ec9 };
    const juce::Colour cellBlueShadeBottomColour { 0xff77a6e0 };
    const juce::Colour presetButtonLightColour { 0xffffffff };
    const juce::Colour presetButtonDarkColour { 0xff4b5f6e };

    // Widgets and dialogs.
    const juce::Colour cellGreyShadeTopColour { 0xff8599a3 };
    const juce::Colour cellGreyShadeBottomColour { 0xff9fb3bd };
    const juce::Colour cellGoldShadeTopColour { 0xffac9961 };
    const juce::Colour cellGoldShadeBottomColour { 0xffc2af77 };
    const juce::Colour cellGreyEdgeColour { 0xffb6c8d1 };
    const juce::Colour cellBlueEdgeColour { 0xff95c7fe };
    const juce::Colour cellGoldEdgeColour { 0xffd7c48c };
    const juce::Colour cellFillColour { 0xffbecdd2 };
    const juce::Colour cellMarkColour { 0xff9d5b63 };
    const juce::Colour presetButtonShadowColour { 0xff000000 };
    const juce::Colour tileAccentColour { 0xff086da6 };
    const juce::Colour tileDarkColour { 0xff406a80 };
    const juce::Colour tileLightColour { 0xffeaeef0 };
    const juce::Colour deviceStatusPaleColour { 0xffb2c0ca };
    const juce::Colour deviceStatusCyanColour { 0xff35c8ff };
    const juce::Colour deviceStatusGreyColour { 0xff80919c };
    const juce::Colour deviceStatusDarkColour { 0xff303234 };
    const juce::Colour deviceListRedColour { 0xffca0000 };
    const juce::Colour deviceListGreyColour { 0xff80919c };
    const juce::Colour deviceListMutedRedColour { 0xffaa6e6e };
    const juce::Colour firmwareListTextColour { 0xff000000 };
    const juce::Colour firmwareListRowColour { 0xffa2b4c4 };
    const juce::Colour aboutAccentColour { 0xff26a2db };
    const juce::Colour searchFieldBackgroundColour { 0xffffffff };
    const juce::Colour searchBarColour { 0xffd7dcdf };
    const juce::Colour updateErrorTextColour { 0xffff0000 };
    const juce::Colour tableAlternateRowColour { 0xffeeeeee };
    const juce::Colour tableSelectedRowColour { 0xff98b8da };
    const juce::Colour firmwareLinkColour { 0xff0000c8 };
    const juce::Colour firmwareTextColour { 0xff1a1a1c };

    // Built from the colours above.
    const juce::Colour editorTextColour = textColour;
    const juce::Colour editorTextLightColour = editorTextColour.brighter (0.4f);   // 0xff78848c
    const juce::Colour editorHighlightedTextColour = editorBackgroundColour;
    const juce::Colour editorOutlineColour = juce::Colours::transparentBlack;
    const juce::Colour toggleTextColour = textColour;
    const juce::Colour groupOutlineColour { 0xb342545e };   // textColour with opacity (0.7f)
    const juce::Colour groupTextColour = textColour;
    const juce::Colour dialogBackgroundColour = backgroundColour;
    const juce::Colour listTextColour = textColour;
    const juce::Colour listBackgroundColour = editorBackgroundColour;
    const juce::Colour alertBackgroundColour = backgroundColour;
    const juce::Colour tabTextColour = textColour;
    const juce::Colour frontTabOutlineColour = outlineColour;
    const juce::Colour treeBackgroundColour = backgroundColour;
    const juce::Colour dropIndicatorColour = dialogBackgroundColour.darker (0.4f);   // 0xff9ba0a4
    const juce::Colour detailsTextColour = textColour;
    const juce::Colour browserTextColour = textColour;
    const juce::Colour presetPanelShadeBottomColour = cellGreyShadeBottomColour;
    const juce::Colour presetPanelShadeTopColour = cellGreyShadeTopColour;
    const juce::Colour presetPanelLightColour = presetButtonLightColour;
    const juce::Colour presetPanelFillColour = cellFillColour;
    const juce::Colour iconLightColour { 0x7f69c3f5 };   // 105, 195, 245 with opacity (0.5f)
    const juce::Colour iconDarkColour { 0x7f003755 };    // 0, 55, 85 with opacity (0.5f)
    const juce::Colour aboutBackgroundColour = dialogBackgroundColour;
    const juce::Colour deviceListSlateColour = tileDarkColour;
    const juce::Colour deviceListBlueColour = tileAccentColour;
    const juce::Colour optionsBackgroundColour = barLightColour;
    const juce::Colour deviceListDimColour = deviceListGreyColour;
    const juce::Colour scrollbarColour = barLightColour;
    const juce::Colour searchBackgroundColour = backgroundColour;
    const juce::Colour searchTextColour = textColour;

    //==============================================================================
    // The same colours under the names the widgets and dialogs use.
    const juce::Colour editorFocusedOutlineColour = focusedOutlineColour;
    const juce::Colour firmwareChooserBlack = firmwareListTextColour;
    const juce::Colour firmwareChooserGrey = firmwareListRowColour;
    const juce::Colour firmwareNotesBlue = firmwareLinkColour;
    const juce::Colour firmwareNotesDark = firmwareTextColour;
    const juce::Colour midiListRed = deviceListRedColour;
    const juce::Colour midiListGrey = deviceListGreyColour;
    const juce::Colour midiListRose = deviceListMutedRedColour;
    const juce::Colour midiStateSteel = deviceListSlateColour;
    const juce::Colour midiStateBlue = deviceListBlueColour;
    const juce::Colour midiStateGrey = deviceListDimColour;
    const juce::Colour paleGreyColour = barLightColour;
    const juce::Colour greyB7BFC4 = panelShadeBottomColour;
    const juce::Colour greyCCD3D7 = panelShadeTopColour;
    const juce::Colour greyBlue939FA8 = resizerBarColour;
    const juce::Colour greyD9D9D9 = barDarkColour;
    const juce::Colour paleEAEEF0 = toolbarLightColour;
    const juce::Colour paleE7EDF1 = alertShadeColour;
    const juce::Colour paleSlateCDD8DE = frontTabColour;
    const juce::Colour paleDBE2E6 = tabBottomColour;
    const juce::Colour nearWhiteFEFEFE = barWhiteColour;
    const juce::Colour lafNearWhite = tabTopColour;
    const juce::Colour lafBlack = progressTextColour;
    const juce::Colour lafPaleGrey = scrollbarColour;
    const juce::Colour statusErrorOrange = statusErrorForegroundColour;
    const juce::Colour statusErrorRose = statusErrorBackgroundColour;
    const juce::Colour statusProgressGrey = statusProgressBackgroundColour;
    const juce::Colour statusProgressGold = statusProgressForegroundColour;
    const juce::Colour statusBarLight = statusTextColour;
    const juce::Colour statusBarDark = statusBackgroundColour;
    const juce::Colour menuHeaderTextColour = popupHeaderTextColour;
    const juce::Colour menuTextColour = popupTextColour;
    const juce::Colour menuBackgroundColour = popupBackgroundColour;
    const juce::Colour menuHighlightColour = popupHighlightColour;
    const juce::Colour menuHighlightedTextColour = popupHighlightedTextColour;
    const juce::Colour toolbarPressedColour = toolbarButtonDownColour;
    const juce::Colour toolbarHoverColour = toolbarButtonOverColour;
    const juce::Colour toolbarLabelColour = toolbarLabelTextColour;
    const juce::Colour buttonTextOnColour = buttonOnTextColour;
    const juce::Colour progressBackgroundColour = progressBarBackgroundColour;
    const juce::Colour progressForegroundColour = progressBarForegroundColour;
    const juce::Colour tabOutlineColour = outlineColour;
    const juce::Colour tabFrontOutlineColour = frontTabOutlineColour;
    const juce::Colour shadowColour = tableHeaderShadeColour;
    const juce::Colour darkShadowColour = tableHeaderLineColour;
    const juce::Colour selectionColour = tableSelectedRowColour;
    const juce::Colour resultsOddRowColour = tableAlternateRowColour;
    const juce::Colour searchWhite = searchFieldBackgroundColour;
    const juce::Colour aboutBlue = aboutAccentColour;
    const juce::Colour browserPale = browserSelectionColour;
    const juce::Colour browserBackgroundColour = treeBackgroundColour;
    const juce::Colour accentBlueColour = tileAccentColour;
    const juce::Colour steelBlueColour = tileDarkColour;
    const juce::Colour archiveTilePale = tileLightColour;
    const juce::Colour deviceButtonGrey = deviceStatusPaleColour;
    const juce::Colour deviceButtonCyan = deviceStatusCyanColour;
    const juce::Colour deviceButtonDim = deviceStatusGreyColour;
    const juce::Colour deviceButtonDark = deviceStatusDarkColour;
    const juce::Colour presetCellSlate = cellGreyShadeTopColour;
    const juce::Colour presetCellGreyBlue = cellGreyShadeBottomColour;
    const juce::Colour presetCellOlive = cellGoldShadeTopColour;
    const juce::Colour presetCellGold = cellGoldShadeBottomColour;
    const juce::Colour presetCellBlue = cellBlueShadeTopColour;
    const juce::Colour presetCellSky = cellBlueShadeBottomColour;
    const juce::Colour presetCellPaleBlue = cellGreyEdgeColour;
    const juce::Colour presetCellLightBlue = cellBlueEdgeColour;
    const juce::Colour lightBlue95C7FE = cellBlueEdgeColour;
    const juce::Colour presetCellSand = cellGoldEdgeColour;
    const juce::Colour presetCellPaleSlate = cellFillColour;
    const juce::Colour presetCellRose = cellMarkColour;
    const juce::Colour presetCellBlack = presetButtonShadowColour;
    const juce::Colour presetGridWhite = presetButtonLightColour;
    const juce::Colour presetGridSlate = presetButtonDarkColour;
    const juce::Colour gridGreyBlue = presetPanelShadeBottomColour;
    const juce::Colour gridSlate = presetPanelShadeTopColour;
    const juce::Colour gridWhite = presetPanelLightColour;
    const juce::Colour gridPaleSlate = presetPanelFillColour;
    const juce::Colour gridDarkSlate = presetButtonDarkColour;
    const juce::Colour textLightColour = editorTextLightColour;
    const juce::Colour labelTextColour = toggleTextColour;
    const juce::Colour labelTextDarkColour = labelTextColour.darker (0.4f);   // 0xff2f3c43
    const juce::Colour dialogTextColour = listTextColour;
    const juce::Colour backgroundDarkColour = dropIndicatorColour;
    const juce::Colour itemTextColour = detailsTextColour;
    const juce::Colour treeTextColour = browserTextColour;
    const juce::Colour translucentSkyColour = iconLightColour;
    const juce::Colour translucentTealColour = iconDarkColour;
    const juce::Colour optionsTabColour = optionsBackgroundColour;
    const juce::Colour panelLightColour = statusTextColour;

    // Kept for the widgets' table though nothing draws with them yet.
    const juce::Colour slate6B7D86 { 0xff6b7d86 };
    const juce::Colour darkSlate23313B { 0xff23313b };
    const juce::Colour blueGrey88A9BC { 0xff88a9bc };
    const juce::Colour greyADAFB2 { 0xffadafb2 };
    const juce::Colour olive8C7941 { 0xff8c7941 };
    const juce::Colour spareWhite { 0xffffffff };
}
