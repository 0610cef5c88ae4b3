#include "gui/datapage/PresetDetailsContainer.h"

#include "gui/BVLookAndFeel.h"
#include "gui/Palette.h"
#include "gui/datapage/DataPageEdits.h"
#include "model/DeviceData.h"
#include "model/SourceTree.h"

namespace
{
    const juce::String multipleText ("<multiple selected>");
    const juce::String stepName ("Step");
}

//==============================================================================
StepButton::StepButton (int index, float height)
    : juce::ImageButton (stepName), stepIndex (index), fontHeight (height)
{
    setRadioGroupId (100);
    setTriggeredOnMouseDown (true);
    setClickingTogglesState (false);
    renderImages();
}

void StepButton::setActive (bool shouldBeActive)
{
    if (active == shouldBeActive)
        return;

    active = shouldBeActive;
    setClickingTogglesState (active);
    renderImages();
}

void StepButton::renderImages()
{
    const auto side = juce::jmax (1, juce::roundToInt (2.0f * fontHeight));
    const auto draw = [&] (juce::Colour top, juce::Colour bottom, juce::Colour frame)
    {
        juce::Image image (juce::Image::ARGB, side, side, true);
        juce::Graphics g (image);
        const auto area = image.getBounds().toFloat();
        g.setGradientFill (juce::ColourGradient::vertical (top, 0.0f, bottom, area.getBottom()));
        g.fillRect (area);
        g.setColour (frame);
        g.drawRect (area, 1.0f);
        g.setColour (Palette::textColour);
        g.setFont (BVLookAndFeel::makeFont (fontHeight));
        g.drawText (juce::String (stepIndex + 1), image.getBounds(), juce::Justification::centred, false);
        return image;
    };

    const auto normal = active ? draw (juce::Colour (0xff9fb3bd), juce::Colour (0xff8599a3), juce::Colours::white)
                               : draw (juce::Colour (0xffbecdd2), juce::Colour (0xffbecdd2), juce::Colour (0xff4b5f6e));
    const auto chosen = active ? draw (Palette::cellBlueShadeBottomColour, Palette::cellBlueShadeTopColour, juce::Colours::white)
                               : normal;

    setImages (true, false, true, normal, 1.0f, {}, normal, 0.8f, {}, chosen, 1.0f, {});
    setSize (side, side);
}

void StepButton::paintButton (juce::Graphics& g, bool isMouseOver, bool isButtonDown)
{
    juce::ImageButton::paintButton (g, isMouseOver, isButtonDown);

    if (hasKeyboardFocus (false))
        if (auto* look = BVLookAndFeel::of (*this))
            look->drawFocusRing (g, getLocalBounds().toFloat());
}

//==============================================================================
void PresetNameEditor::focusGained (FocusChangeType cause)
{
    if (showingMultiple && ! isReadOnly())
    {
        showingMultiple = false;
        setText ({}, false);
    }

    juce::TextEditor::focusGained (cause);
}

//==============================================================================
PresetDetailsContainer::PresetDetailsContainer (DataPageEdits& pageToUse)
    : owner (pageToUse)
{
    for (auto* label : { &nameLabel, &stepsLabel, &tagsLabel })
    {
        label->setFont (smallFont().boldened());
        label->setColour (juce::Label::textColourId, Palette::textColour);
        label->setBorderSize ({});
        label->setJustificationType (juce::Justification::topLeft);
    }

    addAndMakeVisible (nameLabel);
    addChildComponent (stepsLabel);
    addChildComponent (tagsLabel);

    nameEditor.setFont (smallFont());
    nameEditor.setMultiLine (false);
    nameEditor.addListener (this);
    addAndMakeVisible (nameEditor);
}

PresetDetailsContainer::~PresetDetailsContainer() = default;

juce::Font PresetDetailsContainer::smallFont()
{
    auto* laf = BVLookAndFeel::of (*this);
    return BVLookAndFeel::makeFont (laf != nullptr ? laf->getSmallFontSize() : BVLookAndFeel::Defaults::smallFontSize);
}

