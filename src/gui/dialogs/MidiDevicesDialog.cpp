#include "gui/dialogs/MidiDevicesDialog.h"

#include "app/Nexus.h"
#include "devices/DeviceFlags.h"
#include "devices/DeviceManager.h"
#include "devices/DeviceProfiler.h"
#include "gui/Palette.h"
#include "gui/widgets/WidgetMetrics.h"

MidiDeviceTable MidiDeviceTable::read (const DeviceManager* devices, const DeviceProfiler* profiler, const ContentManager* content)
{
    MidiDeviceTable table;

    if (devices != nullptr)
    {
        juce::StringArray names, inputNames, outputNames;
        juce::Array<int> flags, serials;
        juce::Array<FirmwareVersion> versions;
        devices->getDeviceTable (names, inputNames, outputNames, flags, serials, versions);

        for (int i = 0; i < names.size(); ++i)
            table.rows.push_back ({ names[i], inputNames[i], outputNames[i], flags[i], serials[i], versions[i], false });
    }

    if (profiler != nullptr)
    {
        juce::Array<uint8_t> ids;
        juce::Array<FirmwareVersion> versions;
        juce::Array<int> serials;
        juce::Array<ManufactureDate> dates;
        juce::Array<juce::int64> detected;
        juce::StringArray listedNames;
        profiler->readDeviceList (ids, versions, serials, dates, detected, true, &listedNames);

        for (int i = 0; i < ids.size(); ++i)
        {
            const auto name = content != nullptr ? DeviceProfiler::getProductDisplayName (*content, ids[i], (uint32_t) serials[i])
                                                 : listedNames[i];
            table.rows.push_back ({ name, {}, {}, DeviceFlags::identified, serials[i], versions[i], true });
        }
    }

    return table;
}

//==============================================================================
MidiDevicesComp::MidiDevicesComp()
    : MidiDevicesComp (MidiDeviceTable::read (Nexus::getDeviceManager(), Nexus::getDeviceProfiler(), Nexus::getContentManager()))
{
}

MidiDevicesComp::MidiDevicesComp (const MidiDeviceTable& table)
    : scale (WidgetMetrics::scale (*this)),
      fontHeight (WidgetMetrics::fontSize (*this)),
      rowHeight (fontHeight + 8.0f * scale)
{
    const auto gap = WidgetMetrics::gap (*this);
    headerTop = (float) gap / 2.0f;

    for (auto& row : table.rows)
    {
        const auto identified = (row.flags & DeviceFlags::identified) != 0;
        const auto serialText = ! identified ? juce::String() : row.serial == 0 ? juce::String ("Not Set") : juce::String (row.serial);

        cells[deviceName].add (row.name);
        cells[inputName].add (row.inputName);
        cells[outputName].add (row.outputName);
        cells[serialNumber].add (serialText);
        cells[version].add (identified ? formatFirmwareVersion (row.version, false) : juce::String());
        cells[status].add (row.offline ? juce::String ("Offline") : getStateText (row.flags));

        rows.push_back ({ row.flags, row.offline });
        offlineCount += row.offline ? 1 : 0;
    }

    if (rows.empty())
    {
        setSize (juce::roundToInt (400.0f * scale), juce::roundToInt (150.0f * scale));
        return;
    }

    float total = 0.0f;

    for (int c = 0; c < numColumns; ++c)
    {
        auto widest = juce::jmax (90.0f * scale, boldFont().getStringWidthFloat (headerOf ((Column) c)));

        // Measured in the font the row is drawn in: a connected unit's row is bold.
        for (size_t row = 0; row < rows.size(); ++row)
            widest = juce::jmax (widest, fontOf (row).getStringWidthFloat (cells[(size_t) c][(int) row]));

        columnWidths[(size_t) c] = widest + 18.0f * scale;
        total += columnWidths[(size_t) c];
    }

    setSize (juce::roundToInt (16.0f * scale) + (int) total,
             (int) ((float) gap + scale + 2.0f * fontHeight + (float) rows.size() * rowHeight));
}

MidiDevicesComp::~MidiDevicesComp() = default;

juce::String MidiDevicesComp::getStateText (int flags)
{
    return DeviceFlags::getStateText ((uint32_t) flags);
}

