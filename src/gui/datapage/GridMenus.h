#pragma once

#include "gui/widgets/ScopedAnswer.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

/** The pop-up menus of the data page (the grid's, the browser's and their drops), and the command calls
    the containers make. A menu is shown without blocking the message thread;
    the chosen id (0 when dismissed) reaches `done` once it closes. */
namespace GridMenus
{
    void show (juce::PopupMenu menu, juce::Component& owner, std::function<void (int)> done);

    /** The same, placed as `where` says (beside the focused item, for a menu opened by keys). */
    void show (juce::PopupMenu menu, juce::Component& owner, const juce::PopupMenu::Options& where, std::function<void (int)> done);

    /** Answers a menu instead of the user, with an item id (0 dismisses). */
    using Responder = std::function<int (const juce::PopupMenu&)>;

    /** While one lives, every grid menu goes to its responder at once, so tests read and answer them. */
    using ScopedResponder = ScopedAnswer<Responder>;

    /** The enabled state and text of the item with that id, searched through submenus; false when absent. */
    bool findItem (const juce::PopupMenu& menu, int id, juce::String* text = nullptr, bool* enabled = nullptr);

    /** Invokes the application command at once on the nearest command target above the component. */
    bool invokeCommand (juce::Component& from, int commandId);
}
