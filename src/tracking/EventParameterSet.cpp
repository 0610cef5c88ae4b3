#include "tracking/EventParameterSet.h"

#include "base/BelvoraPaths.h"
#include "base/BelvoraSettings.h"
#include "platform/WebRequest.h"
#include "model/Utf8.h"

namespace
{
    // The server answers a word or a number; anything longer is not a reply of ours.
    constexpr int maxReplyBytes = 64 * 1024;
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
    juce::URL url (BelvoraPaths::getTrackingUrl() + script);

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
    platform::WebRequest::Options options;
    options.timeoutMs = BelvoraSettings::getDownloadTimeoutMs();
    options.maxRedirects = 0;
    options.maxBytes = maxReplyBytes;

    const auto response = platform::WebRequest::post (url, options);
    const auto* bytes = static_cast<const char*> (response.body.getData());
    const auto size = response.body.getSize();

    if (! response.complete || response.status < 200 || response.status > 299 || ! Utf8::isValid (bytes, size))
        return {};

    return juce::String::fromUTF8 (bytes, (int) size).trim();
}

juce::String EventParameterSet::formatDate (juce::Time time)
{
    return time.formatted ("%Y-%m-%d %H:%M:%S");
}
