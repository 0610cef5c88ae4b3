#include "ConversionTestData.h"

#include "conversion/ScriptSandbox.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#if JUCE_LINUX
 #include <csignal>
 #include <cstring>
 #include <elf.h>
 #include <fcntl.h>
 #include <poll.h>
 #include <pthread.h>
 #include <sys/syscall.h>
 #include <sys/wait.h>
 #include <unistd.h>
#endif

using namespace ConversionTestData;

namespace
{
    struct Sandbox
    {
        CapsBlock sourceBlock = vesperBlock (3, 2, 20, 4);
        CapsBlock targetBlock = vesperBlock (4, 3, 30, 6);
        std::unique_ptr<DeviceData> unit = makeDeviceData (sourceBlock, 120, { 1, 4 });
        std::unique_ptr<Preset> preset = makePreset (sourceBlock, 4, "Warm Choir", 3);
        std::function<bool()> shouldStop;
        ScriptSandbox sandbox { unit.get(), [this] { return shouldStop != nullptr && shouldStop(); } };

        ScriptSandbox::Outcome run (const juce::String& script, int limitMs = 60000)
        {
            return sandbox.run (script, *preset, targetBlock, limitMs);
        }

        ScriptSandbox::Outcome runSetup (const juce::String& script)
        {
            return sandbox.run (script, unit->getSetup(), targetBlock, 60000);
        }
    };

    // Copies the preset's header and steps, as a plain conversion does.
    const char* const copyPreset = "var h = PresetConversion.getHeader(); var n = h.steps; h.steps = 0; h.version = 4;"
                                   "PresetConversion.setHeader (h);"
                                   "for (var s = 0; s < n; ++s) PresetConversion.setStep (PresetConversion.getStep (s), s);";

    /** Text doubled in statements with no loop, so the engine never looks at its clock. */
    juce::String doublingWithoutLoop()
    {
        return "var s = 'xxxxxxxxxxxxxxxx';" + juce::String::repeatedString ("s = s + s;", 40);
    }
}

TEST (ScriptSandbox, StepsRunInTheCopyAndBringBackWhatTheScriptWrote)
{
    Sandbox s;
    ScriptRunner local;

    // A finished preset, a half-made one (header promising more steps than
    // written) and a setup with values but no version all come back as the
    // script left them, as a run in this process leaves them.
    for (auto* script : { copyPreset,
                          "var h = PresetConversion.getHeader(); h.version = 4; PresetConversion.setHeader (h);"
                          "PresetConversion.setStep (PresetConversion.getStep (0), 0);" })
    {
        const auto there = s.run (script);
        const auto here = ScriptSandbox::runHere (local, s.unit.get(), script, *s.preset, s.targetBlock, 60000);
        ASSERT_TRUE (there.result.wasOk()) << there.result.getErrorMessage();
        ASSERT_NE (there.converted, nullptr);

        const auto& preset = dynamic_cast<const Preset&> (*there.converted);
        const auto& expected = dynamic_cast<const Preset&> (*here.converted);
        EXPECT_EQ (preset.getMD5String(), expected.getMD5String());
        EXPECT_EQ (preset.getNumMidiMessages(), expected.getNumMidiMessages());
        EXPECT_EQ (preset.getName(), "Warm Choir");
        EXPECT_EQ (preset.getCapsBlock(), s.targetBlock);
        EXPECT_EQ (preset.isComplete(), expected.isComplete());
        EXPECT_EQ (preset.isModified(), expected.isModified());
    }

    const auto setup = s.runSetup ("SetupConversion.setData (SetupConversion.getData());");
    ASSERT_NE (setup.converted, nullptr);
    const auto& converted = dynamic_cast<const SetupData&> (*setup.converted);
    EXPECT_EQ (converted.getSetupDataVersion(), -1);
    EXPECT_EQ (converted.getNumMidiMessages(), s.targetBlock.numSyxPackagesPerSetup);
    EXPECT_FALSE (converted.isComplete());

    // The script's own error, and what the copy sees of the unit.
    const auto reported = s.run ("Belvora.scriptError ('Slot ' + ReferenceData.isPresetAvailable (4) + ' ' + ReferenceData.getPreset (1).name"
                                 " + ' ' + ReferenceData.isPresetAvailable (2) + ' ' + ReferenceData.getPreset (4).data.length"
                                 " + ' ' + ReferenceData.getProductId() + ' ' + ReferenceData.getPresetVersion()"
                                 " + ' ' + ReferenceData.isSetupAvailable() + ' ' + ReferenceData.getSetup().join (','));");
    EXPECT_TRUE (reported.result.wasOk());

    ScriptRunner here;
    const auto expected = ScriptSandbox::runHere (here, s.unit.get(), "Belvora.scriptError (ReferenceData.getSetup().join (','));",
                                                  *s.preset, s.targetBlock, 60000).reportedError;
    EXPECT_EQ (reported.reportedError, "Slot 1 Preset 1 0 " + juce::String (s.unit->getPreset (4)->getNumSteps() * valuesPerStep (s.sourceBlock))
                                           + " " + juce::String (s.sourceBlock.productId) + " 3 1 " + expected);
    EXPECT_TRUE (expected.contains (","));

    // No unit at all is seen as none.
    ScriptSandbox alone (nullptr, {});
    EXPECT_EQ (alone.run ("Belvora.scriptError ('' + ReferenceData.getProductId());", *s.preset, s.targetBlock, 60000).reportedError,
               "undefined");
}

