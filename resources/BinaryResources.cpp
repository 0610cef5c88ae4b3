#include "BinaryResources.h"

#include <algorithm>
#include <cstring>

namespace BinaryResources
{

const void* getNamedResource (const char* name, int& size) noexcept
{
    size = 0;

    if (name == nullptr || *name == 0)
        return nullptr;

    const auto hash = hashName (name);
    const auto* end = detail::table + detail::tableSize;
    const auto* found = std::lower_bound (detail::table, end, hash,
                                          [] (const detail::Entry& e, std::uint32_t h) { return e.hash < h; });

    if (found == end || found->hash != hash)
        return nullptr;

    size = found->size;
    return found->data;
}

LinkedPicture findLinkedPicture (const char* link) noexcept
{
    if (link == nullptr || link[0] != '*' || link[1] == 0)
        return {};

    const char* name = link + 1;
    const auto length = std::strlen (name);
    LinkedPicture result;

    // Names are short identifiers; a longer one cannot be ours.
    char svgName[256];

    if (length >= 3 && length < sizeof (svgName) && std::strcmp (name + length - 3, "png") == 0)
    {
        std::memcpy (svgName, name, length - 3);
        std::memcpy (svgName + length - 3, "svg", 4);

        if ((result.data = getNamedResource (svgName, result.size)) != nullptr)
        {
            result.isSvg = true;
            return result;
        }
    }

    result.data = getNamedResource (name, result.size);
    return result;
}

}