juce::Colour MidiDevicesComp::getTextColour (int flags, bool offline)
{
    if (offline)                                 return Palette::midiListGrey;
    if ((flags & DeviceFlags::portsOpen) != 0)   return Palette::midiStateBlue;
    if ((flags & DeviceFlags::portFailure) != 0) return Palette::midiListRose;
    if ((flags & DeviceFlags::identified) != 0)  return Palette::midiStateSteel;
    if (((uint32_t) flags & DeviceFlags::faultBits) != 0) return Palette::midiListRed;
    return Palette::midiStateGrey;
}

juce::String MidiDevicesComp::headerOf (Column column)
{
    static const char* const headers[] = { "Device Name", "Input Name", "Output Name", "Serial Number", "Version", "Status" };
    return headers[column];
}

juce::Font MidiDevicesComp::plainFont() const   { return BVLookAndFeel::makeFont (fontHeight); }
juce::Font MidiDevicesComp::boldFont() const    { return BVLookAndFeel::makeFont (fontHeight + 0.8f * scale, juce::Font::bold); }

juce::Font MidiDevicesComp::fontOf (size_t row) const
{
    return (rows[row].flags & DeviceFlags::portsOpen) != 0 && ! rows[row].offline ? boldFont() : plainFont();
}

float MidiDevicesComp::getRowY (int row) const
{
    // The offline rows start below the line that ends the port pairs.
    const auto firstOffline = getNumRows() - offlineCount;
    const auto shift = row >= firstOffline && firstOffline > 0 ? scale : 0.0f;
    return headerTop + 2.0f * fontHeight + (float) row * rowHeight + shift;
}

juce::Colour MidiDevicesComp::rowBackground (int row) const
{
    return row % 2 == 0 ? Palette::paleE7EDF1 : Palette::dialogBackgroundColour;
}

void MidiDevicesComp::paint (juce::Graphics& g)
{
    g.fillAll (Palette::dialogBackgroundColour);

    if (rows.empty())
    {
        g.setColour (Palette::dialogTextColour);
        g.setFont (boldFont());
        g.drawText ("No MIDI Devices Found", getLocalBounds(), juce::Justification::centred);
        return;
    }

    const auto left = 8.0f * scale, tableWidth = (float) getWidth() - 2.0f * left;
    const auto inset = 9.0f * scale;

    auto drawCells = [&] (float y, float height, const std::function<juce::String (int)>& textOf)
    {
        auto x = left;

        for (int c = 0; c < numColumns; ++c)
        {
            g.drawText (textOf (c), juce::Rectangle<float> (x + inset, y, columnWidths[(size_t) c] - inset, height),
                        juce::Justification::centredLeft, false);
            x += columnWidths[(size_t) c];
        }
    };

    g.setColour (Palette::dialogTextColour);
    g.setFont (boldFont());
    drawCells (headerTop, 2.0f * fontHeight, [] (int c) { return headerOf ((Column) c); });

    const auto firstOffline = getNumRows() - offlineCount;

    for (int row = 0; row < getNumRows(); ++row)
    {
        const auto y = getRowY (row);
        const auto& state = rows[(size_t) row];

        g.setColour (rowBackground (row));
        g.fillRect (left, y, tableWidth, rowHeight);

        if (row == firstOffline - 1 && offlineCount > 0)
        {
            g.setColour (rowBackground (row).darker (0.4f));
            g.fillRect (left, y + rowHeight, tableWidth, scale);
        }

        g.setColour (getTextColour (state.flags, state.offline));
        g.setFont (fontOf ((size_t) row));
        drawCells (y, rowHeight, [&] (int c) { return cells[(size_t) c][row]; });
    }
}

//==============================================================================
MidiDevicesDialog::MidiDevicesDialog()
    : BelvoraDialog ("MIDI Device List", Palette::dialogBackgroundColour, std::make_unique<MidiDevicesComp>(), nullptr)
{
}

MidiDevicesDialog::MidiDevicesDialog (const MidiDeviceTable& table)
    : BelvoraDialog ("MIDI Device List", Palette::dialogBackgroundColour, std::make_unique<MidiDevicesComp> (table), nullptr)
{
}
