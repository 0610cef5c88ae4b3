#include "conversion/ScriptSandbox.h"

#include "conversion/BelvoraScriptInterface.h"
#include "conversion/PresetConversionObject.h"
#include "conversion/ReferenceDataObject.h"
#include "conversion/SetupConversionObject.h"

// Thread-checking builds look for races, not runaway scripts: their steps run
// in-process, where the checker sees them.
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
 #include <fcntl.h>
 #include <poll.h>
 #include <spawn.h>
 #include <string>
 #include <sys/prctl.h>
 #include <sys/resource.h>
 #include <sys/socket.h>
 #include <sys/wait.h>
 #include <unistd.h>
 #include <vector>
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

   #if BELVORA_SCRIPTS_IN_CHILD
    /** What a step's script may see of the unit: its capabilities, used slots and setup. */
    void writeReference (juce::OutputStream& out, const DeviceData* reference)
    {
        out.writeBool (reference != nullptr);
        if (reference == nullptr)
            return;

        out.writeString (reference->getProductName());
        reference->getCapsBlock().writeToStream (out);

        const auto used = reference->getUsedPresetIndices();
        out.writeInt (used.size());

        for (auto slot : used)
        {
            out.writeInt (slot);
            writeData (out, *reference->getPreset (slot));
        }

        writeData (out, reference->getSetup());
    }

    /** False when the stream does not hold a reference as written above. */
    bool readReference (juce::MemoryInputStream& in, std::unique_ptr<DeviceData>& reference)
    {
        reference.reset();
        if (! in.readBool())
            return true;

        const auto productName = in.readString();
        CapsBlock block;
        if (! block.readFromStream (in))
            return false;

        auto data = std::make_unique<DeviceData> (productName, FirmwareVersion(), block, nullptr);
        const int count = in.readInt();
        if (count < 0 || count > data->getNumSlots())
            return false;

        for (int i = 0; i < count; ++i)
        {
            const int slot = in.readInt();
            auto preset = readData (in);
            auto* asPreset = dynamic_cast<Preset*> (preset.get());

            if (asPreset == nullptr || ! juce::isPositiveAndBelow (slot, data->getNumSlots()))
                return false;

            data->setPreset (slot, std::unique_ptr<Preset> (static_cast<Preset*> (preset.release())));
        }

        auto setup = readData (in);
        auto* asSetup = dynamic_cast<SetupData*> (setup.get());
        if (asSetup == nullptr)
            return false;

        data->getSetup() = *asSetup;
        data->setModified (false);
        reference = std::move (data);
        return true;
    }
   #endif

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

    /** Starts the host and waits until it is ready; null when it could not be started or was stopped. */
    static std::unique_ptr<Child> start (const DeviceData* reference, const std::function<bool()>& shouldStop, Status& status)
    {
        status = Status::died;
        const auto host = findHost();
        if (host.isEmpty())
            return {};

        int sockets[2];
        if (::socketpair (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0)
            return {};

        // This program has threads: a forked copy of it may hang or abort on
        // a lock another thread held. posix_spawn execs the host at once, and
        // only the child's end of the socket reaches it (as hostSocket).
        const auto pid = spawn (host, sockets[1]);
        ::close (sockets[1]);

        if (pid <= 0)
        {
            ::close (sockets[0]);
            return {};
        }

        std::unique_ptr<Child> child (new Child (pid, sockets[0]));

        // The host sees the reference data as it is now, for all its steps.
        juce::MemoryOutputStream referenceData;
        writeReference (referenceData, reference);

        juce::MemoryBlock ready;
        status = child->exchange (referenceData.getMemoryBlock(), ready, startLimitMs, shouldStop);

        if (status != Status::replied)
            return {};

        child->baseResident = ScriptRunner::getProcessSize (pid).resident;
        return child;
    }

    ~Child()
    {
        end();
        ::close (socket);
    }

    /** Sends a request and waits for one reply, watching the child
        meanwhile. Anything but a reply leaves the child ended. */
    Status exchange (const juce::MemoryBlock& request, juce::MemoryBlock& reply, int waitLimitMs, const std::function<bool()>& stopRequested)
    {
        juce::MemoryOutputStream outgoing;
        outgoing.writeInt ((int) request.getSize());
        outgoing << request;

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

            if (stopRequested != nullptr && stopRequested())
                return end (Status::stopped);

            if (ScriptRunner::getProcessSize (pid).resident - baseResident > memoryLimit)
                return end (Status::tooLarge);

            if (now > deadline)
                return end (Status::tooLong);
        }
    }

    /** Still running, for the calling thread: the host ends when the thread
        that started it ends, so another thread starts a host of its own. */
    bool isAlive()
    {
        if (pid > 0 && ::waitpid (pid, nullptr, WNOHANG) != 0)
            pid = -1;   // gone, and reaped

        if (startedBy != ::gettid())
            end();

        return pid > 0;
    }

    /** Beyond the script's own time limit: the engine looks at its clock only between statements. */
    static constexpr int graceMs = 5000;

    /** The host program, beside this program's executable or, for programs
        of the build tree (tests, benchmarks), where the build put it; empty when neither is there. */
    static juce::String findHost()
    {
        static const juce::String found = []
        {
            const auto beside = juce::File::getSpecialLocation (juce::File::currentExecutableFile).getSiblingFile (ScriptSandbox::hostName);
            if (beside.existsAsFile())
                return beside.getFullPathName();

           #ifdef BELVORA_SCRIPT_HOST_BUILT
            if (const juce::File built (BELVORA_SCRIPT_HOST_BUILT); built.existsAsFile())
                return built.getFullPathName();
           #endif

            return juce::String();
        }();

        return found;
    }

