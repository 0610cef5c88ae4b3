// Renders every registered screen at UI scales 1 and 2 into PNG files with an
// index page, and checks that each state at scale 2 is its scale-1 picture twice
// as large. Usage: belvora_gallery <output folder> [name filter]
//        belvora_gallery --check <output folder> [name filter]   (the check alone, on pictures rendered before)

#include "gallery/Gallery.h"
#include "gallery/ScaleCheck.h"
#include "gallery/TextFit.h"
#include "gui/Palette.h"
#include "support/LocalServer.h"
#include "support/TestEnvironment.h"

#include <cstdlib>
#include <iostream>
#include <numeric>

namespace Gallery
{

std::vector<Screen>& screens()
{
    static std::vector<Screen> all;
    return all;
}

static juce::Array<TextFit::Finding> checkedWhileShown;

void checkText (juce::Component& shown)
{
    checkedWhileShown.addArray (TextFit::check (shown));
}

Sheet::Sheet (BVLookAndFeel& laf)
    : s (laf.getScale()), gap (px (laf, 12.0f)), x (gap), y (gap)
{
}

void Sheet::row (const juce::String& caption)
{
    if (! children.empty() || ! captions.empty())
        y += rowHeight + gap;

    x = gap;
    rowHeight = 0;
    captions.push_back ({ caption, { gap, y } });
    y += juce::roundToInt (18.0f * s);
}

juce::Component& Sheet::add (std::unique_ptr<juce::Component> child, int width, int height)
{
    child->setBounds (x, y, width, height);
    addAndMakeVisible (*child);
    x += width + gap;
    widest = juce::jmax (widest, x);
    rowHeight = juce::jmax (rowHeight, height);
    children.push_back (std::move (child));
    return *children.back();
}

std::unique_ptr<juce::Component> Sheet::finish (std::unique_ptr<Sheet> self)
{
    setSize (juce::jmax (widest, juce::roundToInt (420.0f * s)), y + rowHeight + gap);
    return self;
}

void Sheet::paint (juce::Graphics& g)
{
    g.fillAll (Palette::backgroundColour);
    g.setColour (Palette::textColour);
    g.setFont (BVLookAndFeel::makeFont (13.0f * s, juce::Font::bold));

    for (auto& [caption, at] : captions)
        g.drawText (caption, at.x, at.y, getWidth() - 2 * gap, juce::roundToInt (16.0f * s), juce::Justification::centredLeft);
}

}

namespace
{
    juce::String slug (const juce::String& name)
    {
        return name.toLowerCase().retainCharacters ("abcdefghijklmnopqrstuvwxyz0123456789 /-").replaceCharacters (" /", "--");
    }

    /** The picture with a red frame around each text that does not fit. */
    void keepPictureOfFaults (juce::Image image, const juce::Array<TextFit::Finding>& faults, const juce::File& file)
    {
        image = image.convertedToFormat (juce::Image::ARGB);
        {
            juce::Graphics g (image);
            g.setColour (juce::Colours::red);

            for (auto& fault : faults)
                g.drawRect (fault.box.expanded (2), 2);
        }

        file.getParentDirectory().createDirectory();
        file.deleteFile();
        juce::FileOutputStream out (file);

        if (out.openedOk())
            juce::PNGImageFormat().writeImageToStream (image, out);
    }

    struct Rendered
    {
        bool ok = false;
        juce::StringArray textFaults;
    };

    Rendered render (const Gallery::Screen& screen, float scale, const juce::File& file, juce::String& textReport)
    {
        BVLookAndFeel laf (scale);
        juce::LookAndFeel::setDefaultLookAndFeel (&laf);

        Rendered result;
        {
            Gallery::checkedWhileShown.clear();
            auto component = screen.make (laf);

            if (component != nullptr && ! component->getLocalBounds().isEmpty())
            {
                const auto image = component->createComponentSnapshot (component->getLocalBounds(), true, 1.0f);
                file.deleteFile();
                juce::FileOutputStream out (file);
                result.ok = out.openedOk() && juce::PNGImageFormat().writeImageToStream (image, out);

                auto findings = Gallery::checkedWhileShown;
                findings.addArray (TextFit::check (*component));
                juce::Array<TextFit::Finding> faults;

                for (auto& f : findings)
                {
                    const auto fault = ! f.ellipsized && ! TextFit::isAllowed (screen.name, f);
                    const auto line = juce::String (fault ? "CUT      " : "ellipsis ") + screen.name + " @" + juce::String ((int) scale)
                                    + "x: \"" + f.text + "\" shows as \"" + f.shown + "\" in " + f.where
                                    + " at " + f.box.toString();
                    textReport << line << "\n";

                    if (fault)
                    {
                        faults.add (f);
                        result.textFaults.add (line);
                    }
                }

                if (! faults.isEmpty())
                    keepPictureOfFaults (image, faults, file.getParentDirectory().getChildFile ("text-fit").getChildFile (file.getFileName()));
            }
        }

        juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
        return result;
    }

