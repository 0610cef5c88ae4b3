#include "support/ContentFixture.h"

namespace
{
    std::unique_ptr<juce::XmlElement> item (const juce::String& status, const juce::String& version, const juce::String& link,
                                            const juce::String& extra = {})
    {
        return juce::parseXML ("<firmwareUpdate><status>" + status + "</status><pubDate>2014-11-05T10:20:30Z</pubDate><version>"
                               + version + "</version><link>" + link + "</link>" + extra + "</firmwareUpdate>");
    }

    FirmwareUpdateElement parse (const juce::String& status, const juce::String& version, const juce::String& link)
    {
        return FirmwareUpdateElement::parse ("/data/Vesper/firmware", *item (status, version, link));
    }
}

TEST (FirmwareUpdateElements, StatusVersionAndLinkDecideValidity)
{
    const auto ok = parse ("Public", "1.4.0 build 140", "http://x/fw/vesper_140.syx");
    EXPECT_EQ (ok.status, FirmwareUpdateElement::statusPublic);
    EXPECT_EQ (ok.version, FirmwareVersion (0, 1, 4, 0, 140));
    EXPECT_EQ (ok.pubDate, juce::Time (2014, 10, 5, 10, 20, 30, 0, false));
    EXPECT_TRUE (ok.file.startsWith ("/data/Vesper/firmware/vesper_140"));
    EXPECT_TRUE (ok.file.endsWith (".syx"));

    EXPECT_EQ (parse ("BETA", "b 1.5.0 build 150", "http://x/a.syx").status, FirmwareUpdateElement::statusBeta);
    EXPECT_EQ (parse ("retired", "1.4.0 build 140", "http://x/a.syx").status, FirmwareUpdateElement::statusNone);
    EXPECT_EQ (parse ("", "1.4.0 build 140", "http://x/a.syx").status, FirmwareUpdateElement::statusNone);
    EXPECT_EQ (parse ("public", "1.4.0 build 0", "http://x/a.syx").status, FirmwareUpdateElement::statusNone);
    EXPECT_EQ (parse ("public", "1.4.0 build 140", "http://x/fw/").status, FirmwareUpdateElement::statusNone);
    EXPECT_EQ (parse ("public", "1.4.0 build 140", "http://x/fw/..").status, FirmwareUpdateElement::statusNone);

    // Links that end alike get different local files; one link always the same.
    EXPECT_NE (parse ("public", "1.0.0 build 1", "http://x/a/fw.syx").file, parse ("public", "1.0.0 build 2", "http://x/b/fw.syx").file);
    EXPECT_EQ (parse ("public", "1.0.0 build 1", "http://x/a/fw.syx").file, parse ("public", "1.0.0 build 1", "http://x/a/fw.syx").file);
}

TEST (FirmwareUpdateElements, InstallableNeedsTheFileAndAnInstallableStatus)
{
    const auto image = TestEnvironment::getHome().getChildFile ("custom.syx");
    image.replaceWithText ("x");

    const auto custom = FirmwareUpdateElement::createFromFile (image.getFullPathName(), FirmwareVersion (0, 1, 0, 0, 7));
    EXPECT_EQ (custom.status, FirmwareUpdateElement::statusCustom);
    EXPECT_TRUE (custom.isInstallable());
    EXPECT_EQ (custom.description.getFirstChildElement()->getAllSubText(), "Custom firmware update");

    auto expired = custom;
    expired.status = FirmwareUpdateElement::statusExpired;
    EXPECT_FALSE (expired.isInstallable());
    EXPECT_EQ (custom.description.getNumChildElements(), 1);   // the copy is deep

    const auto missing = FirmwareUpdateElement::createFromFile ("/no/such/image.syx", FirmwareVersion());
    EXPECT_EQ (missing.status, FirmwareUpdateElement::statusNone);
    EXPECT_FALSE (missing.isInstallable());
    EXPECT_EQ (FirmwareUpdateElement::createFromFile ("relative.syx", FirmwareVersion()).status, FirmwareUpdateElement::statusNone);
}

