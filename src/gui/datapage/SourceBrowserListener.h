#pragma once

/** Told by the source browser after its selection changed. */
class SourceBrowserListener
{
public:
    virtual ~SourceBrowserListener() = default;
    virtual void sourceSelectionChanged() = 0;
};
