#include "support/ContentFixture.h"

#include "devices/DeviceCaps.h"
#include "devices/DeviceProfiler.h"
#include "model/FactoryBank.h"

#include <juce_cryptography/juce_cryptography.h>

#include <array>
#include <cstring>

using Capabilities = ContentFixture;

namespace
{
    std::unique_ptr<juce::XmlElement> features (const juce::String& attributes)
    {
        return juce::parseXML ("<features " + attributes + "/>");
    }
}

TEST_F (Capabilities, SampleProductsResolvePerBuild)
{
    auto& content = startCatalogue();
    ASSERT_TRUE (content.requestProductContent (vesper));

    const auto old = DeviceProfiler::createCaps (content, vesper, 120);
    EXPECT_TRUE (old->isBuildValid);
    EXPECT_EQ (old->buildStart, 100);
    EXPECT_EQ (old->buildEnd, 129);
    EXPECT_EQ (old->caps.productId, vesper);
    EXPECT_EQ (old->caps.numPresets, 20);
    EXPECT_EQ (old->caps.presetVersion, 3);
    EXPECT_EQ (old->caps.numSyxPackagesPerPresetStep, 2);
    EXPECT_EQ (old->caps.presetStepPacketSize, 32);
    EXPECT_EQ (old->caps.maxPresetSteps, 4);
    EXPECT_EQ (old->presetTagLabels.size(), 8);
    EXPECT_FLOAT_EQ (old->bankSwapTime, 1.5f);

    // An open profile holds every later build and ends at the build itself.
    const auto current = DeviceProfiler::createCaps (content, vesper, 140);
    EXPECT_EQ (current->buildStart, 130);
    EXPECT_EQ (current->buildEnd, 140);
    EXPECT_EQ (current->caps.numPresets, 30);
    EXPECT_EQ (current->caps.presetVersion, 4);
    EXPECT_EQ (current->caps.presetStepPacketSize, 32);   // from the base
    EXPECT_EQ (current->presetCompatibilityList, juce::Array<int> { 3 });
    EXPECT_TRUE (current->suspendAlgo);

    EXPECT_FALSE (DeviceProfiler::createCaps (content, vesper, 95)->isBuildValid);

    // Before every profile: the base alone, with the range of the last profile examined.
    const auto early = DeviceProfiler::createCaps (content, vesper, 50);
    EXPECT_EQ (early->caps.presetVersion, 3);
    EXPECT_EQ (early->buildStart, 130);
    EXPECT_EQ (early->buildEnd, 130);
}

TEST_F (Capabilities, DataVersionsFindTheirProfile)
{
    auto& content = startCatalogue();
    ASSERT_TRUE (content.requestProductContent (vesper));

    const auto four = DeviceProfiler::createCapsForDataVersions (content, vesper, 1, 4);
    EXPECT_EQ (four->buildStart, 130);
    EXPECT_EQ (four->buildEnd, 130);
    EXPECT_EQ (four->caps.numPresets, 30);

    // The invalid-build profile defines no preset version, so it takes the base's 3 first.
    const auto three = DeviceProfiler::createCapsForDataVersions (content, vesper, 2, 2);
    EXPECT_EQ (three->buildStart, 90);

    const auto unknown = DeviceProfiler::createCapsForDataVersions (content, vesper, 1, 9);
    EXPECT_EQ (unknown->buildStart, 0);
    EXPECT_EQ (unknown->buildEnd, 0);
    EXPECT_EQ (unknown->caps.presetVersion, 3);

    EXPECT_EQ (DeviceProfiler::createCapsForDataVersions (content, vesper, 3, 3), nullptr);
}

TEST_F (Capabilities, ProductWithoutDocumentGetsTheDefaults)
{
    const auto caps = DeviceProfiler::createCapsFrom (nullptr, 0x44, 10);
    EXPECT_TRUE (caps->isBuildValid);
    EXPECT_EQ (caps->buildStart, 0);
    EXPECT_EQ (caps->buildEnd, 10);
    EXPECT_EQ (caps->caps.numPresets, 15);
    EXPECT_EQ (caps->caps.presetNameLength, 15);
    EXPECT_EQ (caps->caps.presetStepPacketSize, 100);
    EXPECT_EQ (caps->caps.setupPacketSize, 100);
    EXPECT_EQ (caps->caps.numSyxPackagesPerPresetStep, 1);
    EXPECT_EQ (caps->caps.numSyxPackagesPerSetup, 1);
    EXPECT_EQ (caps->caps.maxPresetSteps, 1);
    EXPECT_EQ (caps->caps.presetVersion, 15);
    EXPECT_EQ (caps->caps.setupVersion, 15);
    EXPECT_FLOAT_EQ (caps->bootTime, 10.0f);
    EXPECT_FLOAT_EQ (caps->programTime, 10.0f);
    EXPECT_FLOAT_EQ (caps->delayTimeAfterPresetDelete, 0.05f);
    EXPECT_FLOAT_EQ (caps->bankSwapTime, 2.0f);
    EXPECT_EQ (caps->presetTagLabels.size(), 15);

    const DeviceCaps empty;
    EXPECT_FALSE (empty.isBuildValid);
    EXPECT_EQ (empty.caps, CapsBlock());
}

