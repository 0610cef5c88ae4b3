#include "content/ProductTable.h"

#include "base/BelvoraPaths.h"

namespace
{
    juce::String join (const juce::String& folder, const juce::String& name)
    {
        return folder + juce::File::getSeparatorString() + name;
    }
}

void ProductTable::reset (juce::OwnedArray<ProductRecord>& newRecords)
{
    const juce::ScopedLock sl (lock);

    for (auto* record : newRecords)
    {
        if (auto* old = find (record->productId); old != nullptr && old->name == record->name)
        {
            record->capsXml = old->capsXml;
            record->firmwareXml = old->firmwareXml;
            record->rulesXml = old->rulesXml;
            record->capsParsed = old->capsParsed;
            record->firmwareUpdates = old->firmwareUpdates;
            record->conversionRules = old->conversionRules;
            record->pictures = old->pictures;
            record->pictureUrls = old->pictureUrls;
            record->variantPictureIndex = old->variantPictureIndex;
        }
    }

    records.swapWith (newRecords);
    newRecords.clear();
}

ProductRecord* ProductTable::find (int productId) const
{
    for (auto* record : records)
        if (record->productId == productId)
            return record;

    return nullptr;
}

int ProductTable::indexOf (int productId) const
{
    const juce::ScopedLock sl (lock);
    return records.indexOf (find (productId));
}

juce::String ProductTable::getName (int productId) const
{
    return with (productId, [] (const ProductRecord* r) { return r != nullptr ? r->name : juce::String(); });
}

juce::String ProductTable::getAddress (int productId, ContentKind kind, int index) const
{
    return with (productId, [&] (const ProductRecord* r) { return r != nullptr ? r->addressOf (kind, index) : juce::String(); });
}

juce::String ProductTable::folderOf (int productId, juce::String (*pathOfName) (const juce::String&)) const
{
    const auto name = getName (productId);
    return name.isNotEmpty() ? pathOfName (name) : juce::String();
}

juce::String ProductTable::getProductFolder (int productId) const  { return folderOf (productId, &BelvoraPaths::getProductDataFolder); }
juce::String ProductTable::getFirmwareFolder (int productId) const { return folderOf (productId, &BelvoraPaths::getFirmwareFolder); }
juce::String ProductTable::getScriptFolder (int productId) const   { return folderOf (productId, &BelvoraPaths::getScriptFolder); }
juce::String ProductTable::getPacksFolder (int productId) const    { return folderOf (productId, &BelvoraPaths::getPacksFolder); }

juce::String ProductTable::getLocalFile (int productId, ContentKind kind, int index, bool createFolder) const
{
    if (kind < ContentKind::variantPicture || kind > ContentKind::presetPack)
        return {};

    const auto name = getFileNameOfAddress (getAddress (productId, kind, index));
    const auto folder = kind == ContentKind::presetPack ? getPacksFolder (productId) : getProductFolder (productId);

    if (name.isEmpty() || folder.isEmpty())
        return {};

    const auto path = join (folder, name);

    if (createFolder)
        juce::File (path).getParentDirectory().createDirectory();

    return path;
}

juce::String ProductTable::getFileNameOfAddress (const juce::String& address)
{
    const auto name = address.fromLastOccurrenceOf ("/", false, false).fromLastOccurrenceOf ("\\", false, false);
    return name == "." || name == ".." ? juce::String() : name;
}
