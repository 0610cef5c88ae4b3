#include "gui/widgets/MidiDeviceStatusButton.h"

#include "app/Belvora.h"
#include "base/DeviceInfoMessage.h"
#include "content/ContentDownloadThread.h"
#include "content/ContentManager.h"
#include "devices/DeviceFlags.h"
#include "devices/DeviceObject.h"
#include "devices/DeviceProfiler.h"
#include "gui/BVLookAndFeel.h"
#include "gui/Palette.h"
#include "gui/dialogs/DeviceInfoDialog.h"
#include "gui/widgets/Alerts.h"
#include "gui/widgets/NavigationKeys.h"
#include "gui/widgets/TileCard.h"
#include "gui/widgets/WidgetMetrics.h"
#include "resources/BinaryResources.h"

namespace
{
    using Bit = DeviceFlags::Bit;

    constexpr int animationMs = 30;
    constexpr int iconWidth = 41, iconHeight = 21;

    bool has (uint32_t flags, uint32_t bits) { return (flags & bits) != 0; }

    juce::Image embeddedImage (const void* data, int size)
    {
        // Not through the image cache: pictures kept for good keep the cache's timer running.
        return juce::ImageFileFormat::loadFrom (data, (size_t) size);
    }

    AppState currentAppState()
    {
        auto* app = Belvora::getInstance();
        return app != nullptr ? app->getAppState() : AppState::idle;
    }
}

MidiDeviceStatusButton::MidiDeviceStatusButton (Services s, bool isOffline)
    : juce::Button ("device button"),
      services (std::move (s)),
      offline (isOffline)
{
}

MidiDeviceStatusButton::MidiDeviceStatusButton (std::shared_ptr<DeviceObject> device, Services s)
    : MidiDeviceStatusButton (std::move (s), false)
{
    if (device != nullptr)
    {
        deviceName = device->getName();
        device->addChangeListener (this);
        unit = device;
    }

    if (services.content != nullptr)
        productId = services.content->getProductIdForName (deviceName);

    startTimer (animationMs);
    loadImages();
    updateFromDevice();
}

MidiDeviceStatusButton::MidiDeviceStatusButton (const RememberedUnit& remembered, Services s)
    : MidiDeviceStatusButton (std::move (s), true)
{
    setName (remembered.name + " device button");
    productId = remembered.productId;
    deviceName = remembered.name;
    firmwareVersion = remembered.firmwareVersion;
    manufactureDate = remembered.manufactureDate;
    serialNumber = remembered.serialNumber;
    updateAvailable = remembered.updateAvailable;

    loadImages();
    updateImages();
}

MidiDeviceStatusButton::~MidiDeviceStatusButton()
{
    // The unit it registered with, wherever the device list has put it since.
    if (auto device = unit.lock())
        device->removeChangeListener (this);
}

//==============================================================================
bool MidiDeviceStatusButton::isKnownProduct() const
{
    return offline || has (deviceFlags, Bit::identified | Bit::namesProduct | Bit::unknownProduct);
}

MidiDeviceStatusButton::UnitState MidiDeviceStatusButton::readUnit() const
{
    auto device = unit.lock();

    if (device == nullptr)
        return {};

    return { device->getName(), device->getFlags(), device->getProductId(), device->getSerial(), device->getVersion(),
             device->getManufactureDate() };
}

void MidiDeviceStatusButton::updateFromDevice()
{
    if (offline)
        return stopTimer();

    const auto state = readUnit();
    deviceFlags = state.flags;

    // A unit that is gone keeps the name it was shown with.
    if (state.name.isNotEmpty())
        deviceName = state.name;

    if (has (deviceFlags, Bit::scanning | Bit::identifying))
        startTimer (animationMs);
    else
        stopTimer();

    if (has (deviceFlags, Bit::identified))
    {
        productId = state.productId;
        serialNumber = state.serial;
        firmwareVersion = state.version;
        manufactureDate = state.date;

        if (auto* content = services.content)
        {
            deviceName = DeviceProfiler::getProductDisplayName (*content, productId, (uint32_t) serialNumber);
            updateAvailable = content->isFirmwareUpdateAvailable (productId, firmwareVersion.build);
            auto* downloads = content->getDownloadThread();
            contentPending = downloads != nullptr && downloads->isQueued (productId);
        }
    }

    setToggleState (has (deviceFlags, Bit::portsOpen), juce::dontSendNotification);
    updateImages();
    repaint();
}

