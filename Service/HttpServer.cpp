#include "HttpServer.hpp"

#include "Catalogue.hpp"
#include "Connection.hpp"
#include "Faults.hpp"
#include "RequestLog.hpp"
#include "Router.hpp"
#include "TextUtil.hpp"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <thread>

namespace kordela::service {

namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

// Held requests each occupy a worker, so there are more workers than a test
// will ever hold at once.
constexpr std::size_t WorkerCount = 64;
constexpr std::size_t ReadBlockBytes = 64 * 1024;
constexpr std::string_view ControlPrefix = "/_control/";

std::string ModeName(const json& settings)
{
    return settings.value("mode", "");
}

// The server library adds the two ends' addresses as if they were headers.
bool IsReceivedHeader(const std::string& name)
{
    return name != "REMOTE_ADDR" && name != "REMOTE_PORT" && name != "LOCAL_ADDR" && name != "LOCAL_PORT";
}

json HeadersJson(const httplib::Headers& headers)
{
    json object = json::object();
    for (const auto& [name, value] : headers) {
        if (!IsReceivedHeader(name))
            continue;
        if (object.contains(name)) {
            object[name] = object[name].get<std::string>() + ", " + value;
        } else {
            object[name] = value;
        }
    }
    return object;
}

void SetJson(httplib::Response& res, int status, const json& body)
{
    res.status = status;
    res.set_content(body.dump(-1, ' ', false, json::error_handler_t::replace), "application/json");
}

}  // namespace

struct HttpServer::Impl {
    std::filesystem::path catalogueFile;
    std::shared_ptr<const Catalogue> loadedCatalogue;
    RequestLog log;
    FaultTable faults;
    std::atomic<bool> stoppingFlag {false};  // polled by connections without taking the mutex
    Server server {[this] { return stoppingFlag.load(); }};
    int port = -1;

    std::mutex mutex;  // guards catalogue, stopping and generation; cv waits on it
    std::condition_variable wake;
    std::shared_ptr<const Catalogue> catalogue;
    bool stopping = false;
    std::uint64_t generation = 0;  // raised by every reset, to release held requests
    std::atomic<bool> runStarted {false};
    std::atomic<bool> runFinished {false};

    Impl(const std::filesystem::path& file, std::shared_ptr<const Catalogue> loaded, const std::string& logFile)
        : catalogueFile(file), loadedCatalogue(loaded), log(logFile), catalogue(std::move(loaded))
    {}

    std::shared_ptr<const Catalogue> Snapshot()
    {
        std::lock_guard lock(mutex);
        return catalogue;
    }

    // Sleeps until the deadline; false when the service is stopping or was reset meanwhile.
    bool SleepUntil(Clock::time_point deadline, std::uint64_t startGeneration)
    {
        std::unique_lock lock(mutex);
        wake.wait_until(lock, deadline, [&] { return stopping || generation != startGeneration; });
        return !stopping && generation == startGeneration;
    }

    std::uint64_t Generation()
    {
        std::lock_guard lock(mutex);
        return generation;
    }

    void Setup()
    {
        server.new_task_queue = [] { return new httplib::ThreadPool(WorkerCount); };
        server.set_payload_max_length(64 * 1024 * 1024);
        const auto handler = [this](const httplib::Request& req, httplib::Response& res) { Handle(req, res); };
        server.Get(".*", handler);
        server.Post(".*", handler);
        server.Put(".*", handler);
        server.Patch(".*", handler);
        server.Delete(".*", handler);
        server.Options(".*", handler);
    }

    // The target as the client wrote it, before the connection escaped its extra "?".
    static std::string OriginalTarget(const httplib::Request& req)
    {
        const ConnectionStream* connection = ConnectionStream::Current();
        if (!connection)
            return req.target;
        const std::string& line = connection->RequestLine();
        const std::size_t start = line.find(' ');
        const std::size_t end = line.rfind(' ');
        if (start == std::string::npos || end <= start)
            return req.target;
        return line.substr(start + 1, end - start - 1);
    }

    ServiceRequest Convert(const httplib::Request& req) const
    {
        ServiceRequest r;
        r.method = req.method;
        r.target = OriginalTarget(req);
        r.path = req.path;
        const std::size_t question = r.target.find('?');
        if (question != std::string::npos)
            r.query = r.target.substr(question + 1);
        for (const auto& [name, value] : req.headers) {
            if (IsReceivedHeader(name))
                r.headers.emplace_back(name, value);
        }
        if (req.is_multipart_form_data() && req.has_file("value"))
            r.formValue = req.get_file_value("value").content;
        const std::string host = req.get_header_value("Host");
        r.origin = "http://" + (host.empty() ? "127.0.0.1:" + std::to_string(port) : host);
        return r;
    }

