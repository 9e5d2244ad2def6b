#pragma once

#include <httplib.h>

#include <functional>
#include <string>
#include <string_view>

namespace kordela::service {

// A connection as the service reads it. The server library refuses a request
// whose target holds a second "?", yet the add-on's auto-logon address carries
// the page address, query and all, unescaped in its own query. So the request
// line is read here and every "?" after the first reaches the library as
// "%3F"; the line as received stays available to the handlers.
class ConnectionStream final : public httplib::Stream {
public:
    ConnectionStream(int socket, std::function<bool()> stopping);

    // Called before each request on the connection.
    void StartRequest();
    // The request line of the current request as the client sent it.
    const std::string& RequestLine() const { return requestLine_; }
    // Waits until the client sends (true) or the wait is over (false).
    bool WaitForRequest(int timeoutMs) const;

    bool PeerClosed() const;
    // Ends the connection in both directions without another byte.
    void Abort() const;

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override { return socket_; }

    // The connection whose request the calling worker thread is handling.
    static ConnectionStream* Current();

private:
    bool WaitFor(short events, int timeoutMs) const;

    int socket_;
    std::function<bool()> stopping_;
    bool inRequestLine_ = false;
    bool seenQuestionMark_ = false;
    std::string requestLine_;
    std::string pending_;  // rewritten request-line bytes not yet handed out
};

// Server below replaces the library's per-connection loop, which is private to it, and
// calls its protected process_request(): both are internals, read and checked for the
// 0.11 series only. Check them again before allowing another version here.
static_assert(std::string_view(CPPHTTPLIB_VERSION).starts_with("0.11."),
              "Server::process_and_close_socket overrides internals of cpp-httplib 0.11; "
              "check it against this version of the library");

// The server library with connections read through ConnectionStream.
class Server final : public httplib::Server {
public:
    explicit Server(std::function<bool()> stopping) : stopping_(std::move(stopping)) {}

private:
    bool process_and_close_socket(socket_t sock) override;

    std::function<bool()> stopping_;
};

}  // namespace kordela::service
