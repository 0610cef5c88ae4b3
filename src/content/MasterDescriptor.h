#pragma once

#include "content/ProductRecord.h"
#include "platform/WriteQueue.h"

#include <atomic>

/** The master descriptor of this start (the content server's, a developer's
    override or the local copy kept from an earlier start) and what it says
    beside the products: a newer build of this program and the web links. */
class MasterDescriptor
{
public:
    /** No descriptor: every link at its default, nothing announced. */
    MasterDescriptor();

    /** Reads the server's copy (when askServer is set: for as long as its
        bytes keep coming, until the calling thread is asked to stop), the
        override (developer mode only) and the local copy, and keeps the one
        to use. Without askServer only files are read, the override too. A
        fresh copy from the server replaces the local copy unless the override
        is used. */
    static MasterDescriptor load (bool developerMode, std::atomic<juce::int64>* bytesReceived, bool askServer);

    bool isLoaded() const noexcept   { return document != nullptr; }

    /** The server's copy arrived, whether or not it is the one in use. */
    bool isOnline() const noexcept   { return online; }

    /** The developer's override is the one in use. */
    bool isOverride() const noexcept { return overridden; }

    /** Hands the server's copy, when it is the one in use, to the writes to
        replace the local copy: a disk that stalls never holds the start. */
    void keepLocalCopy (platform::WriteQueue& writes) const;

    /** One record per usable product element, in document order. */
    juce::OwnedArray<ProductRecord> makeRecords() const;

    juce::String latestBuildInfo, updateUrlPc;
    juce::String linkUserAccount, linkAppSupport, linkGeneralSupport, linkAppManual, linkManualDefault, linkConnectionFAQ;

private:
    void readGeneralSettings (const juce::XmlElement& settings);

    std::shared_ptr<const juce::XmlElement> document;
    bool online = false;
    bool fresh = false;     // the document is the server's copy
    bool overridden = false;
};
