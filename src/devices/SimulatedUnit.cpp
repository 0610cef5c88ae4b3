#include "devices/SimulatedUnit.h"

#include "platform/Clock.h"

#include <algorithm>

using platform::Clock;

namespace
{
    juce::MidiMessage frame (std::initializer_list<uint8_t> body)
    {
        juce::Array<uint8_t> bytes { 0xF0, 0x00, 0x01, 0x38, 0x00 };

        for (auto b : body)
            bytes.add (b);

        bytes.add (0xF7);
        return juce::MidiMessage (bytes.getRawDataPointer(), bytes.size());
    }

    CapsBlock block (int id, int perStep, int stepSize, int presetVersion, int perSetup, int setupSize,
                     int setupVersion, int numPresets, int nameLength, int maxSteps)
    {
        CapsBlock c;
        c.productId = static_cast<uint8_t> (id);
        c.numSyxPackagesPerPresetStep = perStep;
        c.presetStepPacketSize = stepSize;
        c.presetVersion = presetVersion;
        c.numSyxPackagesPerSetup = perSetup;
        c.setupPacketSize = setupSize;
        c.setupVersion = setupVersion;
        c.numPresets = numPresets;
        c.presetNameLength = nameLength;
        c.maxPresetSteps = maxSteps;
        return c;
    }

    FirmwareVersion versionOf (int major, int minor, int build)
    {
        FirmwareVersion v;
        v.major = static_cast<int16_t> (major);
        v.minor = static_cast<int16_t> (minor);
        v.build = static_cast<int16_t> (build);
        return v;
    }

    // A packet's bytes, changed the ways a faulty unit changes them. The
    // message is made once from the result: JUCE 7.0.5's MidiMessage move
    // assignment leaks the storage it replaces.
    struct PacketFaults
    {
        bool otherProduct = false;   // as a unit of another product sends it (the checksum covers the data only)
        bool badChecksum = false;
        bool strayByte = false;      // one byte too many before the end
        int setupVersion = -1;       // the version a setup packet names instead of its own
    };

    juce::MidiMessage withFaults (const juce::MidiMessage& packet, const PacketFaults& f)
    {
        juce::MemoryBlock bytes (packet.getRawData(), static_cast<size_t> (packet.getRawDataSize()));
        auto* raw = static_cast<uint8_t*> (bytes.getData());
        const auto size = bytes.getSize();

        if (f.badChecksum)
            raw[size - 2] = static_cast<uint8_t> ((raw[size - 2] + 1) & 0x7F);

        if (f.otherProduct)
            raw[5] = static_cast<uint8_t> ((raw[5] + 1) & 0x7F);

        if (f.setupVersion >= 0)
            SysEx::encode14 (f.setupVersion, raw + 7);

        if (f.strayByte)
            bytes.insert ("\0", 1, size - 1);

        return juce::MidiMessage (bytes.getData(), static_cast<int> (bytes.getSize()));
    }

    juce::Array<int> valuesFor (int seed, int count)
    {
        juce::Array<int> values;

        for (int i = 0; i < count; ++i)
            values.add ((seed * 7919 + i * 104729) % 100000);

        return values;
    }

    // The setup a unit of that layout has out of the box.
    std::unique_ptr<SetupData> factorySetup (const CapsBlock& caps, int serial)
    {
        auto setup = std::make_unique<SetupData> (caps);
        setup->setSetupDataVersion (caps.setupVersion);
        setup->setValues (valuesFor (serial % 1000, caps.setupPacketSize * caps.numSyxPackagesPerSetup / 4));
        setup->setModified (false);
        return setup;
    }
}

namespace
{
    // The sample content's firmware images (its firmware lists) and the
    // layouts its capabilities give their builds (base definition and build
    // profile); the sample content tests hold these to the served documents.
    struct SampleImage
    {
        int productId, releaseKind, major, minor, build;
    };

    const SampleImage sampleImages[] = {
        { 0x12, 0, 1, 2, 120 }, { 0x12, 0, 1, 4, 140 }, { 0x12, 1, 1, 5, 150 },
        { 0x1A, 0, 2, 1, 210 }, { 0x1A, 0, 2, 5, 250 },
    };

