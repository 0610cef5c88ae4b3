#pragma once

#include <juce_core/juce_core.h>

/** The pooled names of the source tree's node types and properties, and the
    values its category properties take, made once per process. */
namespace SourceTreeIds
{
    // Node types
    inline const juce::Identifier root        { "root" };
    inline const juce::Identifier category    { "category" };
    inline const juce::Identifier subCategory { "sub-category" };
    inline const juce::Identifier group       { "group" };
    inline const juce::Identifier node        { "node" };

    // Properties
    inline const juce::Identifier id             { "id" };
    inline const juce::Identifier data           { "data" };
    inline const juce::Identifier categoryProp   { "category" };
    inline const juce::Identifier subCategoryProp{ "sub-category" };
    inline const juce::Identifier label          { "label" };
    inline const juce::Identifier selectionList  { "selection-list" };
    inline const juce::Identifier viewportOffset { "viewport-offset" };

    // Values of "category"
    inline constexpr const char* deviceCategory  = "device";
    inline constexpr const char* archiveCategory = "archive";
    inline constexpr const char* cloudCategory   = "cloud";

    // Values of "sub-category"
    inline constexpr const char* userSubCategory      = "user";
    inline constexpr const char* uploadFolder         = "upload-folder";
    inline constexpr const char* followingSubCategory = "following";
    inline constexpr const char* mwdSubCategory       = "mwd";
}
