#include "support/SettingsFixture.h"

using SettingsTest = SettingsFixture;

TEST (BelvoraSwitches, AreWordsAnywhereInTheCommandLine)
{
    Belvora app;

    app.parseSwitches ("--scan_all --sync_all");
    EXPECT_TRUE (app.isScanAll());
    EXPECT_TRUE (app.isSyncAll());
    EXPECT_FALSE (app.isDeveloperMode());

    app.parseSwitches ("/nodeveloperish");
    EXPECT_TRUE (app.isDeveloperMode());
    EXPECT_FALSE (app.isScanAll());

    app.parseSwitches ("DEVELOPER Scan_All");
    EXPECT_FALSE (app.isDeveloperMode());
    EXPECT_FALSE (app.isScanAll());
}

TEST_F (SettingsTest, ScalingFactorIsClampedAndDefaultsToOne)
{
    EXPECT_FLOAT_EQ (Belvora::getUiScalingFactor(), 1.0f);

    const std::pair<const char*, float> cases[] = { { "0.5", 0.75f }, { "3.0", 2.5f }, { "1.25", 1.25f },
                                                    { "not a number", 0.75f }, { "nan", 0.75f } };
    for (auto [stored, expected] : cases)
    {
        settings().setValue ("uiScalingFactor", stored);
        EXPECT_FLOAT_EQ (Belvora::getUiScalingFactor(), expected) << stored;
    }
}

TEST_F (SettingsTest, SyncMethodAndViewTypeCompareExactly)
{
    EXPECT_EQ (Belvora::getDataSyncMethod(), 0);

    settings().setValue ("dataSyncMethod", "Manual");
    EXPECT_EQ (Belvora::getDataSyncMethod(), 0);

    Belvora::setDataSyncMethod (2);
    EXPECT_EQ (settings().getValue ("dataSyncMethod"), "previous");
    EXPECT_EQ (Belvora::getDataSyncMethod(), 2);

    Belvora::setDataSyncMethod (7);
    EXPECT_EQ (settings().getValue ("dataSyncMethod"), "previous");

    EXPECT_EQ (Belvora::getPresetButtonViewType(), 1);
    Belvora::setPresetButtonViewType (0);
    EXPECT_EQ (settings().getValue ("presetButtonViewType"), "cell");
    EXPECT_EQ (Belvora::getPresetButtonViewType(), 0);

    settings().setValue ("presetButtonViewType", "Cell");
    EXPECT_EQ (Belvora::getPresetButtonViewType(), 1);

    Belvora::setPresetButtonViewType (3);
    EXPECT_EQ (settings().getValue ("presetButtonViewType"), "Cell");
}

TEST_F (SettingsTest, DownloadTimeoutIsNotClamped)
{
    EXPECT_FLOAT_EQ (Belvora::getDownloadTimeout(), 600.0f);
    settings().setValue ("downloadTimeout", 0.25);
    EXPECT_FLOAT_EQ (Belvora::getDownloadTimeout(), 0.25f);
}

TEST_F (SettingsTest, SettingsFileLivesInTheDataFolder)
{
    settings().setValue ("dataSyncMethod", "manual");
    Belvora::releaseAppProperties();

    const juce::File file (Belvora::getUserDataFolder() + "/Belvora 2.settings");
    ASSERT_TRUE (file.existsAsFile());

    auto xml = juce::parseXML (file);
    ASSERT_NE (xml, nullptr);
    EXPECT_TRUE (file.loadFileAsString().contains ("dataSyncMethod"));
}

TEST (BelvoraFatalErrors, AlertTexts)
{
    EXPECT_EQ (Belvora::getFatalErrorText (2),
               "Belvora is unable to load required control files. Please try restarting the application. "
               "Make sure you have a functioning internet connection. If this error persists, please contact "
               "technical support (code 2).");
    EXPECT_EQ (Belvora::getFatalErrorText (1),
               "Belvora has encountered error and must now stop, sorry. Please try restarting the application. "
               "If this error persists, please contact technical support (code 1).");
    EXPECT_TRUE (Belvora::getFatalErrorText (3).endsWith ("(code 3)."));
}

TEST (BelvoraFatalErrors, FirstCodeWins)
{
    Belvora app;
    EXPECT_EQ (app.getFatalErrorCode(), 0);
    app.reportFatalError (2);
    app.reportFatalError (1);
    EXPECT_EQ (app.getFatalErrorCode(), 2);
    EXPECT_EQ (app.getAppState(), AppState::starting);
}
