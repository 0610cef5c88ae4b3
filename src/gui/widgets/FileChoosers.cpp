#include "gui/widgets/FileChoosers.h"

#include "gui/widgets/FocusKeeper.h"

namespace FileChoosers
{

juce::Array<juce::File> choose (const Request& request)
{
    JUCE_ASSERT_MESSAGE_THREAD

    if (auto& responder = ScopedResponder::current())
        return responder (request);

    // The framework's window, which no watch of ours keeps: the focus goes back as after our boxes.
    const FocusKeeper keeper;
    juce::FileChooser chooser (request.title, request.start, request.patterns);
    bool chosen = false;

    switch (request.mode)
    {
        case Mode::openFile:      chosen = chooser.browseForFileToOpen(); break;
        case Mode::openFiles:     chosen = chooser.browseForMultipleFilesToOpen(); break;
        case Mode::saveFile:      chosen = chooser.browseForFileToSave (request.warnAboutOverwriting); break;
        case Mode::chooseFolder:  chosen = chooser.browseForDirectory(); break;
    }

    keeper.restoreLater();
    return chosen ? chooser.getResults() : juce::Array<juce::File>();
}

}
