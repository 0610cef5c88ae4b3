#include "gui/BVLookAndFeel.h"

#include "base/BelvoraSettings.h"
#include "gui/Palette.h"
#include "gui/widgets/Alerts.h"
#include "gui/widgets/FocusKeeper.h"
#include "resources/BinaryResources.h"

namespace
{
    std::unique_ptr<juce::Drawable> makeDrawable (const char* data, int size)
    {
        return juce::Drawable::createFromImageData (data, (size_t) size);
    }
}

BVLookAndFeel::BVLookAndFeel() : BVLookAndFeel (BelvoraSettings::getUiScalingFactor())
{
}

BVLookAndFeel::BVLookAndFeel (float uiScale)
{
    using namespace juce;

    const std::pair<int, Colour> table[] =
    {
        { DocumentWindow::textColourId,                     Palette::textColour },
        { TooltipWindow::backgroundColourId,                Palette::tooltipBackgroundColour },
        { TooltipWindow::textColourId,                      Palette::tooltipTextColour },
        { TooltipWindow::outlineColourId,                   Palette::tooltipOutlineColour },
        { PopupMenu::backgroundColourId,                    Palette::popupBackgroundColour },
        { PopupMenu::textColourId,                          Palette::popupTextColour },
        { PopupMenu::headerTextColourId,                    Palette::popupHeaderTextColour },
        { PopupMenu::highlightedBackgroundColourId,         Palette::popupHighlightColour },
        { PopupMenu::highlightedTextColourId,               Palette::popupHighlightedTextColour },
        { AlertWindow::backgroundColourId,                  Palette::alertBackgroundColour },
        { AlertWindow::textColourId,                        Palette::alertTextColour },
        { TabbedButtonBar::tabOutlineColourId,              Palette::outlineColour },
        { TabbedButtonBar::tabTextColourId,                 Palette::tabTextColour },
        { TabbedButtonBar::frontOutlineColourId,            Palette::frontTabOutlineColour },
        { TabbedButtonBar::frontTextColourId,               Palette::tabFrontTextColour },
        { Toolbar::separatorColourId,                       Palette::toolbarSeparatorColour },
        { Toolbar::buttonMouseOverBackgroundColourId,       Palette::toolbarButtonOverColour },
        { Toolbar::buttonMouseDownBackgroundColourId,       Palette::toolbarButtonDownColour },
        { Toolbar::labelTextColourId,                       Palette::toolbarLabelTextColour },
        { TextButton::buttonColourId,                       Palette::buttonColour },
        { TextButton::buttonOnColourId,                     Palette::buttonOnColour },
        { TextButton::textColourOffId,                      Palette::buttonTextColour },
        { TextButton::textColourOnId,                       Palette::buttonOnTextColour },
        { TextEditor::backgroundColourId,                   Palette::editorBackgroundColour },
        { TextEditor::textColourId,                         Palette::editorTextColour },
        { TextEditor::highlightColourId,                    Palette::editorHighlightColour },
        { TextEditor::highlightedTextColourId,              Palette::editorHighlightedTextColour },
        { TextEditor::outlineColourId,                      Palette::editorOutlineColour },
        { TextEditor::focusedOutlineColourId,               Palette::focusedOutlineColour },
        { TextEditor::shadowColourId,                       Palette::editorShadowColour },
        { Slider::textBoxBackgroundColourId,                Palette::editorBackgroundColour },
        { Slider::textBoxTextColourId,                      Palette::editorTextColour },
        { Slider::textBoxHighlightColourId,                 Palette::editorHighlightColour },
        { Label::textColourId,                              Palette::textColour },
        { ToggleButton::textColourId,                       Palette::textColour },
        { GroupComponent::outlineColourId,                  Palette::groupOutlineColour },
        { GroupComponent::textColourId,                     Palette::groupTextColour },
        { ListBox::textColourId,                            Palette::listTextColour },
        { ListBox::backgroundColourId,                      Palette::listBackgroundColour },
        { juce::DirectoryContentsDisplayComponent::highlightColourId,     Palette::selectionColour },
        { juce::DirectoryContentsDisplayComponent::highlightedTextColourId, Palette::listTextColour },
        { juce::DirectoryContentsDisplayComponent::textColourId,          Palette::listTextColour },
        { ComboBox::buttonColourId,                         Palette::focusedOutlineColour },
        { ProgressBar::backgroundColourId,                  Palette::progressBarBackgroundColour },
        { ProgressBar::foregroundColourId,                  Palette::progressBarForegroundColour },
        { Slider::backgroundColourId,                       Palette::popupBackgroundColour },
        { Slider::thumbColourId,                            Palette::popupHighlightColour },
        { tabTopColourId,                                   Palette::tabTopColour },
        { tabBottomColourId,                                Palette::tabBottomColour },
        { frontTabTopColourId,                              Palette::frontTabColour },
        { frontTabBottomColourId,                           Palette::frontTabColour },
    };

    for (auto& [id, colour] : table)
        setColour (id, colour);

    scale = uiScale;
    setFontSizes (14.0f * scale, 16.0f * scale, 13.0f * scale);

    if (getTypefaceName() != Font::getDefaultSansSerifFontName())
        setDefaultSansSerifTypefaceName (getTypefaceName());

    questionIcon = makeDrawable (BinaryResources::alert_question_svg, BinaryResources::alert_question_svgSize);
    warningIcon = makeDrawable (BinaryResources::alert_warning_svg, BinaryResources::alert_warning_svgSize);
    infoIcon = makeDrawable (BinaryResources::alert_info_svg, BinaryResources::alert_info_svgSize);

    MemoryInputStream tick (BinaryResources::tick_svg, (size_t) BinaryResources::tick_svgSize, false);
    tickIcon = Drawable::createFromImageDataStream (tick);
}

BVLookAndFeel::~BVLookAndFeel() = default;

void BVLookAndFeel::setFontSizes (float base, float large, float small)
{
    fontSize = base;
    largeFontSize = large;
    smallFontSize = small;
}

void BVLookAndFeel::applyTitleBarHeight (juce::DocumentWindow& window)
{
    if (getScale() == 1.0f)
        return;

    // 13/7 of the font; the small bias keeps 35 x 13/7 at 65 despite float rounding.
    window.setTitleBarHeight ((int) (fontSize * 1.8571428f + 1.0e-3f));
    window.resized();
    window.repaint (window.getTitleBarArea());
}

