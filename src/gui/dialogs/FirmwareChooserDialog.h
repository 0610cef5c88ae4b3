#pragma once

#include "content/FirmwareUpdateElement.h"
#include "gui/dialogs/BelvoraDialog.h"
#include "gui/widgets/ListFocusRing.h"

class ContentManager;
class DeviceManager;

/** What the firmware chooser offers and what it knows of the active unit. */
struct FirmwareChooserContext
{
    juce::Array<FirmwareUpdateElement> updates;   // installable, ascending build
    int productId = 255;                          // whose updates these are
    int activeProductId = 255;
    juce::String activeDisplayName;
    FirmwareVersion activeVersion;

    /** The catalogue's updates of the product and the device manager's active unit (either may be null). */
    static FirmwareChooserContext read (const ContentManager* content, const DeviceManager* devices, int productId);

    /** The build on the active unit when it is of this product, else -1. */
    int getInstalledBuild() const;

    /** The row to offer first: the newest build above the installed one, -1 when there is none. */
    int getSuggestedRow() const;
};

/** The product's installable updates with the release date and description of
    the selected one and, when asked for, a firmware file of the user's with its
    build number. Only collects the choice. */
class FirmwareChooserContent : public juce::Component,
                               public juce::ListBoxModel,
                               public juce::Button::Listener
{
public:
    FirmwareChooserContent (bool showCustom, const FirmwareChooserContext& context);
    ~FirmwareChooserContent() override;

    /** "Start Update" was pressed, or a file of the user's was accepted. */
    bool isStartRequested() const noexcept                    { return startRequested; }

    /** The update made from the user's file, or null. */
    const FirmwareUpdateElement* getCustomUpdate() const       { return customUpdate.get(); }

    /** The user's update, else the selected row's, else an element of status none. */
    FirmwareUpdateElement getSelectedUpdate() const;

    const juce::Array<FirmwareUpdateElement>& getUpdates() const noexcept   { return updates; }

    /** A row's text: the version, and whether it is the build on the unit. */
    juce::String getRowText (int row) const;

    /** The number right after the last "build" in the path, 0 when there is none. */
    static juce::int64 buildNumberInPath (const juce::String& path);

    /** Where the file chooser opens: "lastFirmwareFile", else its folder, else the home folder. */
    static juce::File startForCustomFile (const juce::String& lastFirmwareFile);

    /** The build a typed text asks for: 0 (empty or 0) keeps the unit's build,
        1 .. 32767 replaces it, -1 for anything else (the version holds 16 bits). */
    static int parseBuildNumber (const juce::String& text);

    /** The prompt for a custom file's build number, proposing one, centred over a component. */
    static std::unique_ptr<juce::AlertWindow> makeBuildNumberPrompt (juce::int64 proposed, juce::Component* over);

    /** Chooses a file and asks for its build number (the answer arrives in customBuildNumberEntered). */
    void chooseCustomUpdateFile();

    /** The build number prompt's answer: 1 "Ok" with the typed text, 0 "Cancel". */
    void customBuildNumberEntered (int result, const juce::String& text);

    /** The prompt while it is open. */
    juce::AlertWindow* getBuildNumberPrompt() const            { return buildPrompt.getComponent(); }

    // ListBoxModel
    int getNumRows() override;
    void paintListBoxItem (int row, juce::Graphics& g, int width, int height, bool selected) override;
    void selectedRowsChanged (int lastRowSelected) override;

    void buttonClicked (juce::Button* button) override;
    void paint (juce::Graphics& g) override;
    void resized() override;

private:
    void showDetails (int row);
    void layOutDescription();

    bool startRequested = false;
    std::unique_ptr<FirmwareUpdateElement> customUpdate;
    juce::String customFile;
    const juce::Array<FirmwareUpdateElement> updates;
    const FirmwareVersion activeVersion;
    const int installedBuild;

    juce::Label labelVersions { "labelVersions", "Versions" };
    juce::Label labelDetails { "labelDetails", "Details" };
    juce::Label labelReleaseDate { "labelReleaseDate" };
    juce::ListBox list { "list" };
    ListFocusRing listRing { list };
    juce::TextButton buttonStart { "Start Update" }, buttonCancel { "Cancel" }, buttonCustom { "Custom Update..." };
    juce::Rectangle<int> detailsArea;
    juce::Viewport viewport { "viewport" };
    ListFocusRing viewportRing { viewport, false };
    std::unique_ptr<juce::Component> descriptionView;
    juce::Component::SafePointer<juce::AlertWindow> buildPrompt;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FirmwareChooserContent)
};

/** "Product Firmware Updates", or the active unit's name + " Firmware Updates"
    when it is of that product. Closing it, by any way, gives 0: the owner starts
    the update only when isStartRequested(), with getSelectedUpdate(). */
class FirmwareChooserDialog : public BelvoraDialog
{
public:
    /** The running program's catalogue and active unit. */
    FirmwareChooserDialog (juce::Component* parent, uint8_t productId, bool showCustom);
    /** The updates and unit of the context's product. */
    FirmwareChooserDialog (juce::Component* parent, bool showCustom, const FirmwareChooserContext& context);

    static juce::String titleFor (int productId, const FirmwareChooserContext& context);

    FirmwareChooserContent& getChooserContent() const;
    bool isStartRequested() const                   { return getChooserContent().isStartRequested(); }
    FirmwareUpdateElement getSelectedUpdate() const { return getChooserContent().getSelectedUpdate(); }
};
