#include "gui/datapage/PresetButtonContainer.h"

#include "base/BelvoraSettings.h"
#include "app/Nexus.h"
#include "model/SourceTreeIds.h"
#include "devices/DeviceManager.h"
#include "gui/BVLookAndFeel.h"
#include "gui/CommandIDs.h"
#include "gui/datapage/DataPageEdits.h"
#include "model/SourceTree.h"

namespace
{
    constexpr double minScale = 0.5, maxScale = 4.0;

    double readScale (const char* key)
    {
        return juce::jlimit (minScale, maxScale, BelvoraSettings::getUserSettings().getDoubleValue (key, 1.0));
    }

    std::shared_ptr<const DeviceData> activeUnitData()
    {
        auto* devices = Nexus::getDeviceManager();
        return devices != nullptr ? devices->getActiveDeviceData() : nullptr;
    }

    juce::String plural (const juce::String& text, bool many)   { return many ? text + "s" : text; }
}

/** The "Button Size" slider of the menu; it reaches the grid only while the grid exists. */
class PresetButtonContainer::SizeSlider : public juce::PopupMenu::CustomComponent,
                                          private juce::Slider::Listener
{
public:
    SizeSlider (PresetButtonContainer& gridToScale, double value, int height)
        : juce::PopupMenu::CustomComponent (false), grid (&gridToScale), idealHeight (height)
    {
        slider.setRange (minScale, maxScale, 0.05);
        slider.setValue (value, juce::dontSendNotification);
        slider.addListener (this);
        addAndMakeVisible (slider);
    }

    void getIdealSize (int& width, int& height) override    { width = 200; height = idealHeight; }
    void resized() override                                 { slider.setBounds (getLocalBounds()); }
    juce::Slider& getSlider() noexcept                      { return slider; }

private:
    void sliderValueChanged (juce::Slider* s) override
    {
        if (grid != nullptr)
            grid->sliderValueChanged (s);
    }

    juce::WeakReference<PresetButtonContainer> grid;
    juce::Slider slider { juce::Slider::LinearHorizontal, juce::Slider::NoTextBox };
    int idealHeight;
};

//==============================================================================
PresetButtonContainer::PresetButtonContainer (DataPageEdits& pageToUse, juce::Viewport* viewportToUse)
    : owner (pageToUse),
      viewport (viewportToUse),
      cellScale (readScale ("presetCellButtonScale")),
      iconScale (readScale ("presetIconButtonScale")),
      viewMode (BelvoraSettings::getPresetButtonViewType() == 0 ? 0 : 1)
{
    setWantsKeyboardFocus (true);

    // The workspace's viewport holds the focus: the arrows reach the grid before they scroll it.
    if (viewport != nullptr)
        viewport->addKeyListener (this);
}

PresetButtonContainer::~PresetButtonContainer()
{
    if (viewport != nullptr)
        viewport->removeKeyListener (this);

    dataHandle.reset();
    buttons.clear();
}

void PresetButtonContainer::setCaps (const DeviceCaps& newCaps)
{
    // Presets of another product or format would paste into slots that may not exist.
    if (clipboard != nullptr && ! clipboard->isSameDeviceType (newCaps.caps))
        clipboard.reset();

    caps = newCaps;
}

bool PresetButtonContainer::isReadOnly() const
{
    return SourceTree::isUserNode (item);
}

bool PresetButtonContainer::canEdit() const
{
    return caps.presetDelete && ! isReadOnly();
}

bool PresetButtonContainer::canPaste() const
{
    return clipboard != nullptr && ! isReadOnly();
}

float PresetButtonContainer::baseFontHeight()
{
    auto* laf = BVLookAndFeel::of (*this);
    return laf != nullptr ? laf->getFontSize() : BVLookAndFeel::Defaults::fontSize;
}

//==============================================================================
void PresetButtonContainer::setItem (const juce::ValueTree& newItem)
{
    if (newItem != item)
        keys.forgetSlots();

    item = newItem;
    selectedSlots.clear();

    auto* working = getWorkingData();
    dataHandle = working != nullptr ? std::shared_ptr<const DeviceData> (working, [] (const DeviceData*) {}) : nullptr;

    updateForItem();
    restoreSelection();
    keys.updateFocusRing();
}

