#include "devices/ProductCatalogue.h"

namespace
{
    juce::String squeezed (const juce::String& text)
    {
        return text.toLowerCase().removeCharacters (" ");
    }
}

juce::String ProductCatalogue::getProductNameOfPortName (const juce::String& portName) const
{
    if (portName.isEmpty())
        return portName;

    const auto ids = getProductIds();

    for (auto id : ids)
        if (getProductName (id) == portName)
            return portName;

    const auto port = squeezed (portName);

    for (auto id : ids)
    {
        const auto product = getProductName (id);

        if (product.isNotEmpty() && port.contains (squeezed (product)))
            return product;
    }

    return {};
}

int ProductCatalogue::getProductIdOfPortName (const juce::String& portName) const
{
    const auto product = getProductNameOfPortName (portName);

    if (product.isEmpty())
        return -1;

    for (auto id : getProductIds())
        if (getProductName (id) == product)
            return id;

    return -1;
}
