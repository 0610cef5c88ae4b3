#include "content/ContentDownloadThread.h"

void ContentDownloadThread::requestDownload (int) {}
