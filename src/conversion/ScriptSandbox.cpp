#include "conversion/ScriptSandbox.h"

#include "conversion/BelvoraScriptInterface.h"
#include "conversion/PresetConversionObject.h"
#include "conversion/ReferenceDataObject.h"
#include "conversion/SetupConversionObject.h"

// The thread checker cannot follow a process that starts threads after a
// fork; its builds look for races, not runaway scripts, and run in-process.
#if defined (__has_feature)
 #if __has_feature (thread_sanitizer)
  #define BELVORA_THREAD_CHECKS 1
 #endif
#endif

#if JUCE_LINUX && ! defined (__SANITIZE_THREAD__) && ! defined (BELVORA_THREAD_CHECKS)
 #define BELVORA_SCRIPTS_IN_CHILD 1
#else
 #define BELVORA_SCRIPTS_IN_CHILD 0
#endif

#if BELVORA_SCRIPTS_IN_CHILD
 #include <cerrno>
 #include <csignal>
 #include <poll.h>
 #include <sys/resource.h>
 #include <sys/socket.h>
 #include <sys/wait.h>
 #include <unistd.h>
#endif

namespace
{
    // The form of steps and their outcomes on the way to the child and back.

    void writeText (juce::OutputStream& out, const juce::String& text)
    {
        const auto size = text.getNumBytesAsUTF8();
        out.writeInt ((int) size);
        out.write (text.toRawUTF8(), size);
    }

    bool readBytes (juce::MemoryInputStream& in, juce::MemoryBlock& bytes, int size)
    {
        if (size < 0 || size > in.getNumBytesRemaining())
            return false;

        bytes.setSize ((size_t) size);
        return in.read (bytes.getData(), size) == size;
    }

    bool readText (juce::MemoryInputStream& in, juce::String& text)
    {
        juce::MemoryBlock bytes;
        if (! readBytes (in, bytes, in.readInt()))
            return false;

        text = juce::String::fromUTF8 (static_cast<const char*> (bytes.getData()), (int) bytes.getSize());
        return true;
    }

    /** Every field, the packets as they are: the data may be half-made. */
    void writeData (juce::OutputStream& out, const DeviceMidiData& data)
    {
        out.writeInt (data.getKind());
        data.getCapsBlock().writeToStream (out);
        out.writeBool (data.isModified());

        if (auto* preset = dynamic_cast<const Preset*> (&data))
        {
            const auto& name = preset->getNameBlock();
            out.writeBool (preset->hasName());

            for (auto field : { name.number, name.formatVersion, name.nameLength, name.tags, name.numSteps, name.getBufferSize() })
                out.writeInt (field);

            if (name.hasBuffer())
                out.write (name.getBytes(), (size_t) name.getBufferSize());
        }
        else if (auto* setup = dynamic_cast<const SetupData*> (&data))
        {
            out.writeInt (setup->getSetupDataVersion());
        }

        out.writeInt (data.getNumMidiMessages());

        for (int i = 0; i < data.getNumMidiMessages(); ++i)
        {
            const auto* packet = data.getMidiMessage (i);
            out.writeInt (packet->getRawDataSize());
            out.write (packet->getRawData(), (size_t) packet->getRawDataSize());
        }
    }

    std::unique_ptr<Preset> readPresetFields (juce::MemoryInputStream& in, const CapsBlock& block)
    {
        auto preset = std::make_unique<Preset> (block);
        const bool named = in.readBool();

        PresetName name;
        name.number = in.readInt();
        name.formatVersion = in.readInt();
        name.nameLength = in.readInt();
        name.tags = in.readInt();
        name.numSteps = in.readInt();

        juce::MemoryBlock bytes;
        if (! readBytes (in, bytes, in.readInt()) || bytes.getSize() > (size_t) PresetName::maxNameLength)
            return {};

        if (! bytes.isEmpty())
            name.setFromBytes (static_cast<const uint8_t*> (bytes.getData()), (int) bytes.getSize());

        if (named)
            preset->setNameBytes (name);

        return preset;
    }