BVLookAndFeel* BVLookAndFeel::of (juce::Component& component)
{
    return dynamic_cast<BVLookAndFeel*> (&component.getLookAndFeel());
}

const juce::String& BVLookAndFeel::getTypefaceName()
{
    // fonts-dejavu-core, which scripts/setup installs; naming a font that is
    // missing would make JUCE on Linux draw no text at all.
    static const juce::String name = []
    {
        const auto installed = juce::Font::findAllTypefaceNames();

        for (auto* candidate : { "DejaVu Sans" })
            if (installed.contains (candidate))
                return juce::String (candidate);

        return juce::Font::getDefaultSansSerifFontName();
    }();

    return name;
}

juce::Font BVLookAndFeel::makeFont (float height, int styleFlags)
{
    return juce::Font (getTypefaceName(), height, styleFlags);
}

//==============================================================================
void BVLookAndFeel::drawScrollbar (juce::Graphics& g, juce::ScrollBar& scrollbar, int x, int y, int width, int height,
                                   bool isScrollbarVertical, int thumbStartPosition, int thumbSize,
                                   bool isMouseOver, bool isMouseDown)
{
    g.setColour (Palette::scrollbarColour);
    g.fillRect (x, y, width, height);

    if (thumbSize <= 0)
        return;

    const auto indent = 0.25f * (float) (isScrollbarVertical ? width : height);
    juce::Rectangle<float> thumb;

    if (isScrollbarVertical)
        thumb = { (float) x + indent, (float) thumbStartPosition + indent, (float) width - 2.0f * indent, (float) thumbSize - 2.0f * indent };
    else
        thumb = { (float) thumbStartPosition + indent, (float) y + indent, (float) thumbSize - 2.0f * indent, (float) height - 2.0f * indent };

    const auto corner = (isScrollbarVertical ? thumb.getWidth() : thumb.getHeight()) * 0.5f;
    const auto active = isMouseOver || isMouseDown;
    auto colour = scrollbar.findColour (juce::ScrollBar::thumbColourId);

    if (active)
        colour = colour.withMultipliedAlpha (2.0f);

    g.setColour (colour);
    g.fillRoundedRectangle (thumb, corner);
    g.setColour (colour.contrasting (active ? 0.2f : 0.1f));
    g.drawRoundedRectangle (thumb, corner, 1.0f);
}

//==============================================================================
void BVLookAndFeel::drawButtonShape (juce::Graphics& g, const juce::Path& outline, juce::Colour base, float height, bool focused)
{
    g.setGradientFill (juce::ColourGradient (base.brighter (0.15f), 0.0f, 0.0f, base.darker (0.15f), 0.0f, height, false));
    g.fillPath (outline);

    g.setColour (focused ? juce::Colours::black.withAlpha (0.4f * base.getFloatAlpha()) : base.darker (0.4f));
    g.strokePath (outline, juce::PathStrokeType (1.0f));
}

void BVLookAndFeel::drawFocusRing (juce::Graphics& g, juce::Rectangle<float> area) const
{
    const auto thickness = 2.0f * scale;
    g.setColour (Palette::focusRingColour);
    g.drawRoundedRectangle (area.reduced (thickness * 0.5f), thickness, thickness);
}

void BVLookAndFeel::drawButtonBackground (juce::Graphics& g, juce::Button& button, const juce::Colour& backgroundColour,
                                          bool isMouseOver, bool isButtonDown)
{
    const auto focused = button.hasKeyboardFocus (true);
    auto base = backgroundColour.withMultipliedAlpha (button.isEnabled() ? 1.0f : 0.5f);

    if (isButtonDown)
        base = base.contrasting (0.2f);
    else if (isMouseOver)
        base = base.contrasting (0.1f);

    const auto w = (float) button.getWidth() - 1.0f;
    const auto h = (float) button.getHeight() - 1.0f;

    if (w <= 0.0f || h <= 0.0f)
        return;

    const auto left = button.isConnectedOnLeft(), right = button.isConnectedOnRight();
    const auto top = button.isConnectedOnTop(), bottom = button.isConnectedOnBottom();

    const auto drawShape = [&] (juce::Graphics& target)
    {
        juce::Path outline;
        outline.addRoundedRectangle (0.5f, 0.5f, w, h, 1.0f, 1.0f,
                                     ! (left || top), ! (right || top), ! (left || bottom), ! (right || bottom));
        drawButtonShape (target, outline, base, h, focused);

        if (focused)
            drawFocusRing (target, { 0.0f, 0.0f, w + 1.0f, h + 1.0f });
    };

    // A page of buttons repeats a few shapes; a scaled context draws them afresh to stay sharp.
    if (g.getInternalContext().getPhysicalPixelScaleFactor() != 1.0f)
    {
        drawShape (g);
        return;
    }

    const auto edges = (left ? 1 : 0) | (right ? 2 : 0) | (top ? 4 : 0) | (bottom ? 8 : 0) | (focused ? 16 : 0);
    const ButtonShapeKey key { button.getWidth(), button.getHeight(), base.getARGB(), edges };
    auto found = std::find_if (buttonShapes.begin(), buttonShapes.end(), [&] (auto& entry) { return entry.first == key; });

    if (found == buttonShapes.end())
    {
        if (buttonShapes.size() >= 32)
            buttonShapes.clear();

        ButtonShape shape { juce::Image (juce::Image::ARGB, key.width, key.height, true), {}, 0 };
        {
            juce::Graphics sg (shape.edges);
            drawShape (sg);
        }

        // The rows between the rounded ends are (all but) opaque: copying them is far faster than blending.
        const auto opaqueRow = [&shape] (int y)
        {
            for (int x = 0; x < shape.edges.getWidth(); ++x)
                if (shape.edges.getPixelAt (x, y).getAlpha() < 250)
                    return false;
            return true;
        };

        auto first = 0, last = key.height - 1;
        while (first <= last && ! opaqueRow (first)) ++first;
        while (last >= first && ! opaqueRow (last)) --last;

        if (last - first > 2 && [&] { for (int y = first; y <= last; ++y) if (! opaqueRow (y)) return false; return true; }())
        {
            shape.band = shape.edges.getClippedImage ({ 0, first, key.width, last - first + 1 }).convertedToFormat (juce::Image::RGB);
            shape.bandTop = first;
        }

        buttonShapes.emplace_back (key, std::move (shape));
        found = std::prev (buttonShapes.end());
    }

    const auto& shape = found->second;

    if (! shape.band.isValid())
    {
        g.drawImageAt (shape.edges, 0, 0);
        return;
    }

    const auto bandBottom = shape.bandTop + shape.band.getHeight();
    g.drawImage (shape.edges, 0, 0, shape.edges.getWidth(), shape.bandTop, 0, 0, shape.edges.getWidth(), shape.bandTop);
    g.drawImageAt (shape.band, 0, shape.bandTop);
    g.drawImage (shape.edges, 0, bandBottom, shape.edges.getWidth(), shape.edges.getHeight() - bandBottom,
                 0, bandBottom, shape.edges.getWidth(), shape.edges.getHeight() - bandBottom);
}

