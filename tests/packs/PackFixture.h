#pragma once

#include "archive/BackupFixture.h"
#include "archive/CloudArchiveManager.h"
#include "content/ContentReader.h"
#include "content/PresetPacks.h"

#include <juce_cryptography/juce_cryptography.h>

/** The sample Vesper's content served locally and downloaded, its preset pack
    unpacked into the "packs" folder: Starter (build 140) with Live inside it
    (build 120), Studio/Deep (build 140, a picture file beside it) and
    welcome directly in "packs" (build 120). */
class PackFixture : public BackupFixture
{
protected:
    void TearDown() override
    {
        cloud.reset();
        BackupFixture::TearDown();
    }

    static juce::File packs()   { return juce::File (BelvoraPaths::getPacksFolder ("Vesper")); }

    /** The sample Vesper pack unpacked into folder, as the maker's source of a pack. */
    static bool unpackSamplePack (const juce::File& folder)
    {
        return ContentReader::unpackZip (contentRoot().getChildFile ("Belvora2/Vesper/packs/vesper_presets.zip"), folder,
                                         platform::DownloadPolicy::maxUnpackedBytes, platform::DownloadPolicy::maxPackEntries, platform::DownloadPolicy::maxUnpackRatio, nullptr);
    }

    /** The Cloud tree of a Vesper at the build, loaded to its end. */
    CloudArchiveManager& loadCloud (int build)
    {
        cloud.reset();
        cloud = std::make_unique<CloudArchiveManager> (*catalogue, capsAt (build), versionOf (build));
        EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([this] { return ! cloud->isLoading(); }, 60000));
        return *cloud;
    }

    juce::String describeCloud() const   { return describe (cloud->getTree()); }

    /** The archive node of that title in the Cloud tree; invalid when there is none. */
    juce::ValueTree findNode (const juce::String& title) const
    {
        juce::Array<juce::ValueTree> nodes;
        SourceTree::collectNodes (cloud->getTree(), nodes);

        for (const auto& node : nodes)
            if (node[SourceTreeIds::label].toString() == title)
                return node;

        return {};
    }

    /** A zip of the sample tree with "${SERVER}" in its entries made the
        server's address, as the server does for the documents it serves. */
    juce::MemoryBlock servedZip (const juce::File& zip) const
    {
        juce::ZipFile source (zip);
        juce::ZipFile::Builder builder;

        for (int i = 0; i < source.getNumEntries(); ++i)
        {
            std::unique_ptr<juce::InputStream> in (source.createStreamForEntry (i));
            juce::MemoryBlock bytes;
            in->readIntoMemoryBlock (bytes);
            const auto& name = source.getEntry (i)->filename;

            if (name.endsWithIgnoreCase (".xml"))
            {
                const auto text = bytes.toString().replace ("${SERVER}", server.getBaseUrl());
                bytes.replaceAll (text.toRawUTF8(), text.getNumBytesAsUTF8());
            }

            builder.addEntry (new juce::MemoryInputStream (bytes, true), 9, name, source.getEntry (i)->fileTime);
        }

        juce::MemoryOutputStream out;
        builder.writeToStream (out, nullptr);
        return out.getMemoryBlock();
    }

    /** Serves the zip as Vesper's pack under a new stamp, and downloads it. */
    bool downloadPack (const juce::MemoryBlock& zip)
    {
        LocalServer::Answer answer;
        answer.body.assign (static_cast<const char*> (zip.getData()), zip.getSize());
        server.setAnswer ("/Belvora2/Vesper/packs/vesper_presets.zip", answer);
        return catalogue->downloadPresetPack (vesper, &worker);
    }

    static juce::File hostile (const char* name)
    {
        return contentRoot().getChildFile ("Belvora2/Hostile").getChildFile (name);
    }

    /** Every file below the folder with its content's checksum. */
    static juce::String fingerprint (const juce::File& folder)
    {
        juce::StringArray lines;

        for (const auto& file : folder.findChildFiles (juce::File::findFiles, true, "*", juce::File::FollowSymlinks::no))
            lines.add (file.getRelativePathFrom (folder) + " " + juce::MD5 (file).toHexString());

        lines.sort (false);
        return lines.joinIntoString ("\n");
    }

    std::unique_ptr<CloudArchiveManager> cloud;
};
