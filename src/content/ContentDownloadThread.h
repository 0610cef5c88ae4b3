#pragma once

/** Downloads products' content documents in the background.
    (Stand-in until the catalogue is built.) */
class ContentDownloadThread
{
public:
    void requestDownload (int productId);
    bool isQueued (int) const { return false; }
    bool hasQueuedProducts() const { return false; }
};
