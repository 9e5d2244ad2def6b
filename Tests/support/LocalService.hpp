#pragma once

// The local catalogue service for integration tests: started as a child
// process on a free loopback port, driven through its control endpoints, and
// stopped when the object goes.
//
//   kordela::test::LocalService service;
//   ScopedServiceOrigin origin(service.Origin());   // the add-on asks this service
//   service.SetFault("/GetUnreadEmailsCount2", "http500");
//   ... run the add-on ...
//   for (const auto& entry : service.Log()) ...   // what went over the wire

#include <nlohmann/json.hpp>

#include <sys/types.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace kordela::test {

struct HttpRequest {
    std::string method = "GET";
    std::optional<std::string> formValue {};  // sent as the multipart field "value" (POST)
    std::string body {};                      // a raw POST body when there is no form value
    std::string contentType {};               // of the raw body
    std::vector<std::string> headers {};      // "Name: value"
    bool followRedirects = false;
    bool acceptEncoding = false;  // let libcurl ask for and decode compressed answers
    long timeoutMs = 60000;
};

struct HttpReply {
    int curlCode = -1;  // 0 when the transfer completed
    std::string error;  // libcurl's text when it did not
    long status = 0;
    std::string body;
    std::map<std::string, std::string> headers;  // names in lower case
    long redirects = 0;
    std::size_t writeCalls = 0;  // how many pieces the body arrived in

    bool Ok() const { return curlCode == 0; }
    // The value of a header of the last answer; empty when it had none.
    std::string Header(const std::string& lowerCaseName) const
    {
        const auto it = headers.find(lowerCaseName);
        return it == headers.end() ? std::string() : it->second;
    }
};

// One blocking transfer with libcurl.
HttpReply Fetch(const std::string& url, const HttpRequest& request = {});

class LocalService {
public:
    struct Options {
        std::string executable = KORDELA_SERVICE_EXE;
        std::string catalogue = std::string(KORDELA_SAMPLES_DIR) + "/catalogue.json";
        std::string logFile {};  // empty: the service's request lines go to the test's standard error

        // A service whose request lines go nowhere: tests read the log through Log().
        static Options Quiet()
        {
            Options options;
            options.logFile = "/dev/null";
            return options;
        }
    };

    LocalService();
    explicit LocalService(Options options);
    ~LocalService();

    LocalService(const LocalService&) = delete;
    LocalService& operator=(const LocalService&) = delete;

    // True once the service has announced its origin.
    bool Running() const { return !origin_.empty(); }
    // "http://127.0.0.1:PORT"; empty when the service did not start.
    const std::string& Origin() const { return origin_; }
    std::string Url(std::string_view pathAndQuery) const { return origin_ + std::string(pathAndQuery); }

    // Misbehaviour on one path (or "/prefix/*"); extra holds the mode's settings,
    // e.g. {{"seconds", 5}} or {{"count", 1}}. False when the service refused it.
    bool SetFault(const std::string& path, const std::string& mode,
                  const nlohmann::json& extra = nlohmann::json::object());
    // Clears the log and the faults, restores the catalogue, releases held requests.
    bool Reset();
    // Every request received since the last reset, oldest first.
    nlohmann::json Log() const;
    // Replaces the catalogue until the next reset.
    bool SetCatalogue(const nlohmann::json& catalogue);
    nlohmann::json Catalogue() const;
    // Publishes a new edition of a property cloud of the catalogue until the next reset, with
    // new properties when they are given (entries as in the catalogue file).
    bool PublishCloud(int cloudId, int edition, const nlohmann::json& properties = nullptr);

    // Sends SIGTERM and waits; returns the exit status, or -1 when the service
    // had to be killed or was not running.
    int Stop();

private:
    void Start();

    Options options_;
    pid_t pid_ = -1;
    int stdinPipe_ = -1;  // the service exits when this closes, also if the test dies
    std::string origin_;
};

// Sets the service origin the add-on uses (KORDELA_SERVICE_ORIGIN) while it lives and puts
// back what was there before, also nothing. Without an origin the add-on uses the real
// addresses.
class ScopedServiceOrigin {
public:
    explicit ScopedServiceOrigin(const std::optional<std::string>& origin);
    ~ScopedServiceOrigin();
    ScopedServiceOrigin(const ScopedServiceOrigin&) = delete;
    ScopedServiceOrigin& operator=(const ScopedServiceOrigin&) = delete;

private:
    std::optional<std::string> previous_;
};

// A loopback port nothing listens on: bound and closed again, so a connection is refused.
int ClosedLoopbackPort();
// "http://127.0.0.1:PORT" of ClosedLoopbackPort().
std::string RefusingOrigin();

// A loopback socket that listens but never accepts: connections are made, and nothing answers.
class SilentListener {
public:
    SilentListener();
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    int Port() const { return port_; }
    std::string Origin() const { return "http://127.0.0.1:" + std::to_string(port_); }

private:
    int socket_ = -1;
    int port_ = 0;
};

// One answer on one connection: by default a 200 without a length, whose body ends when the
// connection closes; `head` gives the status line and headers otherwise.
class UnannouncedLengthServer {
public:
    explicit UnannouncedLengthServer(std::string body,
                                     std::string head = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
    ~UnannouncedLengthServer();
    UnannouncedLengthServer(const UnannouncedLengthServer&) = delete;
    UnannouncedLengthServer& operator=(const UnannouncedLengthServer&) = delete;

    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

private:
    std::string body_;
    std::string head_;
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
};

// API keys the sample catalogue knows, by what the service answers for them.
namespace ServiceKeys {
inline constexpr const char* ThreeMails = "3f2504e0-4f89-11d3-9a0c-0305e82c3301";
inline constexpr const char* ManyMails = "9B1DEB4D-3B7D-4BAD-9BDD-2B0D7B3DCB6D";
}  // namespace ServiceKeys

}  // namespace kordela::test
