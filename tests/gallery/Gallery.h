#pragma once

#include "gui/BVLookAndFeel.h"

#include <functional>
#include <memory>
#include <vector>

/** The screen gallery: every window, page, dialog and widget state, rendered at
    UI scales 1 and 2 into build/screens. A screen is one line anywhere in
    tests/gallery:

        BELVORA_SCREEN ("Dialogs/About", [] (BVLookAndFeel& laf) { return std::make_unique<AboutBox> (...); });

    The maker gets the look-and-feel of the scale being rendered (it is also the
    default look-and-feel meanwhile) and returns a component at its final size. */
namespace Gallery
{
    using Maker = std::function<std::unique_ptr<juce::Component> (BVLookAndFeel&)>;

    struct Screen
    {
        juce::String name;   // "Section/Title"
        Maker make;
    };

    std::vector<Screen>& screens();

    struct Registration
    {
        Registration (const char* name, Maker make) { screens().push_back ({ name, std::move (make) }); }
    };

    /** A component that paints with a function: for drawing widget states directly. */
    struct Painter : juce::Component
    {
        Painter (int w, int h, std::function<void (juce::Graphics&, Painter&)> paintFunction)
            : draw (std::move (paintFunction))
        {
            setSize (w, h);
        }

        void paint (juce::Graphics& g) override { draw (g, *this); }

        std::function<void (juce::Graphics&, Painter&)> draw;
    };

    /** A page that lays its children out in rows, with a caption above each row. */
    struct Sheet : juce::Component
    {
        explicit Sheet (BVLookAndFeel& laf);

        /** Starts a new row under a caption. */
        void row (const juce::String& caption);

        /** Adds a child to the current row, owned by the sheet. */
        juce::Component& add (std::unique_ptr<juce::Component> child, int width, int height);

        template <typename T, typename... Args>
        T& make (int width, int height, Args&&... args)
        {
            return static_cast<T&> (add (std::make_unique<T> (std::forward<Args> (args)...), width, height));
        }

        /** A look-and-feel that lives as long as the sheet's children. */
        template <typename T, typename... Args>
        T& own (Args&&... args)
        {
            looks.push_back (std::make_unique<T> (std::forward<Args> (args)...));
            return static_cast<T&> (*looks.back());
        }

        /** Sizes the sheet around its rows; call when done. */
        std::unique_ptr<juce::Component> finish (std::unique_ptr<Sheet> self);

        void paint (juce::Graphics& g) override;

        float s;
        int gap, x, y, rowHeight = 0, widest = 0;
        std::vector<std::pair<juce::String, juce::Point<int>>> captions;
        std::vector<std::unique_ptr<juce::LookAndFeel>> looks;
        std::vector<std::unique_ptr<juce::Component>> children;
    };

    /** Checks the text of a component that the screen returns only as a picture
        (the running program's window), while it is still on screen. */
    void checkText (juce::Component& shown);

    /** Scales a design size by the look-and-feel's scale. */
    inline int px (BVLookAndFeel& laf, float v) { return juce::roundToInt (v * laf.getScale()); }
}

#define BELVORA_SCREEN(name, ...) \
    static const Gallery::Registration JUCE_JOIN_MACRO (galleryScreen, __LINE__) (name, __VA_ARGS__)