    CapsBlock sampleLayout (int productId, int build)
    {
        if (productId == 0x12)
            return build < 130 ? block (0x12, 2, 32, 3, 2, 48, 2, 20, 15, 4)
                               : block (0x12, 2, 32, 4, 2, 48, 3, 30, 15, 6);

        return build < 230 ? block (0x1A, 1, 64, 1, 1, 96, 1, 40, 12, 1)
                           : block (0x1A, 1, 64, 2, 1, 96, 2, 50, 12, 1);
    }
}

juce::Array<std::pair<int, int>> SimulatedUnit::getSampleBuilds()
{
    juce::Array<std::pair<int, int>> builds;

    for (auto& image : sampleImages)
        builds.add ({ image.productId, image.build });

    return builds;
}

std::optional<SimulatedUnit::SampleBuild> SimulatedUnit::sampleBuild (int productId, int build)
{
    for (auto& image : sampleImages)
        if (image.productId == productId && image.build == build)
            return SampleBuild { FirmwareVersion (image.releaseKind, image.major, image.minor, 0, image.build),
                                 sampleLayout (productId, build) };

    return std::nullopt;
}

SimulatedUnit::Profile SimulatedUnit::sampleProfile (int productId, int unitNumber)
{
    Profile p;
    p.productId = productId;
    p.date = { 2024, 3, 15 };

    if (productId == 0x12)
    {
        const auto sample = *sampleBuild (productId, 140);
        p.portName = "Vesper";
        p.serial = 10000000 + unitNumber;
        p.version = sample.version;
        p.caps = sample.caps;
        p.bootTimeMs = 6000;
        p.stepsPerPreset = 2;
    }
    else if (productId == 0x1A)
    {
        const auto sample = *sampleBuild (productId, 250);
        p.portName = "Quill Duo";
        p.answersGenericInquiry = false;
        p.serial = 30000000 + unitNumber;
        p.version = sample.version;
        p.caps = sample.caps;
        p.bootTimeMs = 4000;
    }
    else
    {
        p.portName = "Unit " + juce::String (productId);
        p.serial = 90000000 + unitNumber;
        p.version = versionOf (1, 0, 100);
        p.caps = block (productId, 1, 100, 15, 1, 100, 15, 15, 15, 1);
    }

    return p;
}

std::unique_ptr<Preset> SimulatedUnit::makePreset (const CapsBlock& caps, int slot, int steps, const juce::String& name)
{
    auto preset = std::make_unique<Preset> (caps);
    PresetName header;
    header.number = slot;
    header.formatVersion = caps.presetVersion;
    header.nameLength = caps.presetNameLength;
    header.numSteps = 0;
    header.tags = slot & 0xFF;
    const auto ascii = name.toStdString();
    header.setFromBytes (reinterpret_cast<const uint8_t*> (ascii.data()), static_cast<int> (ascii.size()));
    preset->setNameBytes (header);

    const int valuesPerStep = caps.presetStepPacketSize * caps.numSyxPackagesPerPresetStep / 4;

    for (int s = 0; s < steps; ++s)
        preset->setStepValues (s, valuesFor (slot * 31 + s, valuesPerStep));

    preset->setModified (false);
    return preset;
}

SimulatedUnit::SimulatedUnit (VirtualMidiBackend& midiBackend, const Profile& unitProfile)
    : juce::Thread ("SimulatedUnit"), backend (midiBackend), profile (unitProfile),
      currentVersion (unitProfile.version), currentCaps (unitProfile.caps), currentSerial (unitProfile.serial)
{
    const auto& caps = profile.caps;
    slots.resize (static_cast<size_t> (juce::jmax (0, caps.numPresets)));
    const int filled = profile.filledPresets < 0 ? caps.numPresets - 1 : profile.filledPresets;

    for (int i = 1; i < caps.numPresets && i <= filled; ++i)
        slots[static_cast<size_t> (i)] = makePreset (caps, i, juce::jlimit (1, juce::jmax (1, caps.maxPresetSteps), profile.stepsPerPreset),
                                                     "Preset " + juce::String (i));

    setup = factorySetup (caps, profile.serial);

    plugIn();
    startThread();
}

