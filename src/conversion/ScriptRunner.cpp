#include "conversion/ScriptRunner.h"

#include "conversion/ScriptValues.h"

#include <cstdio>
#include <new>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#if JUCE_LINUX || JUCE_MAC
 #include <fcntl.h>
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

namespace
{
    /** Calls onCode (c, next) for every character outside strings and
        comments; next points just past c. */
    template <typename Callback>
    void scanCode (const juce::String& text, Callback&& onCode)
    {
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
            else
            {
                onCode (c, p);
            }
        }
    }
}

ScriptRunner::Reading ScriptRunner::compile (const juce::String& script)
{
    // The engine reads the whole text before it runs any of it; the run ends at its first statement.
    ScriptRunner runner;

    if (runner.execute ("return;\n" + script, {}, 1000).wasOk())
        return Reading::reads;

    return runner.endedByItsSurroundings ? Reading::undecided : Reading::refused;
}

bool ScriptRunner::hasStrayClosingBrace (const juce::String& text)
{
    int braces = 0;
    bool stray = false;

    scanCode (text, [&] (juce::juce_wchar c, juce::String::CharPointerType)
    {
        braces += c == '{' ? 1 : (c == '}' ? -1 : 0);
        stray = stray || braces < 0;
    });

    return stray;
}

int ScriptRunner::measureNesting (const juce::String& text)
{
    int depth = 0, deepest = 0;

    scanCode (text, [&] (juce::juce_wchar c, juce::String::CharPointerType)
    {
        if (c == '(' || c == '[' || c == '{')
            deepest = juce::jmax (deepest, ++depth);
        else if (c == ')' || c == ']' || c == '}')
            depth = juce::jmax (0, depth - 1);
    });

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

namespace
{
    /** The value of the number literal at p; the text has passed hasUnreadableNumber. */
    double readNumberLiteral (Chars p)
    {
        if (*p == '0' && (p[1] == 'x' || p[1] == 'X'))
        {
            p += 2;
            double value = 0;
            for (int digit; (digit = juce::CharacterFunctions::getHexDigitValue (*p)) >= 0; ++p)
                value = value * 16 + digit;
            return value;
        }

        return juce::CharacterFunctions::readDoubleValue (p);
    }
}

bool ScriptRunner::hasHugeLiteralIndex (const juce::String& text)
{
    juce::juce_wchar previous = 0;
    bool found = false;

    scanCode (text, [&] (juce::juce_wchar c, Chars next)
    {
        // After a name, a closing bracket or parenthesis, '[' starts a subscript, not an array.
        if (c == '[' && (isNameChar (previous) || previous == ')' || previous == ']'))
        {
            next = next.findEndOfWhitespace();
            if (next.isDigit() || (*next == '.' && juce::CharacterFunctions::isDigit (next[1])))
                found = found || readNumberLiteral (next) >= maxLiteralIndex;
        }

        if (! juce::CharacterFunctions::isWhitespace (c))
            previous = c;
    });

    return found;
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

ScriptRunner::ProcessSize ScriptRunner::getProcessSize (int processId)
{
   #if JUCE_LINUX
    // statm starts with the address space and the resident size, in pages. Read
    // without allocating: this runs every few milliseconds while a script runs.
    char path[48];
    std::snprintf (path, sizeof (path), processId > 0 ? "/proc/%d/statm" : "/proc/self/statm", processId);

    const int fd = ::open (path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};

    char text[128] = {};
    const auto length = ::read (fd, text, sizeof (text) - 1);
    ::close (fd);

    long long size = 0, resident = 0;
    if (length <= 0 || std::sscanf (text, "%lld %lld", &size, &resident) != 2)
        return {};

    const auto pageSize = (juce::int64) sysconf (_SC_PAGESIZE);
    return { size * pageSize, resident * pageSize };
   #else
    juce::ignoreUnused (processId);
    return {};
   #endif
}

const char* const ScriptRunner::outOfMemoryMessage = "The script used too much memory.";
const char* const ScriptRunner::stoppedMessage = "The script was stopped.";

juce::Result ScriptRunner::checkScript (const juce::String& text)
{
    if (measureNesting (text) > maxNesting)
        return juce::Result::fail ("The script is nested too deeply.");

    if (hasUnreadableNumber (text))
        return juce::Result::fail ("The script holds a number too large to read.");

    if (hasHugeLiteralIndex (text))
        return juce::Result::fail ("The script uses an array index too large for a conversion.");

    // The engine stops reading at a brace that closes nothing: the rest would never run.
    if (hasStrayClosingBrace (text))
        return juce::Result::fail ("The script has a closing brace that closes nothing.");

    return juce::Result::ok();
}

juce::Result ScriptRunner::execute (const juce::String& text, const juce::Array<NamedObject>& namedObjects, int limitMs,
                                    const std::function<bool()>& shouldStop)
{
    juce::Result outcome { juce::Result::ok() };

    serve ([&] { outcome = runHere (text, namedObjects, limitMs); }, shouldStop);
    return outcome;
}

void ScriptRunner::serve (const std::function<void()>& work, const std::function<bool()>& shouldStop)
{
    task = &work;
    finished.reset();

    if (! isThreadRunning() && ! startThread())
    {
        task = nullptr;
        work();   // runs into the failure runHere gives without the thread
        return;
    }

    workReady.signal();

    // Asked again on every look: a stop that comes before the engine has
    // started its clock is forgotten by the engine.
    Watch watch;

    while (! finished.wait (watchIntervalMs))
    {
        const auto reason = checkRun (shouldStop, watch);
        if (reason == StopReason::none)
            continue;

        const juce::ScopedLock sl (engineLock);
        if (engine != nullptr)
        {
            if (stopReason == StopReason::none)
                stopReason = reason;

            engine->stop();
        }
    }

    task = nullptr;
}

juce::Result ScriptRunner::runHere (const juce::String& text, const juce::Array<NamedObject>& namedObjects, int limitMs)
{
    stoppedOnRequest = false;
    endedByItsSurroundings = juce::Thread::getCurrentThread() != this;

    if (endedByItsSurroundings)
        return juce::Result::fail ("The script could not be started.");

    // A job runs the same few scripts over and over.
    if (text != lastCheckedScript)
    {
        if (auto checked = checkScript (text); checked.failed())
            return checked;

        lastCheckedScript = text;
    }

    const char marker = 0;
    stackStart = &marker;
    ++runsStarted;
    running = true;

    juce::Result outcome { juce::Result::ok() };

    // Nothing may leave the thread's run(): the framework's thread entry would
    // swallow it and the caller would wait for ever. Unwinding has freed what
    // the script built.
    try
    {
        outcome = runEngine (text, namedObjects, limitMs);
    }
    catch (const std::bad_alloc&)
    {
        endedByItsSurroundings = true;
        outcome = juce::Result::fail (outOfMemoryMessage);
    }
    catch (...)
    {
        endedByItsSurroundings = true;
        outcome = juce::Result::fail ("The script failed unexpectedly.");
    }

    running = false;
    forgetMarkPage();
    stackStart = nullptr;

    StopReason reason;
    {
        const juce::ScopedLock sl (engineLock);
        reason = std::exchange (stopReason, StopReason::none);
    }

    if (reason == StopReason::none || outcome.wasOk())
        return outcome;

    stoppedOnRequest = reason == StopReason::request;

    // The process's growth counts every thread's: it may be none of the script's doing.
    endedByItsSurroundings = endedByItsSurroundings || reason == StopReason::request || reason == StopReason::memory;

    switch (reason)
    {
        case StopReason::request:   return juce::Result::fail (stoppedMessage);
        case StopReason::depth:     return juce::Result::fail ("The script nested its calls too deeply.");
        case StopReason::memory:    return juce::Result::fail (outOfMemoryMessage);
        case StopReason::none:      break;
    }

    return outcome;
}

ScriptRunner::StopReason ScriptRunner::checkRun (const std::function<bool()>& shouldStop, Watch& watch) const
{
    if (shouldStop != nullptr && shouldStop())
        return StopReason::request;

    if (stackIsDeep())
        return StopReason::depth;

    if (! running)
        return StopReason::none;

    // A run's growth counts from the first look at it: reading the size is
    // too slow for the start of every short run.
    const auto run = runsStarted.load();
    const auto resident = getProcessSize().resident;

    if (run != watch.run)
        watch = { run, resident };
    else if (resident > 0 && resident - watch.startResident > memoryLimit)
        return StopReason::memory;

    return StopReason::none;
}

void ScriptRunner::run()
{
    for (;;)
    {
        workReady.wait (-1);

        if (threadShouldExit())
            return;

        try
        {
            (*task)();
        }
        catch (...) {}   // runHere catches what a script throws; this is for the work around it

        finished.signal();
    }
}

namespace
{
    /** Walks a value as JSON text or a deep copy would expand it, each shared
        part once: refuses a cycle, nesting deeper than maxDepth, or an
        expansion larger than maxBytes. */
    class ValueMeasure
    {
    public:
        static bool fits (const juce::var& value)
        {
            ValueMeasure measure;
            Size size;
            return measure.measure (value, 0, size);
        }

    private:
        static constexpr int maxDepth = 64;
        static constexpr juce::uint64 maxBytes = 16 * 1024 * 1024;
        static constexpr juce::uint64 elementBytes = 2 * maxDepth + 16;   // indentation, separators, a number

        struct Size
        {
            juce::uint64 bytes = 0;
            int height = 0;
        };

        bool measure (const juce::var& value, int depth, Size& size)
        {
            const auto* array = value.getArray();
            auto* object = value.getDynamicObject();
            const void* key = array != nullptr ? static_cast<const void*> (array) : static_cast<const void*> (object);

            if (key == nullptr)
            {
                size = { value.isString() ? (juce::uint64) value.toString().getNumBytesAsUTF8() * 6 + 2 : 32, 0 };
                return true;
            }

            if (const auto done = measured.find (key); done != measured.end())
            {
                size = done->second;
                return depth + size.height <= maxDepth;
            }

            if (depth >= maxDepth || ! open.insert (key).second)
                return false;

            Size total { 2, 0 };
            auto add = [&] (const juce::var& element, juce::uint64 nameBytes)
            {
                Size part;
                if (! measure (element, depth + 1, part))
                    return false;

                total.bytes += part.bytes + nameBytes + elementBytes;
                total.height = juce::jmax (total.height, part.height + 1);
                return total.bytes <= maxBytes;
            };

            if (array != nullptr)
            {
                for (auto& element : *array)
                    if (! add (element, 0))
                        return false;
            }
            else
            {
                for (auto& property : object->getProperties())
                    if (! add (property.value, (juce::uint64) property.name.toString().getNumBytesAsUTF8() * 6 + 4))
                        return false;
            }

            open.erase (key);
            measured[key] = total;
            size = total;
            return true;
        }

        std::unordered_map<const void*, Size> measured;
        std::unordered_set<const void*> open;
    };

    [[noreturn]] void refuseValue()
    {
        // The engine reports a thrown text as the script's error.
        throw juce::String ("The value is cyclic, nested too deeply or too large to copy.");
    }

    /** "JSON": stringify as the engine's own, for values that fit. */
    struct GuardedJson : public juce::DynamicObject
    {
        GuardedJson()   { setMethod ("stringify", stringify); }

        static juce::var stringify (const juce::var::NativeFunctionArgs& args)
        {
            const auto value = args.numArguments > 0 ? args.arguments[0] : juce::var();
            if (! ValueMeasure::fits (value))
                refuseValue();

            return juce::JSON::toString (value);
        }
    };

    /** "Object": clone as the engine's own, for values that fit; dump prints nothing. */
    struct GuardedObjectClass : public juce::DynamicObject
    {
        GuardedObjectClass()
        {
            setMethod ("dump", [] (const juce::var::NativeFunctionArgs&) { return juce::var(); });
            setMethod ("clone", clone);
        }

        static juce::var clone (const juce::var::NativeFunctionArgs& args)
        {
            if (! ValueMeasure::fits (args.thisObject))
                refuseValue();

            return args.thisObject.clone();
        }
    };

    /** Array.indexOf as the engine's own, but a negative start counts from the
        end, as in splice: the engine's own reads before the array for one. */
    juce::var guardedIndexOf (const juce::var::NativeFunctionArgs& args)
    {
        if (auto* array = args.thisObject.getArray())
        {
            const auto target = ScriptValues::argument (args, 0);
            auto start = args.numArguments > 1 ? ScriptValues::toInt (args.arguments[1]) : 0;

            if (start < 0)
                start = juce::jmax (0, array->size() + start);

            for (int i = start; i < array->size(); ++i)
                if (array->getReference (i) == target)
                    return i;
        }

        return -1;
    }

    /** String.charCodeAt as the engine's own, but 0 outside the text, as at its
        end: the engine's own reads outside the text for such an index. */
    juce::var guardedCharCodeAt (const juce::var::NativeFunctionArgs& args)
    {
        const auto text = args.thisObject.toString();
        const auto index = ScriptValues::toInt (ScriptValues::argument (args, 0));
        return juce::isPositiveAndBelow (index, text.length()) ? (int) text[index] : 0;
    }

    /** Clears the runner's engine pointer before the engine goes, unwinding or not. */
    struct EngineRegistration
    {
        EngineRegistration (juce::CriticalSection& l, juce::JavascriptEngine*& p, juce::JavascriptEngine& e) : lock (l), pointer (p)
        {
            const juce::ScopedLock sl (lock);
            pointer = &e;
        }

        ~EngineRegistration()
        {
            const juce::ScopedLock sl (lock);
            pointer = nullptr;
        }

        juce::CriticalSection& lock;
        juce::JavascriptEngine*& pointer;
    };
}

namespace
{
    /** Empties every array and object a script left behind, so that cycles it
        built (an array holding itself, say) are freed with the engine instead
        of kept alive by their own references. The engine's own objects keep
        their methods; the caller's objects, and what the script handed them,
        stay as they are for the caller to read. Iterative: a script's values
        can nest deeply. */
    void breakCycles (const juce::NamedValueSet& root, const std::unordered_set<juce::DynamicObject*>& natives,
                      const std::unordered_set<juce::DynamicObject*>& callers)
    {
        std::vector<juce::var> pending;
        std::unordered_set<void*> seen (callers.begin(), callers.end());

        for (auto& property : root)
            pending.push_back (property.value);

        while (! pending.empty())
        {
            const auto value = std::move (pending.back());
            pending.pop_back();

            if (auto* array = value.getArray())
            {
                if (! seen.insert (array).second)
                    continue;

                juce::Array<juce::var> items;
                items.swapWith (*array);

                for (auto& item : items)
                    pending.push_back (item);
            }
            else if (auto* object = value.getDynamicObject())
            {
                if (! seen.insert (object).second)
                    continue;

                auto& properties = object->getProperties();

                for (auto& property : properties)
                    pending.push_back (property.value);

                if (natives.count (object) == 0)
                {
                    object->clear();
                    continue;
                }

                juce::Array<juce::Identifier> added;

                for (auto& property : properties)
                    if (! property.value.isMethod())
                        added.add (property.name);

                for (auto& name : added)
                    object->removeProperty (name);
            }
        }
    }
}

juce::Result ScriptRunner::runEngine (const juce::String& text, const juce::Array<NamedObject>& namedObjects, int limitMs)
{
    // Made, run and released here, so that freeing whatever the script built uses this stack too.
    juce::JavascriptEngine scriptEngine;
    scriptEngine.maximumExecutionTime = juce::RelativeTime::milliseconds (limitMs);

    // The engine's own JSON and Object classes copy cycles until memory runs
    // out; eval and exec would parse text the checks above never saw, and
    // trace writes the whole scope as text.
    scriptEngine.registerNativeObject ("JSON", new GuardedJson());
    scriptEngine.registerNativeObject ("Object", new GuardedObjectClass());
    for (auto* name : { "eval", "exec", "trace" })
        scriptEngine.registerNativeObject (name, new juce::DynamicObject());

    // Two of the engine's methods read outside their array or text for an index out of range.
    const auto& root = scriptEngine.getRootObjectProperties();
    if (auto* arrays = root["Array"].getDynamicObject())
        arrays->setMethod ("indexOf", guardedIndexOf);
    if (auto* strings = root["String"].getDynamicObject())
        strings->setMethod ("charCodeAt", guardedCharCodeAt);

    for (auto& [name, object] : namedObjects)
        scriptEngine.registerNativeObject (name, object.get());

    std::unordered_set<juce::DynamicObject*> natives, callers;

    for (auto& [name, object] : namedObjects)
        callers.insert (object.get());

    for (auto& property : scriptEngine.getRootObjectProperties())
        if (auto* object = property.value.getDynamicObject())
            natives.insert (object);

    const EngineRegistration registration (engineLock, engine, scriptEngine);
    const auto result = scriptEngine.execute (text);

    try
    {
        breakCycles (scriptEngine.getRootObjectProperties(), natives, callers);
    }
    catch (const std::bad_alloc&)
    {
        // Out of memory: what the script built stays allocated, the run still ends.
    }

    return result;
}
