#include "devices/DeviceManager.h"

#include "base/BelvoraSettings.h"
#include "base/DeviceInfoMessage.h"
#include "tracking/EventConnection.h"
#include "tracking/EventTracker.h"
#include "devices/DeviceObject.h"
#include "devices/DeviceProfiler.h"
#include "devices/JuceMidiBackend.h"
#include "devices/ProductCatalogue.h"
#include "devices/SimulatedUnitSet.h"
#include "platform/Clock.h"

using platform::Clock;
using State = CommandQueue::State;

namespace
{
    // Posting fails once the message loop has ended: the message is then
    // deleted at once, and what it holds with it, on the caller's thread.
    struct ReleaseOnMessageThread : juce::MessageManager::MessageBase
    {
        explicit ReleaseOnMessageThread (std::shared_ptr<void> held) : what (std::move (held)) {}
        void messageCallback() override   { what.reset(); }

        std::shared_ptr<void> what;
    };

    const char* const unknownDeviceName = "Unknown Device";
    const char* const noOutputName = "Not found";

    // Every name that occurs more than once (ignoring case) gets " (n)" appended,
    // the first occurrence included.
    juce::StringArray numberDuplicates (const juce::StringArray& names)
    {
        juce::StringArray result;

        for (int i = 0; i < names.size(); ++i)
        {
            int occurrences = 0, position = 0;

            for (int j = 0; j < names.size(); ++j)
            {
                if (names[j].equalsIgnoreCase (names[i]))
                {
                    ++occurrences;

                    if (j <= i)
                        ++position;
                }
            }

            result.add (occurrences > 1 ? names[i] + " (" + juce::String (position) + ")" : names[i]);
        }

        return result;
    }

    bool isWordCharacter (juce::juce_wchar c)
    {
        return juce::CharacterFunctions::isLetterOrDigit (c);
    }

    /** Position of word as a whole word in text (ignoring case), or -1. */
    int indexOfWholeWord (const juce::String& text, const juce::String& word)
    {
        for (int start = 0;;)
        {
            const auto index = text.indexOfIgnoreCase (start, word);

            if (index < 0)
                return -1;

            const auto end = index + word.length();
            const bool freeBefore = index == 0 || ! isWordCharacter (text[index - 1]);
            const bool freeAfter = end >= text.length() || ! isWordCharacter (text[end]);

            if (freeBefore && freeAfter)
                return index;

            start = index + 1;
        }
    }

    /** The name of an input without its trailing "input" or "in" word. */
    juce::String stemOf (const juce::String& inputName)
    {
        auto index = indexOfWholeWord (inputName, "input");

        if (index < 0)
            index = indexOfWholeWord (inputName, "in");

        const auto stem = index >= 0 ? inputName.substring (0, index) : inputName;
        return stem.trimEnd();
    }

    int findOutputFor (const juce::String& inputName, const juce::StringArray& outputs)
    {
        const auto exact = outputs.indexOf (inputName);

        if (exact >= 0)
            return exact;

        const auto stem = stemOf (inputName);

        for (int i = 0; i < outputs.size(); ++i)
            if (outputs[i].startsWith (stem))
                return i;

        return -1;
    }

    bool isForwarded (int command)
    {
        switch (command)
        {
            case DeviceCommandMessage::readAll:
            case DeviceCommandMessage::nothing1:
            case DeviceCommandMessage::nothing2:
            case DeviceCommandMessage::readPresets:
            case DeviceCommandMessage::readSetup:
            case DeviceCommandMessage::deletePresets:
            case DeviceCommandMessage::writeChangedPresets:
            case DeviceCommandMessage::writeGivenPresets:
            case DeviceCommandMessage::writeSetup:
            case DeviceCommandMessage::writeGivenSetup:
            case DeviceCommandMessage::writeAllOfData:
            case DeviceCommandMessage::sendFirmware:
            case DeviceCommandMessage::loadSyncFile:
                return true;
            default:
                return false;
        }
    }