juce::Font BVLookAndFeel::getTextButtonFont (juce::TextButton&, int buttonHeight)
{
    return makeFont (juce::jmin (fontSize, (float) buttonHeight * 0.6f));
}

int BVLookAndFeel::getTextButtonWidthToFitText (juce::TextButton& button, int buttonHeight)
{
    return juce::roundToInt (getTextButtonFont (button, buttonHeight).getStringWidthFloat (button.getButtonText()))
           + 2 * buttonHeight;
}

void BVLookAndFeel::drawToggleButton (juce::Graphics& g, juce::ToggleButton& button, bool isMouseOver, bool isButtonDown)
{
    const auto width = button.getWidth(), height = button.getHeight();

    if (button.hasKeyboardFocus (true))
        drawFocusRing (g, button.getLocalBounds().toFloat());

    const auto textHeight = juce::jmax (1.0f, 0.75f * (float) height);
    int textX;

    if (button.getRadioGroupId() != 0)
    {
        const auto tickWidth = textHeight * 1.1f;
        const juce::Rectangle<float> box (4.0f * scale, ((float) height - tickWidth) * 0.5f, tickWidth, tickWidth);
        const auto d = box.getWidth() * 0.7f;
        const juce::Rectangle<float> mark (box.getX(), box.getY() + (box.getHeight() - d) * 0.5f, d, d);
        const auto ring = ! button.isEnabled() ? 0.7f : (isMouseOver || isButtonDown ? 1.2f : 0.9f);

        g.setColour (Palette::dialogBackgroundColour.brighter (0.4f));
        g.fillEllipse (mark);
        g.setColour (juce::Colours::black.withAlpha (0.5f));
        g.drawEllipse (mark, ring);

        if (button.getToggleState())
            g.fillEllipse (mark.reduced (0.2f * d));

        textX = (int) tickWidth + juce::roundToInt (5.0f * scale);
    }
    else
    {
        const auto size = (float) juce::roundToInt (textHeight / 1.3f);
        drawTickBox (g, button, 4.0f * scale, ((float) height - size) * 0.5f, size, size,
                     button.getToggleState(), button.isEnabled(), isMouseOver, isButtonDown);
        textX = juce::roundToInt (scale * 10.0f + (float) height * 0.5769230769230769f);
    }

    g.setColour (button.findColour (juce::ToggleButton::textColourId).withMultipliedAlpha (button.isEnabled() ? 1.0f : 0.5f));
    g.setFont (makeFont (textHeight));
    g.drawFittedText (button.getButtonText(), textX, 0, width - textX - 2, height, juce::Justification::centredLeft, 10);
}

void BVLookAndFeel::drawTickBox (juce::Graphics& g, juce::Component& component, float x, float y, float w, float h,
                                 bool ticked, bool isEnabled, bool, bool)
{
    const auto alpha = isEnabled ? 1.0f : 0.5f;

    g.setColour (component.findColour (juce::TextEditor::backgroundColourId).withAlpha (alpha));
    g.fillRect (x, y, w, h);
    g.setColour (component.findColour (juce::TextButton::buttonColourId).withAlpha (alpha));
    g.drawRect (x, y, w, h, 1.0f);

    // The tick reaches out above and right of its box.
    if (ticked && tickIcon != nullptr)
        tickIcon->drawWithin (g, { x + 2.0f * scale, y - 2.0f * scale, w, h }, juce::RectanglePlacement::centred, alpha);
}

//==============================================================================
int BVLookAndFeel::getDrawableButtonTextHeight (juce::DrawableButton& button) const
{
    return button.getStyle() == juce::DrawableButton::ImageAboveTextLabel
               ? juce::jmin (juce::roundToInt (16.0f * scale), button.proportionOfHeight (0.25f))
               : 0;
}

void BVLookAndFeel::drawDrawableButton (juce::Graphics& g, juce::DrawableButton& button, bool, bool)
{
    const auto on = button.getToggleState();
    g.fillAll (button.findColour (on ? juce::DrawableButton::backgroundOnColourId : juce::DrawableButton::backgroundColourId));

    // Round the edge, where the picture (indented) leaves room.
    if (button.hasKeyboardFocus (false))
        drawFocusRing (g, button.getLocalBounds().toFloat());

    const auto textH = getDrawableButtonTextHeight (button);

    if (textH <= 0)
        return;

    const auto inset = juce::roundToInt (2.0f * scale), lift = juce::roundToInt (scale);
    g.setFont ((float) textH);
    g.setColour (button.findColour (on ? juce::DrawableButton::textColourOnId : juce::DrawableButton::textColourId)
                     .withMultipliedAlpha (button.isEnabled() ? 1.0f : 0.4f));
    g.drawFittedText (button.getButtonText(), inset, button.getHeight() - textH - lift, button.getWidth() - 2 * inset, textH,
                      juce::Justification::centred, 1);
}

//==============================================================================
// The framework's boxes, with their buttons and keys, laid out at this scale.
juce::AlertWindow* BVLookAndFeel::createAlertWindow (const juce::String& title, const juce::String& message,
                                                     const juce::String& button1, const juce::String& button2,
                                                     const juce::String& button3, juce::MessageBoxIconType iconType,
                                                     int numButtons, juce::Component* associatedComponent)
{
    auto* box = new Alerts::Window (title, message, iconType, associatedComponent);

    if (numButtons == 1)
    {
        box->addButton (button1, 0, juce::KeyPress (juce::KeyPress::escapeKey), juce::KeyPress (juce::KeyPress::returnKey));
        return box;
    }

    const juce::KeyPress firstKey ((int) juce::CharacterFunctions::toLowerCase (button1[0]), 0, 0);
    juce::KeyPress secondKey ((int) juce::CharacterFunctions::toLowerCase (button2[0]), 0, 0);

    if (firstKey == secondKey)
        secondKey = {};

    if (numButtons == 2)
    {
        box->addButton (button1, 1, juce::KeyPress (juce::KeyPress::returnKey), firstKey);
        box->addButton (button2, 0, juce::KeyPress (juce::KeyPress::escapeKey), secondKey);
    }
    else if (numButtons == 3)
    {
        box->addButton (button1, 1, firstKey);
        box->addButton (button2, 2, secondKey);
        box->addButton (button3, 0, juce::KeyPress (juce::KeyPress::escapeKey));
    }

    return box;
}