TEST (FirmwareUpdateElements, SortByBuildKeepsTheOrderOfEqualBuilds)
{
    juce::Array<FirmwareUpdateElement> list;
    for (auto [build, link] : std::initializer_list<std::pair<int, const char*>> { { 140, "a" }, { 120, "b" }, { 140, "c" }, { 100, "d" }, { 140, "e" } })
    {
        FirmwareUpdateElement e;
        e.version.build = (int16_t) build;
        e.link = link;
        list.add (e);
    }

    FirmwareUpdateElement::sortByBuild (list);

    juce::StringArray order;
    for (const auto& e : list)
        order.add (e.link);

    EXPECT_EQ (order.joinIntoString (""), "dbace");
}

TEST (ConversionRules, ReadFromTheirElement)
{
    const auto rule = [] (const char* text, const ContentManager* catalogue = nullptr)
    {
        return ConversionRule::parse (0x12, *juce::parseXML (text), "/data/Vesper/js", catalogue);
    };

    const auto preset = rule ("<preset source='3' target='4' script='http://x/js/p.js'/>");
    EXPECT_EQ (preset.kind, ConversionRule::presetData);
    EXPECT_EQ (preset.sourceProductId, 0x12);
    EXPECT_EQ (preset.targetProductId, 0x12);
    EXPECT_EQ (preset.sourceVersion, 3);
    EXPECT_EQ (preset.targetVersion, 4);
    EXPECT_EQ (preset.cost, 1);
    EXPECT_EQ (preset.script, "http://x/js/p.js");
    EXPECT_EQ (preset.scriptFile, "/data/Vesper/js/p.js");

    const auto bare = rule ("<setup script='s.js'/>");
    EXPECT_EQ (bare.kind, ConversionRule::setupData);
    EXPECT_EQ (bare.sourceVersion, -1);
    EXPECT_EQ (bare.targetVersion, -1);
    EXPECT_EQ (bare.scriptFile, "/data/Vesper/js/s.js");

    EXPECT_EQ (rule ("<Preset script='a'/>").kind, ConversionRule::otherData);
    EXPECT_EQ (rule ("<preset name='Nobody' script='a'/>").targetProductId, 255);
    EXPECT_TRUE (rule ("<preset script='http://x/js/..'/>").scriptFile.isEmpty());
}

using CatalogueRules = ContentFixture;

TEST_F (CatalogueRules, TargetNamesAreLookedUpAndUnusableRulesFiltered)
{
    auto& content = startCatalogue();
    const auto cross = ConversionRule::parse (vesper, *juce::parseXML ("<preset name='Quill Duo' script='q.js'/>"), "/js", &content);
    EXPECT_EQ (cross.targetProductId, quill);

    for (auto name : { "ok.js", "neg.js", "nobody.js" })
        server.setAnswer (juce::String ("/s/") + name, LocalServer::Answer::text ("// script"));
    server.setAnswer ("/s/missing.js", LocalServer::Answer::error (404));

    auto& next = startCatalogue();

    struct Idle : juce::Thread { Idle() : Thread ("t") {} void run() override {} } worker;
    server.setAnswer ("/Belvora2/Vesper/rules.xml", LocalServer::Answer::text (
        "<CONVERSION_RULES><preset source='1' target='2' script='" + server.getBaseUrl() + "/s/ok.js'/>"
        "<preset source='-1' target='2' script='" + server.getBaseUrl() + "/s/neg.js'/>"
        "<preset source='1' target='2' name='Nobody' script='" + server.getBaseUrl() + "/s/nobody.js'/>"
        "<setup source='1' target='2' script='" + server.getBaseUrl() + "/s/missing.js'/>"
        "<note script='x'/><preset source='1' target='3'/></CONVERSION_RULES>"));
    EXPECT_FALSE (next.downloadProductContent (vesper, &worker));

    const auto presets = next.getConversionRules (vesper, ConversionRule::presetData);
    ASSERT_EQ (presets.size(), 1);
    EXPECT_TRUE (presets[0].scriptFile.endsWith ("ok.js"));
    EXPECT_TRUE (next.getConversionRules (vesper, ConversionRule::setupData).isEmpty());
    EXPECT_TRUE (next.getConversionRules (vesper, ConversionRule::otherData).isEmpty());
}
