#pragma once

#include "devices/VirtualMidiBackend.h"
#include "model/CapsBlock.h"
#include "model/FirmwareVersion.h"
#include "model/Preset.h"
#include "model/SetupData.h"
#include "model/SysEx.h"

#include <juce_core/juce_core.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

/** A unit on a pair of virtual MIDI ports that speaks the units' protocol:
    identity, serial and date requests, preset and setup reads and writes,
    deletes, suspend and resume, and firmware packets followed by a reboot.
    It answers on its own thread, keeps a log of what it received, and can be
    told to misbehave in the ways real units do. */
class SimulatedUnit : private juce::Thread
{
public:
    struct Profile
    {
        juce::String portName;
        int productId = 0;
        bool answersGenericInquiry = true;
        int serial = 0;
        FirmwareVersion version;
        ManufactureDate date;
        CapsBlock caps;
        int bootTimeMs = 6000;
        int filledPresets = -1;         // user slots holding a preset; -1: all
        int stepsPerPreset = 1;
    };

    struct Faults
    {
        bool silent = false;
        std::map<int, int> writeStatusForSlot;   // status answered to a write of that slot
        int writeStatusRepeats = 1000000;        // how many writes get it before status 1
        int setupWriteStatus = 1;
        std::map<int, int> firmwareStatusForPacket;  // packet number (from 1) -> status
        int firmwareStatusRepeats = 1000000;
        int skipPacketIndexOfPreset = -1;        // leaves out the second packet of that preset
        int badChecksumOfPreset = -1;            // spoils the first packet's checksum
        bool badSetupChecksum = false;           // spoils the last setup packet's checksum
        bool skipSetupPacket = false;
        int readFaultRepeats = 1000000;          // how many reads get the faults above
        int readStatus = -1;                     // a status instead of the preset or setup asked for
        int headerNumberOffset = 0;              // a preset header names another slot
        int dataFormatOffset = 0;                // preset headers and setup packets name another format
        int replyDelayMs = 0;                    // every reply comes this late
        int presetReplyDelayMs = 0;              // every answer to a preset request comes this late
        int removePortsAfterMessages = -1;       // ports vanish after that many received messages
        bool foreignMessages = false;            // a foreign maker's message before each reply
        int lateGenericAnswerMs = -1;            // answers the generic request this late, however asked
        int padPacketOfPreset = -1;              // one stray byte before the end of the first packet
        int foreignPacketOfPreset = -1;          // the first packet carries another product's id
        bool foreignSetupPacket = false;         // the first setup packet carries another product's id
        bool endInsteadOfWriteStatus = false;    // a transfer end answers a preset write, no status
    };

    /** What the unit is once it has taken a firmware image and rebooted. */
    struct UpdateOutcome
    {
        enum class Comeback { newFirmware, oldFirmware, never };

        Comeback comeback = Comeback::newFirmware;
        FirmwareVersion version;   // the new firmware; build 0: the build the image names, else the old build + 10
        CapsBlock caps;            // its layout (product id 0: that of a sample build, else unchanged); a new layout
                                   // starts without presets and with its factory setup
        int serial = -1;           // the serial it answers with from then on; -1: its own
    };

    /** The two sample products (ids 0x12 and 0x1A), at their latest public
        sample build; unknown ids get a generic layout. */
    static Profile sampleProfile (int productId, int unitNumber = 1);

    /** A firmware build of the sample content: its version and the layout
        its units have, as the sample content's capabilities describe it. */
    struct SampleBuild
    {
        FirmwareVersion version;
        CapsBlock caps;
    };

    /** The sample content's firmware builds of both sample products. */
    static juce::Array<std::pair<int, int>> getSampleBuilds();   // product id, build

    /** The version and layout of a sample build; none for any other build or product. */
    static std::optional<SampleBuild> sampleBuild (int productId, int build);

    SimulatedUnit (VirtualMidiBackend& backend, const Profile& profile);
    ~SimulatedUnit() override;

    void setFaults (const Faults& faults);

