#pragma once

#include <juce_core/juce_core.h>

#include <utility>

/** What answers a box, a chooser or a menu in place of the user: the one
    answerer of its kind now in place (empty while the real one is shown), and,
    while an object of this class lives, its replacement. Tests read and answer
    the program's questions through it. */
template <typename Answer>
class ScopedAnswer
{
public:
    explicit ScopedAnswer (Answer answer) : previous (std::exchange (current(), std::move (answer))) {}
    ~ScopedAnswer()                                  { current() = std::move (previous); }

    static Answer& current()
    {
        static Answer answer;
        return answer;
    }

private:
    Answer previous;
    JUCE_DECLARE_NON_COPYABLE (ScopedAnswer)
};
