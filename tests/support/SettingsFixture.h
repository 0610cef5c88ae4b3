#pragma once

#include "app/Belvora.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

/** A fresh private home and the application's settings holder configured on it. */
class SettingsFixture : public testing::Test
{
protected:
    void SetUp() override
    {
        Belvora::releaseAppProperties();
        TestEnvironment::clearHome();
        Belvora::configureAppProperties();
    }

    void TearDown() override
    {
        Belvora::releaseAppProperties();
    }

    static juce::PropertiesFile& settings()
    {
        return *Belvora::getAppProperties().getUserSettings();
    }
};
