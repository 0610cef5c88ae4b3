// The firmware update window in each of the states it shows.

#include "gallery/Gallery.h"
#include "gui/dialogs/UpdateProgressWindow.h"
#include "support/TestEnvironment.h"

namespace
{
    std::unique_ptr<juce::Component> updateWindow (const juce::String& status, bool isError, double step, double overall)
    {
        auto window = std::make_unique<UpdateProgressWindow> (nullptr, nullptr, nullptr, false);
        window->setStatusText (status, isError);
        window->setProgress (step, overall);

        // The bars glide towards their values on their own timer.
        const auto until = juce::Time::getMillisecondCounter() + (juce::uint32) (1300.0 * juce::jmax (step, overall));
        TestEnvironment::runMessageLoopUntil ([until] { return juce::Time::getMillisecondCounter() >= until; }, 2000);
        return window;
    }
}

BELVORA_SCREEN ("Dialogs/Firmware update, preparing", [] (BVLookAndFeel&) {
    return updateWindow ("Preparing for update", false, 0.0, 0.0); });
BELVORA_SCREEN ("Dialogs/Firmware update, reading the unit", [] (BVLookAndFeel&) {
    return updateWindow ("Analyzing preset 12: Stadium Lead", false, 0.4, 0.04); });
BELVORA_SCREEN ("Dialogs/Firmware update, sending", [] (BVLookAndFeel&) {
    return updateWindow ("Sending update to Vesper", false, 0.5, 0.35); });
BELVORA_SCREEN ("Dialogs/Firmware update, transmission error", [] (BVLookAndFeel&) {
    return updateWindow ("Transmission error on packet 4, attempt 2", true, 0.5, 0.35); });
BELVORA_SCREEN ("Dialogs/Firmware update, waiting for the unit", [] (BVLookAndFeel&) {
    return updateWindow ("Waiting for Vesper to apply the update", false, 0.6, 0.76); });
BELVORA_SCREEN ("Dialogs/Firmware update, writing data back", [] (BVLookAndFeel&) {
    return updateWindow ("Updating preset 7: Choir Pad", false, 0.7, 0.97); });
BELVORA_SCREEN ("Dialogs/Firmware update, stopping", [] (BVLookAndFeel&) {
    return updateWindow ("Stopping update!!!", true, 0.3, 0.6); });
