#include "gui/SourceTreeIcons.h"

#include "resources/BinaryResources.h"

namespace
{
    std::unique_ptr<juce::Drawable> drawableOf (const juce::Image& image)
    {
        if (! image.isValid())
            return nullptr;

        auto drawable = std::make_unique<juce::DrawableImage>();
        drawable->setImage (image);
        return drawable;
    }
}

std::unique_ptr<juce::Drawable> SourceTreeIcons::createResourceDrawable (const char* name)
{
    int size = 0;
    const auto* data = BinaryResources::getNamedResource (name, size);
    return data != nullptr ? juce::Drawable::createFromImageData (data, (size_t) size) : nullptr;
}

std::unique_ptr<juce::Drawable> SourceTreeIcons::createDrawable (const DeviceDataArchive::Picture& picture)
{
    if (picture.isDrawing())
        return juce::Drawable::createFromImageData (picture.svgData, (size_t) picture.svgSize);

    return drawableOf (picture.image);
}

std::unique_ptr<juce::Drawable> SourceTreeIcons::createNodeIcon (const juce::ValueTree& node, const juce::Image& unitPicture)
{
    using Kind = SourceTree::NodeIcon::Kind;
    const auto icon = SourceTree::chooseNodeIcon (node);

    switch (icon.kind)
    {
        case Kind::unitPicture:
            if (auto drawable = drawableOf (unitPicture))
                return drawable;

            return createResourceDrawable (icon.resourceName);

        case Kind::archivePicture:  return createDrawable (icon.archive->getImage());
        case Kind::resource:        return createResourceDrawable (icon.resourceName);
        case Kind::none:            break;
    }

    return nullptr;
}
