#pragma once

#include <juce_data_structures/juce_data_structures.h>

/** The one settings store of the program ("Belvora 2.settings" in the data
    folder) and the typed accessors of the core's own keys. The store is
    thread-safe; every part reads and writes its own keys. */
class BelvoraSettings
{
public:
    static juce::ApplicationProperties& getAppProperties();

    /** The user settings file of the store. */
    static juce::PropertiesFile& getUserSettings();

    /** Writes what changed, lets the writes handed over end, and deletes the
        process-wide settings holder (also done at process exit); the framework
        never writes the settings itself. */
    static void releaseAppProperties();

    /** Gives the settings holder its storage parameters (file "Belvora 2.settings"). */
    static void configureAppProperties();

    /** Hands the settings to their lane of the writes thread and returns: written
        there alone, in order, as they are when their turn comes (so the last
        state wins), if they changed since the last write or that failed.
        whenWritten, if any, is called on the message thread once they were. */
    static void saveInBackground (std::function<void()> whenWritten = {});

    /** Returns once the writes of the settings handed over so far are done.
        Not for the message thread while its loop runs. */
    static void waitForWrites();

    /** Whether the last write of the settings failed (they are not on disk). */
    static bool hasUnsavedSettings();

    /** What the system said of that failure (an errno value, see SaveFailure::describe); 0 when it said nothing. */
    static int getLastSaveError();

    /** Called on the message thread after each save of the settings a change
        brought (none to stop). */
    static void setSaveListener (std::function<void()> listener);

    /** What a start found wrong with the settings, to be told. */
    struct Recovery
    {
        juce::File aside;           // the settings file moved aside, or the file itself when it could be neither read nor moved
        juce::File lastGoodAside;   // the last good copy, moved aside as it could not be read
        bool missing = false;       // no settings file (or a link to nothing) beside a last good copy
        bool fromLastGood = false;  // the settings are those of the last good copy

        bool isEmpty() const        { return aside == juce::File() && lastGoodAside == juce::File() && ! missing; }
    };

    /** When the settings file cannot be read, or is missing, moves it aside and
        takes the copy kept at the last start or quit in its place (or starts
        from the defaults); otherwise keeps the file as that copy, on the writes
        thread. A kept copy that cannot be read is moved aside. From then on the
        settings are saved a short while after each change. */
    static Recovery recoverSettingsFile();

    /** Whether the settings were checked and opened by recoverSettingsFile (message thread). */
    static bool areOpen();

    /** The copy of the settings file as it was last known to be readable. */
    static juce::File getLastGoodSettingsFile();

    /** Copies a readable settings file to that copy, on the settings' lane; a
        copy that cannot be read is never written over (it was moved aside, or named). */
    static void keepLastGoodSettings();

    static int getDataSyncMethod();
    static void setDataSyncMethod (int method);
    static int getPresetButtonViewType();
    static void setPresetButtonViewType (int type);
    static float getUiScalingFactor();
    static float getDownloadTimeout();

    /** The same in milliseconds, checked: the one reading of the setting for
        whatever waits by it. What is no positive number (nothing, text, NaN,
        zero or less) is the default of 600 s; the rest lies between 100 ms
        and a day. */
    static int getDownloadTimeoutMs();

private:
    static bool writeUserSettings();
    static Recovery recoverDamagedFile();
    static bool areConfigured();
};
