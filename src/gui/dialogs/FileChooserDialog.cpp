#include "gui/dialogs/FileChooserDialog.h"

#include "gui/Palette.h"
#include "gui/widgets/Alerts.h"
#include "gui/widgets/WidgetMetrics.h"

namespace
{
    using Mode = FileChoosers::Mode;

    int browserFlags (Mode mode)
    {
        using B = juce::FileBrowserComponent;

        switch (mode)
        {
            case Mode::openFiles:     return B::openMode | B::canSelectFiles | B::canSelectMultipleItems;
            case Mode::saveFile:      return B::saveMode | B::canSelectFiles;
            case Mode::chooseFolder:  return B::openMode | B::canSelectDirectories;
            case Mode::openFile:      break;
        }

        return B::openMode | B::canSelectFiles;
    }

    template <typename Type>
    Type* childOf (juce::Component& parent)
    {
        for (auto* child : parent.getChildren())
            if (auto* typed = dynamic_cast<Type*> (child))
                return typed;

        return nullptr;
    }

    /** Opening the chooser puts the focus in the name box, not on the first control. */
    struct NameBoxFirst : juce::KeyboardFocusTraverser
    {
        explicit NameBoxFirst (juce::Component& box) : nameBox (box) {}

        juce::Component* getDefaultComponent (juce::Component* parent) override
        {
            if (parent != nullptr && parent->isParentOf (&nameBox) && nameBox.isShowing())
                return &nameBox;

            return juce::KeyboardFocusTraverser::getDefaultComponent (parent);
        }

        juce::Component& nameBox;
    };
}

FileChooserContent::FileChooserContent (const FileChoosers::Request& request)
    : mode (request.mode),
      warnAboutOverwriting (request.warnAboutOverwriting),
      filter (mode == Mode::chooseFolder ? juce::String() : (request.patterns.isEmpty() ? juce::String ("*") : request.patterns),
              mode == Mode::chooseFolder ? "*" : juce::String(), {}),
      browser (browserFlags (mode), request.start, &filter, nullptr),
      openButton (browser.getActionVerb()),
      cancelButton ("Cancel")
{
    const auto px = WidgetMetrics::pixels (*this);
    const auto font = BVLookAndFeel::makeFont (WidgetMetrics::fontSize (*this));

    addAndMakeVisible (browser);
    browser.addListener (this);

    // The framework's box is read-only when several files may be picked: here one is typed as anywhere.
    nameBox = childOf<juce::TextEditor> (browser);
    jassert (nameBox != nullptr);
    nameBox->setName ("filename");
    nameBox->setReadOnly (false);
    nameBox->setFont (font);
    nameBox->applyFontToAllText (font);
    nameBox->setIndents (px (4), px (4));
    nameBox->onReturnKey = [this] { confirm(); };
    // The framework puts the list's selection back over a typed name when the box loses the focus.
    nameBox->onFocusLost = nullptr;
    // Marked as the list is: a text field's own outline is hard to see.
    nameRing = std::make_unique<ListFocusRing> (*nameBox);

    if (auto* label = childOf<juce::Label> (browser))
    {
        label->setFont (font);
        label->setBorderSize ({ px (1), px (5), px (1), px (5) });

        if (mode == Mode::chooseFolder)
            label->setText ("folder:", juce::dontSendNotification);
    }

    if (auto* list = dynamic_cast<juce::ListBox*> (browser.getDisplayComponent()))
    {
        list->setName ("files");
        list->setRowHeight (px (22));
        list->setOutlineThickness (px (1));
        listRing = std::make_unique<ListFocusRing> (*list);
    }

    for (auto* button : { &openButton, &cancelButton })
    {
        addAndMakeVisible (*button);
        button->setName (button->getButtonText());
    }

    openButton.onClick = [this] { confirm(); };
    cancelButton.onClick = [this] { BelvoraDialog::closeWith (*this, 0); };

    setSize (px (600), px (460));
    selectionChanged();
}

FileChooserContent::~FileChooserContent()
{
    browser.removeListener (this);
}

