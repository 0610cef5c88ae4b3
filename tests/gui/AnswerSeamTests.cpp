// Message boxes and file choosers answered by a test instead of the user.

#include "gui/widgets/Alerts.h"
#include "gui/widgets/FileChoosers.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

TEST (AnswerSeams, BoxesReachTheResponderWithTheButtonsTheUserWouldSee)
{
    std::vector<Alerts::Box> seen;
    bool answer = false;

    {
        const Alerts::ScopedResponder responder ([&] (const Alerts::Box& box) { seen.push_back (box); return answer; });

        Alerts::showWarning (nullptr, "Error", "Gone");
        EXPECT_FALSE (Alerts::askYesNo (nullptr, "Question", "Really?"));
        answer = true;
        EXPECT_TRUE (Alerts::showOkCancel (juce::MessageBoxIconType::NoIcon, nullptr, "T", "M", true, "Go", "Later"));
        EXPECT_TRUE (Alerts::showOkCancel (juce::MessageBoxIconType::InfoIcon, nullptr, "T", "M", false, "", "Later"));
    }

    ASSERT_EQ (seen.size(), 4u);
    EXPECT_EQ (seen[0].icon, juce::MessageBoxIconType::WarningIcon);
    EXPECT_EQ (seen[0].message, "Gone");
    EXPECT_EQ (seen[0].buttons, juce::StringArray ({ "OK" }));
    EXPECT_EQ (seen[1].buttons, juce::StringArray ({ "Yes", "No" }));
    EXPECT_EQ (seen[2].buttons, juce::StringArray ({ "Go", "Cancel" }));     // the second is "Cancel" by default
    EXPECT_EQ (seen[3].buttons, juce::StringArray ({ "OK", "Later" }));      // an empty first text shows "OK"
}

TEST (AnswerSeams, ChoosersReachTheResponderAndAnEmptyAnswerIsACancel)
{
    const juce::File chosen ("/tmp/chosen.syx");
    std::vector<FileChoosers::Request> seen;

    const FileChoosers::ScopedResponder outer ([&] (const FileChoosers::Request&) { return juce::Array<juce::File>(); });

    {
        const FileChoosers::ScopedResponder responder ([&] (const FileChoosers::Request& r)
        {
            seen.push_back (r);
            return r.mode == FileChoosers::Mode::openFile ? juce::Array<juce::File> { chosen } : juce::Array<juce::File>();
        });

        EXPECT_EQ (FileChoosers::choose ({ FileChoosers::Mode::openFile, "Select update file...", {}, "*.syx" }),
                   juce::Array<juce::File> { chosen });
        EXPECT_TRUE (FileChoosers::choose ({ FileChoosers::Mode::chooseFolder, "Select the export folder", {}, "*.syx" }).isEmpty());
    }

    ASSERT_EQ (seen.size(), 2u);
    EXPECT_EQ (seen[0].title, "Select update file...");
    EXPECT_EQ (seen[1].mode, FileChoosers::Mode::chooseFolder);

    // The outer responder is back once the inner one is gone.
    EXPECT_TRUE (FileChoosers::choose ({ FileChoosers::Mode::openFile, "Again", {}, {} }).isEmpty());
}

TEST (AnswerSeams, AWebAddressNothingCanOpenIsShownToTheUser)
{
    const auto folder = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("browsers", "");
    ASSERT_TRUE (folder.createDirectory());
    EXPECT_FALSE (Alerts::canOpenWebAddresses ({ folder.getFullPathName() }));

    // An opener that notes the address it was handed.
    const auto opener = folder.getChildFile ("xdg-open"), handed = folder.getChildFile ("handed"), ran = folder.getChildFile ("ran");
    ASSERT_TRUE (opener.replaceWithText ("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + handed.getFullPathName() + "'\n", false, false, "\n"));
    ASSERT_TRUE (opener.setExecutePermission (true));
    EXPECT_TRUE (Alerts::canOpenWebAddresses ({ folder.getFullPathName() }));

    // Put back even when a check below stops the test: later tests of this program need it.
    const struct RestorePath
    {
        juce::String path = juce::SystemStats::getEnvironmentVariable ("PATH", {});
        ~RestorePath() { ::setenv ("PATH", path.toRawUTF8(), 1); }
    } restore;
    const auto& path = restore.path;
    ::setenv ("PATH", (folder.getFullPathName() + ":" + path).toRawUTF8(), 1);

    // Addresses come from downloaded documents and reach the opener through a shell:
    // nothing in them runs, and only web and mail addresses are opened at all.
    {
        std::vector<Alerts::Box> seen;
        const Alerts::ScopedResponder responder ([&] (const Alerts::Box& box) { seen.push_back (box); return true; });
        Alerts::openWebAddress (nullptr, juce::URL ("file://" + ran.getFullPathName()));
        EXPECT_EQ (seen.size(), 1u);

        const auto touch = "touch " + ran.getFullPathName();
        Alerts::openWebAddress (nullptr, juce::URL ("https://www.marrowell.com/$(" + touch + ")/`" + touch + "`/\"x\\y"));
        EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return handed.getSize() > 0; }));
        EXPECT_EQ (handed.loadFileAsString(), "https://www.marrowell.com/%24(touch%20" + ran.getFullPathName() + ")/%60touch%20"
                                                  + ran.getFullPathName() + "%60/%22x%5Cy\n");
        EXPECT_FALSE (ran.exists());
        EXPECT_EQ (seen.size(), 1u);
        EXPECT_EQ (Alerts::addressForOpening (juce::URL ("mailto:help@marrowell.com")), "mailto:help@marrowell.com");
        EXPECT_EQ (Alerts::addressForOpening (juce::URL ("/usr/bin/xterm")), "");
    }

    // With an empty search path the address is not handed to a browser that is not there.
    ::setenv ("PATH", folder.getChildFile ("empty").getFullPathName().toRawUTF8(), 1);

    if (! Alerts::canOpenWebAddresses())
    {
        std::vector<Alerts::Box> seen;
        const Alerts::ScopedResponder responder ([&] (const Alerts::Box& box) { seen.push_back (box); return true; });
        Alerts::openWebAddress (nullptr, juce::URL ("https://www.marrowell.com/support/belvora"));

        ASSERT_EQ (seen.size(), 1u);
        EXPECT_EQ (seen[0].icon, juce::MessageBoxIconType::WarningIcon);
        EXPECT_TRUE (seen[0].message.contains ("https://www.marrowell.com/support/belvora")) << seen[0].message;
    }

    folder.deleteRecursively();
}
