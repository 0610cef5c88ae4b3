#pragma once

#include "devices/DeviceCaps.h"
#include "gui/datapage/PanelContainerBase.h"

#include <memory>

class DataPageEdits;

/** One step of the selected preset in the details: its number on a square,
    toggled to pick steps to delete or drag. */
class StepButton : public juce::ImageButton
{
public:
    StepButton (int stepIndex, float fontHeight);

    int getStepIndex() const noexcept          { return stepIndex; }
    bool isActive() const noexcept             { return active; }
    void setActive (bool shouldBeActive);

private:
    void renderImages();
    void paintButton (juce::Graphics&, bool isMouseOver, bool isButtonDown) override;

    const int stepIndex;
    const float fontHeight;
    bool active = false;
};

/** The name editor of the details: shows "<multiple selected>" for presets of
    different names, emptied when it takes the focus to be typed into. */
class PresetNameEditor : public juce::TextEditor
{
public:
    bool showingMultiple = false;
    void focusGained (FocusChangeType cause) override;
};

/** The details of the presets selected in the grid: one name for all of
    them, one toggle per tag of the product, and for a single preset its
    steps (delete, reorder by drag). Edits go through the page's undoable
    operations. */
class PresetDetailsContainer : public PanelContainerBase,
                               public juce::DragAndDropTarget,
                               public juce::TextEditor::Listener,
                               public juce::Button::Listener
{
public:
    static constexpr int maxTags = 32;   // bits of a preset's tag mask

    explicit PresetDetailsContainer (DataPageEdits& owner);
    ~PresetDetailsContainer() override;

    void setCaps (const DeviceCaps& newCaps)            { caps = newCaps; }
    void setSelectedPresets (const juce::Array<int>& slots);
    const juce::Array<int>& getSelectedPresets() const noexcept   { return selectedSlots; }

    void setItem (const juce::ValueTree& newItem) override;
    void refresh() override;
    void rebuildStepButtons();
    void layoutContent (int width, int height) override;
    int getContentHeight() const override               { return contentHeight; }
    void presetDataChanged (const juce::ValueTree& source, const juce::Array<int>& slots) override;
    void editName();

    /** Renames the selected presets to the editor's text, when it was edited. */
    void commitName();

    PresetNameEditor& getNameEditor() noexcept          { return nameEditor; }
    juce::Label& getNameLabel() noexcept                { return nameLabel; }
    juce::Label& getStepsLabel() noexcept               { return stepsLabel; }
    juce::Label& getTagsLabel() noexcept                { return tagsLabel; }
    const juce::OwnedArray<StepButton>& getStepButtons() const noexcept          { return stepButtons; }
    const juce::OwnedArray<juce::ToggleButton>& getTagButtons() const noexcept   { return tagButtons; }

    void textEditorReturnKeyPressed (juce::TextEditor&) override;
    void textEditorEscapeKeyPressed (juce::TextEditor&) override;
    void textEditorFocusLost (juce::TextEditor&) override;
    void textEditorTextChanged (juce::TextEditor&) override;
    void buttonClicked (juce::Button* button) override;
    bool keyPressed (const juce::KeyPress& key) override;
    using PanelContainerBase::keyPressed;
    void mouseDrag (const juce::MouseEvent& e) override;

    bool isInterestedInDragSource (const SourceDetails& details) override;
    void itemDropped (const SourceDetails& details) override;

    /** The toggled steps as ranges of step indices. */
    juce::SparseSet<int> getToggledSteps() const;

private:
    void updateName();
    void updateStepButtons (bool untoggle);
    void updateTagButtons();
    juce::Font smallFont();
    float baseFontHeight();

    DataPageEdits& owner;
    DeviceCaps caps;
    juce::Array<int> selectedSlots;
    bool readOnly = false;
    juce::Label nameLabel, stepsLabel, tagsLabel;
    int maxTagWidth = 0;
    int contentHeight = 0;
    PresetNameEditor nameEditor;
    bool upperCaseOnly = false;
    bool nameEdited = false;   // only typed text is ever committed
    juce::OwnedArray<StepButton> stepButtons;
    juce::OwnedArray<juce::ToggleButton> tagButtons;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PresetDetailsContainer)
};
