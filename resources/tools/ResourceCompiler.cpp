// Turns resources/resources.txt into the C++ sources of the embedded pictures:
// every SVG checked to parse, every PNG rendered from its SVG at the listed
// size, one byte array per resource and a table sorted by name hash. Any
// broken drawing, bad name or hash collision stops the build.
//
// resource_compiler <manifest> <output folder> <png folder>

#include "BinaryResourceHash.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <iostream>
#include <map>

namespace
{
    struct Resource
    {
        juce::String name;
        juce::File source;
        int width = 0, height = 0;   // 0: the SVG itself
        juce::MemoryBlock bytes;
    };

    int fail (const juce::String& message)
    {
        std::cerr << "resource_compiler: " << message << std::endl;
        return 1;
    }

    bool isIdentifier (const juce::String& name)
    {
        return name.isNotEmpty() && ! juce::CharacterFunctions::isDigit (name[0])
               && name.containsOnly ("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_");
    }

    juce::Image render (const juce::Drawable& drawing, int width, int height)
    {
        juce::Image image (juce::Image::ARGB, width, height, true);
        juce::Graphics g (image);
        drawing.drawWithin (g, { 0.0f, 0.0f, (float) width, (float) height }, juce::RectanglePlacement::centred, 1.0f);
        return image;
    }

    // A string literal keeps the bytes exact whether char is signed or not.
    juce::String literal (const juce::MemoryBlock& bytes)
    {
        juce::String out;
        out.preallocateBytes (bytes.getSize() * 4 + 64);
        out << '"';
        auto* data = static_cast<const unsigned char*> (bytes.getData());

        for (size_t i = 0; i < bytes.getSize(); ++i)
        {
            const auto c = data[i];

            if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\' && c != '?')
                out << (char) c;
            else
                out << '\\' << (char) ('0' + (c >> 6)) << (char) ('0' + ((c >> 3) & 7)) << (char) ('0' + (c & 7));

            if (i % 100 == 99)
                out << "\"\n\"";
        }

        return out + "\"";   // the literal adds a terminating zero, not counted in the size
    }

    bool replaceIfChanged (const juce::File& file, const juce::String& text)
    {
        if (file.existsAsFile() && file.loadFileAsString() == text)
            return true;

        return file.replaceWithText (text, false, false, "\n");
    }