SimulatedUnit::~SimulatedUnit()
{
    resumeReceiving();
    unplug();
    stopThread (-1);   // its pauses are short and its waits end on the stop
}

void SimulatedUnit::setFaults (const Faults& newFaults)
{
    const std::lock_guard guard (lock);
    faults = newFaults;
    readFaultsAnswered = 0;
    writesAnsweredWithFault = 0;
    firmwareFaultsAnswered = 0;
}

void SimulatedUnit::setUpdateOutcome (const UpdateOutcome& outcome)
{
    const std::lock_guard guard (lock);
    updateOutcome = outcome;
}

void SimulatedUnit::plugIn()
{
    if (isPluggedIn())
        return;

    const auto in = backend.addInput (profile.portName);
    const auto out = backend.addOutput (profile.portName, [this] (const juce::MidiMessage& m) { receive (m); });

    const std::lock_guard guard (lock);
    inputPort = in;
    outputPort = out;
}

void SimulatedUnit::unplug()
{
    int in, out;

    {
        const std::lock_guard guard (lock);
        in = inputPort;
        out = outputPort;
        inputPort = outputPort = 0;
    }

    if (out != 0) backend.removePort (out);
    if (in != 0)  backend.removePort (in);
}

bool SimulatedUnit::isPluggedIn() const
{
    const std::lock_guard guard (lock);
    return inputPort != 0;
}

FirmwareVersion SimulatedUnit::getCurrentVersion() const
{
    const std::lock_guard guard (lock);
    return currentVersion;
}

CapsBlock SimulatedUnit::getCurrentCaps() const
{
    return layout();
}

CapsBlock SimulatedUnit::layout() const
{
    const std::lock_guard guard (lock);
    return currentCaps;
}

juce::Array<juce::MidiMessage> SimulatedUnit::getLog() const
{
    const std::lock_guard guard (lock);
    return log;
}

int SimulatedUnit::countReceived (int command) const
{
    const std::lock_guard guard (lock);
    int count = 0;

    for (auto& m : log)
        if (m.getRawDataSize() > 6 && m.getRawData()[6] == command)
            ++count;

    return count;
}

int SimulatedUnit::getNumReceived() const
{
    const std::lock_guard guard (lock);
    return receivedCount;
}

int SimulatedUnit::getNumSent() const
{
    const std::lock_guard guard (lock);
    return sentCount;
}

void SimulatedUnit::clearLog()
{
    const std::lock_guard guard (lock);
    log.clear();
}

std::unique_ptr<Preset> SimulatedUnit::getPreset (int slot) const
{
    const std::lock_guard guard (lock);

    if (! juce::isPositiveAndBelow (slot, static_cast<int> (slots.size())) || slots[static_cast<size_t> (slot)] == nullptr)
        return {};

    return std::make_unique<Preset> (*slots[static_cast<size_t> (slot)]);
}

void SimulatedUnit::setPreset (int slot, std::unique_ptr<Preset> preset)
{
    const std::lock_guard guard (lock);

    if (juce::isPositiveAndBelow (slot, static_cast<int> (slots.size())))
        slots[static_cast<size_t> (slot)] = std::move (preset);
}

std::unique_ptr<SetupData> SimulatedUnit::getSetup() const
{
    const std::lock_guard guard (lock);
    return std::make_unique<SetupData> (*setup);
}

int SimulatedUnit::getNumStoredPresets() const
{
    const std::lock_guard guard (lock);
    return static_cast<int> (std::count_if (slots.begin(), slots.end(), [] (auto& p) { return p != nullptr; }));
}

bool SimulatedUnit::isSuspended() const
{
    const std::lock_guard guard (lock);
    return suspended;
}

void SimulatedUnit::stallReceiving()
{
    const std::lock_guard guard (stallLock);
    stalled = true;
}

