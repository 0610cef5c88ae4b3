// The backup conversion's progress window: it follows the conversion, "Stop!"
// stops the conversion without cutting it off, and the window ends with it.
// Needs a display (run under xvfb-run).

#include "archive/BackupFixture.h"
#include "gui/dialogs/BackupConversionDialog.h"

#include <gtest/gtest.h>

namespace
{
    juce::AlertWindow* modalAlert()
    {
        return dynamic_cast<juce::AlertWindow*> (juce::ModalComponentManager::getInstance()->getModalComponent (0));
    }

    juce::StringArray buttonTexts (juce::AlertWindow& window)
    {
        juce::StringArray texts;
        for (auto* child : window.getChildren())
            if (auto* button = dynamic_cast<juce::TextButton*> (child))
                texts.add (button->getButtonText());
        return texts;
    }

    juce::Button* buttonCalled (juce::AlertWindow& window, const juce::String& text)
    {
        for (auto* child : window.getChildren())
            if (auto* button = dynamic_cast<juce::TextButton*> (child); button != nullptr && button->getButtonText() == text)
                return button;
        return nullptr;
    }
}

TEST (BackupConversionWindow, FollowsTheConversionAndEndsOnlyWithIt)
{
    if (! TestEnvironment::hasDisplay())
        GTEST_SKIP() << "needs a display";

    auto progress = std::make_shared<ConversionProgress>();
    int stopsAsked = 0;
    progress->setStopHandler ([&stopsAsked] { ++stopsAsked; });

    BackupConversionDialog dialog (progress);
    dialog.show();
    ASSERT_TRUE (dialog.isShowing());
    EXPECT_EQ (dialog.getWindow().getName(), "Converting Data");
    EXPECT_EQ (buttonTexts (dialog.getWindow()), juce::StringArray ({ "Stop!" }));
    EXPECT_EQ (dialog.getShownProgress(), -1.0);

    progress->setStatus ("Converting: Live Set");
    progress->setProgress (0.25);
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&]
    {
        return dialog.getShownProgress() == 0.25 && dialog.getShownMessage() == "Converting: Live Set";
    }, 5000));

    // "Stop!" asks for the stop; the window waits for the conversion to end.
    dialog.getStopButton()->triggerClick();
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return progress->isStopRequested(); }, 5000));
    EXPECT_EQ (stopsAsked, 1);
    EXPECT_FALSE (dialog.getStopButton()->isEnabled());
    TestEnvironment::runMessageLoopUntil ([] { return false; }, 3 * BackupConversionDialog::refreshIntervalMs);
    EXPECT_TRUE (dialog.isShowing());

    progress->setFinished();
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return ! dialog.isShowing(); }, 5000));
}

class BackupConversionWindowOverAConversion : public BackupFixture
{
protected:
    void SetUp() override
    {
        if (! TestEnvironment::hasDisplay())
            GTEST_SKIP() << "needs a display";

        BackupFixture::SetUp();
    }
};

TEST_F (BackupConversionWindowOverAConversion, StopEndsTheConversionAndTheWindowGoes)
{
    auto& backups = startConversionThatHangs();
    BackupConversionDialog::launch (backups.getConversionProgress());

    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&]
    {
        auto* window = modalAlert();
        return window != nullptr && window->getName() == "Converting Data"
            && backups.getConversionProgress()->getStatus() == "Converting: H";
    }, 30000));

    auto* stop = buttonCalled (*modalAlert(), "Stop!");
    ASSERT_NE (stop, nullptr);
    stop->triggerClick();

    ASSERT_TRUE (waitForConversionEnd());
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([] { return modalAlert() == nullptr; }, 5000));
    EXPECT_EQ (conversionOutcome().value1, 0);
    EXPECT_EQ (conversionOutcome().value2, 0);
    EXPECT_EQ (describeIndexFile(), "4/3{a1} 3/2{h}");
}
