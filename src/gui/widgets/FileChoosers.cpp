#include "gui/widgets/FileChoosers.h"

#include "gui/dialogs/FileChooserDialog.h"

namespace FileChoosers
{

juce::Array<juce::File> choose (const Request& request)
{
    JUCE_ASSERT_MESSAGE_THREAD

    if (auto& responder = ScopedResponder::current())
        return responder (request);

    // Our own window: it opens with the focus in its name box and goes by keys (the framework's took none).
    return FileChooserDialog (request).choose();
}

}