    std::shared_ptr<MidiPortBackend> makeDefaultBackend()
    {
        if (auto simulated = SimulatedUnitSet::createFromEnvironment())
            return simulated;

        return std::make_shared<JuceMidiBackend>();
    }
}

DeviceManager::DeviceManager (juce::MessageListener& notificationListener, std::shared_ptr<MidiPortBackend> midiBackend,
                              std::shared_ptr<ProductCatalogue> products, DeviceProfiler* knownDevices,
                              EventTracker* eventTracker, Options managerOptions)
    : juce::Thread ("DeviceManager"),
      listener (notificationListener),
      backend (midiBackend != nullptr ? std::move (midiBackend) : makeDefaultBackend()),
      catalogue (std::move (products)),
      profiler (knownDevices),
      tracker (eventTracker),
      options (std::move (managerOptions)),
      queue (*this),
      entries (std::make_shared<EntryList>())
{
    jassert (catalogue != nullptr);

    if (backend->opensOnMessageThread())
        audioInitialiseError = audioDeviceManager.initialise (0, 0, nullptr, false);

    if (profiler != nullptr)
        profiler->setConnectionQuery ([this] (int productId, int serial) { return isDeviceConnected (productId, serial); });
}

DeviceManager::~DeviceManager()
{
    if (profiler != nullptr)
        profiler->setConnectionQuery ({});

    // Every wait of the thread ends on the stop request, a content request
    // waiting for its turn included.
    stopThread (-1);
    closeDevices();
}

//==============================================================================
std::vector<DeviceManager::DeviceEntry> DeviceManager::pairPorts (const juce::StringArray& inputNames, const juce::StringArray& outputNames)
{
    const auto inputs = numberDuplicates (inputNames);
    const auto outputs = numberDuplicates (outputNames);
    std::vector<DeviceEntry> result (static_cast<size_t> (inputs.size()));

    for (int i = 0; i < inputs.size(); ++i)
    {
        auto& entry = result[static_cast<size_t> (i)];
        entry.name = entry.inputName = inputs[i];
        entry.inputIndex = i;
        entry.outputIndex = findOutputFor (inputs[i], outputs);

        if (entry.outputIndex < 0)
        {
            entry.name = unknownDeviceName;
            entry.outputName = noOutputName;
        }
        else
        {
            entry.outputName = outputs[entry.outputIndex];
        }
    }

    // An output claimed by two inputs stays only with an input of exactly its name.
    for (size_t i = 0; i < result.size(); ++i)
    {
        for (size_t j = i + 1; j < result.size(); ++j)
        {
            auto& a = result[i];
            auto& b = result[j];

            if (a.outputIndex < 0 || a.outputIndex != b.outputIndex)
                continue;

            const bool aExact = a.inputName == a.outputName;
            const bool bExact = b.inputName == b.outputName;

            if (! aExact) a.outputIndex = -1;
            if (! bExact) b.outputIndex = -1;
        }
    }

    return result;
}