void SimulatedUnit::resumeReceiving()
{
    {
        const std::lock_guard guard (stallLock);
        stalled = false;
        stallPreset = -1;
    }

    stallChanged.notify_all();
}

void SimulatedUnit::stallAtPresetRequest (int number)
{
    const std::lock_guard guard (stallLock);
    stallPreset = number;
}

bool SimulatedUnit::waitForStalledSender (int timeoutMs)
{
    std::unique_lock guard (stallLock);
    return stallChanged.wait_for (guard, std::chrono::milliseconds (timeoutMs), [this] { return stalledSenders > 0; });
}

bool SimulatedUnit::sendUnasked (const juce::MidiMessage& message)
{
    int port;

    {
        const std::lock_guard guard (lock);
        port = inputPort;
    }

    return backend.deliver (port, message);
}

//==============================================================================
void SimulatedUnit::receive (const juce::MidiMessage& message)
{
    {
        std::unique_lock guard (stallLock);
        const auto* bytes = message.getRawData();

        if (stallPreset >= 0 && message.getRawDataSize() > 9 && bytes[6] == SysEx::cmdPresetRequest
             && SysEx::decode14 (bytes + 7) == stallPreset)
        {
            stalled = true;
            stallPreset = -1;
        }

        if (stalled)
        {
            ++stalledSenders;
            stallChanged.notify_all();
            stallChanged.wait (guard, [this] { return ! stalled; });
            --stalledSenders;
        }
    }

    {
        const std::lock_guard guard (lock);
        inbox.push_back (message);
    }

    notify();
}

void SimulatedUnit::run()
{
    while (! threadShouldExit())
    {
        juce::MidiMessage message;
        bool got = false;

        {
            const std::lock_guard guard (lock);

            if (! inbox.empty())
            {
                message = inbox.front();
                inbox.pop_front();
                got = true;
            }
        }

        if (got)
        {
            handle (message);
            continue;
        }

        // A unit reboots once the firmware stream has been quiet for a while.
        if (firmwareMode && firmwarePackets > 0 && Clock::now() - lastFirmwareTime > static_cast<uint32_t> (Clock::scaled (1000)))
        {
            reboot();
            continue;
        }

        // A message that arrives wakes it; only the firmware stream's end has to be looked for.
        wait (firmwareMode ? 5 : -1);
    }
}

void SimulatedUnit::reply (const juce::MidiMessage& message)
{
    int port, delay;
    bool foreign;

    {
        const std::lock_guard guard (lock);

        if (faults.silent)
            return;

        port = inputPort;
        ++sentCount;
        delay = faults.replyDelayMs;
        foreign = faults.foreignMessages;
    }

    if (delay > 0)
        Clock::sleep (delay);

    if (foreign)
    {
        const uint8_t other[] = { 0xF0, 0x00, 0x20, 0x33, 0x01, 0x10, 0x20, 0x00, 0xF7 };
        backend.deliver (port, juce::MidiMessage (other, (int) sizeof (other)));
    }

    backend.deliver (port, message);
}

void SimulatedUnit::replyStatus (int status)
{
    reply (frame ({ static_cast<uint8_t> (profile.productId), 0x34, static_cast<uint8_t> (status & 0x7F) }));
}

