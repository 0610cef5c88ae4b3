#pragma once

#include <cstdint>

namespace platform
{

/** The one time source of the device layer and the other workers.

    Every protocol wait (identification windows, reply time-outs, pauses between
    tries) is asked for through Clock::scaled, so tests can shrink all of them at
    once with setScale and still run the same code paths. */
struct Clock
{
    /** Milliseconds since an arbitrary start, monotonic; wraps like a 32-bit counter. */
    static uint32_t now();

    /** A protocol duration after scaling; a positive duration never becomes 0. */
    static int scaled (int milliseconds);

    /** Deadline helper: now() + scaled (milliseconds). */
    static uint32_t deadlineAfter (int milliseconds);

    /** Deadline for another thread's answer: as deadlineAfter, but a shrunk wait stays
        at least minimumAnswerMs (or the whole wait when shorter), since a busy machine
        may take that long to run the answering thread, whatever the scale. */
    static uint32_t answerDeadlineAfter (int milliseconds);
    static constexpr int minimumAnswerMs = 250;

    /** True once now() has reached the deadline (wrap-safe). */
    static bool hasPassed (uint32_t deadline);

    /** Sleeps for the scaled duration; 0 just yields the processor. */
    static void sleep (int milliseconds);

    /** Gives up the rest of the time slice. */
    static void yield();

    static void setScale (double factor);
    static double getScale();
};

} // namespace platform