juce::String DeviceManager::getErrorText (int code, const juce::String& name)
{
    if (code == 0)
        return {};

    const juce::String persists (" and try again. If the error persists, please contact Marrowell support.");
    const juce::String restartBoth (". Please restart Belvora as well as " + name + ", and try again. If the error persists, please contact Marrowell support.");
    juce::String text;

    switch (static_cast<DeviceError> (code))
    {
        case DeviceError::internal: text = "Belvora has encountered and unexpected internal error with " + name + ". Please restart Belvora" + persists; break;
        case DeviceError::unexpectedData: text = "Belvora has received unexpected data from " + name + ". Please restart Belvora" + persists; break;
        case DeviceError::connectionLost: text = "Belvora's connection to " + name + " has been lost. Please restart " + name + persists; break;
        case DeviceError::corruption: text = "Belvora has encountered significant data corruption while communicating with " + name
                              + ". This could be caused heavy USB bus activity and/or heavy CPU load. Reduce both of these conditions, and then try again."; break;
        case DeviceError::versionConflict: text = "A data version conflict has occurred between Belvora and " + name
                              + ". The SysEx data is not in the expected format. Please restart Belvora" + persists; break;
        case DeviceError::rejected: text = name + " has rejected the preset (step) data sent by Belvora. Please restart Belvora as well as " + name
                              + ", and try again. If the error persists, please contact Marrowell support."; break;
        case DeviceError::noMemory: text = "There is insufficient memory available on" + name + " to store all presets."; break;
        case DeviceError::synchronisation: text = "A synchronization error has occurred between Belvora and " + name + restartBoth; break;
        case DeviceError::timeOut: text = "The current operation between between Belvora and " + name + " has timed out" + restartBoth; break;
        case DeviceError::unspecified: text = "Belvora has encountered an unspecified error. Please restart Belvora as well as " + name + ", and try again."; break;
        case DeviceError::none:
        default:       text = "Belvora has encountered an unspecified error. Please restart Belvora"; break;
    }

    return text + "\nCode: " + juce::String (code);
}

//==============================================================================
void DeviceManager::handleMessage (const juce::Message& message)
{
    if (auto* command = dynamic_cast<const DeviceCommandMessage*> (&message))
    {
        auto stamped = *command;

        {
            const std::lock_guard guard (forwardLock);
            stamped.queueResets = activeQueueResets;
        }

        queue.post (stamped);
    }
}

void DeviceManager::post (int code, int value1, int value2)
{
    listener.postMessage (new DeviceInfoMessage (code, value1, value2, {}));
}

void DeviceManager::run()
{
    while (! threadShouldExit())
    {
        if (queue.isEmpty())
        {
            wait (Clock::scaled (ProtocolTiming::portWatchMs));

            if (scanComplete.load() && queue.isEmpty())
            {
                identifyUnitsWhoseContentCame();
                watchPorts();
            }
        }

        if (threadShouldExit())
            break;

        DeviceCommandMessage command;

        if (queue.pop (command, true))
            handleCommand (command);
    }
}

void DeviceManager::handleCommand (const DeviceCommandMessage& command)
{
    if (command.command == DeviceCommandMessage::scan)
    {
        scan();
    }
    else if (command.command == DeviceCommandMessage::checkConnection)
    {
        runConnectionCheckCommand();
    }
    else if (isForwarded (command.command))
    {
        auto list = currentEntries();

        const std::lock_guard guard (forwardLock);

        if (auto* device = deviceAt (*list, activeIndex.load()); device != nullptr && command.queueResets == activeQueueResets)
            device->getQueue().post (command);
    }

    queue.setState (State::idle);
}

//==============================================================================
std::shared_ptr<DeviceManager::EntryList> DeviceManager::currentEntries() const
{
    const std::lock_guard guard (entriesLock);
    return entries;
}

DeviceManager::DeviceEntry* DeviceManager::entryAt (const EntryList& list, int index) const
{
    if (index == -1)
        index = activeIndex.load();

    if (index < 0 || index >= static_cast<int> (list.size()))
        return nullptr;

    return list[static_cast<size_t> (index)].get();
}

DeviceObject* DeviceManager::deviceAt (const EntryList& list, int index) const
{
    auto* entry = entryAt (list, index);
    return entry != nullptr ? entry->device.get() : nullptr;
}