void PresetButtonContainer::clearItem()
{
    storeSelection();
    PanelContainerBase::clearItem();
    dataHandle.reset();
}

void PresetButtonContainer::updateForItem()
{
    const auto where = SourceTree::getCategoryOf (item);

    if (! where.category.isVoid())
    {
        if (where.category == juce::var (SourceTreeIds::cloudCategory))
        {
            const auto* data = getWorkingData();
            showEmptySlots = data != nullptr && data->hasGaps();
        }
        else
        {
            showEmptySlots = true;
        }
    }

    refreshButtons();
}

void PresetButtonContainer::storeSelection()
{
    if (! item.isValid())
        return;

    if (selectedSlots.isEmpty())
    {
        item.removeProperty (SourceTreeIds::selectionList, nullptr);
        return;
    }

    juce::Array<juce::var> list;

    for (auto slot : selectedSlots)
        list.add (slot);

    item.setProperty (SourceTreeIds::selectionList, list, nullptr);
}

void PresetButtonContainer::restoreSelection()
{
    if (const auto* list = item.getProperty (SourceTreeIds::selectionList).getArray())
    {
        for (const auto& v : *list)
        {
            const auto slot = (int) v;

            if (auto* button = buttons[slot]; button != nullptr && slot > 0 && ! button->isUnselectable()
                                               && ! selectedSlots.contains (slot))
            {
                selectedSlots.add (slot);
                button->setToggleState (true, juce::dontSendNotification);
            }
        }
    }
}

void PresetButtonContainer::dropVanishedFromSelection()
{
    const auto* data = getWorkingData();
    bool removed = false;

    for (int i = selectedSlots.size(); --i >= 0;)
    {
        const auto slot = selectedSlots.getUnchecked (i);

        if (data == nullptr || ! data->isPresetSlotUsed (slot))
        {
            if (auto* button = buttons[slot])
                button->setToggleState (false, juce::dontSendNotification);

            selectedSlots.remove (i);
            removed = true;
        }
    }

    if (removed)
        sendChangeMessage();
}

//==============================================================================
void PresetButtonContainer::rebuildButtons()
{
    dataHandle = nullptr;
    buttons.clear();
    selectedSlots.clear();
    pendingSelectOnly = false;
    keys.forgetButtons();

    const auto n = caps.caps.numPresets;

    for (int slot = 0; slot < n; ++slot)
    {
        auto* button = buttons.add (new PresetButton (slot));

        if (slot == 0)
        {
            button->setEnabled (false);
            addChildComponent (button);
            continue;
        }

        button->setTriggeredOnMouseDown (true);
        button->addListener (this);
        button->addMouseListener (this, false);
        addAndMakeVisible (button);
    }

    setCellScale (cellScale, false);
    setIconScale (iconScale, false);
    PresetButton::setAllViewModes (buttons, viewMode);

    if (item.isValid())
    {
        auto* working = getWorkingData();
        dataHandle = working != nullptr ? std::shared_ptr<const DeviceData> (working, [] (const DeviceData*) {}) : nullptr;
        refreshButtons();
    }
}

// The unit's data as the shown set holds it. A send replaces the set's copy with
// what was sent, so the device manager's snapshot is not the one to compare with.
const DeviceData* PresetButtonContainer::shownUnitData() const
{
    const auto* set = SourceTree::getDataSet (item);

    if (set == nullptr || set->getLiveData() == nullptr || activeUnitData() == nullptr
        || SourceTree::getCategoryOf (item).category != juce::var (SourceTreeIds::deviceCategory))
        return nullptr;

    return set->getLiveData().get();
}

void PresetButtonContainer::refreshButtons()
{
    pendingSelectOnly = false;
    showsActiveDevice = shownUnitData() != nullptr;

    bool relayoutNeeded = false;

    for (int slot = 1; slot < buttons.size(); ++slot)
    {
        auto* button = buttons.getUnchecked (slot);
        button->setPresetData (dataHandle, showsActiveDevice);
        button->setToggleState (selectedSlots.contains (slot), juce::dontSendNotification);
        relayoutNeeded = updateButton (slot) || relayoutNeeded;
    }

    if (relayoutNeeded)
        relayout();
}

