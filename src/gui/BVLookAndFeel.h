#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The application's one look-and-feel: the palette in the framework's colour
    table, the project's font, one UI scale with the metrics derived from it,
    and the flat light-grey drawing of every framework widget. */
class BVLookAndFeel : public juce::LookAndFeel_V3
{
public:
    /** The application's own colour ids, read by the tab drawing. */
    enum ColourIds
    {
        frontTabTopColourId    = 0x5205001,
        frontTabBottomColourId = 0x5205002,
        tabTopColourId         = 0x5205003,
        tabBottomColourId      = 0x5205004
    };

    /** At the scale of the user setting "uiScalingFactor". */
    BVLookAndFeel();
    explicit BVLookAndFeel (float uiScale);
    ~BVLookAndFeel() override;

    virtual void setFontSizes (float base, float large, float small);
    virtual float getFontSize() const          { return fontSize; }
    virtual float getLargeFontSize() const     { return largeFontSize; }
    virtual float getSmallFontSize() const     { return smallFontSize; }
    virtual float getScale() const             { return scale; }
    virtual float getTabBarDepth() const       { return fontSize * 2.22f; }
    virtual float getToolbarThickness() const  { return fontSize * 4.5f; }
    virtual float getStatusBarHeight() const   { return fontSize * 2.1f; }
    virtual void applyTitleBarHeight (juce::DocumentWindow& window);
    virtual int getMargin() const              { return juce::roundToInt (getScale() * 10.0f); }

    /** The fixed values a component uses when its look-and-feel is not ours. */
    struct Defaults
    {
        static constexpr float fontSize = 14.0f;
        static constexpr float largeFontSize = 16.0f;
        static constexpr float smallFontSize = 13.0f;
        static constexpr float scale = 1.0f;
        static constexpr int margin = 10;
        static constexpr int toolbarThickness = 63;
    };

    /** Sizes of the scale-1 design in pixels at one scale, each rounded to the
        nearest pixel: px (10.0f) is 13 at scale 1.25. */
    struct Pixels
    {
        float scale = Defaults::scale;
        int operator() (float size) const   { return juce::roundToInt (size * scale); }
    };

    Pixels pixels() const   { return { getScale() }; }

    /** The look-and-feel of a component as ours, or null. */
    static BVLookAndFeel* of (juce::Component& component);

    /** The typeface of every text: the font the project installs when it is
        there, else the system's default sans-serif (never a missing font, which
        would draw no text at all). */
    static const juce::String& getTypefaceName();
    static juce::Font makeFont (float height, int styleFlags = juce::Font::plain);

    //==============================================================================
    // ScrollBar
    void drawScrollbar (juce::Graphics&, juce::ScrollBar&, int x, int y, int width, int height,
                        bool isScrollbarVertical, int thumbStartPosition, int thumbSize,
                        bool isMouseOver, bool isMouseDown) override;

    // Button
    void drawButtonBackground (juce::Graphics&, juce::Button&, const juce::Colour& backgroundColour,
                               bool isMouseOver, bool isButtonDown) override;
    juce::Font getTextButtonFont (juce::TextButton&, int buttonHeight) override;
    int getTextButtonWidthToFitText (juce::TextButton&, int buttonHeight) override;
    void drawToggleButton (juce::Graphics&, juce::ToggleButton&, bool isMouseOver, bool isButtonDown) override;
    void drawTickBox (juce::Graphics&, juce::Component&, float x, float y, float w, float h,
                      bool ticked, bool isEnabled, bool isMouseOver, bool isButtonDown) override;

    // DrawableButton: the label under the picture as high as the scale makes it
    void drawDrawableButton (juce::Graphics&, juce::DrawableButton&, bool isMouseOver, bool isButtonDown) override;
    int getDrawableButtonTextHeight (juce::DrawableButton&) const;

    // AlertWindow
    juce::AlertWindow* createAlertWindow (const juce::String& title, const juce::String& message,
                                          const juce::String& button1, const juce::String& button2, const juce::String& button3,
                                          juce::MessageBoxIconType, int numButtons, juce::Component* associatedComponent) override;
    void drawAlertBox (juce::Graphics&, juce::AlertWindow&, const juce::Rectangle<int>& textArea, juce::TextLayout&) override;
    int getAlertWindowButtonHeight() override;
    juce::Font getAlertWindowMessageFont() override;
    juce::Font getAlertWindowFont() override;