    int compile (const juce::File& manifest, const juce::File& outputFolder, const juce::File& pngFolder)
    {
        std::vector<Resource> resources;
        std::map<std::uint32_t, juce::String> byHash;

        juce::StringArray lines;
        manifest.readLines (lines);

        for (int lineNumber = 0; lineNumber < lines.size(); ++lineNumber)
        {
            const auto line = lines[lineNumber].upToFirstOccurrenceOf ("#", false, false).trim();

            if (line.isEmpty())
                continue;

            auto fields = juce::StringArray::fromTokens (line, " \t", "");
            fields.removeEmptyStrings();
            const auto where = manifest.getFileName() + ":" + juce::String (lineNumber + 1) + ": ";

            if (fields.size() != 2 && fields.size() != 4)
                return fail (where + "expected a name, a drawing and optionally a width and a height");

            Resource r;
            r.name = fields[0];
            r.source = manifest.getParentDirectory().getChildFile (fields[1]);

            if (fields.size() == 4)
            {
                r.width = fields[2].getIntValue();
                r.height = fields[3].getIntValue();

                if (r.width <= 0 || r.height <= 0 || r.width > 4096 || r.height > 4096)
                    return fail (where + "bad size");
            }

            if (! isIdentifier (r.name))
                return fail (where + "'" + r.name + "' is not a C++ identifier");

            const auto hash = BinaryResources::hashName (r.name.toRawUTF8());

            if (byHash.count (hash) != 0)
                return fail (where + "'" + r.name + "' has the same hash as '" + byHash[hash] + "'");

            byHash[hash] = r.name;

            if (! r.source.loadFileAsData (r.bytes) || r.bytes.getSize() == 0)
                return fail (where + "cannot read " + r.source.getFullPathName());

            const auto drawing = juce::Drawable::createFromImageData (r.bytes.getData(), r.bytes.getSize());

            if (drawing == nullptr || drawing->getDrawableBounds().isEmpty())
                return fail (where + r.source.getFileName() + " is not a drawing");

            if (r.width > 0)
            {
                juce::MemoryOutputStream png;

                if (! juce::PNGImageFormat().writeImageToStream (render (*drawing, r.width, r.height), png))
                    return fail (where + "cannot encode " + r.name);

                r.bytes = png.getMemoryBlock();
                pngFolder.getChildFile (r.name + ".png").replaceWithData (r.bytes.getData(), r.bytes.getSize());
            }

            resources.push_back (std::move (r));
        }

        if (resources.empty())
            return fail ("no resources listed");

        juce::String header, data, names;
        header << "// Generated from resources/resources.txt by resource_compiler: do not edit.\n"
                  "#pragma once\n\n"
                  "namespace BinaryResources\n{\n"
                  "    namespace detail\n    {\n"
                  "        struct Entry { std::uint32_t hash; const char* data; int size; };\n"
                  "        extern const Entry table[];\n"
                  "        constexpr int tableSize = " << (int) resources.size() << ";\n"
                  "    }\n\n";

        data << "// Generated from resources/resources.txt by resource_compiler: do not edit.\n"
                "#include \"BinaryResources.h\"\n\n"
                "namespace BinaryResources\n{\n\n";

        for (auto& r : resources)
        {
            header << "    extern const char " << r.name << "[];\n"
                   << "    constexpr int " << r.name << "Size = " << (int) r.bytes.getSize() << ";\n";
            data << "const char " << r.name << "[] =\n" << literal (r.bytes) << ";\n\n";
        }

        header << "}\n";

        // The table and a compile-time check that the hashes are unique and match hashName.
        data << "namespace detail\n{\n\nconst Entry table[] =\n{\n";

        for (auto& [hash, name] : byHash)
            data << "    { 0x" << juce::String::toHexString ((juce::int64) hash) << "u, " << name << ", " << name << "Size },\n";

        data << "};\n\nstatic_assert (sizeof (table) / sizeof (table[0]) == tableSize);\n\n";

        for (auto& [hash, name] : byHash)
            data << "static_assert (hashName (\"" << name << "\") == 0x" << juce::String::toHexString ((juce::int64) hash) << "u);\n";

        data << "\n}\n}\n";

        names << "// Generated from resources/resources.txt by resource_compiler: do not edit.\n"
                 "#include \"BinaryResources.h\"\n\n"
                 "namespace BinaryResources\n{\n\nconst char* const namedResourceList[] =\n{\n";

        for (auto& r : resources)
            names << "    \"" << r.name << "\",\n";

        names << "};\n\nconst int namedResourceListSize = " << (int) resources.size() << ";\n\n}\n";

        if (! replaceIfChanged (outputFolder.getChildFile ("BinaryResourceData.h"), header)
            || ! replaceIfChanged (outputFolder.getChildFile ("BinaryResourceData.cpp"), data)
            || ! replaceIfChanged (outputFolder.getChildFile ("BinaryResourceNames.cpp"), names))
            return fail ("cannot write into " + outputFolder.getFullPathName());

        std::cout << "resource_compiler: " << resources.size() << " resources" << std::endl;
        return 0;
    }
}

int main (int argc, char** argv)
{
    if (argc != 4)
        return fail ("usage: resource_compiler <manifest> <output folder> <png folder>");

    const juce::ScopedJuceInitialiser_GUI juce;

    const juce::File outputFolder (juce::File::getCurrentWorkingDirectory().getChildFile (argv[2]));
    const juce::File pngFolder (juce::File::getCurrentWorkingDirectory().getChildFile (argv[3]));

    if (! outputFolder.createDirectory() || ! pngFolder.createDirectory())
        return fail ("cannot create the output folders");

    return compile (juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]), outputFolder, pngFolder);
}