void MidiDeviceStatusButton::changeListenerCallback (juce::ChangeBroadcaster*)
{
    updateFromDevice();
}

void MidiDeviceStatusButton::timerCallback()
{
    repaint();

    if (! offline)
        deviceFlags = readUnit().flags;

    if (! has (deviceFlags, Bit::identifying))
        stopTimer();
}

//==============================================================================
MidiDeviceStatusButton::StateIcon MidiDeviceStatusButton::chooseStateIcon (uint32_t flags, bool isOffline, bool pending, AppState appState)
{
    if (has (flags, Bit::portsOpen))
        return has (flags, Bit::identifying | Bit::scanning) ? StateIcon::question : StateIcon::connected;

    if (appState == AppState::rescanNeeded)
        return StateIcon::connectionLost;

    if (has (flags, Bit::portFailure) || pending)
        return StateIcon::busy;

    if (has (flags, Bit::unknownProduct) || (has (flags, Bit::namesProduct) && ! has (flags, Bit::identified)))
        return StateIcon::question;

    if (! has (flags, Bit::readingInfo | Bit::contentNotReady))
        return isOffline || has (flags, Bit::noAnswer | Bit::noPort) ? StateIcon::unavailable : StateIcon::idle;

    return StateIcon::error;
}

void MidiDeviceStatusButton::loadImages()
{
    using namespace BinaryResources;

    stateIcons = { embeddedImage (state_connected_png, state_connected_pngSize),
                   embeddedImage (state_idle_png, state_idle_pngSize),
                   embeddedImage (state_unavailable_png, state_unavailable_pngSize),
                   embeddedImage (state_error_png, state_error_pngSize),
                   embeddedImage (state_busy_png, state_busy_pngSize),
                   embeddedImage (state_question_png, state_question_pngSize),
                   embeddedImage (state_connection_lost_png, state_connection_lost_pngSize) };
    stateIcon = stateIcons[0];
    genericPicture = embeddedImage (device_generic_png, device_generic_pngSize);
    updateBadge = juce::Drawable::createFromImageData (update_badge_svg, (size_t) update_badge_svgSize);

    nameFont = BVLookAndFeel::makeFont (WidgetMetrics::fontSize (*this));
    scale = juce::jmax (0.3f, WidgetMetrics::scale (*this));
    setSize ((int) (220.0f * scale), (int) (160.0f * scale));
}

juce::Image MidiDeviceStatusButton::choosePicture() const
{
    const auto identifiedSomehow = has (deviceFlags, Bit::identified | Bit::namesProduct | Bit::unknownProduct);

    if (! offline && ! identifiedSomehow)
        return genericPicture;

    // A picture that did not load, or has no area, would size the tile's picture by a division by zero.
    const auto picture = getProductPicture();
    return picture.isValid() && picture.getWidth() > 0 && picture.getHeight() > 0 ? picture : genericPicture;
}

juce::Image MidiDeviceStatusButton::getProductPicture() const
{
    return services.content != nullptr ? services.content->getProductImage (productId, deviceName) : juce::Image();
}

void MidiDeviceStatusButton::updateImages()
{
    const auto picture = choosePicture();
    const auto pictureRatio = (float) picture.getWidth() / (float) picture.getHeight();
    const auto faceRatio = faceRect.getHeight() > 0.0f ? faceRect.getWidth() / faceRect.getHeight() : 0.0f;
    const auto factor = pictureRatio > faceRatio ? (float) getWidth() * 0.66f / (float) picture.getWidth()
                                                 : (float) getHeight() * 0.5f / (float) picture.getHeight();

    productImage = picture.rescaled (juce::jmax (1, (int) ((float) picture.getWidth() * factor)),
                                     juce::jmax (1, (int) ((float) picture.getHeight() * factor)),
                                     juce::Graphics::highResamplingQuality);
    if (offline)
        productImage.desaturate();

    stateIconKind = chooseStateIcon (deviceFlags, offline, contentPending, currentAppState());

    if (stateIconKind == StateIcon::connectionLost)
        setEnabled (false);

    stateIcon = stateIcons[(size_t) stateIconKind].rescaled ((int) ((float) iconWidth * scale), (int) ((float) iconHeight * scale),
                                                            juce::Graphics::highResamplingQuality);
    resized();
}

