#include "gui/datapage/DetailsContainers.h"

#include "app/Nexus.h"
#include "model/SourceTreeIds.h"
#include "content/ContentManager.h"
#include "devices/DeviceCaps.h"
#include "devices/DeviceManager.h"
#include "gui/BVLookAndFeel.h"
#include "gui/CommandIDs.h"
#include "gui/MainAppWindow.h"
#include "gui/Palette.h"
#include "gui/SourceTreeIcons.h"
#include "gui/datapage/GridMenus.h"
#include "model/DeviceData.h"
#include "model/SourceTree.h"
#include "resources/BinaryResources.h"

namespace
{
    juce::Font detailsFont (juce::Component& c)
    {
        auto* laf = BVLookAndFeel::of (c);
        return BVLookAndFeel::makeFont (laf != nullptr ? laf->getFontSize() : BVLookAndFeel::Defaults::fontSize);
    }

    void styleRow (juce::Component& owner, juce::Label& label, juce::Label& value)
    {
        const auto font = detailsFont (owner);

        for (auto* l : { &label, &value })
        {
            l->setColour (juce::Label::textColourId, Palette::textColour);
            l->setFont (font);
            owner.addAndMakeVisible (l);
        }

        value.setFont (font.boldened());
        label.setJustificationType (juce::Justification::right);
        value.setJustificationType (juce::Justification::left);
    }

    int labelWidth (const juce::Label& label)
    {
        return juce::roundToInt (label.getFont().getStringWidthFloat (label.getText())) + 10;
    }
}

//==============================================================================
EmptyContainer::EmptyContainer()
{
    auto* laf = BVLookAndFeel::of (*this);
    label.setFont (BVLookAndFeel::makeFont (laf != nullptr ? laf->getLargeFontSize() : 15.0f, juce::Font::italic));
    label.setJustificationType (juce::Justification::centred);
    label.setColour (juce::Label::textColourId, Palette::textColour);
    addAndMakeVisible (label);

    const auto picture = juce::ImageFileFormat::loadFrom (BinaryResources::sync_button_png, (size_t) BinaryResources::sync_button_pngSize);
    syncButton = std::make_unique<juce::ImageButton> ("Big Sync Button");
    syncButton->setImages (true, true, true,
                           picture, 1.0f, juce::Colours::transparentBlack,
                           picture, 1.0f, Palette::iconLightColour,
                           picture, 1.0f, Palette::iconDarkColour);
    syncButton->setClickingTogglesState (false);
    syncButton->addListener (this);
    addAndMakeVisible (*syncButton);
    syncButton->setVisible (false);
}

EmptyContainer::~EmptyContainer()
{
    syncButton->removeListener (this);
}

void EmptyContainer::setMode (int m)
{
    mode = m;

    if (m == 4)
        syncButton->setEnabled (true);

    syncButton->setVisible (m == 4);
    resized();
}

void EmptyContainer::resized()
{
    const auto s = getUiScale();

    // The label stays where nothing else is: it shows only without the button.
    label.setBounds (getLocalBounds().withHeight (juce::jmin (getHeight(), juce::roundToInt (40.0f * s))));
    label.setVisible (! syncButton->isVisible() && getHeight() > 0);

    if (syncButton->isVisible())
    {
        // The picture is drawn for scale 1: the button grows with the scale and the picture with it.
        const auto picture = syncButton->getNormalImage();
        syncButton->setSize (juce::roundToInt ((float) picture.getWidth() * s), juce::roundToInt ((float) picture.getHeight() * s));
        syncButton->setCentreRelative (0.5f, 0.5f);
    }
}

void EmptyContainer::layoutContent (int width, int height)
{
    setLayoutHeight (height);

    if (getWidth() == width)
        return;

    const auto w = width - scrollBarWidth - 2;

    if (mode == 0)
        setBounds (getX(), getY(), w, 0);
    else
        setSize (w, (getParentComponent() != nullptr ? getParentComponent()->getHeight() : height) - 2 - scrollBarWidth);
}

void EmptyContainer::buttonClicked (juce::Button* button)
{
    if (button == syncButton.get())
        GridMenus::invokeCommand (*this, CommandIDs::downloadDeviceData);
}

