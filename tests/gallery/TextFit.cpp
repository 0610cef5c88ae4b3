#include "gallery/TextFit.h"

#include <cxxabi.h>
#include <cstdlib>
#include <map>
#include <memory>

namespace
{
    struct Glyph
    {
        int number;
        juce::Font font;
        juce::Rectangle<float> ink, clip;   // in the painted component's coordinates
        float penX;
    };

    /** Passes everything to a real renderer and notes each glyph, grouped by the
        text call that drew it: a text call starts after any other operation, so
        the two paintings number their texts alike. */
    class Probe : public juce::LowLevelGraphicsContext
    {
    public:
        Probe (juce::LowLevelGraphicsContext& realContext, bool squeezeFonts)
            : real (realContext), squeeze (squeezeFonts)
        {
            setFont (real.getFont());
        }

        std::map<int, std::vector<Glyph>> texts;

        bool isVectorDevice() const override                       { return real.isVectorDevice(); }
        void setOrigin (juce::Point<int> o) override               { next(); real.setOrigin (o); transform = juce::AffineTransform::translation (o).followedBy (transform); }
        void addTransform (const juce::AffineTransform& t) override { next(); real.addTransform (t); transform = t.followedBy (transform); }
        float getPhysicalPixelScaleFactor() override               { return real.getPhysicalPixelScaleFactor(); }
        bool clipToRectangle (const juce::Rectangle<int>& r) override             { next(); return real.clipToRectangle (r); }
        bool clipToRectangleList (const juce::RectangleList<int>& r) override     { next(); return real.clipToRectangleList (r); }
        void excludeClipRectangle (const juce::Rectangle<int>& r) override        { next(); real.excludeClipRectangle (r); }
        void clipToPath (const juce::Path& p, const juce::AffineTransform& t) override       { next(); real.clipToPath (p, t); }
        void clipToImageAlpha (const juce::Image& i, const juce::AffineTransform& t) override { next(); real.clipToImageAlpha (i, t); }
        bool clipRegionIntersects (const juce::Rectangle<int>& r) override        { next(); return real.clipRegionIntersects (r); }
        juce::Rectangle<int> getClipBounds() const override        { const_cast<Probe*> (this)->next(); return real.getClipBounds(); }
        bool isClipEmpty() const override                          { return real.isClipEmpty(); }

        void saveState() override    { real.saveState(); saved.push_back ({ transform, font, squeezed }); }
        void restoreState() override
        {
            real.restoreState();

            if (! saved.empty())
            {
                std::tie (transform, font, squeezed) = saved.back();
                saved.pop_back();
            }
        }

        void beginTransparencyLayer (float opacity) override     { next(); real.beginTransparencyLayer (opacity); }
        void endTransparencyLayer() override                     { next(); real.endTransparencyLayer(); }
        void setFill (const juce::FillType& f) override          { next(); real.setFill (f); }
        void setOpacity (float o) override                       { next(); real.setOpacity (o); }
        void setInterpolationQuality (juce::Graphics::ResamplingQuality q) override { real.setInterpolationQuality (q); }
        void fillRect (const juce::Rectangle<int>& r, bool replace) override { next(); real.fillRect (r, replace); }
        void fillRect (const juce::Rectangle<float>& r) override { next(); real.fillRect (r); }
        void fillRectList (const juce::RectangleList<float>& r) override { next(); real.fillRectList (r); }
        void fillPath (const juce::Path& p, const juce::AffineTransform& t) override { next(); real.fillPath (p, t); }
        void drawImage (const juce::Image& i, const juce::AffineTransform& t) override { next(); real.drawImage (i, t); }
        void drawLine (const juce::Line<float>& l) override      { next(); real.drawLine (l); }

        void setFont (const juce::Font& f) override
        {
            font = f;
            squeezed = squeeze && f.getHorizontalScale() > 0.01f ? f.withHorizontalScale (f.getHorizontalScale() * 0.001f) : f;
            real.setFont (squeezed);
        }

        const juce::Font& getFont() override { return squeezed; }