    // PopupMenu
    void drawPopupMenuSectionHeader (juce::Graphics&, const juce::Rectangle<int>& area, const juce::String& sectionName) override;
    juce::Font getPopupMenuFont() override;
    int getPopupMenuBorderSize() override;
    void getIdealPopupMenuItemSize (const juce::String& text, bool isSeparator, int standardMenuItemHeight,
                                    int& idealWidth, int& idealHeight) override;
    void drawPopupMenuItem (juce::Graphics&, const juce::Rectangle<int>& area, bool isSeparator, bool isActive,
                            bool isHighlighted, bool isTicked, bool hasSubMenu, const juce::String& text,
                            const juce::String& shortcutKeyText, const juce::Drawable* icon,
                            const juce::Colour* textColour) override;
    /** A text field opens its menu from the press under the pointer, and the framework
        chooses the item under the pointer when that press is held and released: such a
        menu takes no clicks until every button is up, so only a click on an item acts. */
    void preparePopupMenuWindow (juce::Component& menuWindow) override;

    // ComboBox
    void drawComboBox (juce::Graphics&, int width, int height, bool isButtonDown,
                       int buttonX, int buttonY, int buttonW, int buttonH, juce::ComboBox&) override;
    juce::Font getComboBoxFont (juce::ComboBox&) override;

    // Slider
    void drawLinearSliderBackground (juce::Graphics&, int x, int y, int width, int height,
                                     float sliderPos, float minSliderPos, float maxSliderPos,
                                     juce::Slider::SliderStyle, juce::Slider&) override;
    void drawLinearSliderThumb (juce::Graphics&, int x, int y, int width, int height,
                                float sliderPos, float minSliderPos, float maxSliderPos,
                                juce::Slider::SliderStyle, juce::Slider&) override;
    int getSliderThumbRadius (juce::Slider&) override;
    juce::Label* createSliderTextBox (juce::Slider&) override;

    // ResizableWindow and DocumentWindow
    void drawCornerResizer (juce::Graphics&, int w, int h, bool isMouseOver, bool isMouseDragging) override;
    void drawDocumentWindowTitleBar (juce::DocumentWindow&, juce::Graphics&, int w, int h,
                                     int titleSpaceX, int titleSpaceW,
                                     const juce::Image* icon, bool drawTitleTextOnLeft) override;
    juce::Button* createDocumentWindowButton (int buttonType) override;

    // TooltipWindow
    juce::Rectangle<int> getTooltipBounds (const juce::String& tipText, juce::Point<int> screenPos,
                                           juce::Rectangle<int> parentArea) override;
    void drawTooltip (juce::Graphics&, const juce::String& text, int width, int height) override;

    // TabbedButtonBar
    int getTabButtonOverlap (int tabDepth) override;
    int getTabButtonBestWidth (juce::TabBarButton&, int tabDepth) override;
    void drawTabButton (juce::TabBarButton&, juce::Graphics&, bool isMouseOver, bool isMouseDown) override;
    void drawTabButtonText (juce::TabBarButton&, juce::Graphics&, bool isMouseOver, bool isMouseDown) override;
    void drawTabbedButtonBarBackground (juce::TabbedButtonBar&, juce::Graphics&) override;
    void drawTabAreaBehindFrontButton (juce::TabbedButtonBar&, juce::Graphics&, int w, int h) override;

    // GroupComponent
    void drawGroupComponentOutline (juce::Graphics&, int width, int height, const juce::String& text,
                                    const juce::Justification&, juce::GroupComponent&) override;

    // TableHeaderComponent
    void drawTableHeaderBackground (juce::Graphics&, juce::TableHeaderComponent&) override;
    void drawTableHeaderColumn (juce::Graphics&, juce::TableHeaderComponent&, const juce::String& columnName,
                                int columnId, int width, int height, bool isMouseOver, bool isMouseDown,
                                int columnFlags) override;

    // Toolbar
    void paintToolbarBackground (juce::Graphics&, int width, int height, juce::Toolbar&) override;
    void paintToolbarButtonBackground (juce::Graphics&, int width, int height, bool isMouseOver, bool isMouseDown,
                                       juce::ToolbarItemComponent&) override;
    void paintToolbarButtonLabel (juce::Graphics&, int x, int y, int width, int height,
                                  const juce::String& text, juce::ToolbarItemComponent&) override;

