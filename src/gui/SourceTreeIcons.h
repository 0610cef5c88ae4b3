#pragma once

#include "model/SourceTree.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

/** The pictures of the source tree's nodes as drawables: the interface's
    side of SourceTree::chooseNodeIcon. */
namespace SourceTreeIcons
{
    /** A new icon for the node, owned by the caller; null when the node shows
        none. unitPicture is the connected unit's product picture; without one
        the unit's nodes show the built-in device icon. */
    std::unique_ptr<juce::Drawable> createNodeIcon (const juce::ValueTree& node, const juce::Image& unitPicture = {});

    /** A backup's picture as a new drawable; null for an empty picture. */
    std::unique_ptr<juce::Drawable> createDrawable (const DeviceDataArchive::Picture& picture);

    /** An embedded picture by name as a new drawable; null when there is none of that name. */
    std::unique_ptr<juce::Drawable> createResourceDrawable (const char* name);
}
