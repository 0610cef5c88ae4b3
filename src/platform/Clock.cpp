#include "platform/Clock.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

namespace platform
{

namespace
{
    std::atomic<double> scaleFactor { 1.0 };
}

uint32_t Clock::now()
{
    using namespace std::chrono;
    return static_cast<uint32_t> (duration_cast<milliseconds> (steady_clock::now().time_since_epoch()).count());
}

int Clock::scaled (int milliseconds)
{
    if (milliseconds <= 0)
        return milliseconds;

    const auto value = std::llround (milliseconds * scaleFactor.load (std::memory_order_relaxed));
    return value < 1 ? 1 : static_cast<int> (value);
}

uint32_t Clock::deadlineAfter (int milliseconds)
{
    return now() + static_cast<uint32_t> (scaled (milliseconds < 0 ? 0 : milliseconds));
}

uint32_t Clock::answerDeadlineAfter (int milliseconds)
{
    const auto wanted = milliseconds < 0 ? 0 : milliseconds;
    const auto wait = std::max (scaled (wanted), std::min (wanted, minimumAnswerMs));
    return now() + static_cast<uint32_t> (wait);
}

bool Clock::hasPassed (uint32_t deadline)
{
    return static_cast<int32_t> (now() - deadline) >= 0;
}

void Clock::sleep (int milliseconds)
{
    if (milliseconds <= 0)
        yield();
    else
        std::this_thread::sleep_for (std::chrono::milliseconds (scaled (milliseconds)));
}

void Clock::yield()
{
    std::this_thread::yield();
}

void Clock::setScale (double factor)
{
    scaleFactor.store (factor > 0.0 ? factor : 1.0);
}

double Clock::getScale()
{
    return scaleFactor.load();
}

} // namespace platform
