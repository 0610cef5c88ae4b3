#pragma once

#include "gui/OptionsDialogLaf.h"
#include "gui/dialogs/BelvoraDialog.h"
#include "gui/dialogs/OptionsPages.h"

/** The tabs "General", "Devices" and "Data" with "Ok", "Cancel" and "Restore Defaults". */
class OptionsContent : public juce::Component,
                       public juce::Button::Listener
{
public:
    OptionsContent();
    ~OptionsContent() override;

    /** Flags the caller reads after "Ok". */
    bool wasRestoreDefaultsPressed() const noexcept   { return restoreDefaultsPressed; }

    GeneralOptionsComp& getGeneralPage() noexcept     { return generalPage; }
    DeviceOptionsComp& getDevicePage() noexcept       { return devicePage; }
    DataOptionsComp& getDataPage() noexcept           { return dataPage; }
    juce::TabbedComponent& getTabs() noexcept         { return tabs; }

    void buttonClicked (juce::Button* button) override;
    void resized() override;

    /** Ctrl+Tab and Ctrl+Page Down (with Shift, Page Up) move between the tabs;
        Return means "Ok" but on a push button (a checkbox takes Space). */
    bool keyPressed (const juce::KeyPress& key) override;

private:
    /** The scale of the program's look-and-feel around the dialog (1 under another one). */
    static float surroundingScale();

    OptionsDialogLaf laf { surroundingScale() };
    juce::TabbedComponent tabs { juce::TabbedButtonBar::TabsAtTop };
    GeneralOptionsComp generalPage { laf };
    DeviceOptionsComp devicePage { laf };
    DataOptionsComp dataPage { laf };
    juce::Array<OptionsComponentPage*> pages;
    juce::TextButton okButton { "Ok" }, cancelButton { "Cancel" }, restoreButton { "Restore Defaults" };
    bool restoreDefaultsPressed = false;

    /** Return on a checkbox or radio button reaches the content rather than flipping it. */
    struct ReturnPassesToggles : juce::KeyListener
    {
        bool keyPressed (const juce::KeyPress& key, juce::Component* origin) override;
    } returnPassesToggles;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OptionsContent)
};

/** "Options": run it modally; 1 after "Ok" (the pages have stored their
    settings), 0 after "Cancel" or closing (nothing stored). After "Ok" the
    caller acts on the flags: forgets the known units when the history was
    cleared, resets the preset-button views after "Restore Defaults", and
    asks for a restart when the scale changed. */
class OptionsDialog : public BelvoraDialog
{
public:
    explicit OptionsDialog (juce::Component* parent);

    OptionsContent& getOptionsContent() const;

    bool wasRestoreDefaultsPressed() const   { return getOptionsContent().wasRestoreDefaultsPressed(); }
    bool isHistoryCleared() const            { return getOptionsContent().getDevicePage().isHistoryCleared(); }
    bool isScaleChanged() const              { return getOptionsContent().getGeneralPage().isScaleChanged(); }
};