void DeviceManager::closeDevices()
{
    std::shared_ptr<EntryList> old;

    {
        const std::lock_guard active (activeLock);
        releaseActiveDevice();

        const std::lock_guard guard (entriesLock);
        old = std::make_shared<EntryList>();
        old.swap (entries);
    }

    // Readers still holding the old list or one of its units keep them; the
    // units are stopped here, so whoever lets go of one last only frees it.
    // All are asked before any is joined, so none waits on another's turn.
    for (auto& entry : *old)
        if (entry->device != nullptr)
        {
            entry->device->signalThreadShouldExit();
            entry->device->notify();
        }

    for (auto& entry : *old)
        if (entry->device != nullptr)
        {
            entry->device->stopThread (-1);
            entry->device->closePorts();   // now, not when freed: the new units open the same ports
        }

    // A tile's change callback may be running for one of these units on the
    // message thread: freed from here, the unit would go in the middle of it.
    // Freed there in a message of its own, it outlives every callback.
    (new ReleaseOnMessageThread (std::move (old)))->post();

    cachedInputNames.clear();
    cachedOutputNames.clear();
    scanComplete = false;
    rescanNeeded = true;
}

void DeviceManager::rebuild()
{
    rescanNeeded = true;
    closeDevices();

    cachedInputNames = backend->getInputNames();
    cachedOutputNames = backend->getOutputNames();

    auto list = std::make_shared<EntryList>();

    for (auto& paired : pairPorts (cachedInputNames, cachedOutputNames))
    {
        const auto productId = catalogue->getProductIdOfPortName (paired.name);

        // Started early, but the list is not held back for it: the unit's
        // own identification asks again and waits as long as that allows.
        if (productId >= 0)
            catalogue->requestProductContentAsync (productId);

        auto entry = std::make_unique<DeviceEntry> (std::move (paired));
        entry->device = std::make_shared<DeviceObject> (listener, backend, catalogue, entry->name, entry->inputIndex, entry->outputIndex,
                                                        DeviceObject::Options { options.scanAll });
        list->push_back (std::move (entry));
    }

    {
        const std::lock_guard guard (entriesLock);
        entries = list;
    }

    for (auto& entry : *list)
        entry->device->startThread();

    post (DeviceInfoMessage::devicesMade);
}

int DeviceManager::getScanCycleLimit (bool downloadsQueued)
{
    if (! downloadsQueued)
        return ProtocolTiming::scanCycles;

    const auto downloadCycles = (BelvoraSettings::getDownloadTimeoutMs() + ProtocolTiming::scanCycleMs - 1) / ProtocolTiming::scanCycleMs;
    return juce::jmax (ProtocolTiming::scanCycles, downloadCycles);
}

bool DeviceManager::waitForIdentification (const std::vector<DeviceObject*>& units)
{
    const auto limit = getScanCycleLimit (catalogue->hasQueuedDownloads());

    for (int cycle = 0; cycle < limit - 1 && ! threadShouldExit(); ++cycle)
    {
        wait (Clock::scaled (ProtocolTiming::scanCycleMs));

        if (std::all_of (units.begin(), units.end(), [] (auto* unit) { return unit->getQueue().getState() == State::idle; }))
            return true;
    }

    return false;
}

bool DeviceManager::scan()
{
    rebuild();

    auto list = currentEntries();
    std::vector<DeviceObject*> units;

    for (auto& entry : *list)
        units.push_back (entry->device.get());

    const auto allFinished = waitForIdentification (units);
    list.reset();

    if (threadShouldExit())
        return false;

    rememberIdentifiedUnits();

    queue.setState (State::idle);
    scanComplete = true;
    rescanNeeded = false;
    post (DeviceInfoMessage::scanFinished, allFinished ? 1 : 0);
    return allFinished;
}

