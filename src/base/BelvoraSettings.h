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

    /** Saves and deletes the process-wide settings holder (also done at process exit). */
    static void releaseAppProperties();

    /** Gives the settings holder its storage parameters (file "Belvora 2.settings"). */
    static void configureAppProperties();

    /** Writes the settings if they changed since the last write, or if that
        failed; keeps whether this one failed. True when they are on disk. Any thread. */
    static bool saveUserSettings();

    /** Whether the last write of the settings failed (they are not on disk). */
    static bool hasUnsavedSettings();

    /** Called on the message thread after each save of the settings a change
        brought (none to stop). */
    static void setSaveListener (std::function<void()> listener);

    /** When the settings file cannot be read, moves it aside and reads the
        copy kept at the last start or quit in its place (or starts from the defaults);
        otherwise keeps the file as that copy. The file moved aside, none, or
        the settings file itself when it could be neither read nor moved.
        From then on the settings are saved a short while after each change. */
    static juce::File recoverSettingsFile();

    /** Whether the settings were checked and opened by recoverSettingsFile (message thread). */
    static bool areOpen();

    /** The copy of the settings file as it was last known to be readable. */
    static juce::File getLastGoodSettingsFile();

    /** Copies a readable settings file to that copy. */
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
    static juce::File recoverDamagedFile();
};