    /** How the next firmware update ends: the ports go away for the boot time,
        then come back with the new firmware or the old one, or stay away. */
    void setUpdateOutcome (const UpdateOutcome& outcome);

    /** From now on whoever sends the unit a message is held inside the send until
        resumeReceiving: a unit that takes nothing in. */
    void stallReceiving();
    void resumeReceiving();

    /** Stalls as stallReceiving does once the request for that preset comes in,
        holding its sender: a read stopped at a known preset. Once. */
    void stallAtPresetRequest (int number);

    /** Waits until a sender is held by the stall; false after timeoutMs. */
    bool waitForStalledSender (int timeoutMs);

    /** Sends a message to the program as the unit would, unasked. */
    bool sendUnasked (const juce::MidiMessage& message);

    /** Adds or removes the unit's two ports. */
    void plugIn();
    void unplug();
    bool isPluggedIn() const;

    const Profile& getProfile() const { return profile; }
    FirmwareVersion getCurrentVersion() const;
    CapsBlock getCurrentCaps() const;

    /** Every message received so far, in order. */
    juce::Array<juce::MidiMessage> getLog() const;
    int countReceived (int command) const;
    int getNumReceived() const;
    int getNumSent() const;
    void clearLog();

    /** The unit's stored presets and setup. */
    std::unique_ptr<Preset> getPreset (int slot) const;
    void setPreset (int slot, std::unique_ptr<Preset> preset);
    std::unique_ptr<SetupData> getSetup() const;
    int getNumStoredPresets() const;
    bool isSuspended() const;

    /** A preset of the unit's own layout with the given number of steps. */
    static std::unique_ptr<Preset> makePreset (const CapsBlock& caps, int slot, int steps, const juce::String& name);

private:
    void run() override;
    void receive (const juce::MidiMessage& message);
    void handle (const juce::MidiMessage& message);
    void reply (const juce::MidiMessage& message);
    void replyStatus (int status);
    void answerIdentity (const uint8_t* bytes, int size);
    void sendPreset (int number);
    void sendSetup();
    void receiveHeader (const juce::MidiMessage& message);
    void receivePresetPacket (const juce::MidiMessage& message);
    void receiveSetupPacket (const juce::MidiMessage& message);
    void receiveFirmware (const uint8_t* bytes, int size, const juce::MidiMessage& message);
    void reboot();
    void installFirmware (const UpdateOutcome& outcome);
    CapsBlock layout() const;
    juce::MidiMessage identityReply (uint8_t kind, const uint8_t* payload8) const;

    VirtualMidiBackend& backend;
    Profile profile;

    std::mutex stallLock;      // guards the three below
    std::condition_variable stallChanged;
    bool stalled = false;
    int stalledSenders = 0;
    int stallPreset = -1;

    mutable std::mutex lock;   // guards everything below
    Faults faults;
    UpdateOutcome updateOutcome;
    FirmwareVersion currentVersion;
    CapsBlock currentCaps;
    int currentSerial = 0;
    int inputPort = 0, outputPort = 0;
    juce::Array<juce::MidiMessage> log;
    std::deque<juce::MidiMessage> inbox;   // not a juce::Array: its removal move-assigns, which leaks in JUCE 7.0.5
    std::vector<std::unique_ptr<Preset>> slots;
    std::unique_ptr<SetupData> setup;
    std::unique_ptr<Preset> incoming;
    int incomingSlot = -1;
    std::unique_ptr<SetupData> incomingSetup;
    bool suspended = false;
    int receivedCount = 0;
    int sentCount = 0;
    int writesAnsweredWithFault = 0;
    int firmwareFaultsAnswered = 0;
    int readFaultsAnswered = 0;

    // Firmware transfer, handled on the unit's thread only.
    bool firmwareMode = false;
    int firmwarePackets = 0;
    std::atomic<int> announcedBuild { 0 };   // the build the image being received names; 0: none
    int expectedChecksum = -1, expectedSize = 0;
    bool packetReceived = false, packetGood = false;
    uint32_t lastFirmwareTime = 0;

    JUCE_DECLARE_NON_COPYABLE (SimulatedUnit)
};
