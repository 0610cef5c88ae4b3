#include "base/BelvoraChangeListener.h"
#include "base/DeviceInfoMessage.h"
#include "base/MessageTarget.h"
#include "model/DeviceData.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <thread>

namespace
{
    std::unique_ptr<DeviceCommandMessage::MidiList> makeList (int count)
    {
        auto list = std::make_unique<DeviceCommandMessage::MidiList>();

        for (int i = 0; i < count; ++i)
        {
            const uint8_t bytes[] = { 0xF0, 0x00, 0x01, 0x38, (uint8_t) i, 0xF7 };
            list->add (new juce::MidiMessage (bytes, (int) sizeof (bytes)));
        }

        return list;
    }
}

TEST (DeviceCommandMessage, CopiesShareTheAttachedListUntilTheLastIsGone)
{
    auto first = std::make_unique<DeviceCommandMessage> (makeList (3), juce::Array<int> { 7 });
    EXPECT_EQ (first->command, DeviceCommandMessage::sendFirmware);

    std::weak_ptr<const DeviceCommandMessage::MidiList> watch = first->midiMessages;
    DeviceCommandMessage copy (*first);
    first.reset();

    ASSERT_FALSE (watch.expired());
    ASSERT_EQ (copy.midiMessages->size(), 3);
    EXPECT_EQ (copy.midiMessages->getUnchecked (2)->getSysExData()[3], 2);
    EXPECT_EQ (copy.arguments, juce::Array<int> { 7 });

    {
        DeviceInfoMessage reply (DeviceInfoMessage::commandDone, copy);
        EXPECT_EQ (reply.command.midiMessages, copy.midiMessages);
    }

    copy = DeviceCommandMessage (DeviceCommandMessage::scan);
    EXPECT_TRUE (watch.expired());
}

TEST (DeviceCommandMessage, SelfAssignmentChangesNothing)
{
    DeviceCommandMessage m (DeviceCommandMessage::readPresets, juce::Array<int> { 1, 2, 3 });
    auto& alias = m;
    m = alias;
    m.copyFrom (m);
    EXPECT_EQ (m.command, DeviceCommandMessage::readPresets);
    EXPECT_EQ (m.arguments, (juce::Array<int> { 1, 2, 3 }));
}

TEST (DeviceInfoMessage, ReplyFormCarriesTheCommand)
{
    const DeviceCommandMessage command (DeviceCommandMessage::writeChangedPresets, juce::Array<int> { 4, 9 });
    const DeviceInfoMessage reply (DeviceInfoMessage::commandFailed, command);

    EXPECT_EQ (reply.code, 0x82000);
    EXPECT_EQ (reply.value1, 0);
    EXPECT_EQ (reply.value2, 0);
    EXPECT_TRUE (reply.text.isEmpty());
    EXPECT_EQ (reply.command.command, 0x100100);
    EXPECT_EQ (reply.command.arguments, (juce::Array<int> { 4, 9 }));

    const DeviceInfoMessage copy (reply);
    EXPECT_EQ (copy.command.arguments, reply.command.arguments);
}

TEST (ChangeInfo, Kinds)
{
    const ChangeInfo note (DeviceInfoMessage (0x70003, 5, 0, "Product"));
    EXPECT_EQ (note.kind, ChangeInfo::notification);
    EXPECT_EQ (note.newAppState, -1);
    EXPECT_EQ (note.oldAppState, -1);
    EXPECT_EQ (note.commandId, 0);
    EXPECT_EQ (note.message.text, "Product");

    const auto state = ChangeInfo::forAppState (0, 2);
    EXPECT_EQ (state.kind, ChangeInfo::appStateChanged);
    EXPECT_EQ (state.newAppState, 0);
    EXPECT_EQ (state.oldAppState, 2);
    EXPECT_EQ (state.message.code, 0);

    EXPECT_EQ (ChangeInfo::forCommand (0x36000).commandId, 0x36000);
}

TEST (DeviceCommandMessage, KeepsTheDataItSendsAliveUntilTheLastCopyIsGone)
{
    CapsBlock caps;
    caps.productId = 0x21;
    caps.presetVersion = 1;
    caps.setupVersion = 1;

    auto data = std::make_shared<DeviceData> ("Unit", FirmwareVersion (0, 1, 0, 0, 10, 0), caps, nullptr);
    std::weak_ptr<DeviceData> watch = data;

    auto queued = std::make_unique<DeviceCommandMessage> (DeviceCommandMessage::writeAllOfData, data, juce::Array<int>());
    data.reset(); // the sender drops its copy before the device thread gets to the command

    ASSERT_FALSE (watch.expired());
    const DeviceInfoMessage reply (DeviceInfoMessage::commandDone, *queued);
    queued.reset();

    ASSERT_FALSE (watch.expired());
    EXPECT_EQ (reply.command.data->getCapsBlock().productId, 0x21);
}

// Two workers post the first messages at once (under TSan, both making the listener's reference shows).
TEST (MessageTarget, TakesTheFirstMessagesOfTwoThreadsAtOnce)
{
    struct Inbox : MessageTarget { void handleMessage (const juce::Message&) override { ++received; } int received = 0; } inbox;
    auto post = [&inbox] { inbox.postMessage (new DeviceInfoMessage (DeviceInfoMessage::downloadStatus, 0, 0, {})); };
    std::thread first (post), second (post);
    first.join();
    second.join();
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return inbox.received == 2; }));
}