    // ConcertinaPanel
    void drawConcertinaPanelHeader (juce::Graphics&, const juce::Rectangle<int>& area, bool isMouseOver, bool isMouseDown,
                                    juce::ConcertinaPanel&, juce::Component& panel) override;

    // ProgressBar
    void drawProgressBar (juce::Graphics&, juce::ProgressBar&, int width, int height,
                          double progress, const juce::String& textToShow) override;

    /** A progress bar of any component taking ProgressBar's colour ids: filled
        to progress, or stripes when it is outside 0..1. */
    static void drawProgress (juce::Graphics&, const juce::Component& bar, int width, int height,
                              double progress, const juce::String& textToShow);

    // TreeView: the indent grows with the rows
    int getTreeViewIndentSize (juce::TreeView&) override;

    // ScrollBar: as wide as the scale makes everything else
    int getDefaultScrollbarWidth() override;

    // FileBrowserComponent: laid out and its rows drawn at the scale
    void layoutFileBrowserComponent (juce::FileBrowserComponent&, juce::DirectoryContentsDisplayComponent*,
                                     juce::FilePreviewComponent*, juce::ComboBox* currentPathBox,
                                     juce::TextEditor* filenameBox, juce::Button* goUpButton) override;
    void drawFileBrowserRow (juce::Graphics&, int width, int height, const juce::File&, const juce::String& filename,
                             juce::Image* icon, const juce::String& fileSizeDescription, const juce::String& fileTimeDescription,
                             bool isDirectory, bool isItemSelected, int itemIndex, juce::DirectoryContentsDisplayComponent&) override;

    // StretchableLayoutResizerBar
    void drawStretchableLayoutResizerBar (juce::Graphics&, int w, int h, bool isVerticalBar,
                                          bool isMouseOver, bool isMouseDragging) override;

    //==============================================================================
    /** A vertical two-shade fill of outline with a 1-pixel edge (darker, or black
        when focused); buttons and slider thumbs share it. */
    static void drawButtonShape (juce::Graphics&, const juce::Path& outline, juce::Colour base, float height, bool focused);

    /** The mark of the control with the keyboard focus: a ring inside its bounds, plain at every scale. */
    void drawFocusRing (juce::Graphics&, juce::Rectangle<float> area) const;

    /** The part of a toolbar button that lights under the mouse, and takes the focus ring. */
    juce::Rectangle<int> getToolbarButtonArea (const juce::Component& item) const;

    /** A header band: the source browser's header and every concertina header. */
    static void drawPanelBackground (juce::Graphics&, const juce::Rectangle<int>& area, const juce::String& text,
                                     bool highlighted, bool isFirst);

    /** Renders source at its own size into target's image and sets target's overlay. */
    static void renderDrawableImage (juce::DrawableImage& target, const juce::Drawable* source, juce::Colour overlay);

protected:
    /** Where the title text goes once the icon, if any, is drawn; both title bars share it. */
    struct TitlePlace { int x, width; };
    static TitlePlace placeTitle (juce::Graphics&, int w, int h, int titleSpaceX, int titleSpaceW,
                                  const juce::Image* icon, bool drawTitleTextOnLeft, int textWidth,
                                  float fontHeight, bool active);

    /** The window name in the title bar's text colour, when no picture replaces it. */
    void drawTitleText (juce::DocumentWindow&, juce::Graphics&, TitlePlace, int h, bool active);

private:
    juce::TextLayout layoutTooltipText (const juce::String& text, juce::Colour colour) const;
    juce::Colour tabColour (int id, juce::Colour fallback) const;

    float fontSize = 14.0f;
    float largeFontSize = 16.0f;
    float smallFontSize = 13.0f;
    float scale = 1.0f;

    std::unique_ptr<juce::Drawable> questionIcon, warningIcon, infoIcon, tickIcon;

    struct ButtonShapeKey
    {
        int width, height;
        juce::uint32 argb;
        int flags;
        bool operator== (const ButtonShapeKey& other) const
        {
            return width == other.width && height == other.height && argb == other.argb && flags == other.flags;
        }
    };
    struct ButtonShape
    {
        juce::Image edges;   // the whole shape
        juce::Image band;    // its opaque middle rows, when it has them
        int bandTop;
    };
    std::vector<std::pair<ButtonShapeKey, ButtonShape>> buttonShapes;

    JUCE_DECLARE_NON_COPYABLE (BVLookAndFeel)
};
