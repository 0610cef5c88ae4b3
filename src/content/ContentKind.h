#pragma once

/** The kinds of content a product publishes, numbered as the catalogue has
    always numbered them. */
enum class ContentKind : int
{
    masterDescriptor = 0,
    variantPicture   = 1,
    capsDocument     = 2,
    firmwareList     = 3,
    conversionRules  = 4,
    presetPack       = 5
};