    void Handle(const httplib::Request& req, httplib::Response& res)
    {
        if (StartsWith(req.path, ControlPrefix)) {
            Control(req, res);
            return;
        }
        ServiceRequest request = Convert(req);
        const int hop = TakeRedirectHop(request.query);

        json entry = {{"method", req.method},
                      {"path", req.path},
                      {"target", request.target},
                      {"query", request.query},
                      {"headers", HeadersJson(req.headers)}};
        if (request.formValue)
            entry["value"] = *request.formValue;
        if (hop > 0)
            entry["hop"] = hop;
        const std::uint64_t sequence = log.Add(std::move(entry));

        const auto snapshot = Snapshot();
        ServiceReply real = Route(*snapshot, request);
        // Every hop of a redirect chain belongs to the one spoiled request that started it.
        const auto fault = hop == 0 ? faults.Find(request.path, true) : faults.FindChain(request.path);
        Delivery delivery;
        if (fault) {
            delivery = ApplyFault(*fault, request, hop, std::move(real));
        } else {
            delivery.reply = std::move(real);
        }
        log.Complete(sequence, {{"status", delivery.reply.status},
                                {"fault", fault ? json(ModeName(fault->settings)) : json(nullptr)}});
        Deliver(res, std::move(delivery));
    }

    void Deliver(httplib::Response& res, Delivery delivery)
    {
        ServiceReply& reply = delivery.reply;
        if (delivery.pace == Delivery::Pace::Hold) {
            Hold(delivery.hold);
            res.status = 504;
            return;
        }
        if (delivery.pace == Delivery::Pace::Chunked) {
            DeliverChunked(res, reply, reply.body.get(), delivery.chunkBytes, delivery.sendBytes);
            return;
        }
        res.status = reply.status;
        for (const auto& [name, value] : reply.headers)
            res.set_header(name, value);
        std::shared_ptr<BodySource> body(std::move(reply.body));
        const std::uint64_t size = body ? body->Size() : 0;
        if (size == 0) {
            res.set_content("", reply.contentType);
            return;
        }
        // Always a provider with a known length: the server library then sends the
        // bytes as they are and never compresses them on its own.
        const auto start = Clock::now();
        const std::uint64_t startGeneration = Generation();
        const std::string contentType = reply.contentType;
        auto pacing = std::make_shared<const Delivery>(std::move(delivery));
        res.set_content_provider(static_cast<std::size_t>(size), contentType,
                                 [this, body, pacing, start, startGeneration](std::size_t offset, std::size_t length,
                                                                              httplib::DataSink& sink) {
                                     return Provide(*body, *pacing, start, startGeneration, offset, length, sink);
                                 });
    }

