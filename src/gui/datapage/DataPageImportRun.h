#pragma once

#include "conversion/ConversionJob.h"
#include "gui/datapage/DataPage.h"

/** One SysEx import on its way through its files; a file that needs
    converting holds it until its conversion is done. */
struct DataPage::ImportRun
{
    juce::Array<juce::File> files;
    int next = 0;
    int startSlot = -1;
    int destinationId = 0;
    juce::Array<juce::ValueTree> backups;       // the destinations from 4 on, as the dialog listed them
    std::unique_ptr<DeviceData> collector;
    bool allOk = true;
    bool anyError = false;
    bool importedAny = false;
    juce::StringArray refused;                  // files skipped without a box of their own, with the reason
    std::unique_ptr<ConversionJob> conversion;
};

/** The developer's import of data files as backups, held the same way. */
struct DataPage::MwdImportRun
{
    juce::Array<juce::File> files;
    int next = 0;
    juce::ValueTree target;
    std::unique_ptr<ConversionJob> conversion;
};