void BVLookAndFeel::drawAlertBox (juce::Graphics& g, juce::AlertWindow& alert, const juce::Rectangle<int>& textArea,
                                  juce::TextLayout& textLayout)
{
    g.fillAll (alert.findColour (juce::AlertWindow::backgroundColourId));

    const auto px = pixels();
    auto iconSize = juce::jmin (px (100), alert.getHeight() + px (20));

    if (alert.containsAnyExtraComponents() || alert.getNumButtons() > 2)
        iconSize = juce::jmin (iconSize, textArea.getHeight() + px (50));

    auto iconSpace = 0;
    const auto type = alert.getAlertType();

    if (type != juce::MessageBoxIconType::NoIcon)
    {
        const juce::Rectangle<float> iconArea ((float) (iconSize / -10), (float) (iconSize / -10),
                                               0.9f * (float) iconSize, 0.9f * (float) iconSize);

        g.setColour (Palette::alertShadeColour.withAlpha (0.8f));
        g.fillEllipse (iconArea);

        auto* icon = type == juce::MessageBoxIconType::QuestionIcon ? questionIcon.get()
                   : type == juce::MessageBoxIconType::InfoIcon     ? infoIcon.get()
                                                                     : warningIcon.get();
        if (icon != nullptr)
            icon->drawWithin (g, iconArea.reduced (iconArea.getWidth() * 0.15f, iconArea.getHeight() * 0.15f),
                              juce::RectanglePlacement::centred, 0.7f);

        iconSpace = px (80);
    }

    g.setColour (alert.findColour (juce::AlertWindow::textColourId));
    textLayout.draw (g, textArea.withTrimmedLeft (iconSpace).toFloat());

    g.setColour (alert.findColour (juce::AlertWindow::outlineColourId));
    g.drawRect (alert.getLocalBounds(), juce::jmax (1, px (1)));
}

int BVLookAndFeel::getAlertWindowButtonHeight()       { return (int) (fontSize * 2.0f); }
juce::Font BVLookAndFeel::getAlertWindowMessageFont() { return makeFont (largeFontSize); }
juce::Font BVLookAndFeel::getAlertWindowFont()        { return makeFont (fontSize); }

//==============================================================================
void BVLookAndFeel::drawPopupMenuSectionHeader (juce::Graphics& g, const juce::Rectangle<int>& area, const juce::String& sectionName)
{
    g.setFont (makeFont (getFontSize(), juce::Font::bold));
    g.setColour (Palette::searchTextColour);
    g.drawFittedText (sectionName, area.getX() + juce::roundToInt (12.0f * scale), area.getY(),
                      area.getWidth() - juce::roundToInt (16.0f * scale), (int) ((float) area.getHeight() * 0.8f),
                      juce::Justification::bottomLeft, 1);
}

juce::Font BVLookAndFeel::getPopupMenuFont() { return makeFont (fontSize); }

void BVLookAndFeel::getIdealPopupMenuItemSize (const juce::String& text, bool isSeparator, int standardMenuItemHeight,
                                               int& idealWidth, int& idealHeight)
{
    LookAndFeel_V3::getIdealPopupMenuItemSize (text, isSeparator, standardMenuItemHeight, idealWidth, idealHeight);

    // The framework's separator is a fixed 10 pixels; items already grow with the font.
    if (isSeparator)
    {
        idealWidth = juce::roundToInt (50.0f * scale);
        idealHeight = standardMenuItemHeight > 0 ? standardMenuItemHeight / 2 : juce::roundToInt (10.0f * scale);
    }
}

void BVLookAndFeel::drawPopupMenuItem (juce::Graphics& g, const juce::Rectangle<int>& area, bool isSeparator, bool isActive,
                                       bool isHighlighted, bool isTicked, bool hasSubMenu, const juce::String& text,
                                       const juce::String& shortcutKeyText, const juce::Drawable* icon,
                                       const juce::Colour* textColour)
{
    if (! isSeparator)
    {
        LookAndFeel_V3::drawPopupMenuItem (g, area, isSeparator, isActive, isHighlighted, isTicked, hasSubMenu,
                                           text, shortcutKeyText, icon, textColour);
        return;
    }

    auto r = area.reduced (juce::roundToInt (5.0f * scale), 0);
    const auto line = juce::jmax (1, juce::roundToInt (scale));
    r.removeFromTop (r.getHeight() / 2 - line);

    g.setColour (juce::Colour (0x33000000));
    g.fillRect (r.removeFromTop (line));
    g.setColour (juce::Colour (0x66ffffff));
    g.fillRect (r.removeFromTop (line));
}

namespace
{
    /** Keeps a menu deaf to the mouse while the press that opened it lasts; ends with it or with the menu. */
    class PressOpenedMenuGuard : private juce::Timer
    {
    public:
        explicit PressOpenedMenuGuard (juce::Component& menuWindow) : menu (&menuWindow)
        {
            menuWindow.setInterceptsMouseClicks (false, false);
            startTimer (20);
        }

    private:
        void timerCallback() override
        {
            if (menu != nullptr && anyButtonDown())
                return;

            if (menu != nullptr)
                menu->setInterceptsMouseClicks (true, true);

            delete this;
        }

        static bool anyButtonDown()
        {
            return juce::ModifierKeys::currentModifiers.isAnyMouseButtonDown()
                || juce::ComponentPeer::getCurrentModifiersRealtime().isAnyMouseButtonDown();
        }

        juce::Component::SafePointer<juce::Component> menu;
    };
}

void BVLookAndFeel::preparePopupMenuWindow (juce::Component& menuWindow)
{
    LookAndFeel_V3::preparePopupMenuWindow (menuWindow);
    FocusKeeper::keepFor (menuWindow);

    // Only a text field's own menu, opened by a press on it that is still held.
    auto* focused = juce::Component::getCurrentlyFocusedComponent();

    if (dynamic_cast<juce::TextEditor*> (focused) != nullptr && focused->isMouseButtonDown())
        new PressOpenedMenuGuard (menuWindow);
}

