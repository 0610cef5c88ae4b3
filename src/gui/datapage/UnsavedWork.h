#pragma once

#include <juce_core/juce_core.h>

/** What of the user's work the last saves could not put on disk, in three
    parts (the workspace of the unit, the backups, the settings), and when to tell it: a
    failing episode is told once, when it starts, not at every edit, and its
    end once everything is written. */
class UnsavedWork
{
public:
    enum class Part { workspace, backups, settings };
    enum class Change { none, started, ended };

    /** The part's items that are not on disk now (empty: all written), and
        what the system said of the failure (an errno value, 0 for nothing). */
    Change update (Part part, const juce::StringArray& items, int error = 0);

    /** Every item not on disk, the workspace's first. */
    juce::StringArray getItems() const;

    /** What the system said of the parts not on disk, each once. */
    juce::Array<int> getErrors() const;
    bool isEmpty() const noexcept                    { return workspace.isEmpty() && backups.isEmpty() && settings.isEmpty(); }
    bool isEmpty (Part part) const noexcept          { return itemsOf (part).isEmpty(); }
    /** Forgets the unit's parts; the settings are the program's, and stay until written. */
    void clear()                                     { workspace.clear(); backups.clear(); errors[0] = errors[1] = 0; }

    // What the boxes say.
    static juce::String workspaceItem (const juce::String& deviceName)     { return "the workspace of " + deviceName; }
    static juce::String unitDataItem (const juce::String& deviceName)      { return "the data last read from " + deviceName; }
    static juce::String backupItem (const juce::String& title)             { return "the backup \"" + title + "\""; }
    static juce::String indexItem()                                        { return "the list of backups"; }
    static juce::String settingsItem()                                     { return "the settings"; }

    static juce::String failedMessage (const juce::StringArray& items, const juce::Array<int>& errors = {});
    static juce::String savedMessage();
    static juce::String closingMessage (const juce::StringArray& items, bool quitting, const juce::Array<int>& errors = {});

    static juce::String closeAnywayText (bool quitting)                    { return quitting ? "Quit Anyway" : "Close Anyway"; }

private:
    juce::StringArray workspace, backups, settings;
    int errors[3] {};   // by part

    const juce::StringArray& itemsOf (Part part) const noexcept
    {
        return part == Part::workspace ? workspace : part == Part::backups ? backups : settings;
    }
};
