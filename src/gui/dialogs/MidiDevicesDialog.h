#pragma once

#include "gui/dialogs/BelvoraDialog.h"
#include "model/FirmwareVersion.h"

#include <array>
#include <vector>

class ContentManager;
class DeviceManager;
class DeviceProfiler;

/** What the MIDI device list shows: every port pair the device manager knows,
    then the remembered units that are not connected, read once. */
struct MidiDeviceTable
{
    struct Row
    {
        juce::String name, inputName, outputName;
        int flags = 0;
        int serial = 0;
        FirmwareVersion version;
        bool offline = false;
    };

    std::vector<Row> rows;   // the port pairs first

    /** Reads the services given (any may be null: nothing from it). */
    static MidiDeviceTable read (const DeviceManager* devices, const DeviceProfiler* profiler, const ContentManager* content);
};

/** A read-only table of the MIDI port pairs and the offline units: name, ports,
    serial number, firmware version and state. It does not follow changes. */
class MidiDevicesComp : public juce::Component
{
public:
    enum Column { deviceName, inputName, outputName, serialNumber, version, status, numColumns };

    /** The running program's devices and known-device list. */
    MidiDevicesComp();
    explicit MidiDevicesComp (const MidiDeviceTable& table);
    ~MidiDevicesComp() override;

    static juce::String getStateText (int flags);

    /** The colour of a row's texts. */
    static juce::Colour getTextColour (int flags, bool offline);

    int getNumRows() const noexcept                      { return (int) rows.size(); }
    int getOfflineCount() const noexcept                 { return offlineCount; }
    juce::String getText (int row, Column column) const  { return cells[(size_t) column][row]; }
    float getColumnWidth (Column column) const           { return columnWidths[(size_t) column]; }

    /** The top of a row as painted. */
    float getRowY (int row) const;

    void paint (juce::Graphics& g) override;

private:
    static juce::String headerOf (Column column);
    juce::Font plainFont() const;
    juce::Font boldFont() const;
    juce::Font fontOf (size_t row) const;
    juce::Colour rowBackground (int row) const;

    struct RowState { int flags; bool offline; };
    std::vector<RowState> rows;
    std::array<juce::StringArray, numColumns> cells;
    std::array<float, numColumns> columnWidths {};
    float scale, fontHeight, rowHeight, headerTop;
    int offlineCount = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MidiDevicesComp)
};

/** "MIDI Device List", centred on the screen. Showing it is the caller's. */
class MidiDevicesDialog : public BelvoraDialog
{
public:
    MidiDevicesDialog();
    explicit MidiDevicesDialog (const MidiDeviceTable& table);
};
