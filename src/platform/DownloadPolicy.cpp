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
    // The kinds are listed in the order of their first pauses; none is no failure at all.
    auto rank = [] (Failure f) { return f == Failure::none ? 99 : (int) f; };
    return rank (a) <= rank (b) ? a : b;
}

DownloadPolicy::Failure DownloadPolicy::failureOfStatus (int status)
{
    return status == 404 || status == 410 ? Failure::missing : Failure::server;
}

int DownloadPolicy::nextPauseMs (Failure failure, Failure lastFailure, int lastPauseMs, bool askedEarly)
{
    if (failure == Failure::refused)
        return longRetryMs;

    const auto missing = failure == Failure::missing;
    const auto first = missing ? firstMissingRetryMs : firstRetryMs;

    // Another kind of failure starts its own pace.
    if (failure != lastFailure || lastPauseMs <= 0)
        return first;

    return askedEarly ? lastPauseMs : juce::jmin (lastPauseMs * 2, missing ? longRetryMs : longestRetryMs);
}

bool DownloadPolicy::isWorthTelling (int failingForMs, int nextPauseMs)
{
    return failingForMs >= Clock::scaled (quietFailureMs) || nextPauseMs >= quietFailureMs;
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