float PresetDetailsContainer::baseFontHeight()
{
    auto* laf = BVLookAndFeel::of (*this);
    return laf != nullptr ? laf->getFontSize() : BVLookAndFeel::Defaults::fontSize;
}

void PresetDetailsContainer::setSelectedPresets (const juce::Array<int>& slots)
{
    selectedSlots = slots;

    if (caps.isBuildValid)
        refresh();
}

void PresetDetailsContainer::setItem (const juce::ValueTree& newItem)
{
    selectedSlots.clear();
    readOnly = SourceTree::isUserNode (newItem);
    PanelContainerBase::setItem (newItem);
}

void PresetDetailsContainer::refresh()
{
    updateName();
    updateStepButtons (true);
    updateTagButtons();
    layoutContent (getWidth(), juce::jmax (0, getLayoutHeight()));
}

//==============================================================================
void PresetDetailsContainer::rebuildStepButtons()
{
    stepButtons.clear();
    tagButtons.clear();
    maxTagWidth = 0;

    if (! caps.isBuildValid)
        return;

    nameLabel.setText (caps.presetTextLabel + " Name", juce::dontSendNotification);

    auto chars = caps.presetNameChars;
    upperCaseOnly = chars.contains ("A") && ! chars.contains ("a");

    if (upperCaseOnly)
        chars << "abcdefghijklmnopqrstuvwxyz";

    nameEditor.setInputRestrictions (juce::jmax (0, caps.caps.presetNameLength), chars);
    nameEditor.setReadOnly (! caps.presetNameChange);

    if (caps.caps.maxPresetSteps < 2)
    {
        stepsLabel.setVisible (false);
    }
    else
    {
        stepsLabel.setText (caps.stepsTextLabel, juce::dontSendNotification);
        stepsLabel.setVisible (true);

        for (int i = 0; i < caps.caps.maxPresetSteps; ++i)
        {
            auto* button = stepButtons.add (new StepButton (i, baseFontHeight()));
            button->addMouseListener (this, false);
            button->addListener (this);
            addAndMakeVisible (button);
        }
    }

    // A downloaded document may name more tags than a preset's mask has bits.
    const auto tagCount = juce::jlimit (0, maxTags, caps.presetTagCount);

    if (tagCount == 0)
    {
        tagsLabel.setVisible (false);
    }
    else
    {
        const auto font = smallFont();
        const auto th = juce::roundToInt (1.4f * font.getHeight());
        tagsLabel.setText (caps.tagsTextLabel, juce::dontSendNotification);
        tagsLabel.setVisible (true);

        for (int i = 0; i < tagCount; ++i)
        {
            const auto text = caps.presetTagLabels[i];
            auto* toggle = tagButtons.add (new juce::ToggleButton (text));
            const auto width = juce::roundToInt (font.getStringWidthFloat (text));
            toggle->setSize (width, th);
            toggle->setColour (juce::ToggleButton::textColourId, Palette::textColour);
            toggle->addListener (this);
            addAndMakeVisible (toggle);
            maxTagWidth = juce::jmax (maxTagWidth, width);
        }
    }

    layoutContent (getWidth(), juce::jmax (0, getLayoutHeight()));
}

//==============================================================================
void PresetDetailsContainer::updateName()
{
    const auto* data = getWorkingData();
    nameEdited = false;

    if (data == nullptr || selectedSlots.isEmpty())
    {
        nameEditor.showingMultiple = false;
        nameEditor.setText ({}, false);
        nameEditor.setEnabled (false);
        return;
    }

    juce::StringArray names;

    for (auto slot : selectedSlots)
        if (const auto* preset = data->getPreset (slot))
            names.addIfNotAlreadyThere (preset->getName());

    nameEditor.setEnabled (true);

    if (names.size() < 2)
    {
        nameEditor.setColour (juce::TextEditor::textColourId, Palette::textColour);
        nameEditor.applyColourToAllText (Palette::textColour);
        nameEditor.showingMultiple = false;
        nameEditor.setText (names[0], false);
    }
    else
    {
        const auto light = Palette::textColour.brighter (0.4f);
        nameEditor.setColour (juce::TextEditor::textColourId, light);
        nameEditor.applyColourToAllText (light);
        nameEditor.showingMultiple = true;
        nameEditor.setText (multipleText, false);
    }
}