// A unit whose product's capabilities could not be had when it was scanned
// becomes usable when the download brings them, without another scan; so
// does one whose product only the server's product list, come late, holds,
// and one whose kept capabilities did not list its build once the server's
// came (or its read failed, leaving the kept ones). The pages hear of it as
// of a scan's end, marked as coming after it.
void DeviceManager::identifyUnitsWhoseContentCame()
{
    // A scan is due anyway when the ports changed.
    if (rescanNeeded.load() || (options.isFirmwareUpdateRunning != nullptr && options.isFirmwareUpdateRunning()))
        return;

    auto list = currentEntries();
    std::vector<DeviceObject*> units;
    const auto readEnded = ! catalogue->isConnecting();
    const auto listCame = readEnded && catalogue->isOnline();

    for (size_t i = 0; i < list->size(); ++i)
    {
        auto& device = *(*list)[i]->device;
        const auto id = device.getProductId();
        const auto capsCame = device.awaitsServersCaps() ? readEnded && (! listCame || ! catalogue->isKnown (id) || catalogue->hasCurrentCaps (id))
                                                         : catalogue->hasCapsDocument (id);
        const auto contentCame = (device.getFlags() & DeviceFlags::contentNotReady) != 0 && (int) i != activeIndex.load() && capsCame;

        if ((contentCame || (listCame && device.awaitsProductList())) && device.identifyAgain())
            units.push_back (&device);
    }

    if (units.empty() || ! waitForIdentification (units) || threadShouldExit())
        return;

    if (std::none_of (units.begin(), units.end(), [] (auto* unit) { return unit->isUsable(); }))
        return;

    rememberIdentifiedUnits();
    post (DeviceInfoMessage::scanFinished, 1, 1);
}

void DeviceManager::rememberIdentifiedUnits()
{
    if (profiler == nullptr)
        return;

    juce::OwnedArray<juce::XmlElement> units;
    auto list = currentEntries();

    for (auto& entry : *list)
        if ((entry->device->getFlags() & DeviceFlags::identified) != 0)
            units.add (entry->device->createDeviceListEntry().release());

    profiler->writeDeviceList (units);
    profiler->updateActivations();
}

bool DeviceManager::checkActiveConnection()
{
    auto list = currentEntries();
    auto* device = deviceAt (*list, activeIndex.load());

    if (device == nullptr)
        return true;

    auto& unitQueue = device->getQueue();
    const auto stopping = [this] { return threadShouldExit(); };

    const auto idle = device->waitForState ([&] { return unitQueue.getState() == State::idle; },
                                            [&] { const auto s = unitQueue.getState(); return s == State::abort || s == State::error || stopping(); },
                                            ProtocolTiming::checkBusyLimitMs);

    if (! idle)
        return false;

    const auto passedBefore = device->getConnectionChecksPassed();
    unitQueue.post (DeviceCommandMessage (DeviceCommandMessage::checkConnection));

    if (! device->waitForState ([&] { return device->isIdle(); }, stopping, ProtocolTiming::checkRunLimitMs))
        return false;

    // Not the queue's state: the failure's notification resets the queue on
    // the message thread, which may come first and would read as a pass.
    return device->getConnectionChecksPassed() != passedBefore;
}

void DeviceManager::runConnectionCheckCommand()
{
    if (! checkActiveConnection())
    {
        scanComplete = false;
        rescanNeeded = true;
        post (DeviceInfoMessage::activeDeviceLost);
    }

    queue.setState (State::idle);
}

bool DeviceManager::portListsChanged()
{
    return backend->getInputNames() != cachedInputNames || backend->getOutputNames() != cachedOutputNames;
}

void DeviceManager::watchPorts()
{
    {
        auto list = currentEntries();
        auto* active = deviceAt (*list, activeIndex.load());

        if (active != nullptr && ! active->isIdle())
            return;
    }

    const bool updating = options.isFirmwareUpdateRunning != nullptr && options.isFirmwareUpdateRunning();

    if (! portListsChanged() || updating || threadShouldExit())
        return;

    rescanNeeded = true;
    cachedInputNames = backend->getInputNames();
    cachedOutputNames = backend->getOutputNames();

    const auto ok = checkActiveConnection();
    queue.setState (State::idle);
    post (ok ? DeviceInfoMessage::portsChanged : DeviceInfoMessage::activeDeviceLost);
}

