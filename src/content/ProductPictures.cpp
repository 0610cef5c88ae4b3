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

        if (! juce::File::isAbsolutePath (path) || ! FileBytes::readWhole (juce::File (path), data, ProductPictures::maxPictureBytes))
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

bool ProductPictures::load (int productId, bool download, bool refetch)
{
    juce::StringArray urls;
    int held = 0;

    products.with (productId, [&] (const ProductRecord* r)
    {
        if (r != nullptr)
        {
            urls = r->pictureUrls;
            held = r->pictures.size();
        }
    });

    auto decodes = [] (const juce::MemoryBlock& body) { return decode (body).isValid(); };
    juce::StringArray paths;
    bool ok = true, fetched = false;

    for (int i = 0; i < urls.size(); ++i)
    {
        const auto path = products.getLocalFile (productId, ContentKind::variantPicture, i, download);
        // A pipe or an outsized file in its place is fetched again too.
        const auto missing = ! juce::File::isAbsolutePath (path)
                          || FileBytes::kindOf (juce::File (path), maxPictureBytes) != FileBytes::Kind::regular;

        if (download && (missing || refetch))
        {
            ok &= ContentReader::writeUrlToFile (urls[i], path, true, &bytesReceived, nullptr, maxPictureBytes, decodes);
            fetched = true;
        }

        paths.add (path);
    }

    // Every address's picture was read from the cache already: with nothing
    // fetched since, reading them again would bring the same.
    if (download && ! fetched && held == urls.size())
        return ok;

    juce::Array<juce::Image> pictures;

    for (const auto& path : paths)
    {
        const auto picture = loadFile (path);
        pictures.add (picture.isValid() ? picture : defaultPicture);
    }

    products.with (productId, [&pictures] (ProductRecord* r)
    {
        if (r != nullptr)
            r->pictures = pictures;
    });

    return ok;
}