void SimulatedUnit::handle (const juce::MidiMessage& message)
{
    const auto* bytes = message.getRawData();
    const auto size = message.getRawDataSize();
    bool vanish = false;

    {
        const std::lock_guard guard (lock);
        log.add (message);
        ++receivedCount;
        vanish = faults.removePortsAfterMessages >= 0 && receivedCount >= faults.removePortsAfterMessages;
    }

    if (vanish)
    {
        unplug();
        return;
    }

    if (size < 8 || ! message.isSysEx() || bytes[1] != 0x00 || bytes[2] != 0x01 || bytes[3] != 0x38)
        return;

    if (bytes[5] == SysEx::firmwareProductId)
        return receiveFirmware (bytes, size, message);

    if (bytes[6] == SysEx::cmdIdentity)
        return answerIdentity (bytes, size);

    if (bytes[5] != profile.productId)
        return;

    switch (bytes[6])
    {
        case SysEx::cmdPresetRequest:
        case SysEx::cmdSetupRequest:
        {
            int status;

            {
                const std::lock_guard guard (lock);
                status = faults.readStatus;
            }

            if (status >= 0)
                return replyStatus (status);

            return bytes[6] == SysEx::cmdSetupRequest ? sendSetup() : sendPreset (SysEx::decode14 (bytes + 7));
        }
        case SysEx::cmdPresetHeader:    return receiveHeader (message);
        case SysEx::cmdPresetData:      return receivePresetPacket (message);
        case SysEx::cmdSetupData:       return receiveSetupPacket (message);

        case SysEx::cmdPresetDelete:
        {
            const auto number = SysEx::decode14 (bytes + 7);
            const std::lock_guard guard (lock);

            if (juce::isPositiveAndBelow (number, static_cast<int> (slots.size())))
                slots[static_cast<size_t> (number)].reset();

            return;
        }

        case SysEx::cmdSuspend:
        {
            const std::lock_guard guard (lock);
            suspended = size > 8 && bytes[8] == 0;
            return;
        }

        default:
            return;
    }
}

juce::MidiMessage SimulatedUnit::identityReply (uint8_t kind, const uint8_t* payload8) const
{
    uint8_t bytes[SysEx::identityMessageSize] = { 0xF0, 0x00, 0x01, 0x38, 0x00, static_cast<uint8_t> (profile.productId), 0x7E, kind };
    std::memcpy (bytes + 8, payload8, 8);
    bytes[16] = 0xF7;
    return juce::MidiMessage (bytes, (int) sizeof (bytes));
}

void SimulatedUnit::answerIdentity (const uint8_t* bytes, int size)
{
    if (size != SysEx::identityMessageSize)
        return;

    const bool generic = bytes[5] == SysEx::genericProductId;
    int lateMs;

    {
        const std::lock_guard guard (lock);
        lateMs = faults.lateGenericAnswerMs;
    }

    if (generic && ! profile.answersGenericInquiry && lateMs < 0)
        return;

    if (! generic && bytes[5] != profile.productId)
        return;

    uint8_t payload[8] = {};
    const auto v = getCurrentVersion();

    switch (bytes[7])
    {
        case SysEx::identityVersion:
            payload[0] = static_cast<uint8_t> (((v.releaseKind & 0x07) << 4) | (v.major & 0x0F));
            payload[1] = static_cast<uint8_t> (v.minor & 0x7F);
            payload[2] = static_cast<uint8_t> (v.revision & 0x7F);
            SysEx::encode28 (v.build, payload + 3);
            payload[7] = static_cast<uint8_t> (v.mcuVersion & 0x7F);
            break;

        case SysEx::identitySerial:
        {
            const std::lock_guard guard (lock);

            for (int i = 7, s = currentSerial; i >= 0; --i, s /= 10)
                payload[i] = static_cast<uint8_t> (s % 10);
            break;
        }

        case SysEx::identityDate:
            payload[0] = static_cast<uint8_t> (profile.date.day);
            payload[1] = static_cast<uint8_t> (profile.date.month);
            payload[2] = static_cast<uint8_t> (profile.date.year / 100);
            payload[3] = static_cast<uint8_t> (profile.date.year % 100);
            break;

        default:
            return;
    }

    if (generic && lateMs >= 0)
        Clock::sleep (lateMs);

    reply (identityReply (bytes[7], payload));
}

