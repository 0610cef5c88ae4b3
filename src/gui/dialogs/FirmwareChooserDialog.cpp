#include "gui/dialogs/FirmwareChooserDialog.h"

#include "base/BelvoraSettings.h"
#include "app/Nexus.h"
#include "content/ContentManager.h"
#include "devices/DeviceManager.h"
#include "gui/Palette.h"
#include "gui/widgets/Alerts.h"
#include "gui/widgets/FileChoosers.h"
#include "gui/widgets/WidgetMetrics.h"

FirmwareChooserContext FirmwareChooserContext::read (const ContentManager* content, const DeviceManager* devices, int productId)
{
    FirmwareChooserContext context;
    context.productId = productId;

    if (content != nullptr)
        context.updates = content->getFirmwareUpdates (productId);

    if (devices != nullptr)
    {
        context.activeProductId = devices->getDeviceProductId (-1);
        context.activeDisplayName = devices->getActiveDeviceDisplayName();
        context.activeVersion = devices->getDeviceVersion (-1);
    }

    return context;
}

int FirmwareChooserContext::getInstalledBuild() const
{
    return activeProductId == productId ? (int) activeVersion.build : -1;
}

int FirmwareChooserContext::getSuggestedRow() const
{
    // The list is in ascending builds. Nothing older than the unit's build is
    // offered: a downgrade is the user's own choice.
    if (! updates.isEmpty() && updates.getLast().version.build > getInstalledBuild())
        return updates.size() - 1;

    return -1;
}

//==============================================================================
FirmwareChooserContent::FirmwareChooserContent (bool showCustom, const FirmwareChooserContext& context)
    : updates (context.updates), activeVersion (context.activeVersion), installedBuild (context.getInstalledBuild())
{
    const auto f = WidgetMetrics::fontSize (*this);

    for (auto* label : { &labelVersions, &labelDetails, &labelReleaseDate })
    {
        label->setFont (BVLookAndFeel::makeFont (f, juce::Font::bold));
        label->setColour (juce::Label::textColourId, Palette::dialogTextColour);
        label->setBorderSize ({});
        addAndMakeVisible (label);
    }

    labelReleaseDate.setJustificationType (juce::Justification::centredRight);
    labelReleaseDate.setColour (juce::Label::textColourId, Palette::editorHighlightColour);

    list.setModel (this);
    list.setRowHeight ((int) std::ceil (f / 0.75f));
    addAndMakeVisible (list);

    for (auto* b : { &buttonStart, &buttonCancel, &buttonCustom })
    {
        b->setName (b->getButtonText());
        b->addListener (this);
        addAndMakeVisible (b);
    }

    buttonCustom.setVisible (showCustom);
    buttonStart.setEnabled (false);

    viewport.setScrollBarsShown (true, true);
    addAndMakeVisible (viewport);

    const auto s = WidgetMetrics::scale (*this);
    setSize (juce::roundToInt (700.0f * s), juce::roundToInt (400.0f * s));

    if (const auto row = context.getSuggestedRow(); row >= 0)
        list.selectRow (row);
}

FirmwareChooserContent::~FirmwareChooserContent()
{
    viewport.setViewedComponent (nullptr, false);

    if (auto* prompt = buildPrompt.getComponent())
        prompt->exitModalState (0);
}

FirmwareUpdateElement FirmwareChooserContent::getSelectedUpdate() const
{
    if (customUpdate != nullptr)
        return *customUpdate;

    const auto row = list.getSelectedRow();
    return juce::isPositiveAndBelow (row, updates.size()) ? updates.getReference (row) : FirmwareUpdateElement();
}

//==============================================================================
juce::int64 FirmwareChooserContent::buildNumberInPath (const juce::String& path)
{
    if (! path.contains ("build"))
        return 0;

    const auto digits = path.fromLastOccurrenceOf ("build", false, false).initialSectionContainingOnly ("0123456789");
    return digits.substring (0, 18).getLargeIntValue();
}

juce::File FirmwareChooserContent::startForCustomFile (const juce::String& lastFirmwareFile)
{
    if (juce::File::isAbsolutePath (lastFirmwareFile))
    {
        const juce::File last (lastFirmwareFile);

        if (last.existsAsFile())
            return last;

        if (last.getParentDirectory().isDirectory())
            return last.getParentDirectory();
    }

    return juce::File::getSpecialLocation (juce::File::userHomeDirectory);
}

