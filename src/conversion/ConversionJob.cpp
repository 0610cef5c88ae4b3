#include "conversion/ConversionJob.h"

ConversionJob::ConversionJob (const ContentManager& content, std::shared_ptr<const DeviceData> sourceData,
                              int productId, const FirmwareVersion& version)
    : juce::Thread ("Conversion Job"), manager (content), source (std::move (sourceData)),
      targetProductId (productId), targetVersion (version)
{
    jassert (source != nullptr);
}

ConversionJob::~ConversionJob()
{
    stop();
    stopThread (-1);
}

bool ConversionJob::start (Completion onFinished)
{
    if (started || source == nullptr)
        return false;

    started = true;
    completion = std::move (onFinished);
    return startThread();
}

void ConversionJob::stop()
{
    manager.stop();
    signalThreadShouldExit();
}

void ConversionJob::run()
{
    Outcome outcome;
    outcome.converted = manager.convertDeviceData (*source, targetProductId, targetVersion);
    outcome.result = manager.getResult();

    if (completion != nullptr)
        completion (std::move (outcome));
}