private:
    Child (pid_t p, int s) : pid (p), socket (s) {}

    /** What the host keeps of this program's environment: where the loader
        finds libraries, and the options of the checking builds. */
    static const std::vector<std::string>& hostEnvironment()
    {
        static const auto kept = []
        {
            std::vector<std::string> variables;
            for (auto* name : { "LD_LIBRARY_PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS" })
                if (const char* value = std::getenv (name))
                    variables.push_back (std::string (name) + "=" + value);
            return variables;
        }();

        return kept;
    }

    /** Execs the host with the socket as its descriptor hostSocket and no other
        descriptor of this program; the process id, or -1. */
    static pid_t spawn (const juce::String& host, int childSocket)
    {
        // Moved out of the way first, should it be hostSocket itself (dup2 onto
        // itself would leave it closed on exec).
        const int source = ::fcntl (childSocket, F_DUPFD_CLOEXEC, hostSocket + 1);
        if (source < 0)
            return -1;

        posix_spawn_file_actions_t actions;
        posix_spawnattr_t attributes;
        ::posix_spawn_file_actions_init (&actions);
        ::posix_spawnattr_init (&attributes);

        // Signals the threads here block or ignore are the host's own again.
        sigset_t none, all;
        sigemptyset (&none);
        sigfillset (&all);
        ::posix_spawnattr_setsigmask (&attributes, &none);
        ::posix_spawnattr_setsigdefault (&attributes, &all);
        ::posix_spawnattr_setflags (&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        ::posix_spawn_file_actions_adddup2 (&actions, source, hostSocket);

        // Other threads' sockets, files and connections stay here: a host holding
        // another's end would keep that one from seeing its own host end.
        ::posix_spawn_file_actions_addopen (&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        ::posix_spawn_file_actions_addopen (&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        ::posix_spawn_file_actions_addclosefrom_np (&actions, hostSocket + 1);

        const juce::String socketArgument (hostSocket), parentArgument ((int) ::getpid());
        char* const arguments[] = { const_cast<char*> (host.toRawUTF8()), const_cast<char*> (hostArgument),
                                    const_cast<char*> (socketArgument.toRawUTF8()), const_cast<char*> (parentArgument.toRawUTF8()), nullptr };

        std::vector<char*> environment;
        for (auto& variable : hostEnvironment())
            environment.push_back (const_cast<char*> (variable.c_str()));
        environment.push_back (nullptr);

        pid_t pid = -1;
        const int error = ::posix_spawn (&pid, host.toRawUTF8(), &actions, &attributes, arguments, environment.data());

        ::posix_spawn_file_actions_destroy (&actions);
        ::posix_spawnattr_destroy (&attributes);
        ::close (source);
        return error == 0 ? pid : -1;
    }

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

    static void limitAddressSpace()
    {
        // A failed allocation then ends the script (or, inside the engine, the copy).
        if (const auto size = ScriptRunner::getProcessSize().addressSpace; size > 0)
        {
            const rlimit limit { (rlim_t) (size + memoryLimit), (rlim_t) (size + memoryLimit) };
            ::setrlimit (RLIMIT_AS, &limit);
        }
    }

public:
    /** The host's whole life: reads the reference data, then runs one step
        per request until the socket closes. The end of the thread that
        started it ends it at once, in the middle of a script too. */
    static int serve (int fd)
    {
        juce::MemoryBlock referenceFrame;
        std::unique_ptr<DeviceData> referenceData;

        if (! receiveFrame (fd, referenceFrame))
            return 0;

        juce::MemoryInputStream referenceIn (referenceFrame, false);
        if (! readReference (referenceIn, referenceData))
            return 2;

        const DeviceData* reference = referenceData.get();

        // Makes the runner's thread and the engine's shared names before the
        // limit, so that what the host needs to start stays outside it.
        ScriptRunner runner;
        if (runner.execute ("var probe = [ 'ready' ];", {}, 1000).failed())
            return 2;

        limitAddressSpace();

        if (! sendFrame (fd, juce::MemoryBlock (1)))
            return 0;

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

    /** The argument that tells the host program it was started by a sandbox. */
    static constexpr const char* hostArgument = "--serve-scripts";

    /** Where the host finds its end of the socket. */
    static constexpr int hostSocket = 3;

private:
    static constexpr int watchIntervalMs = 5;
    static constexpr int startLimitMs = 20000;
    static constexpr size_t maxReplyBytes = 64 * 1024 * 1024;

    pid_t pid;
    int socket;
    pid_t startedBy = ::gettid();
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

int ScriptSandbox::runHost (int argc, char* argv[])
{
   #if BELVORA_SCRIPTS_IN_CHILD
    // Ends with the program that started it, however that ends. Asked before
    // anything else, then checked: a program gone before the asking has left
    // this one to another parent.
    ::prctl (PR_SET_PDEATHSIG, SIGKILL);

    if (argc == 4 && juce::String (argv[1]) == Child::hostArgument && juce::String (argv[2]) == juce::String (Child::hostSocket))
        return juce::String (argv[3]).getIntValue() == (int) ::getppid() ? Child::serve (Child::hostSocket) : 1;
   #else
    juce::ignoreUnused (argv);
   #endif

    juce::ignoreUnused (argc);
    std::fputs ("This program runs the conversion scripts of Belvora; Belvora starts it.\n", stderr);
    return 1;
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