int FirmwareChooserContent::parseBuildNumber (const juce::String& text)
{
    const auto trimmed = text.trim();

    if (! trimmed.containsOnly ("0123456789") || trimmed.length() > 9)
        return -1;

    const auto value = trimmed.getIntValue();
    return value <= 32767 ? value : -1;
}

std::unique_ptr<juce::AlertWindow> FirmwareChooserContent::makeBuildNumberPrompt (juce::int64 proposed, juce::Component* over)
{
    auto prompt = std::make_unique<Alerts::Window> ("Specify Build Number", "Please enter the build number for the selected file.",
                                                    juce::MessageBoxIconType::NoIcon, over);
    prompt->addTextField ("Build Number", juce::String (proposed), "Build Number");
    prompt->addButton ("Ok", 1, juce::KeyPress (juce::KeyPress::returnKey));
    prompt->addButton ("Cancel", 0, juce::KeyPress (juce::KeyPress::escapeKey));
    return prompt;
}

void FirmwareChooserContent::chooseCustomUpdateFile()
{
    const auto start = startForCustomFile (BelvoraSettings::getUserSettings().getValue ("lastFirmwareFile"));
    const auto chosen = FileChoosers::choose ({ FileChoosers::Mode::openFile, "Select update file...", start, "*.syx" });

    if (chosen.isEmpty())
        return;

    customFile = chosen.getFirst().getFullPathName();

    if (! chosen.getFirst().existsAsFile())
    {
        Alerts::showWarning (this, "File Not Found", "The specified file does not exist.");
        return;
    }

    auto* prompt = makeBuildNumberPrompt (buildNumberInPath (customFile), this).release();
    buildPrompt = prompt;

    juce::Component::SafePointer<FirmwareChooserContent> self (this);
    prompt->enterModalState (true, juce::ModalCallbackFunction::create ([self, prompt] (int result)
    {
        // Called before the prompt deletes itself, so its field can still be read.
        if (self != nullptr)
            self->customBuildNumberEntered (result, prompt->getTextEditorContents ("Build Number"));
    }), true);
}

void FirmwareChooserContent::customBuildNumberEntered (int result, const juce::String& text)
{
    if (auto* prompt = buildPrompt.getComponent())
        prompt->setVisible (false);

    if (result != 1)
        return;

    const auto build = parseBuildNumber (text);

    if (build < 0)
    {
        Alerts::showWarning (this, "Invalid Build Number", "Please enter a build number from 1 to 32767.");
        return;
    }

    auto version = activeVersion;

    if (build > 0)
        version.build = (int16_t) build;

    startRequested = true;
    customUpdate = std::make_unique<FirmwareUpdateElement> (FirmwareUpdateElement::createFromFile (customFile, version));
    BelvoraSettings::getUserSettings().setValue ("lastFirmwareFile", customFile);
    BelvoraDialog::closeWith (*this, 0);
}

//==============================================================================
int FirmwareChooserContent::getNumRows()
{
    return updates.size();
}

void FirmwareChooserContent::paintListBoxItem (int row, juce::Graphics& g, int width, int height, bool selected)
{
    if (! juce::isPositiveAndBelow (row, updates.size()))
        return;

    if (selected)
        g.fillAll (Palette::firmwareChooserGrey);

    g.setColour (selected ? Palette::firmwareChooserBlack : list.findColour (juce::ListBox::textColourId));
    g.setFont (BVLookAndFeel::makeFont ((float) height * 0.75f));
    // A beta's tag and the installed mark together are wider than the column: narrowed a little, not cut.
    g.drawFittedText (getRowText (row), 5, 0, width - 5, height, juce::Justification::centredLeft, 1, 0.8f);
}

juce::String FirmwareChooserContent::getRowText (int row) const
{
    if (! juce::isPositiveAndBelow (row, updates.size()))
        return {};

    const auto& version = updates.getReference (row).version;
    const auto text = formatFirmwareVersion (version, false);
    return version.build == installedBuild ? text + " (installed)" : text;
}

void FirmwareChooserContent::selectedRowsChanged (int lastRowSelected)
{
    // Only a selected row can be installed.
    buttonStart.setEnabled (juce::isPositiveAndBelow (list.getSelectedRow(), updates.size()));
    showDetails (lastRowSelected);
}

