#pragma once

#include "model/DataSet.h"
#include "model/SourceTreeIds.h"

#include <juce_data_structures/juce_data_structures.h>

/** The tree of every source of device data the data page shows: the
    connected unit, the local backups and the cloud. A juce::ValueTree whose
    leaves ("node") hold a DataSet in their "data" property; containers are
    "root", "category", "sub-category" and "group". Node ids come from one
    counter of the process and are never stored. Message thread only, but
    for trees that a worker builds before handing them over. */
class SourceTree
{
public:
    //==============================================================================
    /** A new node of the type with the next id and the label. */
    static juce::ValueTree createNode (const juce::Identifier& type, const juce::String& label);

    /** A "node" holding the data set. */
    static juce::ValueTree createDataNode (const juce::String& label, DataSet::Ptr dataSet);

    /** A "node" labelled with the backup's title, holding a data set that takes the backup. */
    static juce::ValueTree addArchiveNode (std::unique_ptr<DeviceDataArchive> archive);

    static juce::ValueTree createDeviceCategory (const juce::String& label);
    static juce::ValueTree createBackupsCategory();
    static juce::ValueTree createCloudCategory();

    /** "Root Node" with the device category (labelled with the unit's name),
        "Backups" and, when the catalogue came from the server, "Cloud". */
    static juce::ValueTree createRoot (const juce::String& deviceLabel, bool withCloud);

    //==============================================================================
    /** The data set in the node's "data" property; null when there is none. */
    static DataSet* getDataSet (const juce::ValueTree& node);

    /** The working copy of the node's data set; null when there is none. */
    static DeviceData* getDeviceData (const juce::ValueTree& node);

    /** The backup of the node's data set; null when there is none. */
    static DeviceDataArchive* getArchive (const juce::ValueTree& node);

    //==============================================================================
    /** The first child whose "category" is the value; invalid when none. */
    static juce::ValueTree findChildWithCategory (const juce::ValueTree& parent, const juce::var& value);

    /** The category child of the root, or with a sub-category its child of
        that "sub-category" ("upload-folder" is looked for inside "user"). */
    static juce::ValueTree findNode (const juce::ValueTree& root, const juce::String& category,
                                     const juce::String& subCategory = {});

    static juce::ValueTree getDeviceCategoryNode (const juce::ValueTree& root);

    /** The "category" of the category node that holds the node (or is it) and
        the "sub-category" of the sub-category below it that holds the node;
        void values where there is none. Inside the upload folder of "user",
        the sub-category is "upload-folder". */
    struct Category
    {
        juce::var category;
        juce::var subCategory;
    };

    static Category getCategoryOf (const juce::ValueTree& node);

    /** Neither a unit's nor a backup, nor in the upload folder. */
    static bool isUserNode (const juce::ValueTree& node);

    /** The labels from the node's category down to its parent, joined by " - ";
        empty for a node under no category. */
    static juce::String getLocationText (const juce::ValueTree& root, const juce::ValueTree& node);

    /** Adds the children that hold data to dataCount and the containers among
        the others to containerCount; with recursive, all the way down. */
    static void countNodes (const juce::ValueTree& node, int& dataCount, int& containerCount, bool recursive);

    /** Appends every "node" at or below the node, each once. */
    static void collectNodes (const juce::ValueTree& node, juce::Array<juce::ValueTree>& list);

    /** The node's label as lists show it: among the "node"s at or below the
        scope, in their order, a label met before gets " - 2", " - 3"... Plain
        for a node outside the scope. */
    static juce::String makeUniqueLabel (const juce::ValueTree& scope, const juce::ValueTree& node);

    /** The unique labels of nodes listed together, in their order. */
    static juce::StringArray makeUniqueLabels (const juce::Array<juce::ValueTree>& nodes);

    /** New ids for the node and all below it, and for every "node" a copy of
        its data set: for a subtree just duplicated. */
    static void renumber (juce::ValueTree node);

    /** Marks the listed presets of the working copy modified exactly when
        they differ from the origin, then clears the copy's flags when nothing
        is left modified and both agree on having a setup. */
    static void refreshNode (const juce::ValueTree& node, const juce::Array<int>& indices);

    //==============================================================================
    /** Which picture a node shows; the interface draws it. */
    struct NodeIcon
    {
        enum class Kind
        {
            none,
            unitPicture,     // the connected unit's product picture, else the resource
            archivePicture,  // the backup's own picture
            resource         // an embedded picture by name
        };

        Kind kind = Kind::none;
        const char* resourceName = nullptr;
        const DeviceDataArchive* archive = nullptr;
    };

    static NodeIcon chooseNodeIcon (const juce::ValueTree& node);

    /** The embedded picture for a user of that name. */
    static const char* getUserPictureName (const juce::String& userName);

    /** The embedded picture of a user without a name. */
    static const char* getDefaultUserPictureName();

    //==============================================================================
    /** The last id handed out (tests only). */
    static int getLastNodeId();
};
