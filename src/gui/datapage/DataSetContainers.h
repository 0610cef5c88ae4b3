#pragma once

#include "gui/datapage/DataSetDragSnapShot.h"
#include "gui/datapage/GridMenus.h"
#include "gui/datapage/PanelContainerBase.h"
#include "gui/widgets/ArchiveButton.h"

#include <memory>

class DataPageEdits;

/** The details of one backup: its picture, an editable name and description,
    the author and the date. The name is renamed undoably through the page;
    the description is stored in the backup as it is left. */
class DataSetDetailsContainer : public PanelContainerBase,
                                private juce::TextEditor::Listener
{
public:
    explicit DataSetDetailsContainer (DataPageEdits& owner);
    ~DataSetDetailsContainer() override;

    void clearItem() override;
    void layoutContent (int width, int height) override;
    void refresh() override;
    void archiveItemChanged (const juce::ValueTree& node, const juce::Identifier& property) override;

    /** Takes the editor's text into the backup (Return in the title, focus loss of either). */
    void commitEdit (juce::TextEditor& editor);

    juce::TextEditor& getTitleEditor() noexcept           { return titleEditor; }
    juce::TextEditor& getDescriptionEditor() noexcept     { return descriptionEditor; }
    juce::Label& getAuthorValue() noexcept                { return authorValue; }
    juce::Label& getDateValue() noexcept                  { return dateValue; }
    juce::Label& getNameLabel() noexcept                  { return nameLabel; }
    juce::Drawable* getImage() const noexcept             { return image.get(); }
    float getImageAspect() const noexcept                 { return imageAspect; }

private:
    void textEditorReturnKeyPressed (juce::TextEditor& editor) override;
    void textEditorFocusLost (juce::TextEditor& editor) override;

    DataPageEdits& owner;
    juce::Label nameLabel { {}, "Name:" }, authorLabel { {}, "Author:" }, dateLabel { {}, "Date:" };
    juce::Label authorValue, dateValue;
    juce::TextEditor titleEditor, descriptionEditor;
    std::unique_ptr<juce::Drawable> image;
    float imageAspect = 1.0f;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DataSetDetailsContainer)
};

/** A backup group as tiles, one per child node: selected by a click, opened in
    the browser by a double-click, deleted with Delete or Backspace, dragged
    onto the source tree or a preset grid. */
class DataSetGroupViewContainer : public PanelContainerBase,
                                  private juce::Button::Listener,
                                  private juce::ValueTree::Listener,
                                  public juce::ChangeBroadcaster
{
public:
    explicit DataSetGroupViewContainer (DataPageEdits& owner);
    ~DataSetGroupViewContainer() override;

    void setItem (const juce::ValueTree& newItem) override;
    void layoutContent (int width, int height) override;
    juce::ValueTree getFirstSelectedItem() const;

    const juce::OwnedArray<ArchiveButton>& getTiles() const noexcept   { return tiles; }
    const DataSetDragSnapShot& getDragSnapShot() const noexcept         { return dragSnapShot; }

    void mouseDoubleClick (const juce::MouseEvent& e) override;
    void mouseDrag (const juce::MouseEvent& e) override;
    bool keyPressed (const juce::KeyPress& key) override;
    using PanelContainerBase::keyPressed;

private:
    void buttonClicked (juce::Button*) override;
    void valueTreePropertyChanged (juce::ValueTree& tree, const juce::Identifier& property) override;
    void valueTreeChildAdded (juce::ValueTree&, juce::ValueTree&) override;
    void valueTreeChildRemoved (juce::ValueTree&, juce::ValueTree&, int) override;
    void valueTreeChildOrderChanged (juce::ValueTree&, int, int) override;
    void valueTreeParentChanged (juce::ValueTree&) override {}
    void valueTreeRedirected (juce::ValueTree&) override {}
    void rebuildTiles();
    void rebuildAndLayout();

    DataPageEdits& owner;
    juce::OwnedArray<ArchiveButton> tiles;
    DataSetDragSnapShot dragSnapShot;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DataSetGroupViewContainer)
};