void SimulatedUnit::sendPreset (int number)
{
    std::unique_ptr<Preset> preset = getPreset (number);
    int skip = -1, spoil = -1, pad = -1, foreign = -1, offset = 0, formatOffset = 0, late = 0;

    {
        const std::lock_guard guard (lock);

        if (readFaultsAnswered < faults.readFaultRepeats
             && (faults.skipPacketIndexOfPreset == number || faults.badChecksumOfPreset == number || faults.foreignPacketOfPreset == number))
        {
            skip = faults.skipPacketIndexOfPreset;
            spoil = faults.badChecksumOfPreset;
            foreign = faults.foreignPacketOfPreset;
            ++readFaultsAnswered;
        }

        offset = faults.headerNumberOffset;
        formatOffset = faults.dataFormatOffset;
        pad = faults.padPacketOfPreset;
        late = faults.presetReplyDelayMs;
    }

    if (late > 0)
        Clock::sleep (late);

    if (preset == nullptr)
        return replyStatus (2);

    auto header = preset->getNameBlock();
    header.number += offset;
    header.formatVersion += formatOffset;
    reply (SysEx::createPresetHeader (header, static_cast<uint8_t> (profile.productId)));

    for (int i = 0; i < preset->getNumMidiMessages(); ++i)
    {
        if (number == skip && i == 1)
            continue;

        const auto& packet = *preset->getMidiMessage (i);
        const bool first = i == 0;
        reply (withFaults (packet, { .otherProduct = first && number == foreign, .badChecksum = first && number == spoil,
                                     .strayByte = first && number == pad }));
    }
}

void SimulatedUnit::sendSetup()
{
    auto copy = getSetup();
    bool spoil = false, skip = false, foreign = false;
    int version = -1;

    {
        const std::lock_guard guard (lock);

        if (faults.dataFormatOffset != 0)
            version = copy->getSetupDataVersion() + faults.dataFormatOffset;

        if (readFaultsAnswered < faults.readFaultRepeats && (faults.badSetupChecksum || faults.skipSetupPacket || faults.foreignSetupPacket))
        {
            spoil = faults.badSetupChecksum;
            skip = faults.skipSetupPacket;
            foreign = faults.foreignSetupPacket;
            ++readFaultsAnswered;
        }
    }

    for (int i = 0; i < copy->getNumMidiMessages(); ++i)
    {
        if (skip && i == 0)
            continue;

        reply (withFaults (*copy->getMidiMessage (i), { .otherProduct = foreign && i == 0,
                                                        .badChecksum = spoil && i == copy->getNumMidiMessages() - 1,
                                                        .setupVersion = version }));
    }
}

void SimulatedUnit::receiveHeader (const juce::MidiMessage& message)
{
    PresetName header;

    const auto caps = layout();

    if (SysEx::parsePresetHeader (message, caps, header) != 0)
        return replyStatus (4);

    auto preset = std::make_unique<Preset> (caps);
    preset->setNameBytes (header);

    const bool empty = header.numSteps == 0;

    {
        const std::lock_guard guard (lock);
        incoming = std::move (preset);
        incomingSlot = header.number;
    }

    if (empty)
        receivePresetPacket ({});
}

void SimulatedUnit::receivePresetPacket (const juce::MidiMessage& message)
{
    int status = 1;
    bool endOnly = false;

    {
        const std::lock_guard guard (lock);

        if (incoming == nullptr)
            return;

        if (message.getRawDataSize() > 0)
            incoming->addMidiMessage (message);

        if (incoming->getNumMidiMessages() < incoming->getExpectedNumMessages())
            return;

        auto fault = faults.writeStatusForSlot.find (incomingSlot);

        if (fault != faults.writeStatusForSlot.end() && writesAnsweredWithFault < faults.writeStatusRepeats)
        {
            status = fault->second;
            ++writesAnsweredWithFault;
        }

        if ((status == 1 || status == 8) && juce::isPositiveAndBelow (incomingSlot, static_cast<int> (slots.size())))
        {
            incoming->setModified (false);
            slots[static_cast<size_t> (incomingSlot)] = std::move (incoming);
        }

        incoming.reset();
        endOnly = faults.endInsteadOfWriteStatus;
    }

    if (endOnly)
        return reply (frame ({ static_cast<uint8_t> (profile.productId), SysEx::cmdTransferEnd, 0x00 }));

    replyStatus (status);
}

