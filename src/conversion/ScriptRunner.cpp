#include "conversion/ScriptRunner.h"

#if JUCE_LINUX || JUCE_MAC
 #include <sys/mman.h>
 #include <unistd.h>
#endif

namespace
{
    // Reserved, not committed: only the pages a run touches take memory. The
    // mark stays well below the stack's end, for what the engine's parser and
    // long chains of operators use without a chance to stop, and below the
    // depth from which address checkers no longer clean a thrown-through stack.
    constexpr size_t stackSize = 256 * 1024 * 1024;
    constexpr size_t stackMark = 32 * 1024 * 1024;
    constexpr int watchIntervalMs = 5;
}

ScriptRunner::ScriptRunner() : juce::Thread ("Conversion Script", stackSize) {}

ScriptRunner::~ScriptRunner()
{
    signalThreadShouldExit();
    workReady.signal();
    stopThread (-1);
}

int ScriptRunner::measureNesting (const juce::String& text)
{
    int depth = 0, deepest = 0;

    for (auto p = text.getCharPointer(); ! p.isEmpty();)
    {
        const auto c = p.getAndAdvance();

        if (c == '"' || c == '\'')
        {
            while (! p.isEmpty())
            {
                const auto d = p.getAndAdvance();
                if (d == '\\' && ! p.isEmpty())
                    ++p;
                else if (d == c)
                    break;
            }
        }
        else if (c == '/' && *p == '/')
        {
            while (! p.isEmpty() && *p != '\n')
                ++p;
        }
        else if (c == '/' && *p == '*')
        {
            ++p;
            while (! p.isEmpty() && ! (p.getAndAdvance() == '*' && *p == '/')) {}
            if (! p.isEmpty())
                ++p;
        }
        else if (c == '(' || c == '[' || c == '{')
        {
            deepest = juce::jmax (deepest, ++depth);
        }
        else if (c == ')' || c == ']' || c == '}')
        {
            depth = juce::jmax (0, depth - 1);
        }
    }

    return deepest;
}

namespace
{
    using Chars = juce::String::CharPointerType;

    /** Skips leading zeros, then the digits; how many digits came after the zeros. */
    int countSignificantDigits (Chars& p, bool hex)
    {
        while (*p == '0')
            ++p;

        int digits = 0;
        for (; hex ? juce::CharacterFunctions::getHexDigitValue (*p) >= 0 : p.isDigit(); ++p)
            ++digits;

        return digits;
    }

    bool isNameChar (juce::juce_wchar c)
    {
        return juce::CharacterFunctions::isLetterOrDigit (c) || c == '_' || c == '$';
    }

    /** Reads the number at p; true when the engine would count past its integers reading it. */
    bool numberOverflows (Chars& p)
    {
        // The engine reads whole numbers and hex numbers into 64 bits and an
        // exponent into an int, none of them bounded.
        constexpr int maxWholeDigits = 18, maxHexDigits = 15, maxExponentDigits = 9;

        if (*p == '0' && (p[1] == 'x' || p[1] == 'X'))
        {
            p += 2;
            return countSignificantDigits (p, true) > maxHexDigits;
        }

        const int wholeDigits = countSignificantDigits (p, false);
        bool isFloat = false;

        if (*p == '.')
        {
            isFloat = true;
            ++p;
            countSignificantDigits (p, false);
        }

        // Without digits after it, an 'e' ends the number: "1e" reads as 1 and a name.
        const int signLength = (p[1] == '+' || p[1] == '-') ? 1 : 0;
        if ((*p == 'e' || *p == 'E') && juce::CharacterFunctions::isDigit (p[1 + signLength]))
        {
            isFloat = true;
            p += 1 + signLength;

            if (countSignificantDigits (p, false) > maxExponentDigits)
                return true;
        }

        return ! isFloat && wholeDigits > maxWholeDigits;
    }
}

