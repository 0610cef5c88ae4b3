#include "devices/DeviceIdentification.h"

#include "devices/CommandQueue.h"
#include "devices/DeviceExchange.h"
#include "devices/DeviceFlags.h"
#include "devices/DevicePorts.h"
#include "devices/ProductCatalogue.h"
#include "model/DeviceData.h"

DeviceIdentification::DeviceIdentification (const Parts& p, const juce::String& name, bool askEveryProduct)
    : parts (p), portName (name), scanAll (askEveryProduct)
{
}

bool DeviceIdentification::askForVersion (const juce::MidiMessage& request)
{
    auto& exchange = parts.exchange;
    return exchange.ask (request, ProtocolTiming::identityWaitMs, [&] { return exchange.getVersion().build != 0; });
}

DeviceIdentification::Result DeviceIdentification::identify()
{
    auto& exchange = parts.exchange;
    auto& flags = parts.flags;
    Result result;

    parts.queue.setState (CommandQueue::State::running);
    const bool wereOpen = parts.ports.areOpen();
    exchange.forgetIdentity();

    flags.reset (DeviceFlags::scanning | DeviceFlags::identifying
                  | (parts.catalogue.getProductNameOfPortName (portName).isNotEmpty() ? DeviceFlags::namesProduct : 0u));
    parts.changes.sendChangeMessage();

    if (parts.ports.open())
    {
        if (askForVersion (SysEx::createInquiry()))
        {
            // A product the kept list lacks may be in the server's, on its way.
            if (! parts.catalogue.isKnown (exchange.getProductId()))
                awaitCatalogue();

            if (parts.catalogue.isKnown (exchange.getProductId()))
                readDeviceInfo (result);
            else
                flags.change (DeviceFlags::unknownProduct);
        }
        else
        {
            exchange.setAskingEachProduct (true);

            // Without a kept list (a first start) only the server's names the products to ask.
            if (parts.catalogue.getProductIds().isEmpty())
                awaitCatalogue();

            // A kept list may lack the unit's product: the scan does not wait for the
            // server's (the unit may be no product at all); it is asked again once that came.
            const auto listPending = parts.catalogue.isConnecting();

            for (auto id : parts.catalogue.getProductIds())
            {
                if (parts.worker.threadShouldExit())
                    break;

                if (! scanAll && parts.catalogue.answersGenericIdentity (id))
                    continue;

                exchange.setProduct (id);

                if (askForVersion (exchange.getTemplate().toMidiMessage()))
                {
                    exchange.setAskingEachProduct (false);
                    readDeviceInfo (result);
                    break;
                }
            }

            exchange.setAskingEachProduct (false);
            result.askAgainWithList = listPending && exchange.getVersion().build == 0;
        }
    }

    flags.change (0, DeviceFlags::scanning | DeviceFlags::identifying);

    if (! flags.has (DeviceFlags::answerBits))
        flags.change (DeviceFlags::noAnswer);

    if (! wereOpen)
        parts.ports.close();

    return result;
}

void DeviceIdentification::readDeviceInfo (Result& result)
{
    auto& exchange = parts.exchange;
    auto& flags = parts.flags;

    if (exchange.getVersion().build == 0)
        return;

    const bool ready = fetchProductContent();
    flags.change (DeviceFlags::readingInfo);

    if (! ready)
        return;

    // Kept capabilities that do not list the build may be older than the
    // server's: the unit waits for those, as for capabilities the cache lacks,
    // rather than taking a layout they do not give. The device manager
    // identifies it again once they came.
    const auto build = exchange.getVersion().build;

    // Looked at only while the list is on its way: the capabilities are built once more for it.
    if (const auto kept = parts.catalogue.isConnecting() ? parts.catalogue.createCaps (exchange.getProductId(), build) : nullptr;
        kept != nullptr && ! kept->listsBuild (build))
    {
        flags.change (DeviceFlags::contentNotReady);
        result.askAgainWithCaps = true;
        return;
    }

    if (! exchange.ask (exchange.getTemplate().createSerialRequest(), ProtocolTiming::identityWaitMs,
                        [&] { return exchange.getSerial() != -1; }))
        return;

    if (! exchange.ask (exchange.getTemplate().createDateRequest(), ProtocolTiming::identityWaitMs,
                        [&] { return exchange.getManufactureDate().year != 0; }))
        return;

    flags.change (DeviceFlags::identified, DeviceFlags::readingInfo);

    const auto version = exchange.getVersion();
    std::shared_ptr<const DeviceCaps> caps = parts.catalogue.createCaps (exchange.getProductId(), version.build);

    if (caps == nullptr)
    {
        flags.change (DeviceFlags::unknownProduct);
        return;
    }

    result.caps = caps;
    const auto id = exchange.getProductId();
    result.data = std::make_unique<DeviceData> (parts.catalogue.getProductName (id), version, caps->caps,
                                                parts.catalogue.createFactoryBank (id, version.build));
}

bool DeviceIdentification::fetchProductContent()
{
    auto& catalogue = parts.catalogue;
    const auto id = parts.exchange.getProductId();

    // With its capabilities the unit is usable: the rest of the product's
    // content (lists, pictures, packs) comes while it is. Without them it is
    // identified again once the download brings them (the device manager
    // watches for that). A product fetched already this run has nothing left
    // to ask for.
    if (! catalogue.isProductReady (id))
        catalogue.requestProductContent (id);

    // Capabilities the cache lacks may come once the server's product list did.
    if (! catalogue.hasCapsDocument (id) && awaitCatalogue())
        catalogue.requestProductContent (id);

    const auto hasCaps = catalogue.hasCapsDocument (id);

    if (catalogue.isOnline() && ! hasCaps)
        parts.flags.change (DeviceFlags::contentNotReady);

    return hasCaps;
}

bool DeviceIdentification::awaitCatalogue()
{
    if (! parts.catalogue.isConnecting() || ! parts.catalogue.waitUntilConnected ([this] { return parts.worker.threadShouldExit(); }))
        return false;

    // The port's name may name a product of the list that came.
    if (parts.catalogue.getProductNameOfPortName (portName).isNotEmpty())
        parts.flags.change (DeviceFlags::namesProduct);

    return true;
}

bool DeviceIdentification::checkConnection (bool hasCaps)
{
    auto& exchange = parts.exchange;

    if (parts.ports.isOutputOpen() && hasCaps)
    {
        const auto remembered = exchange.getSerial();
        exchange.setSerial (-1);

        if (exchange.ask (exchange.getTemplate().createSerialRequest(), ProtocolTiming::identityWaitMs,
                          [&] { return exchange.getSerial() != -1; })
             && exchange.getSerial() == remembered)
            return true;
    }

    // Every failed check is shown, also one that could not ask at all.
    parts.changes.sendChangeMessage();
    return false;
}