//==============================================================================
DeviceDetailsContainer::DeviceDetailsContainer()
{
    styleRow (*this, totalLabel, totalValue);
    styleRow (*this, userLabel, userValue);
    styleRow (*this, setupLabel, setupValue);

    const auto s = BVLookAndFeel::of (*this) != nullptr ? BVLookAndFeel::of (*this)->getScale() : 1.0f;
    const auto icon = juce::Drawable::createFromImageData (BinaryResources::toolbar_send_setup_svg,
                                                            (size_t) BinaryResources::toolbar_send_setup_svgSize);
    juce::Image picture (juce::Image::ARGB, juce::roundToInt (4.0f * 34.0f * s), juce::roundToInt (4.0f * 25.0f * s), true);

    if (icon != nullptr)
    {
        juce::Graphics g (picture);
        icon->drawWithin (g, picture.getBounds().toFloat(), juce::RectanglePlacement::centred, 1.0f);
    }

    restoreSetupButton.setImages (true, true, true, picture, 1.0f, {}, picture, 0.6f, {}, picture, 0.3f, {});

    if (auto* commands = MainAppWindow::getApplicationCommandManager())
        restoreSetupButton.setCommandToTrigger (commands, CommandIDs::restoreSetup, true);

    addAndMakeVisible (restoreSetupButton);
    addAndMakeVisible (deviceImage);
}

DeviceDetailsContainer::~DeviceDetailsContainer() = default;

DeviceDetailsContainer::Unit DeviceDetailsContainer::currentUnit() const
{
    if (unitSource)
        return unitSource();

    Unit unit;
    auto* devices = Nexus::getDeviceManager();

    if (devices == nullptr)
        return unit;

    const auto caps = devices->getActiveDeviceCaps();
    unit.data = devices->getActiveDeviceData();
    unit.known = caps != nullptr;

    if (caps != nullptr)
    {
        unit.numPresets = caps->caps.numPresets;
        unit.productId = caps->caps.productId;
    }

    unit.name = devices->getActiveDeviceDisplayName();

    if (auto* content = Nexus::getContentManager(); content != nullptr && caps != nullptr)
        unit.picture = content->getProductImage (unit.productId, unit.name);

    return unit;
}

void DeviceDetailsContainer::refresh()
{
    const auto unit = currentUnit();

    if (unit.data == nullptr || ! unit.known)
    {
        setVisible (false);
        return;
    }

    setVisible (true);
    updateCounters();

    const auto complete = unit.data->getSetup().isComplete();
    setupValue.setVisible (! complete);
    restoreSetupButton.setVisible (complete);
    setupLabel.setText (complete ? "Restore Setup: " : "Setup: ", juce::dontSendNotification);

    const auto s = (double) getUiScale();
    const auto& picture = unit.picture;
    const auto f = picture.isValid() && picture.getHeight() > 0 ? 150.0 / picture.getHeight() : 1.0;

    if (picture.isValid())
        deviceImage.setImage (picture.rescaled ((int) std::nearbyint (picture.getWidth() * f * s),
                                                (int) std::nearbyint (picture.getHeight() * f * s),
                                                juce::Graphics::mediumResamplingQuality));
    else
        deviceImage.setImage (juce::Image());
}

void DeviceDetailsContainer::updateCounters()
{
    const auto unit = currentUnit();

    if (unit.data == nullptr || ! unit.known)
        return;

    const auto n = unit.numPresets;

    if (n >= 1)
    {
        // Slot 0 never holds a user's preset: counted over 1 .. n - 1, so never "100/99".
        const auto used = unit.data->getUsedPresetIndicesInRange (1, n - 1).size();
        int different = 0;

        for (auto slot : unit.data->getDifferentPresetIndices())
            if (slot >= 1 && slot < n)
                ++different;

        totalValue.setText (juce::String::formatted ("%d/%d", used, n - 1), juce::dontSendNotification);
        userValue.setText (juce::String (different), juce::dontSendNotification);
        userLabel.setVisible (true);
        userValue.setVisible (true);
    }
    else
    {
        totalValue.setText ("none", juce::dontSendNotification);
        userLabel.setVisible (false);
        userValue.setVisible (false);
    }
}