TEST (ScriptSandbox, AllocationsWithoutBoundEndTheStepAndTheProgramGoesOn)
{
    if (! ScriptSandbox::runsInChildProcess())
        GTEST_SKIP() << "no child process here to hold the limits";

    Sandbox s;

    // None of these statements gives the engine a chance to stop: the copy
    // runs out of its memory or stack, and the next step gets a new copy.
    const juce::String bombs[] = {
        "var n = 2000000000; var a = []; a[n] = 1;",
        doublingWithoutLoop(),
        "var s = 'x'; for (var i = 0; i < 25; ++i) s = s + s; var t = s" + juce::String::repeatedString (" + s", 40) + ";",
        "var a = []; a.push (a); var b = []; b.push (b); var same = a == b;",
    };

    for (auto& bomb : bombs)
    {
        const auto outcome = s.run (bomb);
        EXPECT_TRUE (outcome.result.failed()) << bomb.substring (0, 60);
        EXPECT_FALSE (outcome.stopped);
        EXPECT_EQ (outcome.converted, nullptr);

        const auto next = s.run (copyPreset);
        ASSERT_TRUE (next.result.wasOk()) << next.result.getErrorMessage();
        EXPECT_TRUE (next.converted != nullptr && dynamic_cast<const Preset&> (*next.converted).isComplete());
    }
}

TEST (ScriptSandbox, CyclicValuesAreRefusedByJsonAndClone)
{
    Sandbox s;

    for (auto* script : { "var o = {}; o.self = o; JSON.stringify (o);",
                          "var a = []; a.push (a); JSON.stringify ([1, a]);",
                          "var o = { x: 1 }; o.y = [o]; var c = o.clone();" })
    {
        const auto outcome = s.run (script);
        EXPECT_TRUE (outcome.result.getErrorMessage().contains ("cyclic")) << script << ": " << outcome.result.getErrorMessage();
    }

    EXPECT_TRUE (s.run (copyPreset).result.wasOk());
}

