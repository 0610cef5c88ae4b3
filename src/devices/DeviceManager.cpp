#include "devices/DeviceManager.h"

#include "app/DeviceInfoMessage.h"
#include "gui/BelvoraContentComponent.h"

DeviceManager::DeviceManager (BelvoraContentComponent* contentComponent)
    : juce::Thread ("DeviceManager"), owner (contentComponent)
{
}

DeviceManager::~DeviceManager()
{
    stopThread (10000);
}

void DeviceManager::handleMessage (const juce::Message& message)
{
    if (auto* command = dynamic_cast<const DeviceCommandMessage*> (&message))
    {
        const juce::ScopedLock lock (queueLock);
        queuedCommands.add (command->command);
        wakeUp.signal();
    }
}

void DeviceManager::run()
{
    while (! threadShouldExit())
    {
        int command = 0;

        {
            const juce::ScopedLock lock (queueLock);

            if (! queuedCommands.isEmpty())
                command = queuedCommands.removeAndReturn (0);
        }

        if (command == 0)
        {
            wakeUp.wait (3000);
            continue;
        }

        if (command == DeviceCommandMessage::scan && owner != nullptr)
            owner->postMessage (new DeviceInfoMessage (DeviceInfoMessage::scanFinished, 1, 0, {}));
    }
}
