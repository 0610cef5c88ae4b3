#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class DeviceData;

/** Told by the data page after an edit changed presets of the data set that
    `source` holds; `presetIndices` are the changed slots, or empty when any
    slot may have changed (a whole download taken over). */
class PresetDataChangeListener
{
public:
    virtual ~PresetDataChangeListener() = default;
    virtual void presetDataChanged (const juce::ValueTree& source, const juce::Array<int>& presetIndices) = 0;
};

/** Told by the data page when a property of a source-tree node changed (its "label"). */
class ArchiveChangeListener
{
public:
    virtual ~ArchiveChangeListener() = default;
    virtual void archiveItemChanged (const juce::ValueTree& item, const juce::Identifier& property) = 0;
};

/** One scrollable page of a data-page panel, showing one source-tree node.
    The panel hands it a node (setItem, which refreshes), lays it out for the
    visible area (layoutContent) and takes the node away (clearItem); while
    shown it is registered with the page's listener lists by its panel. */
class PanelContainerBase : public juce::Component,
                           public juce::KeyListener,
                           public PresetDataChangeListener,
                           public ArchiveChangeListener
{
public:
    PanelContainerBase();
    ~PanelContainerBase() override;

    virtual void setItem (const juce::ValueTree& newItem);
    virtual juce::ValueTree& getItem()                   { return item; }
    virtual void clearItem();
    virtual int getLayoutHeight() const                  { return layoutHeight; }
    virtual void setLayoutHeight (int height)            { layoutHeight = height; }

    /** Positions the children for a visible area of width x height, calls
        setLayoutHeight (height) and sizes the container to its content. */
    virtual void layoutContent (int width, int height) = 0;
    virtual void refresh() {}

    /** The height its content needs at the last layout; a container that fills
        its visible area is taller than that. */
    virtual int getContentHeight() const                 { return getHeight(); }

    /** False when the node's data is no longer what the page was built from
        (a backup's data file that came back): showing the node again rebuilds it. */
    virtual bool isBuiltFromCurrentData() const          { return true; }

    /** What the node's data set compares with (the unit's or the backup's data); null without one. */
    const DeviceData* getDeviceData() const;

    /** The working copy of the node's data set; null without one. */
    DeviceData* getWorkingData() const;

    int getScrollBarWidth() const noexcept               { return scrollBarWidth; }
    int getMarginX() const noexcept                      { return marginX; }
    int getMarginY() const noexcept                      { return marginY; }

    void paint (juce::Graphics& g) override;
    bool keyPressed (const juce::KeyPress& key, juce::Component* originatingComponent) override;
    using juce::Component::keyPressed;
    void presetDataChanged (const juce::ValueTree&, const juce::Array<int>&) override {}
    void archiveItemChanged (const juce::ValueTree&, const juce::Identifier&) override {}

protected:
    /** The look-and-feel's scale, 1 when it is not ours. */
    float getUiScale();

    juce::ValueTree item;
    int scrollBarWidth = 0;
    int layoutHeight = -1;
    int marginX = 15;
    int marginY = 15;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PanelContainerBase)
};
