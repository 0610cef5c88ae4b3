#include "model/SourceTree.h"

#include <atomic>

using namespace SourceTreeIds;

namespace
{
    std::atomic<int> lastNodeId { 0 };

    bool isContainer (const juce::ValueTree& node)
    {
        const auto type = node.getType();
        return type == root || type == category || type == subCategory || type == group;
    }

    /** The node and its ancestors, the node first. */
    juce::Array<juce::ValueTree> chainOf (const juce::ValueTree& node)
    {
        juce::Array<juce::ValueTree> chain;

        for (auto n = node; n.isValid(); n = n.getParent())
            chain.add (n);

        return chain;
    }

    int indexOfCategoryNode (const juce::Array<juce::ValueTree>& chain)
    {
        for (int i = 0; i < chain.size(); ++i)
            if (chain.getReference (i).hasType (category))
                return i;

        return -1;
    }
}

//==============================================================================
juce::ValueTree SourceTree::createNode (const juce::Identifier& type, const juce::String& label)
{
    juce::ValueTree node (type);
    node.setProperty (id, ++lastNodeId, nullptr);
    node.setProperty (SourceTreeIds::label, label, nullptr);
    return node;
}

int SourceTree::getLastNodeId()
{
    return lastNodeId.load();
}

juce::ValueTree SourceTree::createDataNode (const juce::String& label, DataSet::Ptr dataSet)
{
    auto n = createNode (node, label);
    n.setProperty (data, juce::var (dataSet.get()), nullptr);
    return n;
}

juce::ValueTree SourceTree::addArchiveNode (std::unique_ptr<DeviceDataArchive> archive)
{
    if (archive == nullptr)
        return {};

    const auto title = archive->getTitle();
    return createDataNode (title, new DataSet (std::move (archive)));
}

juce::ValueTree SourceTree::createDeviceCategory (const juce::String& label)
{
    auto n = createNode (category, label);
    n.setProperty (categoryProp, deviceCategory, nullptr);
    return n;
}

juce::ValueTree SourceTree::createBackupsCategory()
{
    auto n = createNode (category, "Backups");
    n.setProperty (categoryProp, archiveCategory, nullptr);
    return n;
}

juce::ValueTree SourceTree::createCloudCategory()
{
    auto n = createNode (category, "Cloud");
    n.setProperty (categoryProp, cloudCategory, nullptr);
    return n;
}

juce::ValueTree SourceTree::createRoot (const juce::String& deviceLabel, bool withCloud)
{
    auto r = createNode (root, "Root Node");
    r.appendChild (createDeviceCategory (deviceLabel), nullptr);
    r.appendChild (createBackupsCategory(), nullptr);

    if (withCloud)
        r.appendChild (createCloudCategory(), nullptr);

    return r;
}

//==============================================================================
DataSet* SourceTree::getDataSet (const juce::ValueTree& node)
{
    return dynamic_cast<DataSet*> (node.getProperty (data).getObject());
}

DeviceData* SourceTree::getDeviceData (const juce::ValueTree& node)
{
    auto* set = getDataSet (node);
    return set != nullptr ? set->getWorkingData() : nullptr;
}

DeviceDataArchive* SourceTree::getArchive (const juce::ValueTree& node)
{
    auto* set = getDataSet (node);
    return set != nullptr ? set->getArchive() : nullptr;
}

//==============================================================================
juce::ValueTree SourceTree::findChildWithCategory (const juce::ValueTree& parent, const juce::var& value)
{
    return parent.getChildWithProperty (categoryProp, value);
}

juce::ValueTree SourceTree::findNode (const juce::ValueTree& rootNode, const juce::String& categoryValue, const juce::String& subCategoryValue)
{
    const auto categoryNode = findChildWithCategory (rootNode, categoryValue);

    if (subCategoryValue.isEmpty() || ! categoryNode.isValid())
        return categoryNode;

    if (subCategoryValue == uploadFolder)
        return categoryNode.getChildWithProperty (subCategoryProp, userSubCategory)
                           .getChildWithProperty (subCategoryProp, uploadFolder);

    return categoryNode.getChildWithProperty (subCategoryProp, subCategoryValue);
}

juce::ValueTree SourceTree::getDeviceCategoryNode (const juce::ValueTree& rootNode)
{
    return findNode (rootNode, deviceCategory);
}

SourceTree::Category SourceTree::getCategoryOf (const juce::ValueTree& node)
{
    const auto chain = chainOf (node);
    const auto at = indexOfCategoryNode (chain);
    Category result;

    if (at < 0)
        return result;

    result.category = chain.getReference (at).getProperty (categoryProp);

    // The sub-category right below the category, and the upload folder inside "user".
    if (at >= 1 && chain.getReference (at - 1).hasType (subCategory))
    {
        result.subCategory = chain.getReference (at - 1).getProperty (subCategoryProp);

        if (result.subCategory == juce::var (userSubCategory) && at >= 2
            && chain.getReference (at - 2).getProperty (subCategoryProp) == juce::var (uploadFolder))
            result.subCategory = uploadFolder;
    }

    return result;
}

