#include "app/Belvora.h"

#include "app/Nexus.h"
#include "gui/BelvoraContentComponent.h"
#include "gui/MainAppWindow.h"
#include "gui/widgets/Alerts.h"
#include "model/FirmwareVersion.h"

#include <cmath>

namespace
{
    std::unique_ptr<juce::ApplicationProperties>& propertiesHolder()
    {
        // Deleted at the end of shutdown, or at process exit when shutdown never ran.
        static std::unique_ptr<juce::ApplicationProperties> holder;
        return holder;
    }

    juce::PropertiesFile& userSettings()
    {
        return *Belvora::getAppProperties().getUserSettings();
    }

    const char* const syncMethodNames[] = { "auto", "manual", "previous" };
}

Belvora::Belvora() = default;

Belvora::~Belvora()
{
    nexus.reset();
}

Belvora* Belvora::getInstance()
{
    return dynamic_cast<Belvora*> (juce::JUCEApplicationBase::getInstance());
}

juce::ApplicationProperties& Belvora::getAppProperties()
{
    auto& holder = propertiesHolder();

    if (holder == nullptr)
        holder = std::make_unique<juce::ApplicationProperties>();

    return *holder;
}

void Belvora::releaseAppProperties()
{
    auto& holder = propertiesHolder();

    if (holder != nullptr)
        holder->closeFiles();

    holder.reset();
}

void Belvora::configureAppProperties()
{
    juce::PropertiesFile::Options options;
    options.applicationName = "Belvora 2";
    options.filenameSuffix = "settings";
   #if JUCE_WINDOWS || JUCE_MAC
    options.folderName = juce::String ("Marrowell") + juce::File::getSeparatorString() + "Belvora 2";
   #else
    // JUCE would put it under the home folder itself; keep it beside our data.
    options.folderName = getUserDataFolder();
   #endif
    options.osxLibrarySubFolder = "Application Support";
    options.commonToAllUsers = false;
    options.ignoreCaseOfKeyNames = false;
    options.doNotSave = false;
    options.millisecondsBeforeSaving = 3000;
    options.storageFormat = juce::PropertiesFile::storeAsXML;
    options.processLock = nullptr;
    getAppProperties().setStorageParameters (options);
}

const juce::String Belvora::getApplicationName()
{
    return "Belvora 2";
}

const juce::String Belvora::getApplicationVersion()
{
    return getApplicationVersionRecord().getVersionString();
}

bool Belvora::moreThanOneInstanceAllowed()
{
    return false;
}

void Belvora::anotherInstanceStarted (const juce::String&)
{
}

void Belvora::parseSwitches (const juce::String& commandLine)
{
    // Plain words anywhere in the command line, case-sensitive, no option syntax.
    developerMode = commandLine.contains ("developer");
    scanAll = commandLine.contains ("scan_all");
    syncAll = commandLine.contains ("sync_all");
}

void Belvora::initialise (const juce::String& commandLine)
{
    startTime = juce::Time::getCurrentTime();
    configureAppProperties();

    auto& settings = userSettings();
    const auto storedId = settings.getValue ("internal4");
    const juce::Uuid parsed (storedId);

    if (storedId.isEmpty() || parsed.isNull())
    {
        newInstallation = true;
        installId = juce::Uuid();
        settings.setValue ("internal4", installId.toString());
    }
    else
    {
        installId = parsed;
    }

    settings.setValue ("internal1", settings.getIntValue ("internal1", 0) + 1);

    juce::Desktop::getInstance().setOrientationsEnabled (juce::Desktop::allOrientations);

    parseSwitches (commandLine);

    nexus = std::make_unique<Nexus>();
    nexus->initialise();
}

void Belvora::systemRequestedQuit()
{
    const auto fatal = fatalErrorCode.load();

    if (nexus != nullptr)
        if (auto* window = nexus->getMainWindow())
            if (auto* content = window->getBelvoraContentComponent())
                if (! content->requestQuit (fatal != 0))
                    return;

    if (fatal != 0)
        Alerts::showWarning (nullptr, "Error", getFatalErrorText (fatal));

    quit();
}

void Belvora::shutdown()
{
    auto& settings = userSettings();
    const auto runSeconds = (juce::Time::getCurrentTime() - startTime).inSeconds();
    settings.setValue ("internal3", settings.getDoubleValue ("internal3", 0.0) + runSeconds);

    getAppProperties().closeFiles();

    if (nexus != nullptr)
    {
        nexus->shutdown();
        nexus.reset();
    }

    releaseAppProperties();
}

void Belvora::reportFatalError (int code)
{
    int expected = 0;

    if (fatalErrorCode.compare_exchange_strong (expected, code))
        triggerAsyncUpdate();
}

void Belvora::handleAsyncUpdate()
{
    systemRequestedQuit();
}

juce::String Belvora::getFatalErrorText (int code)
{
    const auto support = "If this error persists, please contact technical support (code " + juce::String (code) + ").";

    if (code == 2)
        return "Belvora is unable to load required control files. Please try restarting the application. "
               "Make sure you have a functioning internet connection. " + support;

    return "Belvora has encountered error and must now stop, sorry. Please try restarting the application. " + support;
}

int Belvora::getDataSyncMethod()
{
    const auto text = userSettings().getValue ("dataSyncMethod", "auto");

    for (int i = 0; i < 3; ++i)
        if (text == syncMethodNames[i])
            return i;

    return 0;
}

void Belvora::setDataSyncMethod (int method)
{
    if (method >= 0 && method < 3)
        userSettings().setValue ("dataSyncMethod", syncMethodNames[method]);
}

int Belvora::getPresetButtonViewType()
{
    return userSettings().getValue ("presetButtonViewType", "icon") == "cell" ? 0 : 1;
}

void Belvora::setPresetButtonViewType (int type)
{
    if (type == 0 || type == 1)
        userSettings().setValue ("presetButtonViewType", type == 0 ? "cell" : "icon");
}

float Belvora::getUiScalingFactor()
{
    auto value = userSettings().getDoubleValue ("uiScalingFactor", 1.0);

    if (std::isnan (value))
        value = 0.0;

    return (float) juce::jlimit (0.75, 2.5, value);
}

float Belvora::getDownloadTimeout()
{
    return (float) userSettings().getDoubleValue ("downloadTimeout", 600.0);
}