    std::unique_ptr<DeviceMidiData> readData (juce::MemoryInputStream& in)
    {
        const int kind = in.readInt();
        CapsBlock block;
        if (! block.readFromStream (in))
            return {};

        const bool modified = in.readBool();
        std::unique_ptr<DeviceMidiData> data;

        if (kind == DeviceMidiData::kindPreset)
        {
            data = readPresetFields (in, block);
        }
        else if (kind == DeviceMidiData::kindSetup)
        {
            auto setup = std::make_unique<SetupData> (block);
            setup->setSetupDataVersion (in.readInt());
            data = std::move (setup);
        }

        const int count = in.readInt();
        if (data == nullptr || count < 0)
            return {};

        for (int i = 0; i < count; ++i)
        {
            juce::MemoryBlock bytes;
            if (! readBytes (in, bytes, in.readInt()) || bytes.isEmpty())
                return {};

            data->addMidiMessage (juce::MidiMessage (bytes.getData(), (int) bytes.getSize()));
        }

        data->setModified (modified);
        return data;
    }

    void writeOutcome (juce::OutputStream& out, const ScriptSandbox::Outcome& outcome)
    {
        out.writeBool (outcome.result.wasOk());
        writeText (out, outcome.result.getErrorMessage());
        writeText (out, outcome.reportedError);
        out.writeBool (outcome.stopped);
        out.writeBool (outcome.converted != nullptr);

        if (outcome.converted != nullptr)
            writeData (out, *outcome.converted);
    }

    bool readOutcome (juce::MemoryInputStream& in, ScriptSandbox::Outcome& outcome)
    {
        const bool ok = in.readBool();
        juce::String message;

        if (! readText (in, message) || ! readText (in, outcome.reportedError))
            return false;

        outcome.result = ok ? juce::Result::ok() : juce::Result::fail (message);
        outcome.stopped = in.readBool();

        if (in.readBool() && (outcome.converted = readData (in)) == nullptr)
            return false;

        return true;
    }

    const char* const crashedMessage = "The script crashed the script engine.";
    const char* const tooLongMessage = "The script took too long and was ended.";
}

//==============================================================================
namespace
{
    using RunScript = std::function<juce::Result (const juce::String&, const juce::Array<ScriptRunner::NamedObject>&)>;

    /** Makes the script objects of one step, runs the script with them and collects what it wrote. */
    ScriptSandbox::Outcome runStep (const RunScript& runScript, const ScriptRunner& runner, const DeviceData* reference,
                                    const juce::String& script, const DeviceMidiData& data, const CapsBlock& targetBlock)
    {
        ScriptSandbox::Outcome outcome;
        juce::DynamicObject::Ptr belvora (new BelvoraScriptInterface());
        juce::Array<ScriptRunner::NamedObject> objects;
        objects.add ({ "Belvora", belvora });
        objects.add ({ "ReferenceData", new ReferenceDataObject (reference) });

        auto* preset = dynamic_cast<const Preset*> (&data);
        auto* setup = dynamic_cast<const SetupData*> (&data);
        juce::DynamicObject::Ptr conversion;

        if (preset != nullptr)
            conversion = new PresetConversionObject (*preset, targetBlock);
        else if (setup != nullptr)
            conversion = new SetupConversionObject (*setup, targetBlock);
        else
            return { juce::Result::fail ("No script converts this kind of data."), {}, {}, false };

        objects.add ({ preset != nullptr ? "PresetConversion" : "SetupConversion", conversion });

        outcome.result = runScript (script, objects);
        outcome.stopped = runner.wasStoppedOnRequest();
        outcome.reportedError = static_cast<BelvoraScriptInterface&> (*belvora).getErrorText();

        if (outcome.result.failed())
            return outcome;

        if (preset != nullptr)
            outcome.converted = std::make_unique<Preset> (static_cast<PresetConversionObject&> (*conversion).getTargetData());
        else
            outcome.converted = std::make_unique<SetupData> (static_cast<SetupConversionObject&> (*conversion).getTargetData());

        return outcome;
    }
}