TEST (ScriptSandbox, StopEndsARunningScriptAtOnce)
{
    Sandbox s;
    std::atomic<int> looks { 0 };

    // Asked every few milliseconds while the copy runs; without the stop the
    // loop would last the whole minute.
    s.shouldStop = [&looks] { return ++looks > 20; };
    const auto outcome = s.run ("while (true) {}");

    EXPECT_TRUE (outcome.stopped);
    EXPECT_EQ (outcome.result.getErrorMessage(), ScriptRunner::stoppedMessage);
    EXPECT_EQ (outcome.converted, nullptr);

    s.shouldStop = nullptr;
    EXPECT_TRUE (s.run (copyPreset).result.wasOk());
}

#if JUCE_LINUX
namespace
{
    std::atomic<bool> countingForks { false };
    std::atomic<int> forks { 0 };
}

TEST (ScriptSandbox, StepsRunInAFreshProcessWhileOtherThreadsLockAndAllocate)
{
    if (! ScriptSandbox::runsInChildProcess())
        GTEST_SKIP() << "no child process here";

    // A copy of this program made while another thread holds the allocator's
    // or any other lock may hang on it or abort: the host must be started
    // without one (posix_spawn runs no fork handlers; fork() does).
    static std::once_flag registered;
    std::call_once (registered, [] { ::pthread_atfork ([] { if (countingForks) ++forks; }, nullptr, nullptr); });
    forks = 0;
    countingForks = true;

    std::atomic<bool> busy { true };
    std::mutex plainLock;
    juce::CriticalSection juceLock;
    std::vector<std::thread> threads;

    for (int t = 0; t < 4; ++t)
        threads.emplace_back ([&, t]
        {
            for (int round = 0; busy; ++round)
            {
                const std::scoped_lock held (plainLock);
                const juce::ScopedLock alsoHeld (juceLock);
                std::vector<std::unique_ptr<char[]>> blocks;
                for (int i = 0; i < 64; ++i)
                    blocks.push_back (std::make_unique<char[]> ((size_t) (16 + (round * 31 + i * 97 + t) % 70000)));
                juce::String text;
                for (int i = 0; i < 16; ++i)
                    text << juce::String (round) << ' ';
            }
        });

    int done = 0;
    for (int run = 0; run < 30; ++run)
    {
        Sandbox s;   // a new host for each
        for (int step = 0; step < 2; ++step)
        {
            const auto outcome = s.run (copyPreset);
            EXPECT_TRUE (outcome.result.wasOk()) << "run " << run << ": " << outcome.result.getErrorMessage();
            if (outcome.converted != nullptr && dynamic_cast<const Preset&> (*outcome.converted).isComplete())
                ++done;
        }
    }

    busy = false;
    for (auto& thread : threads)
        thread.join();

    countingForks = false;
    EXPECT_EQ (done, 60);
    EXPECT_EQ (forks, 0);
}
#endif

#if JUCE_LINUX
TEST (ScriptSandbox, TheHostEndsWithItsProgramAndHasNoneOfItsEnvironment)
{
    if (! ScriptSandbox::runsInChildProcess())
        GTEST_SKIP() << "no child process here";

    // The program: this test program started afresh, whose endless step has gone to its host when it says so.
    if (const auto told = juce::SystemStats::getEnvironmentVariable ("BELVORA_SANDBOX_PROGRAM", {}); told.isNotEmpty())
    {
        TestEnvironment::removePrivateHome();   // killed, it would leave it
        Sandbox s;
        s.run (copyPreset);
        s.shouldStop = [fd = told.getIntValue()] { static const bool once = ::write (fd, "x", 1) == 1; return ! once; };
        ::_exit (s.run ("while (true) {}").stopped ? 0 : 1);
    }

    // A process of its own, spawned as the sandbox spawns its host: no copy of this one runs on.
    int told[2];
    ASSERT_TRUE (::pipe2 (told, O_CLOEXEC) == 0 && ::fcntl (told[1], F_SETFD, 0) == 0);
    const auto program = TestEnvironment::spawnThisTest ("BELVORA_SANDBOX_PROGRAM=" + juce::String (told[1]));
    ASSERT_GT (program, 0);

    ::close (told[1]);
    char byte = 0;
    ASSERT_EQ (::read (told[0], &byte, 1), 1);
    const juce::String id (program);
    const auto host = juce::File ("/proc/" + id + "/task/" + id + "/children").loadFileAsString().getIntValue();

    juce::MemoryBlock environment;
    juce::File ("/proc/" + juce::String (host) + "/environ").loadFileAsData (environment);
    EXPECT_EQ (std::string (static_cast<const char*> (environment.getData()), environment.getSize()).find ("HOME="), std::string::npos);

    const auto watched = (int) ::syscall (SYS_pidfd_open, host, 0);
    ::kill (program, SIGKILL);
    ::waitpid (program, nullptr, 0);

    // Gone (a zombie left to whoever adopted it) long before its script's minute is up.
    pollfd gone { watched, POLLIN, 0 };
    EXPECT_EQ (::poll (&gone, 1, 10000), 1);
    ::syscall (SYS_pidfd_send_signal, watched, SIGKILL, nullptr, 0);   // held no longer, should it still run
    ::close (watched);
    ::close (told[0]);
}