void BVLookAndFeel::drawComboBox (juce::Graphics& g, int width, int height, bool isButtonDown,
                                  int buttonX, int buttonY, int buttonW, int buttonH, juce::ComboBox& box)
{
    LookAndFeel_V3::drawComboBox (g, width, height, isButtonDown, buttonX, buttonY, buttonW, buttonH, box);

    if (box.isEnabled() && box.hasKeyboardFocus (true))
        drawFocusRing (g, box.getLocalBounds().toFloat());
}

juce::Font BVLookAndFeel::getComboBoxFont (juce::ComboBox& box)
{
    return makeFont (juce::jmin (fontSize, (float) box.getHeight() * 0.85f));
}

//==============================================================================
void BVLookAndFeel::drawLinearSliderBackground (juce::Graphics& g, int x, int y, int width, int height,
                                                float, float, float, juce::Slider::SliderStyle, juce::Slider& slider)
{
    const auto r = (float) getSliderThumbRadius (slider) - 2.0f * scale;
    const auto track = slider.findColour (juce::Slider::trackColourId);
    const auto shade = track.overlaidWith (juce::Colour ((juce::uint32) (slider.isEnabled() ? 0x13000000 : 0x09000000)));
    const auto light = track.overlaidWith (juce::Colour (0x06000000));

    juce::Path bar;

    if (slider.isHorizontal())
    {
        const auto iy = (float) (y + height / 2) - r * 0.5f;
        g.setGradientFill (juce::ColourGradient (shade, 0.0f, iy, light, 0.0f, iy + r, false));
        bar.addRectangle ((float) x - r * 0.5f, iy, (float) width + r, r);
    }
    else
    {
        const auto ix = (float) (x + width / 2) - r * 0.5f;
        g.setGradientFill (juce::ColourGradient (shade, ix, 0.0f, light, ix + r, 0.0f, false));
        bar.addRectangle (ix, (float) y - r * 0.5f, r, (float) height + r);
    }

    g.fillPath (bar);
    g.setColour (track.contrasting (0.5f));
    g.strokePath (bar, juce::PathStrokeType (0.5f));
}

void BVLookAndFeel::drawLinearSliderThumb (juce::Graphics& g, int x, int y, int width, int height,
                                           float sliderPos, float, float, juce::Slider::SliderStyle style, juce::Slider& slider)
{
    if (style != juce::Slider::LinearHorizontal && style != juce::Slider::LinearVertical)
        return;

    const auto r = (float) getSliderThumbRadius (slider) - 2.0f * scale;
    const auto focused = slider.hasKeyboardFocus (false);
    const auto colour = slider.findColour (juce::Slider::thumbColourId)
                              .withMultipliedSaturation (focused ? 1.3f : 1.0f)
                              .withMultipliedAlpha (slider.isEnabled() ? 1.0f : 0.5f);

    const auto centre = style == juce::Slider::LinearHorizontal
                            ? juce::Point<float> (sliderPos, (float) y + (float) height * 0.5f)
                            : juce::Point<float> ((float) x + (float) width * 0.5f, sliderPos);
    juce::Path thumb;
    thumb.addEllipse (centre.x - r, centre.y - r, 2.0f * r, 2.0f * r);
    drawButtonShape (g, thumb, colour, 2.0f * r, focused);

    if (! focused)
        return;

    // Round the track and its thumb, beside the value box.
    auto area = slider.getLocalBounds();

    if (slider.getTextBoxPosition() == juce::Slider::TextBoxRight)
        area.removeFromRight (slider.getTextBoxWidth());
    else if (slider.getTextBoxPosition() == juce::Slider::TextBoxLeft)
        area.removeFromLeft (slider.getTextBoxWidth());

    drawFocusRing (g, area.toFloat());
}

int BVLookAndFeel::getSliderThumbRadius (juce::Slider& slider)
{
    return juce::jmin (slider.getWidth() / 2, slider.getHeight() / 2);
}

juce::Label* BVLookAndFeel::createSliderTextBox (juce::Slider& slider)
{
    auto* label = LookAndFeel_V2::createSliderTextBox (slider);
    label->setFont (makeFont (fontSize));
    const auto v = juce::roundToInt (scale), h = juce::roundToInt (5.0f * scale);   // the framework's (1, 5), scaled
    label->setBorderSize ({ v, h, v, h });
    return label;
}

//==============================================================================
juce::TextLayout BVLookAndFeel::layoutTooltipText (const juce::String& text, juce::Colour colour) const
{
    juce::AttributedString s;
    s.setJustification (juce::Justification::centred);
    s.append (text, makeFont (smallFontSize), colour);

    juce::TextLayout layout;
    layout.createLayoutWithBalancedLineLengths (s, 400.0f * scale, 1.0e7f);
    return layout;
}

juce::Rectangle<int> BVLookAndFeel::getTooltipBounds (const juce::String& tipText, juce::Point<int> screenPos,
                                                      juce::Rectangle<int> parentArea)
{
    const auto layout = layoutTooltipText (tipText, juce::Colours::black);
    const auto w = (int) (layout.getWidth() + 14.0f * scale);
    const auto h = (int) (layout.getHeight() + 6.0f * scale);
    const auto px = pixels();

    return juce::Rectangle<int> (screenPos.x > parentArea.getCentreX() ? screenPos.x - (w + px (12.0f)) : screenPos.x + px (24.0f),
                                 screenPos.y > parentArea.getCentreY() ? screenPos.y - (h + px (6.0f)) : screenPos.y + px (6.0f),
                                 w, h)
        .constrainedWithin (parentArea);
}

void BVLookAndFeel::drawTooltip (juce::Graphics& g, const juce::String& text, int width, int height)
{
    g.fillAll (findColour (juce::TooltipWindow::backgroundColourId));
    g.setColour (findColour (juce::TooltipWindow::outlineColourId));
    g.drawRect (0, 0, width, height, 1);

    layoutTooltipText (text, findColour (juce::TooltipWindow::textColourId))
        .draw (g, { (float) width, (float) height });
}

//==============================================================================
int BVLookAndFeel::getTabButtonOverlap (int) { return 0; }

int BVLookAndFeel::getTabButtonBestWidth (juce::TabBarButton& button, int tabDepth)
{
    auto width = juce::roundToInt (makeFont (largeFontSize).getStringWidthFloat (button.getButtonText().trim()))
                 + 2 * getTabButtonOverlap (tabDepth);
    width *= 2;

    if (auto* extra = button.getExtraComponent())
        width += button.getTabbedButtonBar().isVertical() ? extra->getHeight() : extra->getWidth();

    return juce::jlimit (tabDepth * 2, tabDepth * 8, width);
}

