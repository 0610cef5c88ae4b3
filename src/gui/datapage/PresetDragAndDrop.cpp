// The preset grid as drag source and drop target: the drag image, and the
// drop menu that moves, pastes, inserts, swaps or adds presets as steps.

#include "gui/datapage/PresetButtonContainer.h"

#include "gui/BVLookAndFeel.h"
#include "gui/datapage/DataPageEdits.h"
#include "gui/widgets/ArchiveButton.h"
#include "model/SourceTree.h"

namespace
{
    enum DropChoice { dropMove = 200, dropPaste = 201, dropInsert = 202, dropSwap = 203, dropSteps = 204 };
}

void PresetButtonContainer::mouseDrag (const juce::MouseEvent& e)
{
    auto* dragContainer = juce::DragAndDropContainer::findParentDragContainerFor (this);

    if (dragContainer == nullptr || dragContainer->isDragAndDropActive() || e.eventComponent == this
        || ! isEnabled() || ! e.mods.isLeftButtonDown())
        return;

    auto* grabbed = dynamic_cast<PresetButton*> (e.eventComponent);

    if (grabbed == nullptr || ! buttons.contains (grabbed) || ! selectedSlots.contains (grabbed->getSlotNumber()))
        return;

    startDrag (e, *grabbed);
}

juce::Image PresetButtonContainer::createDragImage (PresetButton& grabbed)
{
    auto* laf = BVLookAndFeel::of (*this);
    const auto count = selectedSlots.size();
    const auto n = juce::jmin (count, 5);
    const auto scale = (viewMode == 0 ? cellScale : iconScale);
    const auto fontHeight = (float) ((laf != nullptr ? laf->getFontSize() : BVLookAndFeel::Defaults::fontSize) * scale);
    const auto font = BVLookAndFeel::makeFont (fontHeight);

    const auto gw = grabbed.getWidth(), gh = grabbed.getHeight();
    const auto textWidth = (float) juce::roundToInt (font.getStringWidthFloat (juce::String (count) + "0")) * 1.1f;
    const auto badge = juce::jmax (textWidth, 0.4f * (float) gh);
    const auto pad = (int) badge * 0.25f;
    const auto ipad = (int) pad;

    // The fan of buttons and the badge's place grow with the UI scale, as the buttons do.
    const auto ui = getUiScale();
    const auto dx = juce::roundToInt (5.0f * ui), dy = juce::roundToInt (3.0f * ui), top = juce::roundToInt (10.0f * ui);

    juce::Image image (juce::Image::ARGB, (n + 2) * dx + gw + ipad, n * dy + top + gh + ipad, true);

    {
        juce::Graphics g (image);

        for (int i = n - 1; i >= 0; --i)
        {
            auto* button = buttons[selectedSlots[i]];

            if (button == nullptr)
                continue;

            const auto area = juce::Rectangle<int> (0, 0, gw, gh).getIntersection (button->getLocalBounds());
            const auto snapshot = button->createComponentSnapshot (area, true, 1.0f);
            g.drawImageAt (snapshot, (i + 2) * dx + ipad, i * dy + top + ipad);
        }
    }

    image.multiplyAllAlphas (0.6f);

    juce::Graphics g (image);
    const juce::Rectangle<float> circle ((float) top, (float) top, badge, badge);
    g.setGradientFill (juce::ColourGradient (juce::Colour (0xff77a6e0), circle.getCentre(),
                                             juce::Colour (0xff5e8ec9), circle.getBottomRight(), true));
    g.fillEllipse (circle);
    g.setColour (juce::Colour (0xff4b5f6e));
    g.drawEllipse (circle, 1.1f * ui);
    g.setColour (juce::Colours::white);
    g.setFont (font);
    g.drawText (juce::String (count), circle.getSmallestIntegerContainer(), juce::Justification::centred, true);
    return image;
}

void PresetButtonContainer::startDrag (const juce::MouseEvent& e, PresetButton& grabbed)
{
    auto* dragContainer = juce::DragAndDropContainer::findParentDragContainerFor (this);

    if (dragContainer == nullptr)
        return;

    pendingSelectOnly = false;
    const auto image = createDragImage (grabbed);

    dragSource.source = item;
    dragSource.presetIndices = selectedSlots;
    dragSource.dragKind = DataSetDragSnapShot::presets;

    dragContainer->startDragging (grabbed.getButtonText(), &dragSource, juce::ScaledImage (image), false, nullptr, &e.source);
    juce::Component::beginDragAutoRepeat (40);
}

