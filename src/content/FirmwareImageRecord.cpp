#include "content/FirmwareImageRecord.h"

#include "model/FileBytes.h"
#include "model/SafeSave.h"

#include <juce_cryptography/juce_cryptography.h>

namespace
{
    // Hidden, so that neither a listing of the images nor the chooser of a custom one shows it.
    juce::File recordFileFor (const juce::File& image)
    {
        return image.getSiblingFile ("." + image.getFileName() + ".received");
    }

    constexpr juce::int64 maxRecordBytes = 256;

    // "<length> <md5 in hex>"; anything else is no record.
    FirmwareImageRecord parse (const juce::String& text)
    {
        const auto words = juce::StringArray::fromTokens (text.trim(), false);
        const auto length = words[0];
        const auto digest = words[1];

        if (words.size() != 2 || length.isEmpty() || length.length() > 18 || ! length.containsOnly ("0123456789")
            || digest.length() != 32 || ! digest.containsOnly ("0123456789abcdef"))
            return {};

        return { length.getLargeIntValue(), digest };
    }
}

FirmwareImageRecord FirmwareImageRecord::of (const juce::MemoryBlock& image)
{
    return { (juce::int64) image.getSize(), juce::MD5 (image).toHexString() };
}

bool FirmwareImageRecord::writeFor (const juce::File& image) const
{
    const auto text = juce::String (length) + " " + digest + "\n";
    return SafeSave::replaceFile (recordFileFor (image), [&text] (juce::OutputStream& out) { return out.writeText (text, false, false, nullptr); });
}

void FirmwareImageRecord::removeFor (const juce::File& image)
{
    recordFileFor (image).deleteFile();
}

FirmwareImageRecord::Match FirmwareImageRecord::check (const juce::File& image, const juce::MemoryBlock& bytes)
{
    juce::String text;
    const auto record = FileBytes::readText (recordFileFor (image), text, maxRecordBytes) ? parse (text) : FirmwareImageRecord();

    if (record.length < 0)
        return Match::unrecorded;

    // The length first: a cut image is told without reading its digest.
    return record.length == (juce::int64) bytes.getSize() && record.digest == of (bytes).digest ? Match::matches : Match::differs;
}