juce::Array<juce::File> FileChooserContent::named() const
{
    const auto text = nameBox->getText();
    const auto& root = browser.getRoot();

    if (text.isEmpty())
        return {};

    // Several files picked in the list are named together in the box.
    if (mode == Mode::openFiles)
    {
        juce::Array<juce::File> selected;
        juce::StringArray names;
        auto* list = browser.getDisplayComponent();

        for (int i = 0; i < list->getNumSelectedFiles(); ++i)
        {
            const auto file = list->getSelectedFile (i);

            if (! file.isDirectory() && filter.isFileSuitable (file))
            {
                selected.add (file);
                names.add (file.getRelativePathFrom (root));
            }
        }

        if (selected.size() > 1 && names.joinIntoString (", ") == text)
            return selected;
    }

    return { root.getChildFile (text) };
}

bool FileChooserContent::canConfirm() const
{
    if (mode == Mode::chooseFolder)
        return nameBox->isEmpty() || browser.getRoot().getChildFile (nameBox->getText()).isDirectory();

    const auto files = named();

    if (files.size() == 1 && files.getFirst().isDirectory())
        return true;

    if (mode == Mode::saveFile)
        return files.size() == 1 && files.getFirst().getParentDirectory().isDirectory();

    return ! files.isEmpty() && std::all_of (files.begin(), files.end(), [] (const juce::File& f) { return f.existsAsFile(); });
}

void FileChooserContent::confirm()
{
    if (! canConfirm())
        return;

    if (mode == Mode::chooseFolder)
    {
        finish ({ nameBox->isEmpty() ? browser.getRoot() : browser.getRoot().getChildFile (nameBox->getText()) });
        return;
    }

    const auto files = named();
    const auto& first = files.getReference (0);

    // A folder named in a file chooser is opened, the box left for the file's name.
    if (first.isDirectory())
    {
        browser.setRoot (first);
        nameBox->clear();
        selectionChanged();
        return;
    }

    if (mode == Mode::saveFile && warnAboutOverwriting && first.exists()
        && ! Alerts::askBeforeDiscarding (juce::MessageBoxIconType::WarningIcon, this, "File already exists",
                                          "There's already a file called: " + first.getFullPathName() + "\n\nAre you sure you want to overwrite it?",
                                          "Overwrite", "Cancel"))
        return;

    finish (files);
}

void FileChooserContent::finish (const juce::Array<juce::File>& files)
{
    results = files;
    BelvoraDialog::closeWith (*this, 1);
}

std::unique_ptr<juce::ComponentTraverser> FileChooserContent::createKeyboardFocusTraverser()
{
    return std::make_unique<NameBoxFirst> (*nameBox);
}

void FileChooserContent::selectionChanged()
{
    openButton.setEnabled (canConfirm());
}

void FileChooserContent::fileDoubleClicked (const juce::File&)
{
    confirm();
}

void FileChooserContent::browserRootChanged (const juce::File&)
{
    // A folder typed in the folder box: its field went with the focus, which the list takes.
    if (isShowing() && ! hasKeyboardFocus (true))
        dynamic_cast<juce::Component*> (browser.getDisplayComponent())->grabKeyboardFocus();

    // A name left from the folder before would name no folder here.
    if (mode == Mode::chooseFolder)
        nameBox->clear();

    selectionChanged();
}

void FileChooserContent::resized()
{
    const auto [f, s, g] = WidgetMetrics::sizes (*this);
    const auto row = (int) (2.0f * f);
    const auto buttonWidth = WidgetMetrics::textButtonWidth (juce::roundToInt (80.0f * s), row, { &openButton, &cancelButton });
    auto area = getLocalBounds();

    auto buttons = area.removeFromBottom (row + 2 * g).reduced (g);
    cancelButton.setBounds (buttons.removeFromRight (buttonWidth));
    buttons.removeFromRight (g);
    openButton.setBounds (buttons.removeFromRight (buttonWidth));
    browser.setBounds (area);
}

//==============================================================================
FileChooserDialog::FileChooserDialog (const FileChoosers::Request& request, juce::Component* parent)
    : BelvoraDialog (request.title, Palette::dialogBackgroundColour, std::make_unique<FileChooserContent> (request), parent)
{
}

FileChooserContent& FileChooserDialog::getChooserContent() const
{
    return *dynamic_cast<FileChooserContent*> (getContentComponent());
}

juce::Array<juce::File> FileChooserDialog::choose()
{
    return runModal() != 0 ? getChooserContent().getResults() : juce::Array<juce::File>();
}
