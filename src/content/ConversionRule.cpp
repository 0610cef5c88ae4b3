#include "content/ConversionRule.h"

#include "content/ContentManager.h"

namespace
{
    int kindOfTag (const juce::String& tag)
    {
        if (tag == "preset") return ConversionRule::presetData;
        if (tag == "setup")  return ConversionRule::setupData;
        return ConversionRule::otherData;
    }

    // Read wide so that a huge number cannot wrap round into a small cost;
    // anything out of range comes back as -1, which no rule may use.
    int readCost (const juce::XmlElement& element)
    {
        if (! element.hasAttribute ("cost"))
            return 1;

        const auto text = element.getStringAttribute ("cost").trim();
        const auto digits = text.initialSectionContainingOnly ("-+0123456789");
        if (digits.retainCharacters ("0123456789").length() > 12)
            return -1;

        const auto value = (int) juce::jlimit ((juce::int64) -1, (juce::int64) ConversionRule::maxCost + 1, digits.getLargeIntValue());
        return ConversionRule::isUsableCost (value) ? value : -1;
    }

    uint8_t productIdForName (const juce::String& name, const ContentManager* content)
    {
        return content != nullptr ? content->getProductIdForName (name) : (uint8_t) 255;
    }
}

ConversionRule ConversionRule::parse (uint8_t productId, const juce::XmlElement& element, const juce::String& scriptFolderPath,
                                      const ContentManager* catalogue)
{
    ConversionRule rule;
    rule.kind = kindOfTag (element.getTagName());
    rule.sourceProductId = productId;
    rule.sourceVersion = element.getIntAttribute ("source", -1);

    const auto targetName = element.getStringAttribute ("name");
    rule.targetProductId = targetName.isEmpty() ? productId : productIdForName (targetName, catalogue);

    rule.targetVersion = element.getIntAttribute ("target", -1);
    rule.cost = readCost (element);

    // A rule of unusable cost gets no versions, so the catalogue's filter drops it.
    if (! isUsableCost (rule.cost))
        rule.sourceVersion = rule.targetVersion = -1;

    rule.script = element.getStringAttribute ("script");

    // A script address whose last part cannot be a file name of the folder
    // leaves the file empty, and the catalogue drops the rule.
    const auto name = ContentManager::getFileNameOfAddress (rule.script);
    if (name.isNotEmpty())
        rule.scriptFile = scriptFolderPath + juce::File::getSeparatorString() + name;

    return rule;
}
