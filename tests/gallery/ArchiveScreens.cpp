// The backup conversion's progress window.

#include "gallery/Gallery.h"
#include "gui/dialogs/BackupConversionDialog.h"

using namespace Gallery;

namespace
{
    /** The dialog's window, held where the gallery can photograph it. */
    struct ConversionWindowScreen : juce::Component
    {
        ConversionWindowScreen (const juce::String& status, double value)
            : progress (makeProgress (status, value)), dialog (progress)
        {
            auto& window = dialog.getWindow();
            window.setTopLeftPosition (0, 0);
            addAndMakeVisible (window);
            setSize (window.getWidth(), window.getHeight());
        }

        ~ConversionWindowScreen() override
        {
            removeChildComponent (&dialog.getWindow());
        }

        static std::shared_ptr<ConversionProgress> makeProgress (const juce::String& status, double value)
        {
            auto p = std::make_shared<ConversionProgress>();
            p->setStatus (status);
            p->setProgress (value);
            return p;
        }

        std::shared_ptr<ConversionProgress> progress;
        BackupConversionDialog dialog;
    };
}

BELVORA_SCREEN ("Dialogs/Backup conversion", [] (BVLookAndFeel&)
{
    return std::make_unique<ConversionWindowScreen> ("Converting: Live Set 2019", 0.4);
});
