#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace kordela::service {

// The whole service on one loopback origin: service API, catalogue site,
// information host and the control endpoints under "/_control/".
class HttpServer {
public:
    struct Options {
        std::filesystem::path catalogueFile;
        std::string logFile;  // empty: request lines go to standard error
    };

    // Null, with the reason in error, when the catalogue or the log file cannot be used.
    static std::unique_ptr<HttpServer> Create(const Options& options, std::string& error);
    ~HttpServer();

    // Binds 127.0.0.1; port 0 lets the system choose. Returns the port, or -1.
    int Bind(int port);
    std::string Origin() const;

    // Serves until Stop(); returns false when serving could not start.
    bool Run();
    // Safe from any thread, also before Run() has started serving.
    void Stop();

private:
    struct Impl;
    explicit HttpServer(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace kordela::service