        void drawGlyph (int glyphNumber, const juce::AffineTransform& t) override
        {
            real.drawGlyph (glyphNumber, t);

            juce::Path outline;
            juce::Rectangle<float> ink;

            if (auto typeface = squeezed.getTypefacePtr(); typeface != nullptr && typeface->getOutlineForGlyph (glyphNumber, outline))
                ink = outline.getBounds().transformedBy (juce::AffineTransform::scale (squeezed.getHeight() * squeezed.getHorizontalScale(), squeezed.getHeight())
                                                             .followedBy (t).followedBy (transform));

            const auto clip = real.getClipBounds().toFloat().transformedBy (transform);
            const auto pen = juce::Point<float>().transformedBy (t.followedBy (transform));
            texts[call].push_back ({ glyphNumber, squeezed, ink, clip, pen.x });
        }

    private:
        void next() { ++call; }

        juce::LowLevelGraphicsContext& real;
        const bool squeeze;
        int call = 0;
        juce::AffineTransform transform;
        juce::Font font, squeezed;
        std::vector<std::tuple<juce::AffineTransform, juce::Font, juce::Font>> saved;
    };

    std::map<int, std::vector<Glyph>> paintThroughProbe (juce::Component& component, bool squeeze)
    {
        juce::Image image (juce::Image::ARGB, juce::jmax (1, component.getWidth()), juce::jmax (1, component.getHeight()), true);
        juce::LowLevelGraphicsSoftwareRenderer renderer (image);
        Probe probe (renderer, squeeze);
        {
            juce::Graphics g (probe);
            component.paintEntireComponent (g, true);
        }
        return std::move (probe.texts);
    }

    /** The characters of a typeface's glyphs, to spell out what was drawn. */
    juce::juce_wchar characterOf (const juce::Font& font, int glyph)
    {
        static std::map<juce::String, std::map<int, juce::juce_wchar>> maps;
        auto& map = maps[font.getTypefaceName() + "/" + font.getTypefaceStyle()];

        if (map.empty())
        {
            const auto plain = font.withHeight (12.0f).withHorizontalScale (1.0f);

            for (juce::juce_wchar c = 0x21; c < 0x2200; ++c)
            {
                if (c == 0x7f)
                    c = 0xa1;

                juce::Array<int> glyphs;
                juce::Array<float> offsets;
                plain.getGlyphPositions (juce::String::charToString (c), glyphs, offsets);

                if (glyphs.size() == 1 && glyphs[0] > 0 && map.count (glyphs[0]) == 0)
                    map[glyphs[0]] = c;
            }
        }

        auto found = map.find (glyph);
        return found != map.end() ? found->second : (juce::juce_wchar) '?';
    }

    juce::String spell (const std::vector<Glyph>& glyphs)
    {
        juce::String text;
        const Glyph* previous = nullptr;

        for (auto& glyph : glyphs)
        {
            // Blanks are not drawn: a step wider than the glyph before and half a blank was one.
            if (previous != nullptr)
            {
                const auto before = juce::String::charToString (characterOf (previous->font, previous->number));

                if (glyph.penX - previous->penX > previous->font.getStringWidthFloat (before) + previous->font.getStringWidthFloat (" ") * 0.5f)
                    text << " ";
            }

            text << juce::String::charToString (characterOf (glyph.font, glyph.number));
            previous = &glyph;
        }

        return text;
    }

    juce::String classOf (const juce::Component& c)
    {
        int status = 0;
        std::unique_ptr<char, void (*) (void*)> name (abi::__cxa_demangle (typeid (c).name(), nullptr, nullptr, &status), std::free);
        const auto type = juce::String (status == 0 ? name.get() : typeid (c).name());
        return c.getName().isNotEmpty() ? type + " \"" + c.getName() + "\"" : type;
    }

    /** The deepest showing component whose box holds the whole area: the one that painted there. */
    juce::Component& componentHolding (juce::Component& parent, juce::Rectangle<float> area)
    {
        for (int i = parent.getNumChildComponents(); --i >= 0;)
        {
            auto& child = *parent.getChildComponent (i);

            if (child.isVisible() && child.getBounds().toFloat().expanded (1.0f).contains (area))
                return componentHolding (child, area - child.getPosition().toFloat());
        }

        return parent;
    }

