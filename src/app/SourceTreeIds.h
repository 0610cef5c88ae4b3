#pragma once

#include <juce_core/juce_core.h>

/** The pooled names of the source tree's node types and properties, made once per process. */
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
}
