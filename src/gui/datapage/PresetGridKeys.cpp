#include "gui/datapage/PresetGridKeys.h"

#include "gui/datapage/DataPageEdits.h"
#include "gui/datapage/PresetButtonContainer.h"
#include "gui/widgets/NavigationKeys.h"

namespace
{
    bool isDragging (juce::Component& c)
    {
        auto* container = juce::DragAndDropContainer::findParentDragContainerFor (&c);
        return container != nullptr && container->isDragAndDropActive();
    }
}

PresetGridKeys::PresetGridKeys (PresetButtonContainer& gridToUse, juce::Viewport* viewportToUse)
    : grid (gridToUse), viewport (viewportToUse)
{
    juce::Desktop::getInstance().addFocusChangeListener (this);
}

PresetGridKeys::~PresetGridKeys()
{
    juce::Desktop::getInstance().removeFocusChangeListener (this);
}

//==============================================================================
bool PresetGridKeys::keyPressed (const juce::KeyPress& key, juce::Component* origin)
{
    // From the workspace's viewport, the keys that move in the grid; the rest go the page's way.
    if (origin != nullptr && origin == viewport)
        return viewport->getViewedComponent() == &grid && grid.getWorkingData() != nullptr && moveFocusByKey (key);

    // The page hands on what its other parts left: a Delete meant for the browser must not delete presets too.
    const auto fromElsewhere = origin != nullptr && origin != &grid && ! grid.isParentOf (origin) && origin != grid.owner.getPageComponent();

    if (fromElsewhere && (key == juce::KeyPress::deleteKey || key == juce::KeyPress::backspaceKey))
        return false;

    return keyPressed (key);
}

bool PresetGridKeys::keyPressed (const juce::KeyPress& key)
{
    if (grid.getWorkingData() == nullptr)
        return false;

    const auto mods = key.getModifiers();
    const auto code = key.getKeyCode();
    const auto ctrl = mods.isCommandDown();

    if (NavigationKeys::opensContextMenu (key))
        return showMenuByKeys();

    if (key == juce::KeyPress::escapeKey)
    {
        if (grid.getSelectedPresets().isEmpty() || isDragging (grid))
            return false;

        grid.setSelectedPresets ({});
        return true;
    }

    if (key == juce::KeyPress::deleteKey || key == juce::KeyPress::backspaceKey)
    {
        if (grid.isReadOnly() || ! (grid.getCaps().presetDelete || ! grid.isShowingActiveDevice()))
            return false;

        return grid.deleteSelectedPresets();
    }

    if (! ctrl)
        return false;

    const auto letter = juce::CharacterFunctions::toLowerCase ((juce::juce_wchar) code);

    if (letter == 'a')
    {
        grid.selectPresets (mods.isShiftDown());
        return true;
    }

    // The keys follow the rules of the menu's items.
    if (letter == 'c')  return grid.copySelected();
    if (letter == 'x')  return grid.canEdit() && grid.cutSelected();

    // At the slot the user chose by keys or by a click, never where the pointer happens to be.
    if (letter == 'v')
    {
        const auto slot = getTargetSlot();
        return grid.canPaste() && slot > 0 && grid.pasteClipboardTo (grid.getPasteSlotsFrom (slot));
    }

    if (code == '+' || code == '=' || code == juce::KeyPress::numberPadAdd)
    {
        grid.zoomButtons (1.1);
        return true;
    }

    if (code == '-' || code == juce::KeyPress::numberPadSubtract)
    {
        grid.zoomButtons (0.9);
        return true;
    }

    if (code == '0')
    {
        grid.setButtonScale (1.0);
        return true;
    }

    return false;
}