    bool writePng (const juce::Image& image, const juce::File& file)
    {
        file.getParentDirectory().createDirectory();
        file.deleteFile();
        juce::FileOutputStream out (file);
        return out.openedOk() && juce::PNGImageFormat().writeImageToStream (image, out);
    }

    /** Compares a screen's two pictures; says what differs in the report and returns
        the line to show when it fails (empty when it passes). */
    juce::String checkScales (const juce::String& name, const juce::File& out, juce::String& report)
    {
        const auto file = [&] (int scale) { return out.getChildFile (slug (name) + "@" + juce::String (scale) + "x.png"); };
        const auto one = juce::ImageFileFormat::loadFrom (file (1)), two = juce::ImageFileFormat::loadFrom (file (2));

        if (! one.isValid() || ! two.isValid())
            return "no pictures to compare";

        const auto result = ScaleCheck::compare (one, two);
        const auto known = ScaleCheck::excludedBecause (name);
        report << (! result.failed() ? "same     " : known.isNotEmpty() ? "known    " : "DIFFERS  ") << name
               << ": worst tile " << juce::String (result.worst, 1);

        if (! result.failed())
        {
            report << "\n";
            return {};
        }

        if (known.isNotEmpty())
            report << " (" << known << ")";

        juce::StringArray tiles;

        for (auto& tile : result.tiles)
            tiles.add (tile.box.toString().replace (" ", ",") + " by " + juce::String (tile.difference, 1));

        report << (result.sizeFault.isNotEmpty() ? "; " + result.sizeFault : juce::String())
               << "; " << result.tiles.size() << " tiles differ (x,y,w,h at scale 1): " << tiles.joinIntoString ("; ") << "\n";
        writePng (result.picture, out.getChildFile ("scale-check").getChildFile (slug (name) + ".png"));

        if (known.isNotEmpty())
            return {};

        auto line = "scale 2 differs from scale 1 twice as large: ";

        if (result.sizeFault.isNotEmpty())
            return line + result.sizeFault;

        const auto area = std::accumulate (result.tiles.begin(), result.tiles.end(), juce::Rectangle<int>(),
                                           [] (auto r, auto& t) { return r.isEmpty() ? t.box : r.getUnion (t.box); });
        return line + juce::String (result.tiles.size()) + " tiles within " + area.toString().replace (" ", ",")
             + ", the worst at " + result.tiles.getFirst().box.getPosition().toString().replace (" ", "") + " by "
             + juce::String (result.tiles.getFirst().difference, 1);
    }

    juce::String indexPage (const juce::StringArray& names)
    {
        juce::String html;
        html << "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Belvora screens</title>\n"
                "<style>body{font-family:sans-serif;background:#eef1f3;color:#42545e;margin:2em}"
                "h2{border-bottom:1px solid #a5a6a7}figure{display:inline-block;vertical-align:top;margin:0 2em 2em 0}"
                "img{border:1px solid #a5a6a7;background:white}</style></head><body>\n"
                "<h1>Belvora screens</h1>\n<p>Every window, page, dialog and widget state at UI scales 1 and 2.</p>\n";

        juce::String section;

        for (auto& name : names)
        {
            const auto thisSection = name.upToFirstOccurrenceOf ("/", false, false);

            if (thisSection != section)
                html << "<h2>" << (section = thisSection) << "</h2>\n";

            html << "<h3>" << name.fromFirstOccurrenceOf ("/", false, false) << "</h3>\n";

            for (auto* scale : { "1", "2" })
                html << "<figure><img src=\"" << slug (name) << "@" << scale << "x.png\"><figcaption>scale " << scale << "</figcaption></figure>\n";
        }

        return html + "</body></html>\n";
    }