void FirmwareChooserContent::showDetails (int row)
{
    const auto element = juce::isPositiveAndBelow (row, updates.size()) ? updates.getReference (row) : FirmwareUpdateElement();

    viewport.setViewedComponent (nullptr, false);
    descriptionView = element.createDescriptionView (BVLookAndFeel::makeFont (WidgetMetrics::fontSize (*this)));
    labelReleaseDate.setText ("Release Date: " + element.pubDate.formatted ("%b %d, %Y - %I:%M %p"), juce::dontSendNotification);
    viewport.setViewedComponent (descriptionView.get(), false);
    resized();
}

void FirmwareChooserContent::buttonClicked (juce::Button* button)
{
    if (button == &buttonStart)
    {
        startRequested = true;
        BelvoraDialog::closeWith (*this, 0);
    }
    else if (button == &buttonCancel)
    {
        BelvoraDialog::closeWith (*this, 0);
    }
    else if (button == &buttonCustom)
    {
        chooseCustomUpdateFile();
    }
}

void FirmwareChooserContent::paint (juce::Graphics& g)
{
    g.setColour (Palette::listBackgroundColour);
    g.fillRect (detailsArea);
}

void FirmwareChooserContent::resized()
{
    const auto [f, s, m] = WidgetMetrics::sizes (*this);
    const auto w = getWidth(), h = getHeight();

    const auto buttonHeight = (int) (2.0f * f);
    const auto buttonWidth = WidgetMetrics::textButtonWidth (juce::roundToInt (100.0f * s), buttonHeight,
                                                             { &buttonStart, &buttonCancel, &buttonCustom });
    const auto buttonY = h - buttonHeight - m;

    buttonCancel.setBounds (w - buttonWidth - m, buttonY, buttonWidth, buttonHeight);
    buttonStart.setBounds (buttonCancel.getX() - buttonWidth - m, buttonY, buttonWidth, buttonHeight);
    buttonCustom.setBounds (m, buttonY, buttonWidth, buttonHeight);

    const auto leftWidth = juce::roundToInt (200.0f * s);
    const auto labelHeight = juce::roundToInt (f) + 1;
    labelVersions.setBounds (m, juce::roundToInt (15.0f * s), leftWidth - m, labelHeight);

    const auto top = labelVersions.getBottom() + 5;
    list.setBounds (m, top, leftWidth - m, buttonY - m - top);

    const auto detailsX = leftWidth + m;
    labelDetails.setBounds (detailsX, labelVersions.getY(), w - detailsX - m, labelHeight);
    detailsArea = { detailsX, top, w - detailsX - m, list.getHeight() };

    auto inside = detailsArea.reduced (juce::roundToInt (4.0f * s));
    labelReleaseDate.setBounds (inside.removeFromTop (juce::roundToInt (f * 1.5f)));
    viewport.setBounds (inside);
    layOutDescription();
}

void FirmwareChooserContent::layOutDescription()
{
    if (descriptionView != nullptr)
        descriptionView->setSize (juce::jmax (0, viewport.getWidth() - viewport.getScrollBarThickness()),
                                  descriptionView->getHeight());

    // The notes are a Tab stop of their own (the arrows scroll them) only when there is more of them than shows.
    viewport.setWantsKeyboardFocus (descriptionView != nullptr && descriptionView->getHeight() > viewport.getMaximumVisibleHeight());
}

//==============================================================================
FirmwareChooserDialog::FirmwareChooserDialog (juce::Component* parent, uint8_t productId, bool showCustom)
    : FirmwareChooserDialog (parent, showCustom,
                             FirmwareChooserContext::read (Nexus::getContentManager(), Nexus::getDeviceManager(), productId))
{
}

FirmwareChooserDialog::FirmwareChooserDialog (juce::Component* parent, bool showCustom, const FirmwareChooserContext& context)
    : BelvoraDialog (titleFor (context.productId, context), Palette::dialogBackgroundColour,
                     std::make_unique<FirmwareChooserContent> (showCustom, context), parent)
{
}

juce::String FirmwareChooserDialog::titleFor (int productId, const FirmwareChooserContext& context)
{
    if (context.activeProductId == productId)
        return context.activeDisplayName + " Firmware Updates";

    return "Product Firmware Updates";
}

FirmwareChooserContent& FirmwareChooserDialog::getChooserContent() const
{
    return *dynamic_cast<FirmwareChooserContent*> (getContentComponent());
}
