#include "model/SaveFailure.h"

#include <cerrno>
#include <cstring>

namespace
{
    struct Cause
    {
        juce::String words, advice, remedy;
    };

    Cause causeOf (int error)
    {
        if (error == EACCES || error == EPERM)
            return { "no permission", "Please make sure the folder can be written to.", "make the folder writable" };

        if (error == EROFS)
            return { "the drive is read-only", "Please make sure the drive can be written to: it may be write-protected or mounted read-only.",
                     "make the drive writable" };

        if (SaveFailure::isOutOfRoom (error))
            return { "no room on the drive", "Please make sure the drive is not full.", "free some space on the drive" };

        if (error == EIO)
            return { "an I/O error", "Please make sure the drive is connected and works: it may be failing.",
                     "check the drive and its connection" };

        if (error == ENAMETOOLONG)
            return { "a name too long for the drive", "Please use a shorter name, or a folder with a shorter path.",
                     "use a folder with a shorter path" };

        // A folder gone or a file in its place, most often.
        return { juce::String::fromUTF8 (std::strerror (error)).toLowerCase(), "Please make sure the folder is there and can be written to.",
                 "make sure the folder is there and can be written to" };
    }

    /** Each cause's part once, in the order of the errors; none for 0. */
    juce::StringArray partsOf (const juce::Array<int>& errors, juce::String Cause::* part)
    {
        juce::StringArray parts;

        for (auto error : errors)
            if (error != 0)
                parts.addIfNotAlreadyThere (causeOf (error).*part);

        return parts;
    }
}

juce::String SaveFailure::describe (int error)
{
    return error == 0 ? juce::String() : causeOf (error).words;
}

bool SaveFailure::isOutOfRoom (int error)
{
    return error == ENOSPC || error == EDQUOT || error == EFBIG;
}

juce::String SaveFailure::saidText (const juce::Array<int>& errors)
{
    const auto said = partsOf (errors, &Cause::words);
    return said.isEmpty() ? juce::String() : " (the system said: " + said.joinIntoString ("; ") + ")";
}

juce::String SaveFailure::adviceText (const juce::Array<int>& errors, const juce::String& whenUnknown)
{
    const auto advice = partsOf (errors, &Cause::advice);
    return advice.isEmpty() ? whenUnknown : advice.joinIntoString (" ");
}

juce::String SaveFailure::remedyText (const juce::Array<int>& errors, const juce::String& whenUnknown)
{
    const auto remedies = partsOf (errors, &Cause::remedy).joinIntoString (" and ");
    return remedies.isEmpty() ? whenUnknown : remedies.substring (0, 1).toUpperCase() + remedies.substring (1);
}

juce::String SaveFailure::describeFailure (const juce::String& whatFailed, const juce::Array<int>& errors, const juce::String& whenUnknown)
{
    const auto advice = adviceText (errors, whenUnknown);
    return whatFailed + saidText (errors) + "." + (advice.isNotEmpty() ? " " + advice : juce::String());
}
