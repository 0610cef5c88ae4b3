#include "platform/DownloadPolicy.h"

#include "platform/Clock.h"

namespace platform
{

int DownloadPolicy::silenceLimitMs (int downloadTimeoutMs)
{
    return juce::jmin (Clock::scaled (silenceMs), downloadTimeoutMs);
}

int DownloadPolicy::preparationLimitMs()
{
    return juce::jmax (shortestPreparationMs, Clock::scaled (preparationMs));
}

DownloadPolicy::Failure DownloadPolicy::sooner (Failure a, Failure b)
{
    if (a == Failure::server || b == Failure::server)
        return Failure::server;

    return a != Failure::none ? a : b;
}

DownloadPolicy::Failure DownloadPolicy::failureOfStatus (int status)
{
    return status == 404 || status == 410 ? Failure::missing : Failure::server;
}

int DownloadPolicy::nextPauseMs (Failure failure, int lastPauseMs, bool askedEarly)
{
    if (failure == Failure::missing || failure == Failure::refused)
        return longRetryMs;

    if (lastPauseMs <= 0 || lastPauseMs > longestRetryMs)
        return firstRetryMs;

    return askedEarly ? lastPauseMs : juce::jmin (lastPauseMs * 2, longestRetryMs);
}

bool DownloadPolicy::isWorthKeeping (const Span& part)
{
    return part.validator.isNotEmpty() && part.start == 0 && part.received > 0 && part.total > part.received;
}

bool DownloadPolicy::continues (const Span& part, const Span& rest)
{
    return rest.start == part.received && rest.end == rest.total - 1 && rest.total == part.total
        && rest.validator.isNotEmpty() && rest.validator == part.validator && rest.received <= rest.end - rest.start + 1;
}

bool DownloadPolicy::completes (const Span& part, const Span& rest)
{
    return continues (part, rest) && rest.received == rest.end - rest.start + 1;
}

} // namespace platform