juce::Colour BVLookAndFeel::tabColour (int id, juce::Colour fallback) const
{
    return isColourSpecified (id) ? findColour (id) : fallback;
}

void BVLookAndFeel::drawTabButton (juce::TabBarButton& button, juce::Graphics& g, bool isMouseOver, bool isMouseDown)
{
    const auto area = button.getActiveArea();
    const auto front = button.isFrontTab();

    const auto top = front ? tabColour (frontTabTopColourId, Palette::frontTabColour) : tabColour (tabTopColourId, Palette::tabTopColour);
    const auto bottom = front ? tabColour (frontTabBottomColourId, Palette::frontTabColour) : tabColour (tabBottomColourId, Palette::tabBottomColour);
    const auto amount = ! front && isMouseOver ? 0.05f : 0.0f;

    g.setGradientFill (juce::ColourGradient (top.darker (amount), 0.0f, 0.0f, bottom.darker (amount), 0.0f, (float) area.getBottom(), false));
    g.fillRect (area);

    g.setColour (button.findColour (juce::TabbedButtonBar::tabOutlineColourId));
    g.fillRect (area.getX(), area.getY(), area.getWidth(), 1);

    if (button.getIndex() == 0)
        g.fillRect (area.getX(), area.getY(), 1, area.getHeight());

    g.fillRect (area.getRight() - 1, area.getY(), 1, area.getHeight());

    drawTabButtonText (button, g, isMouseOver, isMouseDown);
}

void BVLookAndFeel::drawTabButtonText (juce::TabBarButton& button, juce::Graphics& g, bool, bool)
{
    const auto area = button.getTextArea();
    const auto id = button.isFrontTab() ? juce::TabbedButtonBar::frontTextColourId : juce::TabbedButtonBar::tabTextColourId;
    auto& bar = button.getTabbedButtonBar();

    auto colour = bar.isColourSpecified (id) ? bar.findColour (id)
                : isColourSpecified (id)     ? findColour (id)
                                             : juce::Colours::transparentBlack;

    if (! button.isEnabled())
        colour = colour.withMultipliedAlpha (0.4f);

    g.setColour (colour);
    g.setFont (makeFont (largeFontSize, button.hasKeyboardFocus (false) ? juce::Font::underlined : juce::Font::plain));
    g.drawFittedText (button.getButtonText().trim(), 0, 0, area.getWidth(), area.getHeight(),
                      juce::Justification::centred, 1, 1.0f);
}

void BVLookAndFeel::drawTabbedButtonBarBackground (juce::TabbedButtonBar& bar, juce::Graphics& g)
{
    g.setGradientFill (juce::ColourGradient (Palette::barLightColour, 0.0f, 0.0f,
                                             Palette::barDarkColour, 0.0f, (float) bar.getHeight(), false));
    g.fillRect (bar.getLocalBounds());
}

void BVLookAndFeel::drawTabAreaBehindFrontButton (juce::TabbedButtonBar& bar, juce::Graphics& g, int w, int h)
{
    g.setColour (bar.findColour (juce::TabbedButtonBar::tabOutlineColourId));
    g.fillRect (0, h - 1, w, 1);
}

//==============================================================================
void BVLookAndFeel::drawGroupComponentOutline (juce::Graphics& g, int width, int height, const juce::String& text,
                                               const juce::Justification& position, juce::GroupComponent& group)
{
    const auto font = makeFont (fontSize);
    const auto indent = 3.0f * scale, textEdgeGap = 4.0f * scale;

    const auto y = font.getAscent() - 3.0f * scale;
    const auto w = juce::jmax (0.0f, (float) width - indent * 2.0f);
    const auto h = juce::jmax (0.0f, (float) height - y - indent);
    const auto cs = juce::jmin (2.0f * scale, w * 0.5f, h * 0.5f);
    const auto cs2 = cs * 2.0f;

    const auto textW = text.isEmpty() ? 0.0f
                                      : juce::jlimit (0.0f, juce::jmax (0.0f, w - cs2 - textEdgeGap * 2.0f),
                                                      (float) juce::roundToInt (font.getStringWidthFloat (text)) + textEdgeGap * 2.0f);
    auto textX = cs + textEdgeGap;

    if (position.testFlags (juce::Justification::horizontallyCentred))
        textX = cs + (w - cs2 - textW) * 0.5f;
    else if (position.testFlags (juce::Justification::right))
        textX = w - cs - textW - textEdgeGap;

    const auto x = indent;
    const auto pi = juce::MathConstants<float>::pi;

    juce::Path p;
    p.startNewSubPath (x + textX + textW, y);
    p.lineTo (x + w - cs, y);
    p.addArc (x + w - cs2, y, cs2, cs2, 0.0f, pi * 0.5f);
    p.lineTo (x + w, y + h - cs);
    p.addArc (x + w - cs2, y + h - cs2, cs2, cs2, pi * 0.5f, pi);
    p.lineTo (x + cs, y + h);
    p.addArc (x, y + h - cs2, cs2, cs2, pi, pi * 1.5f);
    p.lineTo (x, y + cs);
    p.addArc (x, y, cs2, cs2, pi * 1.5f, pi * 2.0f);
    p.lineTo (x + textX, y);

    const auto alpha = group.isEnabled() ? 1.0f : 0.5f;

    g.setColour (group.findColour (juce::GroupComponent::outlineColourId).withMultipliedAlpha (alpha));
    g.strokePath (p, juce::PathStrokeType (1.1f));

    g.setColour (group.findColour (juce::GroupComponent::textColourId).withMultipliedAlpha (alpha));
    g.setFont (font);
    g.drawText (text, juce::roundToInt (x + textX), 0, juce::roundToInt (textW), juce::roundToInt (fontSize),
                juce::Justification::centred, true);
}

//==============================================================================
void BVLookAndFeel::drawTableHeaderBackground (juce::Graphics& g, juce::TableHeaderComponent& header)
{
    g.fillAll (juce::Colours::white);

    g.setColour (Palette::tableHeaderShadeColour);
    g.fillRect (header.getLocalBounds().removeFromBottom (1));

    for (int i = 0; i < header.getNumColumns (true) - 1; ++i)
        g.fillRect (header.getColumnPosition (i).removeFromRight (1));
}

