#include "archive/ArchiveConversion.h"

juce::BigInteger ArchiveConversion::convert (DeviceDataArchive& archive, DataConversionManager& converter,
                                             const FirmwareVersion& target, juce::String& errorText)
{
    juce::BigInteger bits;
    const auto* data = archive.getDeviceData();

    if (data == nullptr)
    {
        bits.setRange (0, 5, true);
        return bits;
    }

    auto converted = converter.convertDeviceData (*data, data->getCapsBlock().productId, target);
    const auto& result = converter.getResult();
    bits = result.getBits();
    errorText = result.getErrorText();

    // Data that comes back with errors is only partly converted: keep the original.
    if (bits.isZero() && converted == nullptr)
    {
        bits.setBit (ConversionErrorBits::internal);
        errorText = ConversionResult::describeErrorBits (bits);
    }

    if (bits.isZero())
        archive.adoptConvertedData (std::move (converted));

    return bits;
}