namespace
{
    /** The libraries a 64-bit program asks the loader for (its DT_NEEDED entries). */
    juce::StringArray neededLibraries (const juce::File& program)
    {
        juce::MemoryBlock bytes;
        juce::StringArray needed;
        if (! program.loadFileAsData (bytes))
            return needed;

        const auto read = [&bytes] (auto& into, juce::uint64 offset)
        {
            if (offset > bytes.getSize() || sizeof (into) > bytes.getSize() - offset)
                return false;
            std::memcpy (&into, juce::addBytesToPointer (bytes.getData(), offset), sizeof (into));
            return true;
        };

        Elf64_Ehdr header;
        if (! read (header, 0) || std::memcmp (header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64)
            return needed;

        Elf64_Shdr dynamic, strings;
        for (juce::uint64 i = 0; i < header.e_shnum; ++i)
        {
            if (! read (dynamic, header.e_shoff + i * header.e_shentsize) || dynamic.sh_type != SHT_DYNAMIC
                || ! read (strings, header.e_shoff + dynamic.sh_link * (juce::uint64) header.e_shentsize))
                continue;

            if (strings.sh_offset > bytes.getSize() || strings.sh_size > bytes.getSize() - strings.sh_offset)
                continue;

            Elf64_Dyn entry;
            for (juce::uint64 at = 0; at + sizeof (entry) <= dynamic.sh_size && read (entry, dynamic.sh_offset + at); at += sizeof (entry))
            {
                if (entry.d_tag != DT_NEEDED || entry.d_un.d_val >= strings.sh_size)
                    continue;

                const auto* name = static_cast<const char*> (bytes.getData()) + strings.sh_offset + entry.d_un.d_val;
                needed.add (juce::String::fromUTF8 (name, (int) ::strnlen (name, (size_t) (strings.sh_size - entry.d_un.d_val))));
            }
        }

        return needed;
    }
}

TEST (ScriptSandbox, TheHostLoadsNoNetworkSoundOrPictureLibrary)
{
    // Started for every conversion: each library it names costs every start,
    // and the network has no business in it.
    const auto host = juce::File::getSpecialLocation (juce::File::currentExecutableFile).getParentDirectory()
                          .getParentDirectory().getChildFile (ScriptSandbox::hostName);
    ASSERT_TRUE (host.existsAsFile()) << host.getFullPathName();

    const auto needed = neededLibraries (host);
    ASSERT_TRUE (needed.contains ("libc.so.6")) << needed.joinIntoString (" ");

    for (const auto& library : needed)
        for (auto* unwanted : { "curl", "gnutls", "ssl", "asound", "freetype", "png", "jpeg" })
            EXPECT_FALSE (library.contains (unwanted)) << library;
}
#endif
