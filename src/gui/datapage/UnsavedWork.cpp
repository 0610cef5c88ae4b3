#include "gui/datapage/UnsavedWork.h"

#include "model/SaveFailure.h"

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

UnsavedWork::Change UnsavedWork::update (Part part, const juce::StringArray& items, int error)
{
    const bool wasEmpty = isEmpty();
    (part == Part::workspace ? workspace : part == Part::backups ? backups : settings) = items;
    errors[(int) part] = items.isEmpty() ? 0 : error;

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

juce::Array<int> UnsavedWork::getErrors() const
{
    juce::Array<int> said;

    for (auto error : errors)
        if (error != 0)
            said.addIfNotAlreadyThere (error);

    return said;
}

juce::String UnsavedWork::failedMessage (const juce::StringArray& items, const juce::Array<int>& errors)
{
    return SaveFailure::describeFailure ("Belvora could not save the following to disk", errors,
                                        "Please make sure the drive is not full and can be written to.") + "\n\n"
           + listOf (items)
           + "\n\nBelvora keeps them and tries again at your next change and when it closes.";
}

juce::String UnsavedWork::savedMessage()
{
    return "Belvora could save again: everything that was not on disk is saved now.";
}

juce::String UnsavedWork::closingMessage (const juce::StringArray& items, bool quitting, const juce::Array<int>& errors)
{
    return "Belvora could not save the following to disk" + SaveFailure::saidText (errors) + ":\n\n" + listOf (items) + "\n\n"
           + SaveFailure::remedyText (errors, "Free some space on the drive (or make it writable)")
           + ", then choose \"Try Again\". \""
           + closeAnywayText (quitting) + "\" " + (quitting ? "ends Belvora" : "closes the unit's data") + " without them.";
}
