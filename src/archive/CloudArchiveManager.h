#pragma once

#include "archive/ConversionProgress.h"
#include "model/SourceTree.h"

#include <juce_events/juce_events.h>

#include <memory>
#include <mutex>

class ContentManager;

/** The preset packs of the connected unit's product, as the "Cloud" category
    of the source tree: one group per folder below the product's "packs"
    folder, and in each the pack archives found there, those made for other
    data formats converted to the unit's firmware on the way (and their files
    rewritten, so the next load finds them ready).

    Made by the data page when a unit's sources open, used on the message
    thread. Reading and converting run on a thread of their own that holds the
    catalogue's packs lock, so the download never swaps a pack in meanwhile;
    the category node stays empty until they end, and then gets its groups
    and archives on the message thread, which the tree's listeners see. */
class CloudArchiveManager : private juce::AsyncUpdater
{
public:
    class LoadThread;

    /** For a unit of that capability block and firmware; starts loading. Without
        a valid block (no unit) or a packs folder, the category stays empty. */
    CloudArchiveManager (const ContentManager& content, const CapsBlock& unitCaps, const FirmwareVersion& unitFirmware);

    /** Stops loading: a running script at once, otherwise after the file in hand. */
    ~CloudArchiveManager() override;

    /** The "Cloud" category node; the data page puts it into its tree. */
    juce::ValueTree getTree() const                          { return tree; }

    /** Empties the category and reads the packs folder again. */
    void loadPacksFolder();

    /** True from the start of loading until its result is in the tree. */
    bool isLoading() const noexcept                          { return loading; }

    /** How far loading has got: the share of pack archives read, a conversion's presets within. */
    std::shared_ptr<ConversionProgress> getProgress() const  { return progress; }

    juce::File getPacksFolder() const;

    //==============================================================================
    /** A group node for every folder below packsFolder, nested as the folders
        are, each found among its parent's children by its label or made. */
    static void addFolderGroups (juce::ValueTree tree, const juce::File& packsFolder);

    /** The group of the folder holding file: tree for a file directly in
        packsFolder, else the deepest group its folders lead to. */
    static juce::ValueTree getGroupForFile (const juce::ValueTree& tree, const juce::File& packsFolder, const juce::File& file);

private:
    /** The folders (or the "*.xml" files) below packsFolder, sorted by path;
        links on disk are not followed, and a tree larger than any pack is cut. */
    static juce::Array<juce::File> listBelow (const juce::File& packsFolder, bool folders);

    void handleAsyncUpdate() override;
    void stopLoading();

    const ContentManager& content;
    const CapsBlock caps;
    const FirmwareVersion firmware;
    juce::ValueTree tree;   // the same node for the manager's life

    std::unique_ptr<LoadThread> loader;
    std::shared_ptr<ConversionProgress> progress;
    bool loading = false;

    std::mutex resultLock;
    bool loaderEnded = false;   // under resultLock, with what it built (invalid when stopped)
    juce::ValueTree result;

    JUCE_DECLARE_NON_COPYABLE (CloudArchiveManager)
};