ScriptSandbox::Outcome ScriptSandbox::runHere (ScriptRunner& runner, const DeviceData* reference, const juce::String& script,
                                               const DeviceMidiData& data, const CapsBlock& targetBlock, int timeLimitMs,
                                               const std::function<bool()>& shouldStop)
{
    const RunScript run = [&] (const juce::String& text, const juce::Array<ScriptRunner::NamedObject>& objects)
    {
        return runner.execute (text, objects, timeLimitMs, shouldStop);
    };

    return runStep (run, runner, reference, script, data, targetBlock);
}

//==============================================================================
#if BELVORA_SCRIPTS_IN_CHILD

/** The child process and its end of a socket pair, seen from here. */
class ScriptSandbox::Child
{
public:
    enum class Status { replied, stopped, died, tooLong, tooLarge };

    /** Makes the copy and waits until it is ready; null when it could not be made or was stopped. */
    static std::unique_ptr<Child> start (const DeviceData* reference, const std::function<bool()>& shouldStop, Status& status)
    {
        // A copy can hang at once on a lock another thread held when it was
        // made; it then ends itself and the next copy is tried.
        for (int attempt = 0; attempt < 3; ++attempt)
        {
            int sockets[2];
            if (::socketpair (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0)
                break;

            const auto pid = ::fork();

            if (pid == 0)
            {
                ::close (sockets[0]);
                serve (sockets[1], reference);
            }

            ::close (sockets[1]);

            if (pid < 0)
            {
                ::close (sockets[0]);
                break;
            }

            std::unique_ptr<Child> child (new Child (pid, sockets[0]));
            juce::MemoryBlock ready;
            status = child->exchange ({}, ready, startLimitMs, shouldStop);

            if (status == Status::replied)
            {
                child->baseResident = ScriptRunner::getProcessSize (pid).resident;
                return child;
            }

            if (status == Status::stopped)
                return {};
        }

        status = Status::died;
        return {};
    }

    ~Child()
    {
        end();
        ::close (socket);
    }

    /** Sends a request (none when empty) and waits for one reply, watching the
        child meanwhile. Anything but a reply leaves the child ended. */
    Status exchange (const juce::MemoryBlock& request, juce::MemoryBlock& reply, int waitLimitMs, const std::function<bool()>& shouldStop)
    {
        juce::MemoryOutputStream outgoing;
        if (! request.isEmpty())
        {
            outgoing.writeInt ((int) request.getSize());
            outgoing << request;
        }

        juce::MemoryOutputStream incoming;
        size_t sent = 0;
        const auto start = juce::Time::getMillisecondCounterHiRes();
        const auto deadline = start + waitLimitMs;
        auto nextLook = start + watchIntervalMs;

        for (;;)
        {
            pollfd watched { socket, (short) (POLLIN | (sent < outgoing.getDataSize() ? POLLOUT : 0)), 0 };
            if (::poll (&watched, 1, watchIntervalMs) < 0 && errno != EINTR)
                return end (Status::died);

            if ((watched.revents & POLLOUT) != 0)
            {
                const auto n = ::send (socket, juce::addBytesToPointer (outgoing.getData(), sent), outgoing.getDataSize() - sent,
                                       MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n > 0)
                    sent += (size_t) n;
                else if (n < 0 && errno != EAGAIN && errno != EINTR)
                    return end (Status::died);
            }

            if ((watched.revents & (POLLIN | POLLHUP | POLLERR)) != 0)
            {
                char buffer[65536];
                const auto n = ::recv (socket, buffer, sizeof (buffer), MSG_DONTWAIT);

                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                    return end (Status::died);

                if (n > 0)
                    incoming.write (buffer, (size_t) n);

                if (takeFrame (incoming, reply))
                    return Status::replied;

                // A reply is a step's data; anything this large is a copy gone wrong.
                if (incoming.getDataSize() > maxReplyBytes)
                    return end (Status::died);
            }

            // Looked at once a watch interval, not on every wake-up of a quick step.
            const auto now = juce::Time::getMillisecondCounterHiRes();
            if (now < nextLook)
                continue;

            nextLook = now + watchIntervalMs;

            if (shouldStop != nullptr && shouldStop())
                return end (Status::stopped);

            if (ScriptRunner::getProcessSize (pid).resident - baseResident > memoryLimit)
                return end (Status::tooLarge);

            if (now > deadline)
                return end (Status::tooLong);
        }
    }

    bool isAlive() const noexcept   { return pid > 0; }

    /** Beyond the script's own time limit: the engine looks at its clock only between statements. */
    static constexpr int graceMs = 5000;

private:
    Child (pid_t p, int s) : pid (p), socket (s) {}

    Status end (Status status = Status::died)
    {
        if (pid > 0)
        {
            ::kill (pid, SIGKILL);
            while (::waitpid (pid, nullptr, 0) < 0 && errno == EINTR) {}
            pid = -1;
        }

        return status;
    }

    /** True when the stream holds a whole frame; moves its payload out. */
    static bool takeFrame (juce::MemoryOutputStream& incoming, juce::MemoryBlock& payload)
    {
        if (incoming.getDataSize() < 4)
            return false;

        const auto size = (size_t) juce::ByteOrder::littleEndianInt (incoming.getData());
        if (incoming.getDataSize() < 4 + size)
            return false;

        payload.replaceAll (juce::addBytesToPointer (incoming.getData(), 4), size);
        return true;
    }

    /** Repeats a blocking send or receive until size bytes have gone through. */
    template <typename Transfer>
    static bool transferAll (size_t size, Transfer&& transfer)
    {
        for (size_t done = 0; done < size;)
        {
            const auto n = transfer (done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += (size_t) n;
        }

        return true;
    }

    static bool sendAll (int fd, const void* data, size_t size)
    {
        return transferAll (size, [&] (size_t done) { return ::send (fd, juce::addBytesToPointer (data, done), size - done, MSG_NOSIGNAL); });
    }

    static bool receiveAll (int fd, void* data, size_t size)
    {
        return transferAll (size, [&] (size_t done) { return ::recv (fd, juce::addBytesToPointer (data, done), size - done, 0); });
    }

    static bool sendFrame (int fd, const juce::MemoryBlock& payload)
    {
        char header[4];
        const auto size = juce::ByteOrder::swapIfBigEndian ((juce::uint32) payload.getSize());
        std::memcpy (header, &size, 4);
        return sendAll (fd, header, 4) && sendAll (fd, payload.getData(), payload.getSize());
    }

    static bool receiveFrame (int fd, juce::MemoryBlock& payload)
    {
        char header[4];
        if (! receiveAll (fd, header, 4))
            return false;

        payload.setSize (juce::ByteOrder::littleEndianInt (header));
        return receiveAll (fd, payload.getData(), payload.getSize());
    }

    static void keepOnlyDescriptor (int fd)
    {
        // Other threads' sockets stay with their own children only: a child
        // holding another's end would keep it from seeing that child end.
        const auto kept = (unsigned int) fd;
        if ((kept > 3 && ::close_range (3, kept - 1, 0) != 0) || ::close_range (kept + 1, ~0u, 0) != 0)
            for (int other = 3; other < 1024; ++other)
                if (other != fd)
                    ::close (other);
    }

    static void limitAddressSpace()
    {
        // A failed allocation then ends the script (or, inside the engine, the copy).
        if (const auto size = ScriptRunner::getProcessSize().addressSpace; size > 0)
        {
            const rlimit limit { (rlim_t) (size + memoryLimit), (rlim_t) (size + memoryLimit) };
            ::setrlimit (RLIMIT_AS, &limit);
        }
    }

    /** The child's whole life: runs one step per request until the socket
        closes, which it also does when this process ends. */
    [[noreturn]] static void serve (int fd, const DeviceData* reference)
    {
        // Until the copy is ready, a hang on an inherited lock ends it.
        sigset_t alarmOnly;
        sigemptyset (&alarmOnly);
        sigaddset (&alarmOnly, SIGALRM);
        ::pthread_sigmask (SIG_UNBLOCK, &alarmOnly, nullptr);
        ::signal (SIGALRM, SIG_DFL);
        ::alarm (probeSeconds);

        keepOnlyDescriptor (fd);

        // Makes the runner's thread and the engine's shared names before the
        // limit, so that what the copy inherited stays outside it.
        ScriptRunner runner;
        if (runner.execute ("var probe = [ 'ready' ];", {}, 1000).failed())
            ::_exit (2);

        ::alarm (0);
        limitAddressSpace();

        if (! sendFrame (fd, juce::MemoryBlock (1)))
            ::_exit (0);

        // The runner's thread, with its large stack, answers the requests; this
        // thread watches each script it runs.
        runner.serve ([&runner, fd, reference]
        {
            for (;;)
            {
                juce::MemoryBlock request;
                if (! receiveFrame (fd, request))
                    ::_exit (0);

                juce::MemoryInputStream in (request, false);
                juce::MemoryOutputStream reply;
                juce::String script;
                CapsBlock targetBlock;

                const bool read = readText (in, script);
                const int timeLimitMs = in.readInt();
                const auto data = read && targetBlock.readFromStream (in) ? readData (in) : nullptr;

                const RunScript run = [&runner, timeLimitMs] (const juce::String& text, const juce::Array<ScriptRunner::NamedObject>& objects)
                {
                    return runner.runHere (text, objects, timeLimitMs);
                };

                if (data == nullptr)
                    writeOutcome (reply, { juce::Result::fail ("The step could not be read."), {}, {}, false });
                else
                    writeOutcome (reply, runStep (run, runner, reference, script, *data, targetBlock));

                if (! sendFrame (fd, reply.getMemoryBlock()))
                    ::_exit (0);
            }
        });

        ::_exit (0);
    }

    static constexpr int watchIntervalMs = 5;
    static constexpr int startLimitMs = 20000;
    static constexpr size_t maxReplyBytes = 64 * 1024 * 1024;
    static constexpr unsigned int probeSeconds = 5;

    pid_t pid;
    int socket;
    juce::int64 baseResident = 0;
};

#else

class ScriptSandbox::Child {};

#endif

//==============================================================================
ScriptSandbox::ScriptSandbox (const DeviceData* referenceData, std::function<bool()> stopCheck)
    : reference (referenceData), shouldStop (std::move (stopCheck))
{
}

ScriptSandbox::~ScriptSandbox() = default;

bool ScriptSandbox::runsInChildProcess() noexcept
{
    return BELVORA_SCRIPTS_IN_CHILD != 0;
}

ScriptSandbox::Outcome ScriptSandbox::run (const juce::String& script, const DeviceMidiData& data, const CapsBlock& targetBlock, int timeLimitMs)
{
   #if BELVORA_SCRIPTS_IN_CHILD
    using Status = Child::Status;
    auto status = Status::replied;

    if (child == nullptr || ! child->isAlive())
        child = Child::start (reference, shouldStop, status);

    juce::MemoryBlock reply;

    if (child != nullptr)
    {
        juce::MemoryOutputStream request;
        writeText (request, script);
        request.writeInt (timeLimitMs);
        targetBlock.writeToStream (request);
        writeData (request, data);

        status = child->exchange (request.getMemoryBlock(), reply, timeLimitMs + Child::graceMs, shouldStop);
    }

    Outcome outcome;

    switch (status)
    {
        case Status::replied:
        {
            juce::MemoryInputStream in (reply, false);
            if (readOutcome (in, outcome))
                return outcome;

            outcome = {};
            outcome.result = juce::Result::fail (crashedMessage);
            break;
        }
        case Status::stopped:   outcome.result = juce::Result::fail (ScriptRunner::stoppedMessage); outcome.stopped = true; break;
        case Status::tooLarge:  outcome.result = juce::Result::fail (ScriptRunner::outOfMemoryMessage); break;
        case Status::tooLong:   outcome.result = juce::Result::fail (tooLongMessage); break;
        case Status::died:      outcome.result = juce::Result::fail (child != nullptr ? crashedMessage : "The script could not be started."); break;
    }

    child.reset();
    return outcome;
   #else
    if (localRunner == nullptr)
        localRunner = std::make_unique<ScriptRunner>();

    return runHere (*localRunner, reference, script, data, targetBlock, timeLimitMs, shouldStop);
   #endif
}