bool PresetButtonContainer::updateButton (int slot)
{
    auto* button = buttons[slot];

    if (button == nullptr || slot == 0)
        return false;

    const auto* data = getWorkingData();
    const auto* preset = data != nullptr ? data->getPreset (slot) : nullptr;
    const auto iconHidden = viewMode == 1 && ! showEmptySlots;
    bool relayoutNeeded = false;

    auto highlighted = preset != nullptr && preset->isModified();

    if (showsActiveDevice && preset == nullptr)
        if (const auto* unit = shownUnitData(); unit != nullptr && unit->isPresetSlotUsed (slot))
            highlighted = true;

    button->setHighlighted (highlighted);

    if (preset != nullptr)
    {
        relayoutNeeded = ! button->isVisible() && iconHidden;
        button->setButtonText (viewMode == 0 ? juce::String (slot) + ": " + preset->getName() : preset->getName());
        button->setUnselectable (false);
        button->setEnabled (true);
        button->setVisible (true);
    }
    else
    {
        relayoutNeeded = button->isVisible() && iconHidden;
        button->setToggleState (false, juce::dontSendNotification);
        selectedSlots.removeAllInstancesOf (slot);
        button->setButtonText (viewMode == 0 ? "<" + juce::String (slot) + ">" : juce::String ("<empty>"));
        button->setUnselectable (true);
        button->setEnabled (false);
        button->setVisible (showEmptySlots);
    }

    button->repaint();
    return relayoutNeeded;
}

void PresetButtonContainer::presetDataChanged (const juce::ValueTree& source, const juce::Array<int>& slots)
{
    if (source != item)
        return;

    // No slots named: the whole data may have changed (a download taken over at once).
    if (slots.isEmpty())
        return refreshButtons();

    bool relayoutNeeded = false;

    for (auto slot : slots)
        relayoutNeeded = updateButton (slot) || relayoutNeeded;

    if (relayoutNeeded)
        relayout();
}

//==============================================================================
void PresetButtonContainer::setSelectedPresets (const juce::Array<int>& slots)
{
    for (auto slot : selectedSlots)
        if (auto* button = buttons[slot])
            button->setToggleState (false, juce::dontSendNotification);

    selectedSlots.clear();

    for (auto slot : slots)
    {
        auto* button = buttons[slot];

        if (button != nullptr && slot > 0 && ! button->isUnselectable() && ! selectedSlots.contains (slot))
        {
            selectedSlots.add (slot);
            button->setToggleState (true, juce::dontSendNotification);
        }
    }

    sendChangeMessage();
}

juce::Array<int> PresetButtonContainer::getUserPresetSlots (const DeviceData& data)
{
    juce::Array<int> slots;

    for (int slot = 1; slot < data.getNumSlots(); ++slot)
        if (data.isPresetDifferent (slot) || data.isPresetModified (slot))
            slots.add (slot);

    return slots;
}

void PresetButtonContainer::selectPresets (bool userOnly)
{
    const auto* data = getWorkingData();
    const auto user = data != nullptr ? getUserPresetSlots (*data) : juce::Array<int>();
    juce::Array<int> slots;

    for (int slot = 1; slot < buttons.size(); ++slot)
    {
        if (buttons.getUnchecked (slot)->isUnselectable())
            continue;

        if (! userOnly || user.contains (slot))
            slots.add (slot);
    }

    setSelectedPresets (slots);
}

bool PresetButtonContainer::deleteSelectedPresets()
{
    return deleteSlots (selectedSlots);
}

bool PresetButtonContainer::deleteSlots (juce::Array<int> slots)
{
    if (slots.isEmpty() || getWorkingData() == nullptr)
        return false;

    for (auto slot : selectedSlots)
        if (auto* button = buttons[slot])
            button->setToggleState (false, juce::dontSendNotification);

    selectedSlots.clear();
    owner.deletePresets (item, slots, true, true);
    sendChangeMessage();
    return true;
}

void PresetButtonContainer::selectOnly (PresetButton* button)
{
    if (! selectedSlots.isEmpty())
    {
        for (auto slot : selectedSlots)
            if (auto* b = buttons[slot])
                b->setToggleState (false, juce::dontSendNotification);

        button->setToggleState (true, juce::dontSendNotification);
    }

    selectedSlots.clear();

    if (button->getToggleState())
        selectedSlots.add (button->getSlotNumber());

    pendingSelectOnly = false;
    sendChangeMessage();
}