//==============================================================================
void MidiDeviceStatusButton::resized()
{
    const auto w = (float) getWidth(), h = (float) getHeight();
    const auto iw = (float) stateIcon.getWidth(), ih = (float) stateIcon.getHeight();
    const auto s = scale;
    const auto cardHeight = h - (ih * 0.5f + 1.0f * s);

    shadowRect = { 5.0f * s, 5.0f * s, w - 10.0f * s, cardHeight - 10.0f * s };
    bodyRect = { 0.0f, 0.0f, w - 5.0f * s, cardHeight - 5.0f * s };
    faceRect = { 3.1f * s, 3.1f * s, w - 11.2f * s, cardHeight - 11.2f * s };

    const auto frameHeight = ih + 2.0f * s;
    iconFrame = juce::Rectangle<float> (iw + 2.0f * s, frameHeight)
                    .withCentre ({ faceRect.getCentreX(), 0.0f })
                    .withY (bodyRect.getBottom() - (frameHeight * 0.5f + 1.55f * s));

    auto pictureArea = faceRect.withTrimmedTop (nameFont.getHeight() + 2.0f * s);
    pictureArea = pictureArea.withBottom (juce::jmax (pictureArea.getY(), iconFrame.getY()));

    imageX = (int) faceRect.getCentreX() - productImage.getWidth() / 2;
    imageY = (int) pictureArea.getCentreY() - productImage.getHeight() / 2;

    const auto badgeBounds = updateBadge != nullptr ? updateBadge->getDrawableBounds() : juce::Rectangle<float>();
    const auto badgeWidth = faceRect.getWidth() * 0.2f;
    const auto badgeHeight = badgeBounds.getWidth() > 0.0f ? badgeWidth * badgeBounds.getHeight() / badgeBounds.getWidth() : 0.0f;
    badgeRect = { (float) (imageX + productImage.getWidth()) - badgeWidth * 0.7f, (float) imageY - badgeHeight * 0.25f,
                  badgeWidth, badgeHeight };
}

void MidiDeviceStatusButton::paintButton (juce::Graphics& g, bool isMouseOver, bool isButtonDown)
{
    const auto enabled = isEnabled();
    const auto pressable = ! has (deviceFlags, Bit::faultBits | Bit::portFailure);

    if (offline || ! pressable || has (deviceFlags, Bit::noAnswer))
        isButtonDown = false;

    auto face = Palette::deviceButtonGrey;
    auto rim = getToggleState() ? Palette::accentBlueColour : Palette::deviceButtonDim;

    if (isMouseOver)
    {
        if (! getToggleState())
            rim = Palette::steelBlueColour;

        face = face.brighter (0.4f);
    }

    if (isButtonDown)
    {
        rim = Palette::accentBlueColour;
        face = face.brighter (0.4f);
    }

    const TileCard card { shadowRect, bodyRect, faceRect, 5.0f * scale, 5.0f * scale, 1.9f * scale, scale };
    card.draw (g, rim, face, isButtonDown, enabled);

    const auto contentAlpha = TileCard::contentAlpha (enabled);
    g.setColour (Palette::deviceButtonDark.withMultipliedAlpha (contentAlpha));
    g.setFont (nameFont);
    g.drawText (deviceName, (int) faceRect.getX(), (int) (faceRect.getY() + 4.0f * scale), (int) faceRect.getWidth(),
                (int) (nameFont.getHeight() + 2.0f * scale), juce::Justification::centredTop, true);

    g.setOpacity (enabled && pressable ? 1.0f : TileCard::disabledContentAlpha);
    g.drawImageAt (productImage, imageX, imageY);

    if (! offline && stateIconKind != StateIcon::unavailable)
    {
        g.setColour (rim.withMultipliedAlpha (TileCard::rimAlpha (enabled)));
        g.fillRoundedRectangle (iconFrame, 3.0f * scale);
        g.setColour (face.brighter (0.4f).withMultipliedAlpha (contentAlpha));
        g.fillRoundedRectangle (iconFrame.reduced (1.0f * scale), 2.0f * scale);
        g.setOpacity (contentAlpha);
        g.drawImageAt (stateIcon, (int) (iconFrame.getX() + 1.0f * scale), (int) (iconFrame.getY() + 1.0f * scale));
    }

    if (updateAvailable && updateBadge != nullptr)
        updateBadge->drawWithin (g, badgeRect, juce::RectanglePlacement::centred, 1.0f);

    if (has (deviceFlags, Bit::identifying))
        getLookAndFeel().drawSpinningWaitAnimation (g, Palette::deviceButtonCyan,
                                                    (int) (faceRect.getX() + faceRect.getWidth() / 4.0f),
                                                    (int) (faceRect.getY() + faceRect.getHeight() / 4.0f),
                                                    (int) (faceRect.getWidth() / 2.0f), (int) (faceRect.getHeight() / 2.0f));

    // Inside the rim, which is itself blue on the active unit's tile.
    if (hasKeyboardFocus (false))
        if (auto* look = BVLookAndFeel::of (*this))
            look->drawFocusRing (g, faceRect.reduced (2.0f * scale));
}

