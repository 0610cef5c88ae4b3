#include "support/LocalServer.h"

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace
{
    int hexValue (char c)
    {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    juce::String decodeComponent (const std::string& text)
    {
        std::string out;
        out.reserve (text.size());

        for (size_t i = 0; i < text.size(); ++i)
        {
            const auto c = text[i];

            if (c == '+')
            {
                out += ' ';
                continue;
            }

            if (c == '%' && i + 2 < text.size() && hexValue (text[i + 1]) >= 0 && hexValue (text[i + 2]) >= 0)
            {
                out += (char) (hexValue (text[i + 1]) * 16 + hexValue (text[i + 2]));
                i += 2;
                continue;
            }

            out += c;
        }

        return juce::String::fromUTF8 (out.data(), (int) out.size());
    }

    // "a=1&b=two" in order; httplib's own map would sort the names.
    void appendParameters (const std::string& text, std::vector<std::pair<juce::String, juce::String>>& into)
    {
        size_t start = 0;

        while (start <= text.size())
        {
            auto end = text.find ('&', start);
            if (end == std::string::npos)
                end = text.size();

            const auto piece = text.substr (start, end - start);

            if (! piece.empty())
            {
                const auto equals = piece.find ('=');
                if (equals == std::string::npos)
                    into.emplace_back (decodeComponent (piece), juce::String());
                else
                    into.emplace_back (decodeComponent (piece.substr (0, equals)), decodeComponent (piece.substr (equals + 1)));
            }

            start = end + 1;
        }
    }

    LocalServer::Request makeRecord (const httplib::Request& req)
    {
        LocalServer::Request record;
        record.method = juce::String (req.method);
        record.path = juce::String::fromUTF8 (req.path.data(), (int) req.path.size());
        record.body = req.body;
        record.range = juce::String (req.get_header_value ("Range"));

        const auto question = req.target.find ('?');
        if (question != std::string::npos)
            appendParameters (req.target.substr (question + 1), record.parameters);

        if (req.get_header_value ("Content-Type").rfind ("application/x-www-form-urlencoded", 0) == 0)
            appendParameters (req.body, record.parameters);

        return record;
    }

    // Served XML documents name their files by absolute address; the token
    // stands for this server's own address, which changes with the port.
    const char* const serverToken = "${SERVER}";

    juce::String contentTypeFor (const juce::File& file)
    {
        const auto ext = file.getFileExtension().toLowerCase();
        if (ext == ".js")   return "application/javascript";
        if (ext == ".png")  return "image/png";
        if (ext == ".zip")  return "application/zip";
        return "application/octet-stream";
    }
}

juce::String LocalServer::Request::getParameter (const juce::String& name) const
{
    for (const auto& [key, value] : parameters)
        if (key == name)
            return value;

    return {};
}

bool LocalServer::Request::hasParameter (const juce::String& name) const
{
    for (const auto& entry : parameters)
        if (entry.first == name)
            return true;

    return false;
}

LocalServer::Answer LocalServer::Answer::text (const juce::String& body, int status)
{
    Answer answer;
    answer.status = status;
    answer.body = body.toStdString();
    answer.contentType = "text/plain";
    return answer;
}

LocalServer::Answer LocalServer::Answer::error (int status)
{
    return text ("error " + juce::String (status), status);
}

LocalServer::Answer LocalServer::Answer::silence()
{
    Answer answer;
    answer.noAnswer = true;
    return answer;
}

struct LocalServer::Impl
{
    httplib::Server server;
    std::thread listener;
    std::mutex startStopLock;
    int port = 0;

    mutable std::mutex lock;
    std::condition_variable wake;
    mutable std::condition_variable recorded;
    bool stopping = false;
    juce::File root;
    std::map<juce::String, Answer> answers;
    std::vector<Request> requests;

    void handle (const httplib::Request& req, httplib::Response& res)
    {
        Answer scripted;
        bool hasScript = false;
        juce::File folder;

        {
            std::lock_guard<std::mutex> guard (lock);
            requests.push_back (makeRecord (req));
            recorded.notify_all();

            const auto found = answers.find (juce::String::fromUTF8 (req.path.data(), (int) req.path.size()));
            if (found != answers.end())
            {
                scripted = found->second;
                hasScript = true;

                if (scripted.forRequests > 0 && --found->second.forRequests == 0)
                    answers.erase (found);
            }

            folder = root;
        }

        if (hasScript)
            return answerScripted (req, scripted, res);

        if (req.method == "GET" || req.method == "HEAD")
            return answerFile (req, folder, "http://127.0.0.1:" + juce::String (port), res);

        res.status = 200;
    }

    // Returns false when the server stopped during the wait.
    bool waitFor (int ms)
    {
        std::unique_lock<std::mutex> guard (lock);
        wake.wait_for (guard, std::chrono::milliseconds (ms), [this] { return stopping; });
        return ! stopping;
    }

    void holdUntilStopped()
    {
        std::unique_lock<std::mutex> guard (lock);
        wake.wait (guard, [this] { return stopping; });
    }

    void answerScripted (const httplib::Request& req, const Answer& answer, httplib::Response& res)
    {
        if (answer.noAnswer)
        {
            holdUntilStopped();
            res.status = 503;
            return;
        }

        if (answer.delayMs > 0 && ! waitFor (answer.delayMs))
        {
            res.status = 503;
            return;
        }

        if (answer.rangeFault != Answer::RangeFault::none && req.ranges.size() == 1 && req.ranges[0].first >= 0)
            return answerRangeWrongly (req, res, answer);

        if (answer.noLength)
            return answerWithoutLength (res, answer);

        respond (req, res, answer.status, std::make_shared<std::string> (answer.body), answer.contentType.toStdString(),
                 answer.truncateAfter, answer.trickleMs, answer.ranges, answer.stall);
        if (answer.rangeFault == Answer::RangeFault::noTag)
            res.headers.erase ("ETag");
    }

    static void answerRangeWrongly (const httplib::Request& req, httplib::Response& res, const Answer& answer)
    {
        using Fault = Answer::RangeFault;
        const auto& body = answer.body;
        const auto from = std::min ((size_t) req.ranges[0].first, body.size());
        const auto end = answer.rangeFault == Fault::endsShort ? from + (body.size() - from) / 2 : body.size() - 1;
        const auto part = body.substr (from, (end + 1 - from) / (answer.rangeFault == Fault::bodyShort ? 2 : 1))
                        + std::string (answer.rangeFault == Fault::bodyLong ? 50 : 0, '~');

        const_cast<httplib::Request&> (req).ranges.clear();   // or the library cuts the body to the range itself
        res.status = 206;
        res.set_header ("Content-Range", "bytes " + std::to_string (from) + "-" + std::to_string (end) + "/" + std::to_string (body.size()));

        if (answer.rangeFault != Fault::noTag)
            res.set_header ("ETag", "\"" + std::to_string (std::hash<std::string>() (body)) + "\"");

        res.set_content (part, answer.contentType.toStdString());
    }

    // Neither a length nor chunks: the body ends where the connection does (closed when the provider gives up).
    static void answerWithoutLength (httplib::Response& res, const Answer& answer)
    {
        res.status = answer.status;
        res.set_header ("Connection", "close");
        res.set_content_provider (answer.contentType.toStdString(), [body = answer.body] (size_t offset, httplib::DataSink& sink)
        {
            return offset < body.size() && sink.write (body.data() + offset, body.size() - offset);
        });
    }

    // The library cuts a known-length body to the range asked for whatever the
    // status: a body given whole to a range request goes in chunks instead.
    void respond (const httplib::Request& req, httplib::Response& res, int status, std::shared_ptr<std::string> body,
                  const std::string& type, int truncateAfter, int pause, bool ranges, bool stall = false)
    {
        const auto tag = "\"" + std::to_string (std::hash<std::string>() (*body)) + "\"";
        const auto askedRange = ! req.ranges.empty();
        const auto ifRange = req.get_header_value ("If-Range");
        const auto partial = askedRange && status == 200 && ranges && req.ranges.size() == 1 && (ifRange.empty() || ifRange == tag);

        res.status = partial ? 206 : status;

        if (status == 200)
            res.set_header ("ETag", tag);

        const auto limit = truncateAfter < 0 ? body->size() : juce::jmin (body->size(), (size_t) truncateAfter);

        if (! askedRange && limit == body->size() && pause <= 0)
            return res.set_content (*body, type);

        // One call sends what comes next from offset: one byte after a pause
        // when trickling; false closes the connection mid-body.
        auto send = [this, body, limit, pause, stall] (size_t offset, size_t length, httplib::DataSink& sink)
        {
            if (offset >= limit && stall)
                holdUntilStopped();

            if (offset >= limit || (pause > 0 && ! waitFor (pause)))
                return false;

            sink.write (body->data() + offset, std::min (pause > 0 ? (size_t) 1 : length, limit - offset));
            return true;
        };

        if (partial || ! askedRange)
            return res.set_content_provider (body->size(), type, send);

        res.set_chunked_content_provider (type, [body, send] (size_t offset, httplib::DataSink& sink)
        {
            if (offset < body->size())
                return send (offset, body->size() - offset, sink);

            sink.done();
            return true;
        });
    }

    void answerFile (const httplib::Request& req, const juce::File& folder, const juce::String& baseUrl, httplib::Response& res)
    {
        const auto relative = juce::String::fromUTF8 (req.path.data(), (int) req.path.size()).trimCharactersAtStart ("/");
        const auto file = folder.getChildFile (relative);

        if (folder == juce::File() || relative.contains ("..") || ! file.isAChildOf (folder) || ! file.existsAsFile())
        {
            res.status = 404;
            res.set_content ("not found", "text/plain");
            return;
        }

        if (file.hasFileExtension ("xml"))
        {
            const auto text = file.loadFileAsString().replace (serverToken, baseUrl);
            return respond (req, res, 200, std::make_shared<std::string> (text.toStdString()), "text/xml", -1, 0, true);
        }

        juce::MemoryBlock data;
        file.loadFileAsData (data);
        respond (req, res, 200, std::make_shared<std::string> (static_cast<const char*> (data.getData()), data.getSize()),
                 contentTypeFor (file).toStdString(), -1, 0, true);
    }
};

LocalServer::LocalServer (const juce::File& root) : impl (std::make_unique<Impl>())
{
    impl->root = root;

    auto handler = [this] (const httplib::Request& req, httplib::Response& res) { impl->handle (req, res); };
    impl->server.Get (".*", handler);
    impl->server.Post (".*", handler);
    impl->server.Put (".*", handler);
    impl->server.Delete (".*", handler);
}

LocalServer::~LocalServer()
{
    stop();
}

bool LocalServer::start (int port)
{
    std::lock_guard<std::mutex> startStop (impl->startStopLock);

    if (impl->listener.joinable())
        return true;

    {
        std::lock_guard<std::mutex> guard (impl->lock);
        impl->stopping = false;
    }

    impl->port = port == 0 ? impl->server.bind_to_any_port ("127.0.0.1")
                           : (impl->server.bind_to_port ("127.0.0.1", port) ? port : -1);

    if (impl->port <= 0)
        return false;

    impl->listener = std::thread ([this] { impl->server.listen_after_bind(); });

    for (int i = 0; i < 5000 && ! impl->server.is_running(); ++i)
        std::this_thread::sleep_for (std::chrono::milliseconds (1));

    return impl->server.is_running();
}

void LocalServer::stop()
{
    std::lock_guard<std::mutex> startStop (impl->startStopLock);

    {
        std::lock_guard<std::mutex> guard (impl->lock);
        impl->stopping = true;
    }

    impl->wake.notify_all();

    if (impl->listener.joinable())
    {
        impl->server.stop();
        impl->listener.join();
    }
}

int LocalServer::getPort() const
{
    return impl->port;
}

juce::String LocalServer::getBaseUrl() const
{
    return "http://127.0.0.1:" + juce::String (impl->port);
}

void LocalServer::setRoot (const juce::File& root)
{
    std::lock_guard<std::mutex> guard (impl->lock);
    impl->root = root;
}

void LocalServer::setAnswer (const juce::String& path, const Answer& answer)
{
    std::lock_guard<std::mutex> guard (impl->lock);
    impl->answers[path] = answer;
}

void LocalServer::clearAnswer (const juce::String& path)
{
    std::lock_guard<std::mutex> guard (impl->lock);
    impl->answers.erase (path);
}

void LocalServer::clearAnswers()
{
    std::lock_guard<std::mutex> guard (impl->lock);
    impl->answers.clear();
}

std::vector<LocalServer::Request> LocalServer::getRequests() const
{
    std::lock_guard<std::mutex> guard (impl->lock);
    return impl->requests;
}

std::vector<LocalServer::Request> LocalServer::getRequests (const juce::String& method, const juce::String& path) const
{
    std::vector<Request> result;

    for (auto& request : getRequests())
        if (request.method == method && request.path == path)
            result.push_back (request);

    return result;
}

int LocalServer::countRequests (const juce::String& path) const
{
    int count = 0;

    for (const auto& request : getRequests())
        if (request.path == path)
            ++count;

    return count;
}

void LocalServer::clearRequests()
{
    std::lock_guard<std::mutex> guard (impl->lock);
    impl->requests.clear();
}

bool LocalServer::waitForRequests (int count, int timeoutMs) const
{
    std::unique_lock<std::mutex> guard (impl->lock);
    return impl->recorded.wait_for (guard, std::chrono::milliseconds (timeoutMs),
                                    [this, count] { return (int) impl->requests.size() >= count; });
}