void BVLookAndFeel::drawTableHeaderColumn (juce::Graphics& g, juce::TableHeaderComponent&, const juce::String& columnName,
                                           int, int width, int height, bool isMouseOver, bool isMouseDown, int columnFlags)
{
    if (isMouseOver || isMouseDown)
        g.fillAll (Palette::tableSelectedRowColour);

    auto area = juce::Rectangle<int> (width, height).reduced (juce::roundToInt (4.0f * scale), 0);
    const auto forwards = (columnFlags & juce::TableHeaderComponent::sortedForwards) != 0;

    if (forwards || (columnFlags & juce::TableHeaderComponent::sortedBackwards) != 0)
    {
        juce::Path arrow;
        arrow.addTriangle (0.0f, 0.0f, 0.5f, forwards ? -0.8f : 0.8f, 1.0f, 0.0f);

        g.setColour (Palette::tableHeaderLineColour);
        g.fillPath (arrow, arrow.getTransformToScaleToFit (area.removeFromRight (height / 2).reduced (2).toFloat(), true));
    }

    g.setColour (Palette::searchTextColour);
    g.setFont (makeFont ((float) height * 0.5f, juce::Font::bold));
    g.drawFittedText (columnName, area, juce::Justification::centredLeft, 1);
}

//==============================================================================
void BVLookAndFeel::paintToolbarBackground (juce::Graphics& g, int width, int height, juce::Toolbar& toolbar)
{
    if (toolbar.isColourSpecified (juce::Toolbar::backgroundColourId))
    {
        LookAndFeel_V2::paintToolbarBackground (g, width, height, toolbar);
        return;
    }

    const auto vertical = toolbar.isVertical();
    g.setGradientFill (juce::ColourGradient (Palette::frontTabColour, 0.0f, 0.0f, Palette::toolbarLightColour,
                                             vertical ? (float) (width - 1) : 0.0f, vertical ? 0.0f : (float) (height - 1), false));
    g.fillAll();
}

juce::Rectangle<int> BVLookAndFeel::getToolbarButtonArea (const juce::Component& item) const
{
    return item.getLocalBounds().reduced (0, juce::roundToInt (4.0f * scale));
}

void BVLookAndFeel::paintToolbarButtonBackground (juce::Graphics& g, int, int, bool isMouseOver, bool isMouseDown,
                                                  juce::ToolbarItemComponent& item)
{
    g.reduceClipRegion (getToolbarButtonArea (item));

    if (isMouseDown)
        g.fillAll (item.findColour (juce::Toolbar::buttonMouseDownBackgroundColourId, true));
    else if (isMouseOver)
        g.fillAll (item.findColour (juce::Toolbar::buttonMouseOverBackgroundColourId, true));
}

void BVLookAndFeel::paintToolbarButtonLabel (juce::Graphics& g, int x, int y, int width, int height,
                                             const juce::String& text, juce::ToolbarItemComponent& item)
{
    g.setColour (item.findColour (juce::Toolbar::labelTextColourId, true).withAlpha (item.isEnabled() ? 1.0f : 0.25f));
    g.setFont (makeFont (smallFontSize * 0.9f));
    g.drawFittedText (text, x, y, width, height, juce::Justification::centred, 2, 0.8f);
}

//==============================================================================
void BVLookAndFeel::drawPanelBackground (juce::Graphics& g, const juce::Rectangle<int>& area, const juce::String& text,
                                         bool highlighted, bool isFirst)
{
    g.setGradientFill (juce::ColourGradient (Palette::panelShadeTopColour.withAlpha (highlighted ? 0.2f : 1.0f), 0.0f, (float) area.getY(),
                                             Palette::panelShadeBottomColour, 0.0f, (float) area.getBottom(), false));
    g.fillRect (area);

    // Everything in proportion to the band's height (20 at scale 1), as its font is, so a scaled band is the same band larger.
    const auto line = juce::jmax (1, juce::roundToInt ((float) area.getHeight() / 20.0f));
    const auto indent = juce::roundToInt ((float) area.getHeight() / 5.0f);

    g.setColour (juce::Colours::black.withAlpha (0.1f));

    if (! isFirst)
        g.fillRect (area.getX(), area.getY(), area.getWidth(), line);

    g.fillRect (area.getX(), area.getBottom() - line, area.getWidth(), line);

    g.setColour (juce::Colours::black);
    g.setFont (makeFont ((float) area.getHeight() * 0.6f, juce::Font::bold));

    if (area.getWidth() > indent + indent / 2)
        g.drawFittedText (text, area.getX() + indent, area.getY(), area.getWidth() - indent - indent / 2, area.getHeight(),
                          juce::Justification::centredLeft, 1);
}

void BVLookAndFeel::drawConcertinaPanelHeader (juce::Graphics& g, const juce::Rectangle<int>& area, bool isMouseOver, bool,
                                               juce::ConcertinaPanel& panel, juce::Component& component)
{
    drawPanelBackground (g, area, component.getName(), isMouseOver, panel.getNumPanels() > 0 && panel.getPanel (0) == &component);
}

//==============================================================================
void BVLookAndFeel::drawProgressBar (juce::Graphics& g, juce::ProgressBar& bar, int width, int height,
                                     double progress, const juce::String& textToShow)
{
    drawProgress (g, bar, width, height, progress, textToShow);
}

void BVLookAndFeel::drawProgress (juce::Graphics& g, const juce::Component& bar, int width, int height,
                                  double progress, const juce::String& textToShow)
{
    // The stripes step by twice the height: with no height they would never end.
    if (width <= 0 || height <= 0)
        return;

    const auto background = bar.findColour (juce::ProgressBar::backgroundColourId);
    const auto foreground = bar.findColour (juce::ProgressBar::foregroundColourId);

    g.setColour (background);
    g.fillRect (0, 0, width, height);

    if (progress >= 0.0 && progress < 1.0)
    {
        g.setColour (foreground);
        g.fillRect (1.0f, 1.0f, (float) ((width - 2) * progress), (float) (height - 2));
    }
    else
    {
        const auto stripe = 2 * height;
        const auto position = (int) ((juce::Time::getMillisecondCounter() / 15) % (juce::uint32) stripe);
        const auto half = (float) stripe * 0.5f;

        juce::Path stripes;

        for (auto x = (float) -position; x < (float) (width + stripe); x += (float) stripe)
            stripes.addQuadrilateral (x, 0.0f, x + half, 0.0f, x, (float) height, x - half, (float) height);

        juce::Image fill (juce::Image::ARGB, width, height, true);
        {
            juce::Graphics fg (fill);
            fg.setColour (foreground);
            fg.fillRect (1, 1, width - 2, height - 2);
        }

        g.setTiledImageFill (fill, 0, 0, 0.85f);
        g.fillPath (stripes);
    }

    if (textToShow.isEmpty())
        return;

    const auto statusColours = background == Palette::statusProgressBackgroundColour
                               && foreground == Palette::statusProgressForegroundColour;
    g.setColour (statusColours ? Palette::progressTextColour : juce::Colour::contrasting (background, foreground));
    g.setFont (makeFont ((float) height * 0.6f));
    // A long status squeezes a little, then ends in an ellipsis rather than being cut.
    g.drawFittedText (textToShow, 0, 0, width, height, juce::Justification::centred, 1, 0.85f);
}