void PresetButtonContainer::buttonClicked (juce::Button* b)
{
    auto* button = dynamic_cast<PresetButton*> (b);
    const auto mods = juce::ModifierKeys::currentModifiers;

    if (button == nullptr || ! mods.isLeftButtonDown() || mods.isRightButtonDown())
        return;

    const auto slot = button->getSlotNumber();
    keys.clickedOn (slot, mods.isShiftDown());

    const auto wasSelected = selectedSlots.contains (slot);
    button->setToggleState (! button->getToggleState(), juce::dontSendNotification);

    if (mods.isCommandDown())
    {
        if (button->getToggleState() && ! wasSelected)
            selectedSlots.add (slot);
        else if (! button->getToggleState() && wasSelected)
            selectedSlots.removeAllInstancesOf (slot);
    }
    else if (mods.isShiftDown())
    {
        const auto anchor = selectedSlots.isEmpty() ? 1 : selectedSlots.getLast();

        for (int s = juce::jmin (anchor, slot); s <= juce::jmax (anchor, slot); ++s)
        {
            auto* other = buttons[s];

            if (other != nullptr && s > 0 && ! other->isUnselectable() && ! selectedSlots.contains (s))
            {
                selectedSlots.add (s);
                other->setToggleState (true, juce::dontSendNotification);
            }
        }

        // The clicked slot is in the range, so it stays selected: its button must show it.
        if (selectedSlots.contains (slot))
            button->setToggleState (true, juce::dontSendNotification);
    }
    else if (wasSelected)
    {
        button->setToggleState (true, juce::dontSendNotification);
        pendingSelectOnly = true;   // a drag may still carry the whole selection
    }
    else
    {
        selectOnly (button);
        return;
    }

    sendChangeMessage();
}

void PresetButtonContainer::mouseUp (const juce::MouseEvent& e)
{
    if (e.mods.isPopupMenu())
        return showMenu (e);

    if (pendingSelectOnly)
        if (auto* button = dynamic_cast<PresetButton*> (e.eventComponent))
            selectOnly (button);
}

void PresetButtonContainer::mouseDoubleClick (const juce::MouseEvent& e)
{
    // Two quick right clicks are two menus, not a double click.
    if (e.mods.isPopupMenu())
        return;

    if (dynamic_cast<PresetButton*> (e.eventComponent) != nullptr)
        owner.editPresetName();
}

void PresetButtonContainer::mouseWheelMove (const juce::MouseEvent& e, const juce::MouseWheelDetails& wheel)
{
    // A button's wheel reaches this twice: as the button's listener, and passed up from the
    // button as its parent. Only the latter goes on, so the viewport scrolls once.
    if (e.eventComponent != this)
        return;

    if (e.mods.isCommandDown() && e.originalComponent == this)
    {
        zoomButtons (wheel.deltaY < 0 ? 0.9 : 1.1);
        return;
    }

    PanelContainerBase::mouseWheelMove (e, wheel);
}

//==============================================================================
void PresetButtonContainer::setCellScale (double scale, bool relayoutNow)
{
    applyScale (cellScale, scale, "presetCellButtonScale", { 125, 25 }, cellWidth, cellHeight, relayoutNow);
}

void PresetButtonContainer::setIconScale (double scale, bool relayoutNow)
{
    applyScale (iconScale, scale, "presetIconButtonScale", { 152, 95 }, iconWidth, iconHeight, relayoutNow);
}

void PresetButtonContainer::applyScale (double& stored, double scale, const char* key, juce::Point<int> designSize,
                                        int& width, int& height, bool relayoutNow)
{
    stored = juce::jlimit (minScale, maxScale, scale);
    BelvoraSettings::getUserSettings().setValue (key, stored);
    const auto k = stored * (double) getUiScale();
    width = (int) std::nearbyint (designSize.x * k);    // to nearest, ties to even
    height = (int) std::nearbyint (designSize.y * k);

    if (! buttons.isEmpty())
    {
        auto& button = *buttons.getUnchecked (0);
        PresetButtonHelper& painter = &width == &cellWidth ? static_cast<PresetButtonHelper&> (button.getCellPainter())
                                                           : static_cast<PresetButtonHelper&> (button.getIconPainter());
        painter.setButtonSize (width, height);
    }

    if (relayoutNow)
        relayout();
}

