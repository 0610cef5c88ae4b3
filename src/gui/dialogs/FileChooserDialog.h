#pragma once

#include "gui/dialogs/BelvoraDialog.h"
#include "gui/widgets/FileChoosers.h"
#include "gui/widgets/ListFocusRing.h"

/** A file or folder chooser that works by keys as by the pointer: the file
    name box has the focus when it opens, and Return there picks what it names
    (a folder's name, in a file chooser, opens that folder); Tab goes on to the
    buttons and round to the folder box and the list, whose arrows move and
    whose Return opens a folder or picks a file. The folder is listed on the
    browser's own thread. */
class FileChooserContent : public juce::Component,
                           private juce::FileBrowserListener
{
public:
    explicit FileChooserContent (const FileChoosers::Request& request);
    ~FileChooserContent() override;

    /** What was picked; empty until the chooser closes with a choice. */
    const juce::Array<juce::File>& getResults() const noexcept   { return results; }

    /** The default button, as Return in the name box: picks what the box names
        (several files: those selected in the list), or opens the folder it names.
        Nothing when the box names nothing that can be picked. */
    void confirm();

    juce::FileBrowserComponent& getBrowser() noexcept   { return browser; }

    void resized() override;

private:
    juce::Array<juce::File> named() const;
    bool canConfirm() const;
    void finish (const juce::Array<juce::File>& files);

    std::unique_ptr<juce::ComponentTraverser> createKeyboardFocusTraverser() override;

    void selectionChanged() override;
    void fileClicked (const juce::File&, const juce::MouseEvent&) override {}
    void fileDoubleClicked (const juce::File&) override;
    void browserRootChanged (const juce::File&) override;

    const FileChoosers::Mode mode;
    const bool warnAboutOverwriting;
    juce::WildcardFileFilter filter;
    juce::FileBrowserComponent browser;
    juce::TextEditor* nameBox = nullptr;
    std::unique_ptr<ListFocusRing> listRing, nameRing;
    juce::TextButton openButton, cancelButton;
    juce::Array<juce::File> results;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FileChooserContent)
};

/** The window of one chooser, titled with the request's title. */
class FileChooserDialog : public BelvoraDialog
{
public:
    explicit FileChooserDialog (const FileChoosers::Request& request, juce::Component* parent = nullptr);

    FileChooserContent& getChooserContent() const;

    /** Runs it modally; what was picked, empty when it was cancelled or closed. */
    juce::Array<juce::File> choose();
};