void PresetDetailsContainer::commitName()
{
    if (! nameEdited)
        return;

    auto text = nameEditor.getText();

    if (selectedSlots.size() >= 2 && text == multipleText)
        return;

    if (upperCaseOnly)
    {
        nameEditor.setText (text.toUpperCase(), false);
        text = nameEditor.getText();
    }

    if (selectedSlots.size() == 1)
    {
        const auto* data = getWorkingData();
        const auto* preset = data != nullptr ? data->getPreset (selectedSlots.getFirst()) : nullptr;

        if (preset == nullptr || preset->getName() == text)
            return;
    }

    nameEdited = false;
    owner.renamePresets (item, selectedSlots, text, true, true);
}

void PresetDetailsContainer::editName()
{
    if (selectedSlots.isEmpty() || nameEditor.isReadOnly() || ! nameEditor.isVisible())
        return;

    nameEditor.grabKeyboardFocus();
    nameEditor.selectAll();
}

void PresetDetailsContainer::textEditorTextChanged (juce::TextEditor& editor)
{
    if (&editor == &nameEditor)
        nameEdited = true;
}

void PresetDetailsContainer::textEditorFocusLost (juce::TextEditor& editor)
{
    if (&editor == &nameEditor)
        commitName();
}

void PresetDetailsContainer::textEditorReturnKeyPressed (juce::TextEditor& editor)
{
    if (&editor != &nameEditor || selectedSlots.isEmpty())
        return;

    moveKeyboardFocusToSibling (false);

    if (nameEditor.hasKeyboardFocus (false))
        nameEditor.giveAwayKeyboardFocus();
    else
        commitName();   // the focus was elsewhere already: no focus loss will come
}

void PresetDetailsContainer::textEditorEscapeKeyPressed (juce::TextEditor& editor)
{
    if (&editor == &nameEditor && ! selectedSlots.isEmpty())
        updateName();
}

//==============================================================================
void PresetDetailsContainer::updateStepButtons (bool untoggle)
{
    for (auto* button : stepButtons)
    {
        button->setEnabled (false);
        button->setActive (false);

        if (untoggle)
            button->setToggleState (false, juce::dontSendNotification);
    }

    const auto* data = getWorkingData();

    if (data == nullptr || selectedSlots.size() != 1)
        return;

    if (const auto* preset = data->getPreset (selectedSlots.getFirst()))
    {
        const auto steps = preset->getNumSteps();

        for (auto* button : stepButtons)
        {
            const auto on = button->getStepIndex() < steps && ! readOnly;
            button->setEnabled (on);
            button->setActive (on);
        }
    }
}

void PresetDetailsContainer::updateTagButtons()
{
    const auto* data = getWorkingData();

    if (data == nullptr || selectedSlots.isEmpty())
    {
        for (auto* toggle : tagButtons)
        {
            toggle->setColour (juce::ToggleButton::textColourId, Palette::textColour);
            toggle->setToggleState (false, juce::dontSendNotification);
            toggle->setEnabled (false);
        }

        return;
    }

    juce::uint32 any = 0, all = 0xffffffffu;
    bool found = false;

    for (auto slot : selectedSlots)
    {
        if (const auto* preset = data->getPreset (slot))
        {
            const auto tags = (juce::uint32) preset->getTags();
            any |= tags;
            all &= tags;
            found = true;
        }
    }

    if (! found)
        all = 0;

    for (int i = 0; i < tagButtons.size(); ++i)
    {
        auto* toggle = tagButtons.getUnchecked (i);
        const auto bit = 1u << i;
        auto colour = Palette::textColour;

        if (selectedSlots.size() >= 2 && (any & bit) != 0)
            colour = (all & bit) != 0 ? Palette::textColour.darker (0.5f) : Palette::textColour.brighter (0.4f);

        toggle->setEnabled (! readOnly);
        toggle->setToggleState ((any & bit) != 0, juce::dontSendNotification);
        toggle->setColour (juce::ToggleButton::textColourId, colour);
    }
}