void PresetButtonContainer::setButtonScale (double scale)
{
    if (viewMode == 0)
        setCellScale (scale, true);
    else
        setIconScale (scale, true);
}

void PresetButtonContainer::zoomButtons (double factor)
{
    setButtonScale ((viewMode == 0 ? cellScale : iconScale) * factor);
}

juce::Point<int> PresetButtonContainer::getButtonSize() const
{
    return viewMode == 0 ? juce::Point<int> (cellWidth, cellHeight) : juce::Point<int> (iconWidth, iconHeight);
}

void PresetButtonContainer::setIconView (int mode)
{
    viewMode = mode == 0 ? 0 : 1;
    BelvoraSettings::setPresetButtonViewType (viewMode);
    refreshButtons();
    PresetButton::setAllViewModes (buttons, viewMode);
    relayout();
}

//==============================================================================
void PresetButtonContainer::relayout()
{
    const auto height = viewport != nullptr ? viewport->getMaximumVisibleHeight() : getHeight();
    layoutContent (getWidth(), height);
}

void PresetButtonContainer::layoutContent (int width, int height)
{
    if (viewMode == 1)
        layoutIcons (width, height);
    else
        layoutCells (width, height);

    setLayoutHeight (height);
}

void PresetButtonContainer::layoutCells (int width, int height)
{
    const auto w = juce::jmin (cellWidth, width), h = cellHeight;

    if (w <= 0 || h <= 0)
        return;

    const auto cols = width / w;
    const auto bw = width / juce::jmax (cols, 1);
    int x = 0, y = 0, bottom = 0;

    for (int slot = 1; slot < buttons.size(); ++slot)
    {
        auto* button = buttons.getUnchecked (slot);
        button->setBounds (x, y, bw, h);
        bottom = y + h;
        x += bw - 1;

        if (x + bw >= width)
        {
            button->setBounds (button->getX(), y, width - button->getX(), h);   // the row's last reaches the edge
            x = 0;
            y += h - 1;
        }
    }

    setSize (width, juce::jmax (height, bottom));
}

void PresetButtonContainer::layoutIcons (int width, int height)
{
    const auto w = juce::jmin (iconWidth, width), h = iconHeight;

    if (w <= 0 || h <= 0)
        return;

    // The gaps grow with the tiles' UI scale (not with the user's zoom).
    const auto s = getUiScale();
    const auto margin = juce::roundToInt (5.0f * s), gap = juce::roundToInt (4.0f * s), overlap = juce::roundToInt (s);
    int x = margin, y = margin, bottom = 0;

    for (int slot = 1; slot < buttons.size(); ++slot)
    {
        auto* button = buttons.getUnchecked (slot);

        if (! button->isVisible())
            continue;

        button->setBounds (x, y, w, h);
        bottom = y + h;
        x += w + gap;

        if (x + w >= width)
        {
            x = margin;
            y += h - overlap;
        }
    }

    setSize (width, juce::jmax (height, bottom));
}

PresetButton* PresetButtonContainer::getButtonAt (juce::Point<int> position) const
{
    for (int slot = 1; slot < buttons.size(); ++slot)
    {
        auto* button = buttons.getUnchecked (slot);

        if (button->isVisible() && button->getBounds().contains (position))
            return button;
    }

    return nullptr;
}

void PresetButtonContainer::findLassoItemsInArea (juce::Array<PresetButton*>& results, const juce::Rectangle<int>& area)
{
    for (auto* button : buttons)
        if (! button->isUnselectable() && button->getBounds().intersects (area))
            results.add (button);
}

//==============================================================================
int PresetButtonContainer::slotOfEvent (const juce::MouseEvent* e) const
{
    if (e != nullptr)
        if (auto* button = dynamic_cast<PresetButton*> (e->eventComponent); button != nullptr && buttons.contains (button))
            return button->getSlotNumber();

    return 1;
}