    template <typename Area>
    bool inside (juce::Component& c)
    {
        for (auto* p = &c; p != nullptr; p = p->getParentComponent())
            if (dynamic_cast<Area*> (p) != nullptr)
                return true;

        return false;
    }

    bool isCutAcross (const Glyph& glyph)
    {
        const auto across = glyph.ink.getHorizontalRange(), shown = across.getIntersectionWith (glyph.clip.getHorizontalRange());
        const auto beside = ! glyph.ink.getVerticalRange().getIntersectionWith (glyph.clip.getVerticalRange()).isEmpty();
        return ! glyph.ink.isEmpty() && beside && across.getLength() - shown.getLength() > 1.0f;
    }

    bool isCutAlong (const Glyph& glyph, juce::Rectangle<float> box)
    {
        return ! glyph.ink.isEmpty() && glyph.ink.getIntersection (box).getHeight() < glyph.ink.getHeight() * 0.6f;
    }

    bool endsInEllipsis (const std::vector<Glyph>& shown, const std::vector<Glyph>& whole)
    {
        int dots = 0;

        for (auto i = (int) shown.size(); --i >= 0 && dots < 3 && characterOf (shown[(size_t) i].font, shown[(size_t) i].number) == '.';)
            ++dots;

        return dots == 3 || (! shown.empty() && characterOf (shown.back().font, shown.back().number) == 0x2026
                             && (whole.empty() || characterOf (whole.back().font, whole.back().number) != 0x2026));
    }
}

juce::Array<TextFit::Finding> TextFit::check (juce::Component& component)
{
    const auto shown = paintThroughProbe (component, false);
    const auto whole = paintThroughProbe (component, true);
    const auto empty = std::vector<Glyph>();
    juce::Array<Finding> findings;

    for (auto& [call, wholeGlyphs] : whole)
    {
        auto found = shown.find (call);
        auto& shownGlyphs = found != shown.end() ? found->second : empty;

        // The clip is what the drawing component shows of itself. A text is cut
        // across wherever it is hidden, along only by its own box or its window
        // (a row half scrolled out of view is cut by its parent on purpose).
        auto& owner = componentHolding (component, (shownGlyphs.empty() ? wholeGlyphs : shownGlyphs).front().clip);
        const auto ownBox = component.getLocalArea (&owner, owner.getLocalBounds()).toFloat();
        const auto window = component.getLocalBounds().toFloat();
        const auto edited = inside<juce::TextEditor> (owner);

        juce::Rectangle<float> box;
        bool cutByBox = false;

        for (auto& glyph : shownGlyphs)
        {
            box = box.isEmpty() ? glyph.ink : box.getUnion (glyph.ink);
            cutByBox = cutByBox || (! edited && (isCutAcross (glyph) || isCutAlong (glyph, ownBox))) || isCutAlong (glyph, window);
        }

        const auto curtailed = shownGlyphs.size() < wholeGlyphs.size();

        if (! curtailed && ! cutByBox)
            continue;

        if (box.isEmpty() && ! wholeGlyphs.empty())
            box = wholeGlyphs.front().clip;

        Finding finding;
        finding.text = spell (curtailed ? wholeGlyphs : shownGlyphs);
        finding.shown = spell (shownGlyphs);
        finding.where = classOf (owner);
        finding.box = box.getSmallestIntegerContainer();
        finding.ellipsized = curtailed && ! cutByBox && endsInEllipsis (shownGlyphs, wholeGlyphs);
        findings.add (finding);
    }

    return findings;
}

bool TextFit::isAllowed (const juce::String& screenName, const Finding& finding)
{
    // Texts a screen cuts on purpose, by screen and the text's start. None so far:
    // every text cut on purpose ends in an ellipsis, which passes by itself.
    static const std::vector<std::pair<juce::String, juce::String>> allowed {};

    for (auto& [screen, text] : allowed)
        if (screenName.contains (screen) && finding.text.startsWith (text))
            return true;

    return false;
}