//==============================================================================
int DeviceManager::getNumDevices() const
{
    return static_cast<int> (currentEntries()->size());
}

int DeviceManager::getNumIdentifiedDevices() const
{
    auto list = currentEntries();
    int count = 0;

    for (auto& entry : *list)
        if ((entry->device->getFlags() & DeviceFlags::identified) != 0)
            ++count;

    return count;
}

int DeviceManager::getConnectedDeviceNames (juce::StringArray& names) const
{
    names.clear();
    auto list = currentEntries();

    for (auto& entry : *list)
    {
        const auto flags = entry->device->getFlags();

        // A unit that answered is no other program's, whatever else failed.
        if ((flags & DeviceFlags::namesProduct) != 0 && (flags & (DeviceFlags::unknownProduct | DeviceFlags::readingInfo)) == 0)
            names.add (entry->device->getName());
    }

    return names.size();
}

int DeviceManager::getNamesOfDevicesWithoutProductInfo (juce::StringArray& names) const
{
    names.clear();
    auto list = currentEntries();

    for (auto& entry : *list)
        if ((entry->device->getFlags() & DeviceFlags::contentNotReady) != 0)
            names.add (entry->device->getName());

    return names.size();
}

bool DeviceManager::isDeviceUsable (int index) const
{
    if (index < 0)
        return false;

    auto list = currentEntries();
    auto* device = deviceAt (*list, index);
    return device != nullptr && device->isUsable();
}

bool DeviceManager::isDeviceConnected (int productId, int serial) const
{
    auto list = currentEntries();

    for (auto& entry : *list)
    {
        auto& device = *entry->device;

        // Units of different products may carry the same serial.
        if ((device.getFlags() & DeviceFlags::identified) != 0 && device.getSerial() == serial && device.getProductId() == productId)
            return true;
    }

    return false;
}

int DeviceManager::getDeviceProductId (int index) const
{
    auto list = currentEntries();
    auto* device = deviceAt (*list, index);
    return device != nullptr ? device->getProductId() : SysExTemplate::unknownProduct;
}

juce::String DeviceManager::getDeviceEntryName (int index) const
{
    auto list = currentEntries();
    auto* entry = entryAt (*list, index);
    return entry != nullptr ? entry->name : juce::String();
}

juce::String DeviceManager::getActiveDeviceDisplayName() const
{
    auto list = currentEntries();
    auto* device = deviceAt (*list, -1);

    if (device == nullptr)
        return {};

    return catalogue->getDisplayName (device->getProductId(), static_cast<uint32_t> (device->getSerial()));
}

int DeviceManager::getDeviceFlags (int index) const
{
    auto list = currentEntries();
    auto* device = deviceAt (*list, index);
    return device != nullptr ? static_cast<int> (device->getFlags()) : 0;
}

int DeviceManager::getDeviceSerial (int index) const
{
    auto list = currentEntries();
    auto* device = deviceAt (*list, index);
    return device != nullptr ? device->getSerial() : -1;
}

FirmwareVersion DeviceManager::getDeviceVersion (int index) const
{
    auto list = currentEntries();
    auto* device = deviceAt (*list, index);
    return device != nullptr ? device->getVersion() : FirmwareVersion();
}

juce::String DeviceManager::getActiveDeviceDataFolder() const
{
    auto list = currentEntries();
    auto* device = deviceAt (*list, -1);
    return device != nullptr ? device->getDataFolder() : juce::String();
}

std::shared_ptr<const DeviceCaps> DeviceManager::getActiveDeviceCaps() const
{
    auto list = currentEntries();
    auto* device = deviceAt (*list, -1);
    return device != nullptr ? device->getCaps() : nullptr;
}

std::shared_ptr<const DeviceData> DeviceManager::getActiveDeviceData() const
{
    auto list = currentEntries();
    auto* device = deviceAt (*list, -1);
    return device != nullptr ? device->getData() : nullptr;
}