//==============================================================================
bool PresetButtonContainer::isInterestedInDragSource (const SourceDetails& details)
{
    auto* component = details.sourceComponent.get();
    bool accepted = dynamic_cast<DataSetDragSnapShot*> (component) != nullptr
                 || dynamic_cast<ArchiveButton*> (component) != nullptr;

    if (! accepted)
    {
        const auto node = owner.getDraggedTreeNode (component);
        accepted = node.isValid() && node != item;
    }

    return accepted && ! isReadOnly();
}

void PresetButtonContainer::itemDropped (const SourceDetails& details)
{
    auto* component = details.sourceComponent.get();

    if (auto* snapshot = dynamic_cast<DataSetDragSnapShot*> (component))
        return dropPresets (snapshot->source, snapshot->presetIndices, details.localPosition);

    const auto node = owner.getDraggedTreeNode (component);

    if (const auto* data = SourceTree::getDeviceData (node))
        dropPresets (node, data->getUsedPresetIndices(), details.localPosition);
}

void PresetButtonContainer::dropPresets (const juce::ValueTree& sourceNode, const juce::Array<int>& sourceSlots, juce::Point<int> position)
{
    const auto* data = getWorkingData();

    if (data == nullptr || ! sourceNode.isValid())
        return;

    auto* target = getButtonAt (position);

    if (target == nullptr && PresetButton::findNearest (buttons, position) == nullptr)
        return;

    const auto* srcData = SourceTree::getDeviceData (sourceNode);

    if (srcData == nullptr || sourceSlots.isEmpty())
        return;

    const auto k = sourceSlots.size();
    const auto same = sourceNode == item;
    juce::Array<int> destination;

    if (target != nullptr)
    {
        for (int slot = target->getSlotNumber(); slot < buttons.size() && destination.size() < k; ++slot)
            destination.add (slot);
    }
    else
    {
        if (same)
            return;

        destination = data->getEmptyPresetIndices();
        destination.removeRange (k, destination.size());
    }

    if (destination.isEmpty() || (same && destination.getFirst() == sourceSlots.getFirst()))
        return;

    const auto full = destination.size() == k;
    juce::PopupMenu menu;

    if (same && caps.presetDelete)
        menu.addItem (dropMove, full ? "Move" : "Move (partial)");

    menu.addItem (dropPaste, full ? "Paste" : "Paste (partial)");

    if (target != nullptr)
        menu.addItem (dropInsert, full ? "Insert" : "Insert (partial)");

    if (k == 1 && target != nullptr && data->isPresetSlotUsed (target->getSlotNumber()) && same)
        menu.addItem (dropSwap, "Swap");

    if (caps.caps.maxPresetSteps > 1 && same)
        menu.addItem (dropSteps, k > 1 ? "Merge as Steps" : "Add as Step");

    juce::WeakReference<PresetButtonContainer> self (this);
    const auto targetSlot = target != nullptr ? target->getSlotNumber() : -1;

    GridMenus::show (menu, *this, [self, sourceNode, sourceSlots, destination, targetSlot] (int choice)
    {
        if (self != nullptr)
            self->performDrop (choice, sourceNode, sourceSlots, destination, targetSlot > 0 ? self->buttons[targetSlot] : nullptr);
    });
}

void PresetButtonContainer::performDrop (int choice, const juce::ValueTree& sourceNode, juce::Array<int> sourceSlots,
                                         const juce::Array<int>& destination, PresetButton* target)
{
    const auto same = sourceNode == item;
    const auto* srcData = SourceTree::getDeviceData (sourceNode);

    if (getWorkingData() == nullptr || srcData == nullptr)
        return;

    switch (choice)
    {
        case dropMove:
        case dropPaste:
        {
            owner.copyPresets (item, destination, sourceNode, sourceSlots, true, true);

            if (choice == dropMove)
            {
                // Only what was copied moves: a destination cut short leaves the rest where it was.
                sourceSlots.removeRange (destination.size(), sourceSlots.size());
                sourceSlots.removeValuesIn (destination);

                if (! sourceSlots.isEmpty())
                    owner.deletePresets (item, sourceSlots, true, false);

                dropVanishedFromSelection();
            }
            else if (! same)
            {
                setSelectedPresets (destination);
            }
            break;
        }

        case dropInsert:
            if (target != nullptr)
            {
                owner.insertPresets (item, target->getSlotNumber(), *srcData, sourceSlots, true, true);
                setSelectedPresets (destination);
            }
            break;

        case dropSwap:
            if (target != nullptr)
                owner.swapPresets (item, target->getSlotNumber(), sourceSlots.getFirst(), true, true);
            break;

        case dropSteps:
            if (target != nullptr)
                owner.addPresetSteps (item, target->getSlotNumber(), sourceSlots, true, true);
            break;

        default:
            break;
    }
}
