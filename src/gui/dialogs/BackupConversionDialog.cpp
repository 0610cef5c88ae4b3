#include "gui/dialogs/BackupConversionDialog.h"

BackupConversionDialog::BackupConversionDialog (std::shared_ptr<ConversionProgress> shared, juce::Component* centreAround)
    : progress (std::move (shared))
{
    window.reset (juce::LookAndFeel::getDefaultLookAndFeel()
                      .createAlertWindow ("Converting Data", {}, "Stop!", {}, {}, juce::MessageBoxIconType::NoIcon, 1, centreAround));

    window->setEscapeKeyCancels (false);
    window->addProgressBarComponent (shownProgress);

    // The button asks for a stop instead of closing the window: the window
    // goes when the conversion has ended.
    for (auto* child : window->getChildren())
    {
        if (auto* button = dynamic_cast<juce::TextButton*> (child))
        {
            stopButton = button;
            button->onClick = [this]
            {
                progress->requestStop();
                stopButton->setEnabled (false);
            };
        }
    }

    refresh();
}

BackupConversionDialog::~BackupConversionDialog()
{
    stopTimer();

    if (window->isCurrentlyModal (false))
        window->exitModalState (0);
}

void BackupConversionDialog::launch (std::shared_ptr<ConversionProgress> progress, juce::Component* centreAround)
{
    auto* dialog = new BackupConversionDialog (std::move (progress), centreAround);
    dialog->deleteWhenClosed = true;
    dialog->show();
}

void BackupConversionDialog::show()
{
    refresh();
    window->enterModalState();
    startTimer (refreshIntervalMs);
}

bool BackupConversionDialog::isShowing() const
{
    return window->isCurrentlyModal (false);
}

void BackupConversionDialog::refresh()
{
    shownProgress = progress->getProgress();
    const auto status = progress->getStatus();

    if (status != shownMessage)
    {
        shownMessage = status;
        window->setMessage (status);
    }
}

void BackupConversionDialog::timerCallback()
{
    if (! progress->isFinished())
    {
        refresh();
        return;
    }

    close();
}

void BackupConversionDialog::close()
{
    stopTimer();
    window->exitModalState (0);
    window->setVisible (false);

    if (deleteWhenClosed)
        delete this;
}
