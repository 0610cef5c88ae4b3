#pragma once

#include "gui/widgets/ScopedAnswer.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

/** The program's file and folder choosers: every dialog asks through here, so
    tests can answer the choosers as the user would. */
namespace FileChoosers
{
    enum class Mode { openFile, openFiles, saveFile, chooseFolder };

    /** One chooser as it would be shown. */
    struct Request
    {
        Mode mode = Mode::openFile;
        juce::String title;
        juce::File start;
        juce::String patterns;                 // e.g. "*.syx"; empty for any file
        bool warnAboutOverwriting = false;     // save only
    };

    /** Blocks until the user chose; the chosen files or folder, empty when cancelled. */
    juce::Array<juce::File> choose (const Request& request);

    /** Answers a chooser instead of the user. */
    using Responder = std::function<juce::Array<juce::File> (const Request&)>;

    /** While one lives, every chooser goes to its responder instead of the screen. */
    using ScopedResponder = ScopedAnswer<Responder>;
}
