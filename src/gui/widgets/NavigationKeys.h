#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The keys of desktop programs that reach what the pointer reaches: the
    pages of a tab bar and the context menu of the focused item. */
namespace NavigationKeys
{
    /** Ctrl+Tab or Ctrl+Page Down shows the next enabled page, Ctrl+Shift+Tab or
        Ctrl+Page Up the previous one (round the ends), and gives the keyboard
        focus to that page's first control. False for other keys. */
    bool turnPage (juce::TabbedComponent& tabs, const juce::KeyPress& key);

    /** Whether the key turns pages, and another page is enabled to turn to. */
    bool isPageKey (const juce::KeyPress& key);
    bool hasPageToTurnTo (juce::TabbedComponent& tabs);

    /** Shift+F10 or the Menu key: the context menu of the focused item. */
    bool opensContextMenu (const juce::KeyPress& key);

    /** The framework on Linux reports the Menu key only as a change of the keys
        held, never as a key press: a window's keyStateChanged hands it on here,
        and it reaches the focused component as a key press. */
    bool passMenuKey (juce::Component& window, bool isKeyDown);

    /** Where a menu opened by keys goes: beside that area of the component. */
    juce::PopupMenu::Options besideArea (juce::Component& c, juce::Rectangle<int> area);
}