std::shared_ptr<DeviceObject> DeviceManager::getDevice (int index) const
{
    auto list = currentEntries();
    auto* entry = entryAt (*list, index);
    return entry != nullptr ? entry->device : nullptr;
}

void DeviceManager::getDeviceTable (juce::StringArray& names, juce::StringArray& inputNames, juce::StringArray& outputNames,
                                    juce::Array<int>& flags, juce::Array<int>& serials, juce::Array<FirmwareVersion>& versions) const
{
    names.clear(); inputNames.clear(); outputNames.clear();
    flags.clear(); serials.clear(); versions.clear();

    auto list = currentEntries();

    for (auto& entry : *list)
    {
        names.add (entry->name);
        inputNames.add (entry->inputName);
        outputNames.add (entry->outputName);
        flags.add (static_cast<int> (entry->device->getFlags()));
        serials.add (entry->device->getSerial());
        versions.add (entry->device->getVersion());
    }
}

int DeviceManager::indexOfDeviceWithSerial (int serial) const
{
    auto list = currentEntries();

    for (size_t i = 0; i < list->size(); ++i)
    {
        auto& device = *(*list)[i]->device;

        if ((device.getFlags() & DeviceFlags::identified) != 0 && device.getSerial() == serial)
            return static_cast<int> (i);
    }

    return -1;
}

int DeviceManager::findDevice (int productId, int serial) const
{
    if (serial != 0)
        return indexOfDeviceWithSerial (serial);

    auto list = currentEntries();
    int found = -1;

    for (size_t i = 0; i < list->size(); ++i)
    {
        auto& device = *(*list)[i]->device;

        if ((device.getFlags() & DeviceFlags::identified) == 0 || device.getProductId() != productId)
            continue;

        if (device.getSerial() == 0)
            return static_cast<int> (i);

        found = static_cast<int> (i);
    }

    return found;
}

void DeviceManager::getMidiByteCounts (int64_t& sent, int64_t& received) const
{
    sent = received = 0;
    auto list = currentEntries();

    for (auto& entry : *list)
    {
        sent += entry->device->getBytesSent();
        received += entry->device->getBytesReceived();
    }
}

//==============================================================================
bool DeviceManager::setActiveDevice (int index)
{
    const std::lock_guard active (activeLock);

    auto list = currentEntries();

    if (rescanNeeded.load() || index < 0 || index >= static_cast<int> (list->size()))
        return false;

    releaseActiveDevice();

    auto* device = deviceAt (*list, index);

    if (! device->openPorts())
        return false;

    activeIndex = index;

    if (tracker != nullptr)
        tracker->addEvent (new EventConnection ({ static_cast<uint8_t> (device->getProductId()), device->getSerial(), device->getVersion(),
                                                 catalogue->getDisplayName (device->getProductId(), static_cast<uint32_t> (device->getSerial())) }),
                           -1, false);

    return true;
}

void DeviceManager::releaseActiveDevice()
{
    const std::lock_guard active (activeLock);

    auto list = currentEntries();

    if (auto* device = deviceAt (*list, -1))
        device->release();

    activeIndex = -1;
}

void DeviceManager::abortActiveDeviceOperation()
{
    auto list = currentEntries();

    if (auto* device = deviceAt (*list, -1))
        device->requestAbort();
}

void DeviceManager::resetActiveDeviceQueue()
{
    const std::lock_guard guard (forwardLock);
    ++activeQueueResets;
    auto list = currentEntries();

    if (auto* device = deviceAt (*list, -1))
        device->resetQueue();
}

bool DeviceManager::loadActiveDeviceSyncFile()
{
    if (activeIndex.load() < 0)
        return false;

    DeviceCommandMessage command (DeviceCommandMessage::loadSyncFile);

    {
        const std::lock_guard guard (forwardLock);
        command.queueResets = activeQueueResets;
    }

    queue.post (command);
    return true;
}