void PresetDetailsContainer::buttonClicked (juce::Button* button)
{
    const auto tag = tagButtons.indexOf (dynamic_cast<juce::ToggleButton*> (button));

    if (tag < 0 || readOnly)
        return;

    owner.setPresetTag (item, selectedSlots, tag, button->getToggleState(), true, true);
}

void PresetDetailsContainer::presetDataChanged (const juce::ValueTree& source, const juce::Array<int>&)
{
    if (source != item)
        return;

    const auto* data = getWorkingData();

    for (auto slot : selectedSlots)
    {
        if (data == nullptr || ! data->isPresetSlotUsed (slot))
        {
            selectedSlots.clear();
            break;
        }
    }

    updateName();
    updateStepButtons (false);
    updateTagButtons();
}

//==============================================================================
juce::SparseSet<int> PresetDetailsContainer::getToggledSteps() const
{
    juce::SparseSet<int> steps;

    for (auto* button : stepButtons)
        if (button->getToggleState())
            steps.addRange ({ button->getStepIndex(), button->getStepIndex() + 1 });

    return steps;
}

bool PresetDetailsContainer::keyPressed (const juce::KeyPress& key)
{
    if (readOnly)
        return false;

    if (key == juce::KeyPress::escapeKey)
    {
        auto* container = juce::DragAndDropContainer::findParentDragContainerFor (this);
        return container == nullptr || ! container->isDragAndDropActive();
    }

    if (key != juce::KeyPress::deleteKey && key != juce::KeyPress::backspaceKey)
        return false;

    auto* data = getWorkingData();

    if (data == nullptr || selectedSlots.isEmpty())
        return false;

    const auto slot = selectedSlots.getFirst();
    const auto* preset = data->getPreset (slot);
    const auto steps = getToggledSteps();

    // Deleting every step would leave a preset of none: refused.
    if (preset == nullptr || preset->getNumSteps() < 2 || steps.isEmpty() || steps.size() >= preset->getNumSteps())
        return false;

    auto copy = data->createCopy ({ slot }, false, false);
    copy->getPreset (slot)->removeSteps (steps);
    owner.pastePresets (item, { slot }, *copy, true, true);

    for (auto* button : stepButtons)
        button->setToggleState (false, juce::dontSendNotification);

    return true;
}

void PresetDetailsContainer::mouseDrag (const juce::MouseEvent& e)
{
    auto* grabbed = dynamic_cast<StepButton*> (e.eventComponent);
    auto* dragContainer = juce::DragAndDropContainer::findParentDragContainerFor (this);

    if (grabbed == nullptr || dragContainer == nullptr || dragContainer->isDragAndDropActive() || ! isEnabled())
        return;

    juce::Array<StepButton*> dragged;

    for (auto* button : stepButtons)
        if (button->getToggleState() || button == grabbed)
            dragged.add (button);

    juce::Image image;

    if (dragged.size() == 1)
    {
        image = grabbed->createComponentSnapshot (grabbed->getLocalBounds(), true, 1.0f);
    }
    else
    {
        const auto side = grabbed->getWidth();
        image = juce::Image (juce::Image::ARGB, side * dragged.size(), grabbed->getHeight(), true);
        juce::Graphics g (image);

        for (int i = 0; i < dragged.size(); ++i)
            g.drawImageAt (dragged.getUnchecked (i)->createComponentSnapshot (dragged.getUnchecked (i)->getLocalBounds(), true, 1.0f),
                           i * side, 0);

        image.multiplyAllAlphas (0.6f);
    }

    dragContainer->startDragging (stepName, grabbed, juce::ScaledImage (image), false, nullptr, &e.source);
}