TEST (CapabilityFeatures, ListsAndLabels)
{
    const auto base = features ("presetCompatibilityList=' 3, ,4 ,' presetTagLabels='A,,B' presetTagCount='5' numPresets='8'");
    const auto profile = features ("numPresets='12' presetTagCount='40'");

    const DeviceCaps fromBase (base.get(), nullptr, 1, 5, 2);
    EXPECT_EQ (fromBase.buildEnd, 5);
    EXPECT_EQ (fromBase.presetCompatibilityList, (juce::Array<int> { 3, 4 }));
    EXPECT_EQ (fromBase.presetTagLabels, juce::StringArray ({ "A", "", "B", "Undefined", "Undefined" }));

    const DeviceCaps withProfile (base.get(), profile.get(), 1, 0, 0);
    EXPECT_EQ (withProfile.caps.numPresets, 12);
    EXPECT_EQ (withProfile.presetTagLabels, juce::StringArray ({ "A", "", "B" }));

    // Times become waits in milliseconds: nothing from a document may wrap one.
    const auto times = features ("bootTime='1e30' programTime='-5' bankSwapTime='nan' delayTimeAfterPresetDelete='0.2'");
    const DeviceCaps bounded (times.get(), nullptr, 1, 0, 0);
    EXPECT_FLOAT_EQ (bounded.bootTime, 3600.0f);
    EXPECT_FLOAT_EQ (bounded.programTime, 0.0f);
    EXPECT_FLOAT_EQ (bounded.bankSwapTime, 2.0f);
    EXPECT_FLOAT_EQ (bounded.delayTimeAfterPresetDelete, 0.2f);
}

TEST_F (Capabilities, VariantNamesBySerial)
{
    auto& content = startCatalogue();
    ASSERT_TRUE (content.requestProductContent (vesper));

    EXPECT_EQ (DeviceProfiler::getProductDisplayName (content, vesper, 15000000), "Vesper");
    EXPECT_EQ (DeviceProfiler::getProductDisplayName (content, vesper, 20000001), "Vesper Black");
    EXPECT_EQ (DeviceProfiler::getProductDisplayName (content, vesper, 0xFFFFFFFFu), "Vesper");
    EXPECT_EQ (DeviceProfiler::getProductDisplayName (content, 0x44, 1), "");

    server.setAnswer ("/Belvora2/Vesper/caps.xml", LocalServer::Answer::text (
        "<CAPS><productVariants><range start='5' end='-1' displayName='Open'/></productVariants></CAPS>"));
    productFolder ("Vesper").deleteRecursively();
    EXPECT_TRUE (downloadContent (startCatalogue(), vesper));   // a variant without a picture fails nothing
    EXPECT_EQ (DeviceProfiler::getProductDisplayName (*catalogue, vesper, 0xFFFFFFFFu), "Open");
    EXPECT_EQ (DeviceProfiler::getProductDisplayName (*catalogue, vesper, 4), "Vesper");
}

TEST_F (Capabilities, FactoryBankStaysWithinItsPresets)
{
    const auto md5 = [] (const char* text) { return juce::MD5 (juce::String (text).toUTF8()); };
    const auto digest = [&md5] (const char* text)
    {
        std::array<uint8_t, 16> bytes {};
        const auto raw = md5 (text).getRawChecksumData();
        std::memcpy (bytes.data(), raw.getData(), bytes.size());
        return bytes;
    };

    server.setAnswer ("/Belvora2/Vesper/caps.xml", LocalServer::Answer::text (
        "<CAPS><baseDefinition><features numPresets='4'/></baseDefinition>"
        "<factoryBank><range start='1' end='-1'/>"
        "<preset number='0' md5='" + md5 ("zero").toHexString() + "'/>"
        "<preset number='1' md5='" + md5 ("one").toHexString() + "'/>"
        "<preset number='4' md5='" + md5 ("four").toHexString() + "'/>"
        "<preset number='5' md5='" + md5 ("five").toHexString() + "'/>"
        "<preset number='2' md5='" + md5 ("two").toHexString().substring (1) + "'/>"
        "</factoryBank></CAPS>"));
    ASSERT_TRUE (startCatalogue().requestProductContent (vesper));

    const auto bank = DeviceProfiler::createFactoryBank (*catalogue, vesper, 7);
    ASSERT_EQ (bank->getNumPresets(), 4);
    EXPECT_TRUE (bank->isFactoryPreset (1, digest ("one")));
    EXPECT_TRUE (bank->isFactoryPreset (4, digest ("four")));   // the last number of the bank
    EXPECT_FALSE (bank->isFactoryPreset (5, digest ("five")));
    EXPECT_FALSE (bank->isFactoryPreset (0, digest ("zero")));
    EXPECT_FALSE (bank->isFactoryPreset (2, digest ("two")));
    EXPECT_FALSE (bank->isFactoryPreset (1, digest ("four")));

    EXPECT_EQ (DeviceProfiler::createFactoryBank (*catalogue, vesper, 0)->getEntry (1), "");

    FactoryBank upper (2);
    upper.setEntry (1, md5 ("one").toHexString().toUpperCase());
    EXPECT_FALSE (upper.isFactoryPreset (1, digest ("one")));

    // A document's preset count does not size the bank beyond 14-bit numbers.
    const auto huge = juce::parseXML ("<CAPS><baseDefinition><features numPresets='2000000000'/></baseDefinition></CAPS>");
    EXPECT_EQ (DeviceProfiler::createFactoryBankFrom (huge.get(), vesper, 1)->getNumPresets(), 16384);
}
