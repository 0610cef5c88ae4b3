#pragma once

#include "gui/datapage/DataPage.h"
#include "gui/datapage/DataPagePanels.h"
#include "gui/datapage/PresetButtonContainer.h"
#include "gui/datapage/PresetDetailsContainer.h"
#include "model/DeviceData.h"
#include "model/SafeSave.h"
#include "model/SourceTreeIds.h"
#include "platform/Clock.h"
#include "platform/WriteQueue.h"

// The page's own parts, shared by its source files.

/** Writes the unit's data as the folder's working or sync file on the writes
    thread (none is nothing to write): true when written, else what the
    system said is kept in error, unless an earlier save kept its own there. */
inline bool writeUnitFile (const DeviceData* data, const juce::File& folder, bool working, int& error)
{
    if (data == nullptr || data->saveWorkingFile (folder, working) == DeviceData::saved)
        return true;

    if (error == 0)
        error = SafeSave::lastError();

    return false;
}

/** The panel area: the workspace over the details (the grid's, containers' and panels' own code). */
class DataPage::Panels : public DataPagePanels
{
public:
    using DataPagePanels::DataPagePanels;

    PresetButtonContainer& grid()               { return getDataView().getPresetContainer(); }
    PresetDetailsContainer& presetDetails()     { return getDetails().getPresetDetails(); }

    /** Kept on the node, for when the grid next shows it. */
    static void storeSelection (juce::ValueTree item, const juce::Array<int>& indices)
    {
        juce::Array<juce::var> list;

        for (auto i : indices)
            list.add (i);

        item.setProperty (SourceTreeIds::selectionList, list, nullptr);
    }
};

/** Writes what the user changes soon after the change: the backups (index and
    changed backup files) once the message that changed them has ended, so
    that a move (a removal and an insertion) is written once; the workspace a
    little later, once for a run of edits. */
class DataPage::Autosave : private juce::ValueTree::Listener,
                           private juce::AsyncUpdater,
                           private juce::Timer
{
public:
    explicit Autosave (DataPage& p) : page (p)      { page.rootTree.addListener (this); }
    ~Autosave() override                             { page.rootTree.removeListener (this); }

    void backupsChanged()                            { triggerAsyncUpdate(); }

    void workspaceChanged()
    {
        if (! isTimerRunning())
            startTimer (platform::Clock::scaled (workspaceSaveDelayMs));
    }

    void nodeChanged (const juce::ValueTree& node)
    {
        const auto category = categoryOf (node);

        if (category == SourceTreeIds::archiveCategory)
            backupsChanged();
        else if (category == SourceTreeIds::deviceCategory)
            workspaceChanged();
    }

    bool isWorkspaceSaveDue() const                  { return isTimerRunning(); }
    bool isSaveDue() const                           { return isTimerRunning() || isUpdatePending(); }

    /** Whatever is pending is handed over by the caller now, after what was handed over before. */
    void cancel()
    {
        cancelPendingUpdate();
        stopTimer();
    }

    platform::WriteQueue writes;    // the workspace's files, in the order of the saves
    platform::WriteQueue exports;   // the files of the user's exports: all written before the page goes

private:
    void handleAsyncUpdate() override                { page.saveBackups(); }

    void timerCallback() override
    {
        stopTimer();
        page.saveWorkspace();
    }

    // Only changes inside the backups' category: the category itself comes and goes with the sources.
    void valueTreeChildAdded (juce::ValueTree& parent, juce::ValueTree&) override              { changedIn (parent); }
    void valueTreeChildRemoved (juce::ValueTree& parent, juce::ValueTree&, int) override       { changedIn (parent); }
    void valueTreeChildOrderChanged (juce::ValueTree& parent, int, int) override               { changedIn (parent); }

    void valueTreePropertyChanged (juce::ValueTree& node, const juce::Identifier& property) override
    {
        if (property == SourceTreeIds::label)
            changedIn (node);
    }

    void changedIn (const juce::ValueTree& node)
    {
        if (categoryOf (node) == SourceTreeIds::archiveCategory)
            backupsChanged();
    }

    /** The category a node lies in, itself included; empty outside the tree's categories. */
    static juce::String categoryOf (juce::ValueTree node)
    {
        for (; node.isValid(); node = node.getParent())
            if (node.hasType (SourceTreeIds::category))
                return node[SourceTreeIds::category].toString();

        return {};
    }

    DataPage& page;
};
