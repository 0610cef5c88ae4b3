#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class PresetButtonContainer;

/** The preset grid by keys: the focused slot, ringed while the workspace has the
    keyboard focus, its moves (the arrows, Home, End, the page keys), and the key
    commands of the grid (select, clipboard, delete, zoom, its menu). */
class PresetGridKeys : private juce::FocusChangeListener
{
public:
    PresetGridKeys (PresetButtonContainer& grid, juce::Viewport* viewport);
    ~PresetGridKeys() override;

    /** A key the grid heard from `origin`: from the workspace's viewport the moves, from
        the rest of the page all but a Delete meant for another part. */
    bool keyPressed (const juce::KeyPress& key, juce::Component* origin);

    /** A key command of the grid; false for a key it leaves to others. */
    bool keyPressed (const juce::KeyPress& key);

    /** 0 until the user placed it. */
    int getFocusedSlot() const noexcept                 { return focusedSlot; }

    /** Moves the focused slot there (brought into view when asked); nothing for a slot without a shown button. */
    void setFocusedSlot (int slot, bool bringIntoView);

    /** A click on a slot moves the focus there, not scrolled (the content would move
        under the pointer); without Shift it is where Shift with the arrows extends from. */
    void clickedOn (int slot, bool extending);

    /** Another item shown: the keys start from where the user next puts them. */
    void forgetSlots();

    /** The buttons were rebuilt: no ring is left on any. */
    void forgetButtons();

    void updateFocusRing();

    /** Where a paste by keys or from the toolbar goes: the focused slot, else the first selected one; 0 for none. */
    int getTargetSlot() const;

    /** What a cut or a copy takes: the selection, else the preset of the focused slot. */
    juce::Array<int> getChosenSlots() const;

private:
    void globalFocusChanged (juce::Component*) override     { updateFocusRing(); }

    bool moveFocusByKey (const juce::KeyPress& key);
    bool showMenuByKeys();
    int findSlotFrom (int from, int keyCode) const;
    int firstSlotInView() const;
    bool isShownSlot (int slot) const;
    void selectRange (int from, int to);

    PresetButtonContainer& grid;
    juce::Viewport* viewport;
    int focusedSlot = 0, ringedSlot = 0, anchorSlot = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PresetGridKeys)
};