bool PresetDetailsContainer::isInterestedInDragSource (const SourceDetails& details)
{
    return ! stepButtons.isEmpty() && details.description.toString() == stepName;
}

void PresetDetailsContainer::itemDropped (const SourceDetails& details)
{
    if (selectedSlots.size() != 1 || ! caps.isBuildValid)
        return;

    auto* source = dynamic_cast<StepButton*> (details.sourceComponent.get());
    auto* target = dynamic_cast<StepButton*> (getComponentAt (details.localPosition));
    const auto* data = getWorkingData();
    const auto slot = selectedSlots.getFirst();

    if (source == nullptr || target == nullptr || source == target || ! stepButtons.contains (source)
        || data == nullptr || data->getPreset (slot) == nullptr)
        return;

    const Preset preset (*data->getPreset (slot));
    owner.insertPresetStep (item, slot, target->getStepIndex(), preset, getToggledSteps(), true, true);
}

//==============================================================================
void PresetDetailsContainer::layoutContent (int width, int height)
{
    const auto mx = marginX, my = marginY;
    const auto fh = nameLabel.getFont().getHeight();
    const auto h1 = (int) (1.5f * fh), h2 = (int) (1.1f * fh);
    const BVLookAndFeel::Pixels px { getUiScale() };
    const auto indent = mx + px (15.0f);

    nameLabel.setBounds (mx, my - px (2.0f), width - 2 * mx, h1);
    nameEditor.setBounds (indent, nameLabel.getBottom() + px (4.0f), width - 2 * indent, h1);
    nameEditor.setReadOnly (! caps.presetNameChange || readOnly);

    auto y = nameEditor.getBottom() + h2;

    if (stepsLabel.isVisible())
    {
        stepsLabel.setBounds (mx, y, width - 2 * mx, h1);
        const auto step = stepButtons.isEmpty() ? 0 : (int) (1.5f * (float) stepButtons.getFirst()->getWidth());
        auto x = indent;

        for (auto* button : stepButtons)
        {
            button->setTopLeftPosition (x, stepsLabel.getBottom() + px (4.0f));
            x += step;
            y = button->getBottom();
        }
    }

    auto bottom = y;

    if (tagsLabel.isVisible() && ! tagButtons.isEmpty())
    {
        const auto th = juce::roundToInt (1.4f * tagsLabel.getFont().getHeight());
        auto* laf = BVLookAndFeel::of (*this);
        const auto extra = laf != nullptr
                             ? juce::roundToInt (0.5769230769230769 * tagButtons.getFirst()->getHeight() + 10.0 * laf->getScale())
                             : 20;
        const auto colW = maxTagWidth + px (5.0f) + extra;
        const auto areaWidth = juce::jmax (width - 2 * indent, colW);
        tagsLabel.setBounds (mx, y + h2, areaWidth, h1);

        const auto cols = juce::jmax (1, areaWidth / colW);
        // The spare width spread between the columns, the last one ending at the right edge: a gap
        // cut to whole pixels would add up column by column, differently at each scale.
        const auto step = cols >= 2 ? (float) (areaWidth - colW) / (float) (cols - 1) : 0.0f;
        auto rowY = tagsLabel.getBottom();

        for (int i = 0; i < tagButtons.size(); ++i)
        {
            if (i > 0 && i % cols == 0)
                rowY += th + px (4.0f);

            tagButtons.getUnchecked (i)->setBounds (juce::roundToInt ((float) (i % cols) * step) + indent, rowY, colW, th);
            bottom = rowY + th;
        }
    }

    // It fills what is visible (clicks and drops land anywhere in it), but
    // only its content counts as the height it wants.
    contentHeight = bottom + my;
    setLayoutHeight (height);
    setSize (width, juce::jmax (height, contentHeight));
}
