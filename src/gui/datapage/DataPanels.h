#pragma once

#include "gui/datapage/DataSetContainers.h"
#include "gui/datapage/DetailsContainers.h"
#include "gui/datapage/PresetButtonContainer.h"
#include "gui/datapage/PresetDetailsContainer.h"
#include "gui/widgets/ListFocusRing.h"

class DataPageEdits;

/** The "Workspace" panel: the selected source's page in a viewport, one of its
    containers by kind (1 empty, 2 sync prompt, 3 preset grid, 4 group tiles).
    Each node remembers where it was scrolled. */
class DataViewPanel : public juce::Component,
                      public juce::ChangeBroadcaster,
                      public juce::ChangeListener,
                      public PresetDataChangeListener,
                      public ArchiveChangeListener
{
public:
    enum Kind { emptyKind = 1, syncKind = 2, presetsKind = 3, groupKind = 4 };

    explicit DataViewPanel (DataPageEdits& owner);
    ~DataViewPanel() override;

    PanelContainerBase* getContainerFor (int viewKind);
    void showContainer (int viewKind, const juce::ValueTree& item);
    juce::ValueTree getSelectedGroupItem() const;
    void scrollToPreset (int index);

    int getCurrentKind() const noexcept                          { return currentKind; }
    PanelContainerBase* getCurrentContainer() const;
    juce::Viewport& getViewport() noexcept                       { return viewport; }
    EmptyContainer& getEmptyContainer() noexcept                 { return emptyContainer; }
    PresetButtonContainer& getPresetContainer() noexcept         { return presetContainer; }
    DataSetGroupViewContainer& getGroupContainer() noexcept      { return groupContainer; }

    void changeListenerCallback (juce::ChangeBroadcaster* source) override;
    void presetDataChanged (const juce::ValueTree&, const juce::Array<int>&) override {}
    void archiveItemChanged (const juce::ValueTree&, const juce::Identifier&) override {}
    void paint (juce::Graphics& g) override;
    void resized() override;
    void mouseDrag (const juce::MouseEvent& e) override;

private:
    void layoutCurrentContainer();
    void saveViewportOffset();
    void restoreViewportOffset();

    DataPageEdits& owner;
    juce::Viewport viewport;
    ListFocusRing viewportRing { viewport };
    int currentKind = 0;
    EmptyContainer emptyContainer;
    PresetButtonContainer presetContainer;
    DataSetGroupViewContainer groupContainer;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DataViewPanel)
};

/** The "Details" panel: details of the selection by kind (1 empty, 2 unit,
    3 group, 4 backup, 5 presets). */
class DetailsPanel : public juce::Component,
                     public PresetDataChangeListener,
                     public ArchiveChangeListener
{
public:
    enum Kind { emptyKind = 1, deviceKind = 2, groupKind = 3, dataSetKind = 4, presetKind = 5 };

    explicit DetailsPanel (DataPageEdits& owner);
    ~DetailsPanel() override;

    PanelContainerBase* getContainerFor (int detailsKind);
    void showDetails (int detailsKind, const juce::ValueTree& item);
    int getCurrentContainerHeight() const;

    int getCurrentKind() const noexcept                          { return currentKind; }
    PanelContainerBase* getCurrentContainer() const;
    juce::Viewport& getViewport() noexcept                       { return viewport; }
    EmptyContainer& getEmptyContainer() noexcept                 { return emptyContainer; }
    DeviceDetailsContainer& getDeviceContainer() noexcept        { return deviceContainer; }
    GroupDetailsContainer& getGroupContainer() noexcept          { return groupContainer; }
    DataSetDetailsContainer& getDataSetContainer() noexcept      { return dataSetContainer; }
    PresetDetailsContainer& getPresetDetails() noexcept          { return presetDetails; }

    void presetDataChanged (const juce::ValueTree&, const juce::Array<int>&) override {}
    void archiveItemChanged (const juce::ValueTree&, const juce::Identifier&) override {}
    void paint (juce::Graphics& g) override;
    void resized() override;

private:
    void layoutCurrentContainer();

    DataPageEdits& owner;
    juce::Viewport viewport;
    int currentKind = 0;
    EmptyContainer emptyContainer;
    DeviceDetailsContainer deviceContainer;
    GroupDetailsContainer groupContainer;
    DataSetDetailsContainer dataSetContainer;
    PresetDetailsContainer presetDetails;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DetailsPanel)
};