// By keys the menu is the focused slot's (else the selection's), beside it, brought
// into view; with neither, at the workspace's corner, with nowhere to paste.
bool PresetGridKeys::showMenuByKeys()
{
    if (! grid.isEnabled() || viewport == nullptr || ! viewport->hasKeyboardFocus (true))
        return false;

    const auto slot = getTargetSlot();

    if (! isShownSlot (slot))
    {
        grid.showMenu (0, NavigationKeys::besideArea (*viewport, { 0, 0, 1, 1 }));
        return true;
    }

    setFocusedSlot (slot, true);
    grid.showMenu (slot, NavigationKeys::besideArea (grid, grid.getButton (slot)->getBounds()));
    return true;
}

//==============================================================================
bool PresetGridKeys::isShownSlot (int slot) const
{
    auto* button = grid.getButton (slot);
    return slot > 0 && button != nullptr && button->isVisible();
}

void PresetGridKeys::setFocusedSlot (int slot, bool bringIntoView)
{
    if (! isShownSlot (slot))
        return;

    focusedSlot = slot;
    updateFocusRing();

    if (! bringIntoView || viewport == nullptr)
        return;

    const auto view = viewport->getViewArea();
    const auto bounds = grid.getButton (slot)->getBounds();

    if (bounds.getY() < view.getY() || bounds.getHeight() > view.getHeight())
        viewport->setViewPosition (view.getX(), bounds.getY());
    else if (bounds.getBottom() > view.getBottom())
        viewport->setViewPosition (view.getX(), bounds.getBottom() - view.getHeight());
}

void PresetGridKeys::clickedOn (int slot, bool extending)
{
    setFocusedSlot (slot, false);

    if (! extending)
        anchorSlot = slot;
}

void PresetGridKeys::forgetSlots()
{
    focusedSlot = anchorSlot = 0;
}

void PresetGridKeys::forgetButtons()
{
    focusedSlot = ringedSlot = anchorSlot = 0;
}

void PresetGridKeys::updateFocusRing()
{
    const auto keysHere = viewport != nullptr && viewport->getViewedComponent() == &grid && viewport->hasKeyboardFocus (true);
    const auto slot = keysHere && isShownSlot (focusedSlot) ? focusedSlot : 0;

    if (slot == ringedSlot)
        return;

    if (auto* old = grid.getButton (ringedSlot))
        old->setFocusRing (false);

    ringedSlot = slot;

    // In front of its neighbours, which overlap its edges by a pixel.
    if (auto* ringed = slot > 0 ? grid.getButton (slot) : nullptr)
    {
        ringed->toFront (false);
        ringed->setFocusRing (true);
    }
}

int PresetGridKeys::firstSlotInView() const
{
    const auto view = viewport != nullptr ? viewport->getViewArea() : grid.getLocalBounds();
    const auto& selected = grid.getSelectedPresets();

    if (! selected.isEmpty() && isShownSlot (selected.getFirst())
        && view.contains (grid.getButton (selected.getFirst())->getBounds()))
        return selected.getFirst();

    int first = 0;

    for (int slot = 1; slot < grid.getNumButtons(); ++slot)
    {
        if (! isShownSlot (slot))
            continue;

        if (view.intersects (grid.getButton (slot)->getBounds()))
            return slot;

        if (first == 0)
            first = slot;
    }

    return first;
}

// Left and Right go by slot, Up and Down to the nearest button a row away, the
// page keys a view's height away, Home and End to the first and last slot.
int PresetGridKeys::findSlotFrom (int from, int keyCode) const
{
    juce::Array<int> shown;

    for (int slot = 1; slot < grid.getNumButtons(); ++slot)
        if (isShownSlot (slot))
            shown.add (slot);

    const auto index = shown.indexOf (from);

    if (shown.isEmpty() || index < 0)
        return 0;

    if (keyCode == juce::KeyPress::homeKey)    return shown.getFirst();
    if (keyCode == juce::KeyPress::endKey)     return shown.getLast();
    if (keyCode == juce::KeyPress::leftKey)    return shown[juce::jmax (0, index - 1)];
    if (keyCode == juce::KeyPress::rightKey)   return shown[juce::jmin (shown.size() - 1, index + 1)];

    const auto bounds = grid.getButton (from)->getBounds();
    const auto page = viewport != nullptr ? juce::jmax (bounds.getHeight(), viewport->getViewHeight() - bounds.getHeight()) : bounds.getHeight();
    const auto step = keyCode == juce::KeyPress::upKey || keyCode == juce::KeyPress::downKey ? bounds.getHeight() : page;
    const auto up = keyCode == juce::KeyPress::upKey || keyCode == juce::KeyPress::pageUpKey;
    const auto aim = bounds.getCentre().translated (0, up ? -step : step);

    auto nearest = from;
    auto best = std::numeric_limits<int>::max();

    for (auto slot : shown)
    {
        const auto d = grid.getButton (slot)->getBounds().getCentre() - aim;

        if (const auto distance = d.x * d.x + d.y * d.y; distance < best)
        {
            best = distance;
            nearest = slot;
        }
    }

    return nearest;
}

