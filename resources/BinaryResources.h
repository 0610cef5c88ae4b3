#pragma once

#include "BinaryResourceHash.h"

/** The pictures compiled into the program (resources/resources.txt lists them).
    Code that always needs one picture uses its array directly, e.g.
    BinaryResources::tick_svg and BinaryResources::tick_svgSize; code that knows
    a picture only by a name made at run time looks it up here. Lookups hash the
    name and never allocate or touch the disk. */
namespace BinaryResources
{
    /** The resource of that name and its size in bytes; null and size 0 for a
        null, empty or unknown name. Only the hash is compared, so another name
        with the same hash finds the same resource. */
    const void* getNamedResource (const char* name, int& size) noexcept;

    /** What an image link of the form "*name" stands for. */
    struct LinkedPicture
    {
        const void* data = nullptr;
        int size = 0;
        bool isSvg = false;   // the "svg" variant was found: make a drawable, not an image
    };

    /** The embedded picture a link names: for a name ending in "png" the same name
        ending in "svg" first, then the name itself (to be decoded as an image).
        Nothing for a link without the leading '*' or for plain "*", which stands
        for the default picture. */
    LinkedPicture findLinkedPicture (const char* link) noexcept;

    /** Every resource name, for tests and the screen gallery only: the program
        itself keeps just the hashes (link belvora_resource_names to get these). */
    extern const char* const namedResourceList[];
    extern const int namedResourceListSize;
}

#include "BinaryResourceData.h"
