#include "gui/datapage/UnsavedWork.h"

namespace
{
    juce::String listOf (const juce::StringArray& items)
    {
        juce::String list;

        for (const auto& item : items)
            list << "- " << item << "\n";

        return list.trimEnd();
    }
}

UnsavedWork::Change UnsavedWork::update (Part part, const juce::StringArray& items)
{
    const bool wasEmpty = isEmpty();
    (part == Part::workspace ? workspace : part == Part::backups ? backups : settings) = items;

    if (wasEmpty == isEmpty())
        return Change::none;

    return wasEmpty ? Change::started : Change::ended;
}

juce::StringArray UnsavedWork::getItems() const
{
    auto items = workspace;
    items.addArray (backups);
    items.addArray (settings);
    return items;
}

juce::String UnsavedWork::failedMessage (const juce::StringArray& items)
{
    return "Belvora could not save the following to disk. Please make sure the drive is not full and can be written to.\n\n"
           + listOf (items)
           + "\n\nBelvora keeps them and tries again at your next change and when it closes.";
}

juce::String UnsavedWork::savedMessage()
{
    return "Belvora could save again: everything that was not on disk is saved now.";
}

juce::String UnsavedWork::closingMessage (const juce::StringArray& items, bool quitting)
{
    return "Belvora could not save the following to disk:\n\n" + listOf (items)
           + "\n\nFree some space on the drive (or make it writable), then choose \"Try Again\". \""
           + closeAnywayText (quitting) + "\" " + (quitting ? "ends Belvora" : "closes the unit's data") + " without them.";
}