void DeviceDetailsContainer::presetDataChanged (const juce::ValueTree&, const juce::Array<int>&)
{
    updateCounters();
}

void DeviceDetailsContainer::layoutContent (int width, int height)
{
    const auto s = (double) getUiScale();
    const auto rh = (int) totalLabel.getFont().getHeight() + (int) std::nearbyint (8.0 * s);
    const auto labelW = labelWidth (totalLabel);

    const auto picture = deviceImage.getImage();
    deviceImage.setBounds (marginX, marginY, picture.getWidth(), picture.getHeight());

    const auto x1 = deviceImage.getRight() + (int) std::nearbyint (40.0 * s);
    auto y = marginY + (int) std::nearbyint (5.0 * s);

    totalLabel.setBounds (x1, y, labelW, rh);
    totalValue.setBounds (totalLabel.getRight(), y, labelW, rh);
    y += rh;

    if (userLabel.isVisible())
    {
        userLabel.setBounds (x1, y, labelW, rh);
        userValue.setBounds (userLabel.getRight(), y, labelW, rh);
        y += rh;
    }

    setupLabel.setBounds (x1, y, labelW, rh);
    restoreSetupButton.setBounds (setupLabel.getRight(), y, (int) (rh * 1.3), rh);
    setupValue.setBounds (setupLabel.getRight(), y, labelW, rh);

    setLayoutHeight (height);
    setSize (width, juce::jmax (setupValue.getBottom(), deviceImage.getBottom()) + marginY);
}

//==============================================================================
GroupDetailsContainer::GroupDetailsContainer()
{
    styleRow (*this, itemsLabel, itemsValue);
    styleRow (*this, subGroupsLabel, subGroupsValue);
}

GroupDetailsContainer::~GroupDetailsContainer()
{
    item.removeListener (this);
}

void GroupDetailsContainer::setItem (const juce::ValueTree& newItem)
{
    item.removeListener (this);
    PanelContainerBase::setItem (newItem);

    if (item.isValid())
        item.addListener (this);
}

void GroupDetailsContainer::clearItem()
{
    item.removeListener (this);
    PanelContainerBase::clearItem();
}

void GroupDetailsContainer::refresh()
{
    int items = 0, ignoredContainers = 0, ignoredData = 0, subGroups = 0;
    SourceTree::countNodes (item, items, ignoredContainers, false);
    SourceTree::countNodes (item, ignoredData, subGroups, true);
    itemsValue.setText (juce::String (items), juce::dontSendNotification);
    subGroupsValue.setText (juce::String (subGroups), juce::dontSendNotification);

    if (groupIcon != nullptr)
        removeChildComponent (groupIcon.get());

    groupIcon = SourceTreeIcons::createNodeIcon (item);

    if (groupIcon != nullptr)
        addAndMakeVisible (groupIcon.get());
}

void GroupDetailsContainer::layoutContent (int width, int height)
{
    const auto s = (double) getUiScale();
    const auto gap = (int) std::nearbyint (5.0 * s);
    const auto rh = (int) itemsLabel.getFont().getHeight() + gap;
    const auto labelW = labelWidth (subGroupsLabel);
    auto x = marginX, y = marginY, iconBottom = 0;

    if (groupIcon != nullptr)
    {
        const auto bounds = groupIcon->getDrawableBounds();
        const auto k = bounds.getHeight() > 0.0f ? (float) (100.0 * s) / bounds.getHeight() : 1.0f;
        const juce::Rectangle<float> area ((float) x, (float) y, bounds.getWidth() * k, bounds.getHeight() * k);
        groupIcon->setTransformToFit (area, juce::RectanglePlacement::centred);
        x = (int) area.getRight() + (int) std::nearbyint (40.0 * s);
        iconBottom = (int) area.getBottom();
        y += gap;
    }

    itemsLabel.setBounds (x, y, labelW, rh);
    itemsValue.setBounds (itemsLabel.getRight(), y, labelW, rh);
    subGroupsLabel.setBounds (x, y + rh, labelW, rh);
    subGroupsValue.setBounds (subGroupsLabel.getRight(), y + rh, labelW, rh);

    setLayoutHeight (height);
    setSize (width, juce::jmax (subGroupsValue.getBottom(), iconBottom) + marginY);
}