void SimulatedUnit::receiveSetupPacket (const juce::MidiMessage& message)
{
    int status;

    {
        const std::lock_guard guard (lock);

        if (incomingSetup == nullptr)
            incomingSetup = std::make_unique<SetupData> (currentCaps);

        incomingSetup->setSetupDataVersion (SysEx::decode14 (message.getRawData() + 7));
        incomingSetup->addMidiMessage (message);

        if (incomingSetup->getNumMidiMessages() < currentCaps.numSyxPackagesPerSetup)
            return;

        status = faults.setupWriteStatus;

        if (status == 1)
            setup = std::move (incomingSetup);

        incomingSetup.reset();
    }

    replyStatus (status);
}

void SimulatedUnit::receiveFirmware (const uint8_t* bytes, int size, const juce::MidiMessage& message)
{
    lastFirmwareTime = Clock::now();

    if (bytes[6] == SysEx::cmdFirmwareStart)
    {
        firmwareMode = true;
        firmwarePackets = 0;
        announcedBuild = 0;
        return;
    }

    if (! firmwareMode)
        return;

    if (bytes[6] == SysEx::cmdFirmwarePacket && size >= 11)
    {
        expectedChecksum = bytes[7];
        expectedSize = SysEx::decode14 (bytes + 8);
        packetReceived = false;
        return;
    }

    if (bytes[6] == SysEx::cmdFirmwareEnd)
    {
        int status = packetReceived && packetGood ? 1 : 0;

        {
            const std::lock_guard guard (lock);
            auto fault = faults.firmwareStatusForPacket.find (firmwarePackets + 1);

            if (fault != faults.firmwareStatusForPacket.end() && firmwareFaultsAnswered < faults.firmwareStatusRepeats)
            {
                status = fault->second;
                ++firmwareFaultsAnswered;
            }
        }

        if (status == 1)
            ++firmwarePackets;

        reply (frame ({ SysEx::firmwareProductId, 0x34, static_cast<uint8_t> (status) }));
        return;
    }

    // The image's own message between header and end. The sample images name
    // their build at the start of their first packet: "build", high, low.
    constexpr uint8_t buildTag[] = { 'b', 'u', 'i', 'l', 'd' };
    constexpr int tagAt = 8;

    if (firmwarePackets == 0 && size > tagAt + 7 && std::equal (buildTag, buildTag + 5, bytes + tagAt))
        announcedBuild = (bytes[tagAt + 5] << 7) | bytes[tagAt + 6];

    packetReceived = true;
    packetGood = size == expectedSize && SysEx::checksum (message.getRawData(), size) == expectedChecksum;
}

void SimulatedUnit::reboot()
{
    firmwareMode = false;
    unplug();

    UpdateOutcome outcome;

    {
        const std::lock_guard guard (lock);
        outcome = updateOutcome;
    }

    if (outcome.comeback == UpdateOutcome::Comeback::never)
        return;

    wait (Clock::scaled (profile.bootTimeMs));

    if (threadShouldExit())
        return;

    if (outcome.comeback == UpdateOutcome::Comeback::newFirmware)
        installFirmware (outcome);

    plugIn();
}

void SimulatedUnit::installFirmware (const UpdateOutcome& outcome)
{
    const std::lock_guard guard (lock);

    if (outcome.version.build > 0)
        currentVersion = outcome.version;
    else if (announcedBuild > 0)
        currentVersion.build = static_cast<int16_t> (announcedBuild);
    else
        currentVersion.build = static_cast<int16_t> (currentVersion.build + 10);

    // A build of the sample content is the version and layout that content
    // gives it, as the program will expect of the unit.
    auto newCaps = outcome.caps;
    const auto sample = sampleBuild (profile.productId, currentVersion.build);

    if (sample.has_value())
    {
        if (outcome.version.build <= 0)
            currentVersion = sample->version;

        if (newCaps.productId == 0)
            newCaps = sample->caps;
    }

    if (outcome.serial >= 0)
        currentSerial = outcome.serial;

    // Firmware of another layout cannot read what the old one stored.
    if (newCaps.productId != 0 && ! (newCaps == currentCaps))
    {
        currentCaps = newCaps;
        slots.clear();
        slots.resize (static_cast<size_t> (juce::jmax (0, currentCaps.numPresets)));
        setup = factorySetup (currentCaps, currentSerial);
        incoming.reset();
        incomingSetup.reset();
    }
}