    // No Content-Length: the body in chunks of chunkBytes; after sendBytes the stream
    // stops without its closing chunk, so the client cannot take it for complete. Written
    // here rather than by the server library, which would compress a text answer for a
    // client that accepts gzip; the connection then closes.
    void DeliverChunked(httplib::Response& res, const ServiceReply& reply, BodySource* body, std::size_t chunkBytes,
                        std::uint64_t sendBytes)
    {
        ConnectionStream* connection = ConnectionStream::Current();
        res.status = 500;
        if (!connection)
            return;
        std::string head =
            "HTTP/1.1 " + std::to_string(reply.status) + (reply.status == 200 ? " OK" : " Answer") + "\r\n";
        if (!reply.contentType.empty())
            head += "Content-Type: " + reply.contentType + "\r\n";
        for (const auto& [name, value] : reply.headers)
            head += name + ": " + value + "\r\n";
        head += "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
        bool ok = WriteAll(*connection, head);
        const std::uint64_t size = body ? body->Size() : 0;
        const std::uint64_t end = std::min(size, sendBytes);
        for (std::uint64_t offset = 0; ok && offset < end;) {
            std::string chunk;
            const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(chunkBytes, end - offset));
            ok = body->Read(offset, length, chunk) && !chunk.empty();
            if (!ok)
                break;
            offset += chunk.size();
            char sizeText[20];
            std::snprintf(sizeText, sizeof sizeText, "%zx\r\n", chunk.size());
            ok = WriteAll(*connection, sizeText + chunk + "\r\n");
        }
        if (ok && end == size)
            WriteAll(*connection, "0\r\n\r\n");
        connection->Abort();
    }

    static bool WriteAll(ConnectionStream& connection, const std::string& bytes)
    {
        for (std::size_t sent = 0; sent < bytes.size();) {
            const ssize_t n = connection.write(bytes.data() + sent, bytes.size() - sent);
            if (n <= 0)
                return false;
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }

    bool Provide(BodySource& body, const Delivery& d, Clock::time_point start, std::uint64_t startGeneration,
                 std::size_t offset, std::size_t length, httplib::DataSink& sink)
    {
        std::size_t block = std::min(length, ReadBlockBytes);
        switch (d.pace) {
        case Delivery::Pace::Truncate:
            // Content-Length announced the whole body; stop short and let the connection close.
            if (offset >= d.sendBytes)
                return false;
            block = std::min<std::size_t>(block, static_cast<std::size_t>(d.sendBytes - offset));
            break;
        case Delivery::Pace::Trickle: {
            block = std::min(block, d.chunkBytes);
            const auto next = Clock::now() + d.interval;
            if (next - start > d.limit || !SleepUntil(next, startGeneration))
                return false;
            break;
        }
        case Delivery::Pace::Throttle: {
            block =
                std::min<std::size_t>(block, std::max<std::size_t>(1, static_cast<std::size_t>(d.bytesPerSecond / 50)));
            const auto due = start + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(static_cast<double>(offset) / d.bytesPerSecond));
            if (due - start > d.limit || !SleepUntil(due, startGeneration))
                return false;
            break;
        }
        default: break;
        }
        std::string chunk;
        if (!body.Read(offset, block, chunk) || chunk.empty())
            return false;
        return sink.write(chunk.data(), chunk.size());
    }

    // Keeps the client waiting without a word; ends when the client gives up, the
    // time is over, the service stops or a test resets it. Then the connection
    // is dropped unanswered.
    void Hold(std::chrono::milliseconds duration)
    {
        const ConnectionStream* connection = ConnectionStream::Current();
        const auto deadline = Clock::now() + duration;
        const std::uint64_t startGeneration = Generation();
        while (Clock::now() < deadline) {
            if (connection && connection->PeerClosed())
                break;
            if (!SleepUntil(std::min(deadline, Clock::now() + std::chrono::milliseconds(50)), startGeneration))
                break;
        }
        if (connection)
            connection->Abort();
    }

    void Reset()
    {
        log.Clear();
        faults.Clear();
        std::lock_guard lock(mutex);
        catalogue = loadedCatalogue;
        ++generation;
        wake.notify_all();
    }

    void Control(const httplib::Request& req, httplib::Response& res)
    {
        const std::string what = req.path.substr(ControlPrefix.size());
        const bool post = req.method == "POST";
        if (what == "log" && req.method == "GET") {
            const auto after = ParseInteger(req.get_param_value("after")).value_or(0);
            SetJson(res, 200, log.Entries(static_cast<std::uint64_t>(std::max(0LL, after))));
        } else if (what == "reset" && post) {
            Reset();
            SetJson(res, 200, {{"ok", true}});
        } else if (what == "fault" && post) {
            const json request = json::parse(req.body, nullptr, false);
            const std::string error = request.is_discarded() ? "the body is not JSON" : faults.Set(request);
            SetJson(res, error.empty() ? 200 : 400, error.empty() ? json {{"ok", true}} : json {{"error", error}});
        } else if (what == "faults" && req.method == "GET") {
            SetJson(res, 200, faults.List());
        } else if (what == "catalogue" && req.method == "GET") {
            SetJson(res, 200, Snapshot()->Json());
        } else if (what == "catalogue" && post) {
            ReplaceCatalogue(req.body, res);
        } else if (what == "health" && req.method == "GET") {
            SetJson(res, 200, {{"ok", true}, {"port", port}});
        } else {
            SetJson(res, 404, {{"error", "no control endpoint " + req.method + " " + req.path}});
        }
    }

    void ReplaceCatalogue(const std::string& body, httplib::Response& res)
    {
        const json j = json::parse(body, nullptr, false);
        std::string error = "the body is not JSON";
        std::optional<Catalogue> replacement;
        if (!j.is_discarded())
            replacement = Catalogue::FromJson(j, catalogueFile.parent_path(), error);
        if (!replacement) {
            SetJson(res, 400, {{"error", error}});
            return;
        }
        {
            std::lock_guard lock(mutex);
            catalogue = std::make_shared<const Catalogue>(std::move(*replacement));
        }
        SetJson(res, 200, {{"ok", true}});
    }
};

HttpServer::HttpServer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

HttpServer::~HttpServer()
{
    Stop();
}

std::unique_ptr<HttpServer> HttpServer::Create(const Options& options, std::string& error)
{
    auto catalogue = Catalogue::Load(options.catalogueFile, error);
    if (!catalogue)
        return nullptr;
    auto impl = std::make_unique<Impl>(options.catalogueFile, std::make_shared<const Catalogue>(std::move(*catalogue)),
                                       options.logFile);
    if (!impl->log.IsOpen()) {
        error = "cannot open the log file " + options.logFile;
        return nullptr;
    }
    impl->Setup();
    return std::unique_ptr<HttpServer>(new HttpServer(std::move(impl)));
}

int HttpServer::Bind(int port)
{
    if (port == 0) {
        impl_->port = impl_->server.bind_to_any_port("127.0.0.1");
    } else {
        impl_->port = impl_->server.bind_to_port("127.0.0.1", port) ? port : -1;
    }
    return impl_->port;
}

std::string HttpServer::Origin() const
{
    return "http://127.0.0.1:" + std::to_string(impl_->port);
}

bool HttpServer::Run()
{
    impl_->runStarted = true;
    bool served = false;
    {
        std::lock_guard lock(impl_->mutex);
        if (impl_->stopping)
            served = true;
    }
    if (!served)
        served = impl_->server.listen_after_bind();
    impl_->runFinished = true;
    return served;
}

void HttpServer::Stop()
{
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopping = true;
        impl_->stoppingFlag = true;
        impl_->wake.notify_all();
    }
    if (!impl_->runStarted)
        return;
    // Run() may be between its start and the moment the server listens.
    while (!impl_->runFinished) {
        if (impl_->server.is_running()) {
            impl_->server.stop();
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace kordela::service