bool SourceTree::isUserNode (const juce::ValueTree& node)
{
    const auto where = getCategoryOf (node);

    return where.category != juce::var (deviceCategory) && where.category != juce::var (archiveCategory)
        && where.subCategory != juce::var (uploadFolder);
}

juce::String SourceTree::getLocationText (const juce::ValueTree& rootNode, const juce::ValueTree& node)
{
    const auto chain = chainOf (node);
    const auto at = indexOfCategoryNode (chain);
    juce::StringArray labels;

    if (at < 1 || (rootNode.isValid() && ! node.isAChildOf (rootNode)))
        return {};

    for (int i = at; i >= 1; --i)
        labels.add (chain.getReference (i).getProperty (label).toString());

    return labels.joinIntoString (" - ");
}

void SourceTree::countNodes (const juce::ValueTree& node, int& dataCount, int& containerCount, bool recursive)
{
    for (const auto& child : node)
    {
        if (child.hasProperty (data))
            ++dataCount;
        else if (isContainer (child))
            ++containerCount;

        if (recursive)
            countNodes (child, dataCount, containerCount, true);
    }
}

void SourceTree::collectNodes (const juce::ValueTree& node, juce::Array<juce::ValueTree>& list)
{
    if (node.hasType (SourceTreeIds::node))
        list.addIfNotAlreadyThere (node);

    for (const auto& child : node)
        collectNodes (child, list);
}

juce::StringArray SourceTree::makeUniqueLabels (const juce::Array<juce::ValueTree>& nodes)
{
    juce::StringArray labels;

    for (const auto& n : nodes)
    {
        const auto base = n[label].toString();
        auto text = base;

        for (int i = 2; labels.contains (text); ++i)
            text = base + " - " + juce::String (i);

        labels.add (text);
    }

    return labels;
}

juce::String SourceTree::makeUniqueLabel (const juce::ValueTree& scope, const juce::ValueTree& node)
{
    juce::Array<juce::ValueTree> nodes;
    collectNodes (scope, nodes);
    const auto at = nodes.indexOf (node);

    if (at < 0)
        return node[label].toString();

    nodes.resize (at + 1);
    return makeUniqueLabels (nodes)[at];
}

void SourceTree::renumber (juce::ValueTree node)
{
    node.setProperty (id, ++lastNodeId, nullptr);

    if (node.hasType (SourceTreeIds::node))
        if (auto* set = getDataSet (node))
            node.setProperty (data, juce::var (new DataSet (*set)), nullptr);

    for (auto child : node)
        renumber (child);
}

void SourceTree::refreshNode (const juce::ValueTree& node, const juce::Array<int>& indices)
{
    auto* set = getDataSet (node);

    if (set == nullptr || ! set->hasWorkingData())
        return;

    const auto* origin = set->getDeviceData();
    auto* working = set->getWorkingData();

    if (origin == nullptr)
        return;

    for (auto slot : indices)
    {
        const auto* before = origin->getPreset (slot);
        const auto* after = working->getPreset (slot);

        if (before == nullptr || after == nullptr)
            continue;

        const bool differs = before->getMD5() != after->getMD5();

        if (after->isModified() != differs)
            working->setPresetModified (slot, differs);
    }

    if (origin->getSetup().isComplete() == working->getSetup().isComplete())
        working->clearModified (true);
}

//==============================================================================
const char* SourceTree::getUserPictureName (const juce::String& userName)
{
    if (userName == "Marrowell")
        return "user_picture_maker_png";

    if (userName == "Belvora Team")
        return "user_picture_team_png";

    return "user_picture_other_png";
}

const char* SourceTree::getDefaultUserPictureName()
{
    return "user_picture_default_png";
}

SourceTree::NodeIcon SourceTree::chooseNodeIcon (const juce::ValueTree& node)
{
    using Kind = NodeIcon::Kind;
    auto resource = [] (const char* name) { return NodeIcon { Kind::resource, name, nullptr }; };

    const auto where = getCategoryOf (node);
    const auto isOwnCategory = node.hasType (category);

    if (where.category == juce::var (deviceCategory))
        return { Kind::unitPicture, "tree_device_svg", nullptr };

    if (node.hasProperty (data))
    {
        if (const auto* archive = getArchive (node))
            return archive->getImage().isEmpty() ? NodeIcon() : NodeIcon { Kind::archivePicture, nullptr, archive };

        return resource ("tree_unknown_data_svg");
    }

    if (where.category == juce::var (archiveCategory))
    {
        if (isOwnCategory)
            return resource ("backups_svg");

        return node.hasType (group) ? resource ("tree_folder_svg") : NodeIcon();
    }

    if (where.subCategory == juce::var (mwdSubCategory))
        return resource ("tree_device_svg");

    if (where.subCategory == juce::var (userSubCategory))
        return resource (getDefaultUserPictureName());

    if (where.subCategory == juce::var (uploadFolder))
        return resource ("tree_upload_folder_svg");

    if (where.subCategory == juce::var (followingSubCategory))
    {
        if (node.hasType (subCategory))
            return resource ("tree_following_svg");

        return resource (getUserPictureName (node.getProperty (label).toString()));
    }

    if (where.category == juce::var (cloudCategory))
        return resource ("cloud_svg");

    return {};
}
