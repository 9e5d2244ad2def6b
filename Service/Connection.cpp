#include "Connection.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace kordela::service {

namespace {

constexpr int ReadTimeoutMs = 10000;
constexpr int WriteTimeoutMs = 10000;
constexpr int FirstRequestTimeoutMs = 10000;
// Short, so that idle connections do not hold up a shutdown.
constexpr int KeepAliveTimeoutMs = 1000;
constexpr int KeepAliveMaxRequests = 5;
constexpr int PollStepMs = 50;

thread_local ConnectionStream* current = nullptr;

void AddressText(const sockaddr_storage& address, std::string& ip, int& port)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(address);
        inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
        port = ntohs(in.sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
        inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text);
        port = ntohs(in6.sin6_port);
    }
    ip = text;
}

}  // namespace

ConnectionStream::ConnectionStream(int socket, std::function<bool()> stopping)
    : socket_(socket), stopping_(std::move(stopping))
{}

ConnectionStream* ConnectionStream::Current()
{
    return current;
}

void ConnectionStream::StartRequest()
{
    inRequestLine_ = true;
    seenQuestionMark_ = false;
    requestLine_.clear();
    pending_.clear();
}

bool ConnectionStream::WaitFor(short events, int timeoutMs) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!stopping_()) {
        pollfd entry {socket_, events, 0};
        const int ready = poll(&entry, 1, PollStepMs);
        if (ready > 0)
            return (entry.revents & (events | POLLHUP | POLLERR)) != 0;
        if (ready < 0 || std::chrono::steady_clock::now() > deadline)
            return false;
    }
    return false;
}

bool ConnectionStream::WaitForRequest(int timeoutMs) const
{
    return WaitFor(POLLIN, timeoutMs);
}

bool ConnectionStream::PeerClosed() const
{
    pollfd entry {socket_, POLLIN | POLLRDHUP, 0};
    if (poll(&entry, 1, 0) <= 0)
        return false;
    if (entry.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL))
        return true;
    char byte = 0;
    return recv(socket_, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

void ConnectionStream::Abort() const
{
    shutdown(socket_, SHUT_RDWR);
}

bool ConnectionStream::is_readable() const
{
    return !pending_.empty() || WaitFor(POLLIN, ReadTimeoutMs);
}

bool ConnectionStream::is_writable() const
{
    return WaitFor(POLLOUT, WriteTimeoutMs);
}

ssize_t ConnectionStream::read(char* ptr, size_t size)
{
    if (pending_.empty()) {
        if (!WaitFor(POLLIN, ReadTimeoutMs))
            return -1;
        if (!inRequestLine_)
            return recv(socket_, ptr, size, 0);
        // One byte at a time, never past the end of the request line: what
        // follows is read unchanged.
        char c = 0;
        const ssize_t received = recv(socket_, &c, 1, 0);
        if (received <= 0)
            return received;
        requestLine_ += c;
        if (c == '\n') {
            inRequestLine_ = false;
            pending_ += c;
        } else if (c == '?' && seenQuestionMark_) {
            pending_ += "%3F";
        } else {
            seenQuestionMark_ = seenQuestionMark_ || c == '?';
            pending_ += c;
        }
    }
    const size_t count = std::min(size, pending_.size());
    pending_.copy(ptr, count);
    pending_.erase(0, count);
    return static_cast<ssize_t>(count);
}

ssize_t ConnectionStream::write(const char* ptr, size_t size)
{
    if (!WaitFor(POLLOUT, WriteTimeoutMs))
        return -1;
    return send(socket_, ptr, size, MSG_NOSIGNAL);
}

void ConnectionStream::get_remote_ip_and_port(std::string& ip, int& port) const
{
    sockaddr_storage address {};
    socklen_t length = sizeof address;
    if (getpeername(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        AddressText(address, ip, port);
}

void ConnectionStream::get_local_ip_and_port(std::string& ip, int& port) const
{
    sockaddr_storage address {};
    socklen_t length = sizeof address;
    if (getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        AddressText(address, ip, port);
}

bool Server::process_and_close_socket(socket_t sock)
{
    ConnectionStream stream(sock, stopping_);
    current = &stream;
    bool ok = true;
    for (int left = KeepAliveMaxRequests; left > 0; --left) {
        const int timeout = left == KeepAliveMaxRequests ? FirstRequestTimeoutMs : KeepAliveTimeoutMs;
        if (!stream.WaitForRequest(timeout))
            break;
        stream.StartRequest();
        bool closed = false;
        ok = process_request(stream, left == 1 || stopping_(), closed, nullptr);
        if (!ok || closed)
            break;
    }
    current = nullptr;
    shutdown(sock, SHUT_RDWR);
    close(sock);
    return ok;
}

}  // namespace kordela::service
