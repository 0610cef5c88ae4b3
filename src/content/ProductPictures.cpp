#include "content/ProductPictures.h"

#include "content/ContentReader.h"
#include "model/FileBytes.h"

namespace
{
    // A small card for products without a picture of their own.
    juce::Image makeDefaultPicture()
    {
        juce::Image image (juce::Image::ARGB, 64, 48, true);
        juce::Graphics g (image);
        g.setColour (juce::Colour (0xff97abbc));
        g.fillRoundedRectangle (4.0f, 4.0f, 56.0f, 40.0f, 6.0f);
        g.setColour (juce::Colour (0xff42545e));
        g.fillEllipse (24.0f, 16.0f, 16.0f, 16.0f);
        return image;
    }

    juce::Image decode (const juce::MemoryBlock& data)
    {
        return ContentReader::decodePicture (data);
    }

    juce::Image loadFile (const juce::String& path)
    {
        juce::MemoryBlock data;

        if (! juce::File::isAbsolutePath (path) || ! FileBytes::readWhole (juce::File (path), data, platform::DownloadPolicy::maxPictureBytes))
            return {};

        return decode (data);
    }
}

ProductPictures::ProductPictures (ProductTable& table, std::atomic<juce::int64>& counter)
    : products (table), bytesReceived (counter), defaultPicture (makeDefaultPicture())
{
}

juce::Image ProductPictures::get (int productId, const juce::String& displayName) const
{
    const auto picture = products.with (productId, [&displayName] (const ProductRecord* r)
    {
        if (r == nullptr || r->pictures.isEmpty())
            return juce::Image();

        auto index = r->variantPictureIndex[displayName].getIntValue();

        if (index < 0 || index >= r->pictures.size())
            index = 0;

        return r->pictures[index];
    });

    return picture.isValid() ? picture : defaultPicture;
}

bool ProductPictures::load (int productId, bool download, bool refetch, ContentReader::Turn* turn)
{
    auto addresses = [this, productId] (int* held)
    {
        return products.with (productId, [held] (const ProductRecord* r)
        {
            if (held != nullptr)
                *held = r != nullptr ? r->pictures.size() : 0;

            return r != nullptr ? r->pictureUrls : juce::StringArray();
        });
    };

    auto decodes = [] (const juce::MemoryBlock& body, const juce::String&) { return decode (body).isValid(); };
    bool ok = true, fetched = false;

    if (download)
    {
        const auto urls = addresses (nullptr);

        // A variant without a picture of its own has the stand-in: nothing to fetch.
        for (int i = 0; i < urls.size(); ++i)
        {
            if (urls[i].trim().isEmpty())
                continue;

            const auto path = products.getLocalFile (productId, ContentKind::variantPicture, i, true);
            // A pipe, an outsized file or one that is no picture in its place is fetched again too.
            const auto missing = ! juce::File::isAbsolutePath (path)
                              || FileBytes::kindOf (juce::File (path), platform::DownloadPolicy::maxPictureBytes) != FileBytes::Kind::regular
                              || ! loadFile (path).isValid();

            if (missing || refetch)
            {
                ok &= ContentReader::writeUrlToFile (urls[i], path, true, &bytesReceived, nullptr, platform::DownloadPolicy::maxPictureBytes, decodes, turn);
                fetched = true;
            }
        }
    }

    // Whoever stores last has read the files last: a unit's request that read
    // the cache before a download replaced a picture cannot put the old one back.
    const std::lock_guard<std::mutex> reading (readLock);
    int held = 0;
    const auto urls = addresses (&held);

    // Every address's picture was read from the cache already: with nothing
    // fetched since, reading them again would bring the same.
    if (download && ! fetched && held == urls.size())
        return ok;

    juce::Array<juce::Image> pictures;

    for (int i = 0; i < urls.size(); ++i)
    {
        const auto picture = loadFile (products.getLocalFile (productId, ContentKind::variantPicture, i, false));
        pictures.add (picture.isValid() ? picture : defaultPicture);
    }

    products.with (productId, [&pictures] (ProductRecord* r)
    {
        if (r != nullptr)
            r->pictures = pictures;
    });

    return ok;
}