juce::PopupMenu PresetButtonContainer::createMenu (bool hasPasteSlot)
{
    const auto sel = selectedSlots.size();
    const auto chosen = keys.getChosenSlots().size();
    const auto canEdit = this->canEdit();
    const auto canPaste = this->canPaste();
    const auto clip = clipboard != nullptr ? clipboard->getUsedPresetIndices().size() : 0;
    auto& undo = owner.getUndoManager();

    juce::PopupMenu menu;
    menu.addItem (100, "Select All Presets");
    menu.addItem (101, "Select User Presets");
    menu.addSeparator();
    menu.addItem (102, "Cut", chosen > 0 && canEdit);
    menu.addItem (103, "Copy", chosen > 0);
    menu.addItem (104, "Insert", canPaste && hasPasteSlot);
    menu.addItem (105, "Paste", canPaste && hasPasteSlot);

    juce::PopupMenu special;
    special.addItem (106, "Paste to Selected", sel > 0);
    special.addItem (108, plural ("Paste to Original Location", clip > 1), canPaste);
    const auto* shown = getWorkingData();
    const auto hasEmptySlot = shown != nullptr && ! shown->getEmptyPresetIndices().isEmpty();
    special.addItem (109, plural ("Paste to Empty Location", clip > 1), canPaste && hasEmptySlot);
    menu.addSubMenu ("Paste Special", special, canPaste);

    menu.addItem (110, plural ("Delete Selected Preset", sel > 1), sel > 0 && canEdit);
    menu.addSeparator();
    menu.addItem (111, "Undo", undo.canUndo());
    menu.addItem (112, "Redo", undo.canRedo());
    menu.addSeparator();

    juce::PopupMenu size;
    size.addCustomItem (113, std::make_unique<SizeSlider> (*this, viewMode == 0 ? cellScale : iconScale,
                                                           juce::roundToInt (1.25f * baseFontHeight())));
    size.addSeparator();
    size.addItem (114, "Reset to Default");
    menu.addSubMenu ("Button Size", size);

    auto* devices = Nexus::getDeviceManager();
    juce::PopupMenu send;

    if (showsActiveDevice)
    {
        bool changes = false;

        if (const auto* working = getWorkingData(); working != nullptr && getDeviceData() != nullptr)
        {
            juce::Array<int> removed, changed;
            working->getChangedPresetIndices (*getDeviceData(), removed, changed);
            changes = ! removed.isEmpty() || ! changed.isEmpty();
        }

        send.addItem (117, "All Changes", changes);
    }

    send.addItem (118, plural ("Selected Preset", sel > 1), sel > 0);
    send.addItem (119, "Setup", shown != nullptr && shown->getSetup().isComplete());
    menu.addSubMenu ("Send to " + (devices != nullptr ? devices->getActiveDeviceDisplayName() : juce::String()), send);
    return menu;
}

// Opened on the release: opened on the press, under the pointer, the release of
// that same press could choose its first item.
void PresetButtonContainer::showMenu (const juce::MouseEvent& e)
{
    if (isEnabled())
        showMenu (slotOfEvent (&e), juce::PopupMenu::Options().withMousePosition());
}

void PresetButtonContainer::showMenu (int slot, const juce::PopupMenu::Options& where)
{
    juce::WeakReference<PresetButtonContainer> self (this);

    GridMenus::show (createMenu (slot > 0), *this, where, [self, slot] (int id)
    {
        if (self == nullptr || id == 0)
            return;

        // The command acts on the slot the menu was opened over; opened by keys over none, on none.
        if (slot == 0)
            return self->performMenuCommand (id, nullptr);

        juce::Component* clicked = self.get();

        if (auto* button = self->buttons[slot])
            clicked = button;

        const auto now = juce::Time::getCurrentTime();
        const juce::MouseEvent click (juce::Desktop::getInstance().getMainMouseSource(), {}, {}, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
                                      clicked, clicked, now, {}, now, 1, false);
        self->performMenuCommand (id, &click);
    });
}

void PresetButtonContainer::sliderValueChanged (juce::Slider* slider)
{
    setButtonScale (slider->getValue());
}

juce::Array<int> PresetButtonContainer::getPasteSlotsFrom (int first) const
{
    juce::Array<int> slots;

    if (clipboard == nullptr)
        return slots;

    if (first < 1 || first >= caps.caps.numPresets)
        first = 1;

    const auto count = clipboard->getUsedPresetIndices().size();

    for (int slot = first; slot < caps.caps.numPresets && slots.size() < count; ++slot)
        slots.add (slot);

    return slots;
}

