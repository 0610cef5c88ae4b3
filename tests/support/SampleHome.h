#pragma once

// A private home with the sample content, offline: for the benchmarks and
// the fuzz targets, which run without the test main.

#include "base/BelvoraPaths.h"

#include <juce_core/juce_core.h>

#include <cstdlib>

namespace SampleHome
{
    /** The sample content of the local server (tests/data/content). */
    inline juce::File sampleContent()
    {
        // An absolute path from the build: __FILE__ is relative when ccache rewrites paths.
        return juce::File (BELVORA_TEST_DATA_DIR).getChildFile ("content/Belvora2");
    }

    /** The sample master descriptor in the data folder of the home in use. */
    inline void copyMasterDescriptor()
    {
        const juce::File data (BelvoraPaths::getUserDataFolder());
        data.createDirectory();
        sampleContent().getChildFile ("masterDescriptor.xml").copyFileTo (data.getChildFile ("masterDescriptor.xml"));
    }

    /** A private home in the temporary folder, made afresh (HOME and
        XDG_CONFIG_HOME, no server), whose data folder holds the sample master
        descriptor. The caller removes it. */
    inline juce::File makePrivateHome (const juce::String& name)
    {
        auto home = juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile (name);
        home.deleteRecursively();
        home.createDirectory();
        ::setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
        ::setenv ("XDG_CONFIG_HOME", home.getChildFile (".config").getFullPathName().toRawUTF8(), 1);
        ::setenv ("BELVORA_CONTENT_URL", "http://127.0.0.1:9/Belvora2", 1);
        copyMasterDescriptor();
        return home;
    }

    /** A sample product's documents and conversion scripts in its data folder,
        as a download would have left them; serverFolder is its folder on the server. */
    inline juce::File copySampleProduct (const juce::String& serverFolder, const juce::String& productName)
    {
        const auto source = sampleContent().getChildFile (serverFolder);
        const auto product = juce::File (BelvoraPaths::getUserDataFolder()).getChildFile (productName);
        product.getChildFile ("js").createDirectory();

        for (auto name : { "caps.xml", "firmware.xml", "rules.xml" })
            source.getChildFile (name).copyFileTo (product.getChildFile (name));

        source.getChildFile ("js").copyDirectoryTo (product.getChildFile ("js"));
        return product;
    }
}