bool ScriptRunner::hasUnreadableNumber (const juce::String& text)
{
    juce::juce_wchar previous = 0;

    for (auto p = text.getCharPointer(); ! p.isEmpty();)
    {
        const auto c = *p;
        const bool startsNumber = (p.isDigit() || (c == '.' && p[1] >= '0' && p[1] <= '9')) && ! isNameChar (previous);

        if (! startsNumber)
        {
            previous = c;
            ++p;
            continue;
        }

        if (numberOverflows (p))
            return true;

        previous = '0';   // what follows a number directly is no new number
    }

    return false;
}

const char* ScriptRunner::markPage() const
{
   #if JUCE_LINUX || JUCE_MAC
    const auto* start = stackStart.load();
    if (start == nullptr)
        return nullptr;

    const auto pageSize = (uintptr_t) sysconf (_SC_PAGESIZE);
    return reinterpret_cast<const char*> (((uintptr_t) start - stackMark) & ~(pageSize - 1));
   #else
    return nullptr;
   #endif
}

bool ScriptRunner::stackIsDeep() const
{
   #if JUCE_LINUX || JUCE_MAC
    // The stack grows down; once the page at the mark has been touched, the
    // run has used that much of it.
    unsigned char resident = 0;
    const auto* page = markPage();
    return page != nullptr && mincore (const_cast<char*> (page), (size_t) sysconf (_SC_PAGESIZE), &resident) == 0 && (resident & 1) != 0;
   #else
    return false;
   #endif
}

void ScriptRunner::forgetMarkPage() const
{
   #if JUCE_LINUX || JUCE_MAC
    // Called with the stack unwound: the page is free again, and dropping it
    // lets the next run on this thread start unmarked.
    if (const auto* page = markPage())
        madvise (const_cast<char*> (page), (size_t) sysconf (_SC_PAGESIZE), MADV_DONTNEED);
   #endif
}

juce::Result ScriptRunner::execute (const juce::String& text, const juce::Array<NamedObject>& namedObjects, int limitMs)
{
    if (measureNesting (text) > maxNesting)
        return juce::Result::fail ("The script is nested too deeply.");

    if (hasUnreadableNumber (text))
        return juce::Result::fail ("The script holds a number too large to read.");

    script = text;
    objects = namedObjects;
    timeLimitMs = limitMs;
    stoppedForDepth = false;
    finished.reset();

    if (! isThreadRunning() && ! startThread())
        return juce::Result::fail ("The script could not be started.");

    workReady.signal();

    // Asked again on every look: a stop that comes before the engine has
    // started its clock is forgotten by the engine.
    while (! finished.wait (watchIntervalMs))
    {
        if (stackIsDeep())
        {
            const juce::ScopedLock sl (engineLock);
            stoppedForDepth = true;
            if (engine != nullptr)
                engine->stop();
        }
    }

    objects.clear();

    if (stoppedForDepth && outcome.failed())
        return juce::Result::fail ("The script nested its calls too deeply.");

    return outcome;
}

void ScriptRunner::run()
{
    for (;;)
    {
        workReady.wait (-1);

        if (threadShouldExit())
            return;

        runOnce();
        finished.signal();
    }
}

void ScriptRunner::runOnce()
{
    const char marker = 0;
    stackStart = &marker;

    {
        // Made, run and released here, so that freeing whatever the script
        // built uses this stack too.
        juce::JavascriptEngine scriptEngine;
        scriptEngine.maximumExecutionTime = juce::RelativeTime::milliseconds (timeLimitMs);

        for (auto& [name, object] : objects)
            scriptEngine.registerNativeObject (name, object.get());

        {
            const juce::ScopedLock sl (engineLock);
            engine = &scriptEngine;
        }

        outcome = scriptEngine.execute (script);

        const juce::ScopedLock sl (engineLock);
        engine = nullptr;
    }

    forgetMarkPage();
    stackStart = nullptr;
}
