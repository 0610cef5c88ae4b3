#pragma once

// A stand-in for the page around the grid: a drag container holding a
// viewport that shows the grid, and the modifier keys of a click.

#include "base/BelvoraSettings.h"
#include "gui/GridTestPage.h"
#include "gui/datapage/PresetButtonContainer.h"
#include "support/TestEnvironment.h"

namespace GridTests
{
    /** A fresh settings store in a private home, with the grid's keys at their defaults and the cell view. */
    struct GridSettings
    {
        GridSettings()
        {
            BelvoraSettings::releaseAppProperties();
            TestEnvironment::clearHome();
            BelvoraSettings::configureAppProperties();
            BelvoraSettings::setPresetButtonViewType (0);
        }

        ~GridSettings()   { BelvoraSettings::releaseAppProperties(); }
    };

    /** Caps of a product with `slots` slots that may delete presets. */
    inline DeviceCaps makeCaps (int slots, bool presetDelete = true, int steps = 5)
    {
        DeviceCaps caps;
        caps.isBuildValid = true;
        caps.caps = smallTestCaps();
        caps.caps.numPresets = slots;
        caps.caps.maxPresetSteps = steps;
        caps.presetDelete = presetDelete;
        caps.presetTextLabel = "Preset";
        caps.stepsTextLabel = "Steps";
        caps.tagsTextLabel = "Tags";
        caps.presetNameChange = true;
        caps.presetNameChars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 ";
        caps.presetNameLength = 15;
        return caps;
    }

    struct Host : juce::Component, juce::DragAndDropContainer
    {
        explicit Host (TestPage& page, const DeviceCaps& caps, int width = 400, int height = 300)
            : grid (page, &viewport)
        {
            addAndMakeVisible (viewport);
            viewport.setViewedComponent (&grid, false);
            grid.setCaps (caps);
            grid.rebuildButtons();
            setSize (width, height);
        }

        void resized() override
        {
            viewport.setBounds (getLocalBounds());
            grid.layoutContent (viewport.getMaximumVisibleWidth(), viewport.getMaximumVisibleHeight());
        }

        void show (const juce::ValueTree& node)
        {
            grid.setItem (node);
            resized();
        }

        juce::Viewport viewport;
        PresetButtonContainer grid;
    };

    /** The modifier keys (and mouse buttons) of the events made while it lives. */
    struct ScopedModifiers
    {
        explicit ScopedModifiers (int flags) : previous (juce::ModifierKeys::currentModifiers)
        {
            juce::ModifierKeys::currentModifiers = juce::ModifierKeys (flags);
        }

        ~ScopedModifiers()   { juce::ModifierKeys::currentModifiers = previous; }

        juce::ModifierKeys previous;
    };

    /** A left click on the slot's button with the modifier keys, as the grid sees it on mouse-down. */
    inline void click (PresetButtonContainer& grid, int slot, int modifiers = 0)
    {
        const ScopedModifiers mods (modifiers | juce::ModifierKeys::leftButtonModifier);
        grid.buttonClicked (grid.getButton (slot));
    }

    inline juce::MouseEvent eventOn (juce::Component& c, juce::ModifierKeys mods = {}, int clicks = 1)
    {
        const auto now = juce::Time::getCurrentTime();
        return { juce::Desktop::getInstance().getMainMouseSource(), { 5.0f, 5.0f }, mods, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
                 &c, &c, now, { 5.0f, 5.0f }, now, clicks, false };
    }

    inline juce::Array<int> toggled (const PresetButtonContainer& grid)
    {
        juce::Array<int> on;

        for (int i = 1; i < grid.getNumButtons(); ++i)
            if (grid.getButton (i)->getToggleState())
                on.add (i);

        return on;
    }

    /** The menu's items as "id:text" with a "-" after disabled ones, submenus included. */
    inline juce::StringArray describe (const juce::PopupMenu& menu)
    {
        juce::StringArray items;

        for (juce::PopupMenu::MenuItemIterator it (menu, true); it.next();)
            if (const auto& item = it.getItem(); item.itemID != 0)
                items.add (juce::String (item.itemID) + ":" + item.text + (item.isEnabled ? "" : "-"));

        return items;
    }
}