void PresetGridKeys::selectRange (int from, int to)
{
    juce::Array<int> range;

    for (int slot = juce::jmin (from, to); slot <= juce::jmax (from, to); ++slot)
        if (auto* button = grid.getButton (slot); slot > 0 && button != nullptr && ! button->isUnselectable())
            range.add (slot);

    grid.setSelectedPresets (range);
}

bool PresetGridKeys::moveFocusByKey (const juce::KeyPress& key)
{
    const auto mods = key.getModifiers();
    const auto code = key.getKeyCode();

    if (mods.isAltDown())
        return false;

    // Space or Return selects the focused slot (Ctrl+Space adds it or takes it out).
    if (code == juce::KeyPress::spaceKey || code == juce::KeyPress::returnKey)
    {
        if (mods.isShiftDown() || (mods.isCommandDown() && code == juce::KeyPress::returnKey))
            return false;

        if (! isShownSlot (focusedSlot))
        {
            setFocusedSlot (firstSlotInView(), true);
            return focusedSlot > 0;
        }

        setFocusedSlot (focusedSlot, true);
        anchorSlot = focusedSlot;

        if (grid.getButton (focusedSlot)->isUnselectable())
            return true;

        auto slots = mods.isCommandDown() ? grid.getSelectedPresets() : juce::Array<int>();

        if (slots.contains (focusedSlot))
            slots.removeAllInstancesOf (focusedSlot);
        else
            slots.add (focusedSlot);

        grid.setSelectedPresets (slots);
        return true;
    }

    const int moves[] = { juce::KeyPress::leftKey, juce::KeyPress::rightKey, juce::KeyPress::upKey, juce::KeyPress::downKey,
                          juce::KeyPress::homeKey, juce::KeyPress::endKey, juce::KeyPress::pageUpKey, juce::KeyPress::pageDownKey };

    if (mods.isCommandDown() || std::find (std::begin (moves), std::end (moves), code) == std::end (moves))
        return false;

    // The first key shows where the keys are (the selection, or the first slot in view) before it moves them.
    const auto from = focusedSlot;
    const auto to = isShownSlot (from) ? findSlotFrom (from, code) : firstSlotInView();

    if (to == 0)
        return false;

    if (mods.isShiftDown())
    {
        if (! isShownSlot (anchorSlot) || grid.getSelectedPresets().isEmpty())
            anchorSlot = isShownSlot (from) ? from : to;

        selectRange (anchorSlot, to);
    }

    setFocusedSlot (to, true);
    return true;
}

int PresetGridKeys::getTargetSlot() const
{
    if (isShownSlot (focusedSlot))
        return focusedSlot;

    const auto& selected = grid.getSelectedPresets();
    return selected.isEmpty() ? 0 : selected.getFirst();
}

juce::Array<int> PresetGridKeys::getChosenSlots() const
{
    const auto& selected = grid.getSelectedPresets();

    if (! selected.isEmpty())
        return selected;

    const auto* data = grid.getWorkingData();

    if (data != nullptr && isShownSlot (focusedSlot) && data->isPresetSlotUsed (focusedSlot))
        return { focusedSlot };

    return {};
}