void PresetButtonContainer::performMenuCommand (int id, const juce::MouseEvent* e)
{
    switch (id)
    {
        case 100:
        case 101:   selectPresets (id == 101); break;
        case 102:   cutSelected(); break;
        case 103:   copySelected(); break;
        case 104:   if (clipboard != nullptr && e != nullptr) insertClipboardAt (slotOfEvent (e)); break;
        case 105:
            // Without a click (the toolbar, a menu opened by keys) at the focused or first selected slot, never at one not chosen.
            if (const auto slot = e != nullptr ? slotOfEvent (e) : keys.getTargetSlot(); clipboard != nullptr && slot > 0)
                pasteClipboardTo (getPasteSlotsFrom (slot));
            break;
        case 106:   pasteClipboardTo (selectedSlots); break;
        case 108:   if (clipboard != nullptr) pasteClipboardTo (clipboard->getUsedPresetIndices()); break;
        case 109:
            if (const auto* data = getWorkingData(); clipboard != nullptr && data != nullptr)
            {
                auto empty = data->getEmptyPresetIndices();
                empty.removeRange (clipboard->getUsedPresetIndices().size(), empty.size());
                pasteClipboardTo (empty);
            }
            break;
        case 110:   deleteSelectedPresets(); break;
        case 111:   owner.undo(); break;
        case 112:   owner.redo(); break;
        case 114:   setButtonScale (1.0); break;
        case 117:   GridMenus::invokeCommand (*this, CommandIDs::applyChanges); break;
        case 118:   GridMenus::invokeCommand (*this, CommandIDs::sendDirectToDevice); break;
        case 119:   GridMenus::invokeCommand (*this, CommandIDs::restoreSetup); break;
        default:    break;
    }
}

//==============================================================================
bool PresetButtonContainer::copySelected()
{
    const auto* data = getWorkingData();
    const auto slots = keys.getChosenSlots();

    if (data == nullptr || slots.isEmpty())
        return false;

    clipboard = data->createCopy (slots, false, false);
    cutAction = nullptr;
    return clipboard != nullptr;
}

bool PresetButtonContainer::cutSelected()
{
    const auto slots = keys.getChosenSlots();

    if (! copySelected() || ! deleteSlots (slots))
        return false;

    juce::Array<const juce::UndoableAction*> actions;
    owner.getUndoManager().getActionsInCurrentTransaction (actions);
    cutAction = actions.getLast();
    cutItem = item;
    cutSlots = slots;
    return true;
}

// The cut is still the newest step, its slots still empty: nothing came between it and the paste.
bool PresetButtonContainer::isCutStillTheLastEdit() const
{
    auto& undo = owner.getUndoManager();
    juce::Array<const juce::UndoableAction*> actions;
    undo.getActionsInCurrentTransaction (actions);

    if (cutAction == nullptr || undo.canRedo() || actions.size() != 1 || actions.getFirst() != cutAction)
        return false;

    const auto* data = SourceTree::getDeviceData (cutItem);
    return data != nullptr && std::none_of (cutSlots.begin(), cutSlots.end(), [data] (int slot) { return data->isPresetSlotUsed (slot); });
}

bool PresetButtonContainer::insertClipboardAt (int slot)
{
    auto* data = getWorkingData();

    if (clipboard == nullptr || data == nullptr || ! data->isUserSlot (slot) || ! data->isSameDeviceType (clipboard->getCapsBlock()))
        return false;

    const auto used = clipboard->getUsedPresetIndices();
    owner.insertPresets (item, slot, *clipboard, used, true, true);

    juce::Array<int> inserted;

    for (int i = 0; i < used.size() && data->isUserSlot (slot + i); ++i)
        inserted.add (slot + i);

    setSelectedPresets (inserted);
    return true;
}

bool PresetButtonContainer::pasteClipboardTo (juce::Array<int> slots)
{
    auto* data = getWorkingData();

    if (clipboard == nullptr || data == nullptr || ! data->isSameDeviceType (clipboard->getCapsBlock()))
        return false;

    // Slots the shown data does not have (a clipboard kept from a larger unit) are dropped.
    slots.removeIf ([data] (int slot) { return ! data->isUserSlot (slot); });

    if (slots.isEmpty())
        return false;

    const auto joinsCut = isCutStillTheLastEdit();
    cutAction = nullptr;
    owner.pastePresets (item, slots, *clipboard, true, ! joinsCut);
    setSelectedPresets (slots);
    return true;
}