//==============================================================================
juce::PopupMenu MidiDeviceStatusButton::createMenu() const
{
    juce::PopupMenu menu;

    if (offline)
        menu.addItem (showDeviceInfo, "Show last known device information");
    else
        menu.addItem (showDeviceInfo, "Show device information", has (deviceFlags, Bit::identified));

    if (productId != 255)
        menu.addItem (showProductManual, "Show product manual...");

    if (offline)
        menu.addItem (forgetDevice, "Remove " + deviceName + " as a known device");

    return menu;
}

void MidiDeviceStatusButton::handleMenuResult (int itemId)
{
    switch (itemId)
    {
        case showDeviceInfo:
            BelvoraDialog::launch (std::make_unique<DeviceInfoDialog> (deviceName, firmwareVersion, manufactureDate, serialNumber));
            break;

        case showProductManual:
            if (services.content != nullptr)
            {
                const juce::URL manual (services.content->getManualUrl (productId));

                if (services.openUrl)
                    services.openUrl (manual);
                else
                    Alerts::openWebAddress (this, manual);
            }
            break;

        case forgetDevice:
            post (DeviceInfoMessage::forgetKnownDevice, productId, serialNumber);
            break;

        default:
            break;
    }
}

void MidiDeviceStatusButton::post (int code, int value1, int value2)
{
    if (services.hub != nullptr)
        services.hub->postMessage (new DeviceInfoMessage (code, value1, value2, {}));
}

void MidiDeviceStatusButton::mouseDown (const juce::MouseEvent& e)
{
    if (! e.mods.isRightButtonDown())
        juce::Button::mouseDown (e);
}

// The menu opens on the release, as every right-click menu of the program does.
void MidiDeviceStatusButton::mouseUp (const juce::MouseEvent& e)
{
    if (! e.mods.isRightButtonDown())
        return juce::Button::mouseUp (e);

    showMenu();
}

void MidiDeviceStatusButton::showMenu()
{
    // The tile may be gone by the time the menu closes (a rescan rebuilds the page).
    createMenu().showMenuAsync (juce::PopupMenu::Options().withTargetComponent (this),
                                [safe = juce::Component::SafePointer<MidiDeviceStatusButton> (this)] (int result)
                                {
                                    if (safe != nullptr)
                                        safe->handleMenuResult (result);
                                });
}

bool MidiDeviceStatusButton::keyPressed (const juce::KeyPress& key)
{
    if (! NavigationKeys::opensContextMenu (key))
        return juce::Button::keyPressed (key);

    showMenu();
    return true;
}

void MidiDeviceStatusButton::mouseDoubleClick (const juce::MouseEvent& e)
{
    // Two quick right clicks are two menus, not a double click.
    if (e.mods.isPopupMenu())
        return;

    if (has (deviceFlags, Bit::portsOpen))
        post (DeviceInfoMessage::showPresets, 0, 0);
}
