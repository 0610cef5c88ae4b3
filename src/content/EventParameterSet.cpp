#include "content/EventParameterSet.h"

#include "model/Utf8.h"

#include "app/Belvora.h"
#include "platform/Clock.h"

namespace
{
    // The server answers a word or a number; anything longer is not a reply of ours.
    constexpr int maxReplyBytes = 64 * 1024;
    constexpr int requestTimeoutMs = 5000;

    juce::String readLimited (juce::InputStream& in)
    {
        juce::MemoryOutputStream out;
        out.writeFromInputStream (in, maxReplyBytes);

        const auto* bytes = static_cast<const char*> (out.getData());
        const auto size = (int) out.getDataSize();

        if (! Utf8::isValid (bytes, (size_t) size))
            return {};

        return juce::String::fromUTF8 (bytes, size);
    }
}

EventParameterSet::EventParameterSet (const juce::String& scriptName)
    : script (scriptName)
{
}

bool EventParameterSet::add (const juce::String& key, const juce::var& value)
{
    if (keys.contains (key))
        return false;

    keys.add (key);
    values.add (value);
    return true;
}

juce::URL EventParameterSet::createUrl() const
{
    juce::URL url (Belvora::getTrackingUrl() + script);

    for (int i = 0; i < keys.size(); ++i)
        url = url.withParameter (keys[i], values.getReference (i).toString());

    return url;
}

juce::String EventParameterSet::toLogText() const
{
    auto text = script;

    for (int i = 0; i < keys.size(); ++i)
        text << " " << keys[i] << "='" << values.getReference (i).toString() << "'";

    return text;
}

juce::String EventParameterSet::postAndReadResponse() const
{
    return post (createUrl());
}

juce::String EventParameterSet::post (const juce::URL& url)
{
    int status = 0;
    const auto options = juce::URL::InputStreamOptions (juce::URL::ParameterHandling::inPostData)
                             .withConnectionTimeoutMs (getRequestTimeoutMs())
                             .withStatusCode (&status)
                             .withNumRedirectsToFollow (0);

    auto stream = url.createInputStream (options);

    if (stream == nullptr || status < 200 || status > 299)
        return {};

    return readLimited (*stream).trim();
}

int EventParameterSet::getRequestTimeoutMs()
{
    return platform::Clock::scaled (requestTimeoutMs);
}

int EventParameterSet::getLongestRequestMs()
{
    // The HTTP layer counts both in whole seconds and checks about once a second.
    const auto seconds = (getRequestTimeoutMs() + 999) / 1000;
    return 2 * (seconds + 1) * 1000;
}

juce::String EventParameterSet::formatDate (juce::Time time)
{
    return time.formatted ("%Y-%m-%d %H:%M:%S");
}