    juce::JUCEApplicationBase* noApplication() { return nullptr; }
}

int main (int argc, char** argv)
{
    const auto checkOnly = argc > 1 && juce::String (argv[1]) == "--check";

    if (checkOnly)
    {
        --argc;
        ++argv;
    }

    if (argc < 2)
    {
        std::cerr << "usage: belvora_gallery [--check] <output folder> [name filter]" << std::endl;
        return 2;
    }

    TestEnvironment::preparePrivateHome();
    juce::JUCEApplicationBase::createInstance = &noApplication;   // JUCE's own X error handlers
    int failures = 0;

    {
        const juce::ScopedJuceInitialiser_GUI juce;

        // The sample content stands in for the maker's server, simulated units for the MIDI ports.
        LocalServer server (juce::File (BELVORA_TEST_DATA_DIR).getChildFile ("content"));

        if (server.start())
            ::setenv ("BELVORA_CONTENT_URL", (server.getBaseUrl() + "/Belvora2").toRawUTF8(), 1);

        ::setenv ("BELVORA_SIMULATED_UNITS", "2", 1);

        const auto out = juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]);
        out.createDirectory();
        const juce::String filter (argc > 2 ? argv[2] : "");

        auto screens = Gallery::screens();
        std::stable_sort (screens.begin(), screens.end(), [] (auto& a, auto& b) { return a.name < b.name; });

        juce::StringArray rendered;
        juce::String textReport, scaleReport;
        int textFailures = 0, scaleFailures = 0;

        if (! checkOnly)
            out.getChildFile ("text-fit").deleteRecursively();

        out.getChildFile ("scale-check").deleteRecursively();

        for (auto& screen : screens)
        {
            if (filter.isNotEmpty() && ! screen.name.containsIgnoreCase (filter))
                continue;

            bool ok = true;
            juce::StringArray textFaults;

            for (auto scale : { 1.0f, 2.0f })
            {
                if (checkOnly)
                    continue;

                const auto r = render (screen, scale, out.getChildFile (slug (screen.name) + "@" + juce::String ((int) scale) + "x.png"), textReport);
                ok = r.ok && ok;
                textFaults.addArray (r.textFaults);
            }

            const auto scaleFault = ok ? checkScales (screen.name, out, scaleReport) : juce::String();
            std::cout << (ok && textFaults.isEmpty() && scaleFault.isEmpty() ? "  " : "! ") << screen.name << std::endl;

            for (auto& line : textFaults)
                std::cout << "    " << line << std::endl;

            if (scaleFault.isNotEmpty())
                std::cout << "    " << scaleFault << std::endl;

            if (ok)
                rendered.add (screen.name);

            textFailures += textFaults.isEmpty() ? 0 : 1;
            scaleFailures += scaleFault.isEmpty() ? 0 : 1;

            if (! ok || ! textFaults.isEmpty() || scaleFault.isNotEmpty())
                ++failures;
        }

        out.getChildFile ("scale-check.txt").replaceWithText (scaleReport);

        if (textFailures > 0)
            std::cout << textFailures << " screens with text that does not fit, framed in red in "
                      << out.getChildFile ("text-fit").getFullPathName() << std::endl;

        if (scaleFailures > 0)
            std::cout << scaleFailures << " screens whose scale 2 is not scale 1 twice as large: the tiles that differ are framed in "
                      << out.getChildFile ("scale-check").getFullPathName() << ", listed in "
                      << out.getChildFile ("scale-check.txt").getFullPathName() << std::endl;

        if (! checkOnly)
        {
            out.getChildFile ("text-fit.txt").replaceWithText (textReport);
            out.getChildFile ("index.html").replaceWithText (indexPage (rendered));
        }
        std::cout << rendered.size() << " screens in " << out.getFullPathName() << std::endl;
        server.stop();
    }

    TestEnvironment::removePrivateHome();
    return failures == 0 ? 0 : 1;
}