//==============================================================================
int BVLookAndFeel::getTreeViewIndentSize (juce::TreeView&)
{
    return juce::roundToInt (20.0f * scale);   // LookAndFeel_V3's indent at scale 1
}

int BVLookAndFeel::getPopupMenuBorderSize()
{
    return juce::roundToInt (2.0f * scale);
}

int BVLookAndFeel::getDefaultScrollbarWidth()
{
    return juce::roundToInt (18.0f * scale);
}

//==============================================================================
void BVLookAndFeel::layoutFileBrowserComponent (juce::FileBrowserComponent& browser, juce::DirectoryContentsDisplayComponent* list,
                                                juce::FilePreviewComponent* preview, juce::ComboBox* pathBox,
                                                juce::TextEditor* nameBox, juce::Button* upButton)
{
    if (preview != nullptr)
    {
        LookAndFeel_V3::layoutFileBrowserComponent (browser, list, preview, pathBox, nameBox, upButton);
        return;
    }

    const auto px = pixels();
    const auto controlHeight = px (24), space = px (6);
    auto area = browser.getLocalBounds().reduced (getMargin(), 0).withTrimmedTop (getMargin());

    auto top = area.removeFromTop (controlHeight);
    upButton->setBounds (top.removeFromRight (px (50)));
    top.removeFromRight (space);
    pathBox->setBounds (top);

    // The box's caption is attached to its left.
    nameBox->setBounds (area.removeFromBottom (controlHeight).withTrimmedLeft (px (56)));
    area.removeFromBottom (space);
    area.removeFromTop (space);

    if (auto* listComponent = dynamic_cast<juce::Component*> (list))
        listComponent->setBounds (area);
}

void BVLookAndFeel::drawFileBrowserRow (juce::Graphics& g, int width, int height, const juce::File&, const juce::String& filename,
                                        juce::Image* icon, const juce::String& fileSizeDescription, const juce::String& fileTimeDescription,
                                        bool isDirectory, bool isItemSelected, int, juce::DirectoryContentsDisplayComponent& list)
{
    using Display = juce::DirectoryContentsDisplayComponent;
    auto* listComponent = dynamic_cast<juce::Component*> (&list);
    const auto colour = [&] (int id) { return listComponent != nullptr ? listComponent->findColour (id) : findColour (id); };
    const auto px = pixels();

    if (isItemSelected)
        g.fillAll (colour (Display::highlightColourId));

    const auto iconWidth = px (32), inset = px (2);
    const juce::Rectangle<int> iconArea (inset, inset, iconWidth - 2 * inset, height - 2 * inset);

    if (icon != nullptr && icon->isValid())
        g.drawImage (*icon, iconArea.toFloat(), juce::RectanglePlacement::centred | juce::RectanglePlacement::onlyReduceInSize);
    else if (auto* drawable = isDirectory ? getDefaultFolderImage() : getDefaultDocumentFileImage())
        drawable->drawWithin (g, iconArea.toFloat(), juce::RectanglePlacement::centred, 1.0f);

    g.setColour (colour (isItemSelected ? Display::highlightedTextColourId : Display::textColourId));
    g.setFont (makeFont ((float) height * 0.7f));

    // Size and date only where the name keeps most of the row.
    if (width <= px (450) || isDirectory)
    {
        g.drawFittedText (filename, iconWidth, 0, width - iconWidth, height, juce::Justification::centredLeft, 1);
        return;
    }

    const auto sizeX = juce::roundToInt ((float) width * 0.7f), dateX = juce::roundToInt ((float) width * 0.8f), end = px (8);
    g.drawFittedText (filename, iconWidth, 0, sizeX - iconWidth, height, juce::Justification::centredLeft, 1);
    g.setFont (makeFont ((float) height * 0.5f));
    g.setColour (juce::Colours::darkgrey);
    g.drawFittedText (fileSizeDescription, sizeX, 0, dateX - sizeX - end, height, juce::Justification::centredRight, 1);
    g.drawFittedText (fileTimeDescription, dateX, 0, width - end - dateX, height, juce::Justification::centredRight, 1);
}

//==============================================================================
void BVLookAndFeel::drawStretchableLayoutResizerBar (juce::Graphics& g, int w, int h, bool, bool isMouseOver, bool isMouseDragging)
{
    const auto active = isMouseOver || isMouseDragging;
    const auto alpha = active ? 1.0f : 0.5f;

    g.fillAll (active ? Palette::resizerBarColour.brighter (0.4f) : Palette::resizerBarColour);

    const auto cx = (float) (w / 2), cy = (float) (h / 2);
    const auto cr = 0.4f * (float) juce::jmin (w, h);

    g.setGradientFill (juce::ColourGradient (juce::Colours::white.withAlpha (alpha), cx + cr * 0.1f, cy + cr,
                                             juce::Colours::black.withAlpha (alpha), cx, cy - cr * 4.0f, true));
    g.fillEllipse (cx - cr, cy - cr, cr * 2.0f, cr * 2.0f);
}

//==============================================================================
void BVLookAndFeel::renderDrawableImage (juce::DrawableImage& target, const juce::Drawable* source, juce::Colour overlay)
{
    if (source == nullptr)
        return;

    const auto bounds = source->getDrawableBounds();
    juce::Image image (juce::Image::ARGB, juce::jmax (1, juce::roundToInt (bounds.getWidth())),
                       juce::jmax (1, juce::roundToInt (bounds.getHeight())), true);
    {
        juce::Graphics g (image);
        source->drawWithin (g, image.getBounds().toFloat(), juce::RectanglePlacement::centred, 1.0f);
    }

    target.setImage (image);
    target.setOverlayColour (overlay);
}
