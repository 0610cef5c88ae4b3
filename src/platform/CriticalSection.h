#pragma once

#include <mutex>

namespace platform
{

/** A re-entrant lock with the enter / try-enter / leave shape the worker queues use. */
class CriticalSection
{
public:
    CriticalSection() = default;
    CriticalSection (const CriticalSection&) = delete;
    CriticalSection& operator= (const CriticalSection&) = delete;

    void enter() const              { mutex.lock(); }
    bool tryEnter() const           { return mutex.try_lock(); }
    void leave() const              { mutex.unlock(); }

    // Standard names, so std::scoped_lock and friends work too.
    void lock() const               { enter(); }
    bool try_lock() const           { return tryEnter(); }
    void unlock() const             { leave(); }

private:
    mutable std::recursive_mutex mutex;
};

/** Holds a CriticalSection for the lifetime of the scope. */
class ScopedLock
{
public:
    explicit ScopedLock (const CriticalSection& cs) : section (cs) { section.enter(); }
    ~ScopedLock()                                                  { section.leave(); }
    ScopedLock (const ScopedLock&) = delete;
    ScopedLock& operator= (const ScopedLock&) = delete;

private:
    const CriticalSection& section;
};

} // namespace platform
