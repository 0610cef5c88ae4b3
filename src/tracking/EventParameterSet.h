#pragma once

#include <juce_core/juce_core.h>

/** The names the tracking scripts know: script files and parameter keys. */
namespace TrackingNames
{
    inline constexpr const char* runScript            = "db_bv_run.php";
    inline constexpr const char* installScript        = "db_bv_install.php";
    inline constexpr const char* deviceConnectScript  = "db_device_connect.php";
    inline constexpr const char* deviceUpdateScript   = "db_device_update.php";
    inline constexpr const char* userLogDeviceScript  = "db_user_log_device.php";
    inline constexpr const char* deviceActivateScript = "db_device_activate.php";
    inline constexpr const char* findDeviceScript     = "db_query_find_device.php";

    inline constexpr const char* buildNumber     = "bv_build_num";
    inline constexpr const char* os              = "os";
    inline constexpr const char* region          = "region";
    inline constexpr const char* installToken    = "install_token";
    inline constexpr const char* sessionId       = "session_id";
    inline constexpr const char* allowTracking   = "allow_tracking";
    inline constexpr const char* serial          = "serial";
    inline constexpr const char* product         = "product";
    inline constexpr const char* date            = "date";
    inline constexpr const char* productId       = "product_id";
    inline constexpr const char* build           = "build_num";
    inline constexpr const char* dateDetected    = "date_detected";
    inline constexpr const char* startBuild      = "start_build";
    inline constexpr const char* targetBuild     = "target_build";
    inline constexpr const char* exitCode        = "exit_code";
    inline constexpr const char* descriptionRead = "description_read";
    inline constexpr const char* sessionKey      = "session_key";
}

/** One request to a tracking script: the script's name and its key/value
    parameters in the order they were added. */
class EventParameterSet
{
public:
    explicit EventParameterSet (const juce::String& scriptName);

    /** Appends a parameter; a key that is already there is refused. */
    bool add (const juce::String& key, const juce::var& value);

    const juce::String& getScriptName() const noexcept  { return script; }
    int size() const noexcept                          { return keys.size(); }

    /** The script's address on the tracking server with every parameter, in order. */
    juce::URL createUrl() const;

    /** "script key='value' key='value'" for the log. */
    juce::String toLogText() const;

    /** Posts this request at once on the calling thread; the trimmed reply, empty on failure. */
    juce::String postAndReadResponse() const;

    /** Posts a tracking request and reads the reply (trimmed; empty when the
        request fails, is stopped, the server stays silent for the silence
        limit, or it answers with an error status). A stop request of the
        calling thread ends it at once. */
    static juce::String post (const juce::URL& url);

    /** Form used for every date the tracking server receives. */
    static juce::String formatDate (juce::Time time);

private:
    juce::String script;
    juce::StringArray keys;
    juce::Array<juce::var> values;
};
