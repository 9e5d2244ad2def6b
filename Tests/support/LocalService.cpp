#include "LocalService.hpp"

#include <curl/curl.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <thread>

extern char** environ;

namespace kordela::test {

namespace {

constexpr auto StartTimeout = std::chrono::seconds(60);
constexpr auto StopTimeout = std::chrono::seconds(20);
constexpr std::string_view OriginPrefix = "origin ";
constexpr const char* OriginVariable = "KORDELA_SERVICE_ORIGIN";

void InitCurlOnce()
{
    static const bool initialised = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
    (void)initialised;
}

struct CurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
    void operator()(curl_mime* mime) const { curl_mime_free(mime); }
};

size_t OnBody(char* data, size_t size, size_t count, void* user)
{
    auto* reply = static_cast<HttpReply*>(user);
    reply->body.append(data, size * count);
    ++reply->writeCalls;
    return size * count;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user)
{
    auto* reply = static_cast<HttpReply*>(user);
    const std::string line(data, size * count);
    if (line.rfind("HTTP/", 0) == 0)
        reply->headers.clear();  // a new answer after a redirect
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::string value = line.substr(colon + 1);
        while (!value.empty() && std::isspace(static_cast<unsigned char>(value.front())))
            value.erase(0, 1);
        while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back())))
            value.pop_back();
        reply->headers[name] = value;
    }
    return size * count;
}

// A loopback TCP socket bound to a free port; -1 when none could be made.
int BoundLoopbackSocket(int& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

// Reads the first line the child writes, giving up after the start timeout.
std::string ReadLine(int fd)
{
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + StartTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd entry {fd, POLLIN, 0};
        if (poll(&entry, 1, 200) <= 0)
            continue;
        char c = 0;
        if (read(fd, &c, 1) != 1)
            break;
        if (c == '\n')
            return line;
        line += c;
    }
    return {};
}

}  // namespace

HttpReply Fetch(const std::string& url, const HttpRequest& request)
{
    InitCurlOnce();
    HttpReply reply;
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        reply.error = "curl_easy_init failed";
        return reply;
    }
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &reply);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &reply);
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, request.timeoutMs);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    if (request.acceptEncoding)
        curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, "");

    std::unique_ptr<curl_mime, CurlDeleter> mime;
    if (request.formValue) {
        mime.reset(curl_mime_init(c));
        curl_mimepart* part = curl_mime_addpart(mime.get());
        curl_mime_name(part, "value");
        curl_mime_data(part, request.formValue->data(), request.formValue->size());
        curl_easy_setopt(c, CURLOPT_MIMEPOST, mime.get());
    } else if (request.method == "POST") {
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, request.body.c_str());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.body.size()));
    }
    if (request.method == "HEAD") {
        curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
    } else if (request.method != "GET" && request.method != "POST") {
        curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }

    std::unique_ptr<curl_slist, CurlDeleter> headers;
    std::vector<std::string> lines = request.headers;
    if (!request.contentType.empty())
        lines.push_back("Content-Type: " + request.contentType);
    for (const std::string& line : lines)
        headers.reset(curl_slist_append(headers.release(), line.c_str()));
    if (headers)
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());

    const CURLcode code = curl_easy_perform(c);
    reply.curlCode = static_cast<int>(code);
    if (code != CURLE_OK)
        reply.error = curl_easy_strerror(code);
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &reply.status);
    curl_easy_getinfo(c, CURLINFO_REDIRECT_COUNT, &reply.redirects);
    return reply;
}

LocalService::LocalService() : LocalService(Options {}) {}

LocalService::LocalService(Options options) : options_(std::move(options))
{
    Start();
}

LocalService::~LocalService()
{
    Stop();
}

void LocalService::Start()
{
    int out[2];
    int in[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return;
    if (pipe2(in, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return;
    }
    std::vector<std::string> args = {options_.executable, "--port",           "0",
                                     "--catalogue",       options_.catalogue, "--stop-on-stdin-eof"};
    if (!options_.logFile.empty()) {
        args.push_back("--log");
        args.push_back(options_.logFile);
    }
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    const int spawned = posix_spawn(&pid_, options_.executable.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(in[0]);
    stdinPipe_ = in[1];
    if (spawned != 0) {
        pid_ = -1;
        std::cerr << "LocalService: cannot start " << options_.executable << '\n';
        close(out[0]);
        return;
    }
    const std::string line = ReadLine(out[0]);
    close(out[0]);
    if (line.rfind(OriginPrefix, 0) == 0) {
        origin_ = line.substr(OriginPrefix.size());
    } else {
        std::cerr << "LocalService: the service did not announce its origin (got '" << line << "')\n";
    }
}

int LocalService::Stop()
{
    if (pid_ <= 0)
        return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    int result = -1;
    const auto deadline = std::chrono::steady_clock::now() + StopTimeout;
    for (;;) {
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            result = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            break;
        }
        if (done < 0)
            break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
    origin_.clear();
    if (stdinPipe_ >= 0)
        close(stdinPipe_);
    stdinPipe_ = -1;
    return result;
}

bool LocalService::SetFault(const std::string& path, const std::string& mode, const nlohmann::json& extra)
{
    nlohmann::json fault = extra.is_object() ? extra : nlohmann::json::object();
    fault["path"] = path;
    fault["mode"] = mode;
    HttpRequest request {.method = "POST", .body = fault.dump(), .contentType = "application/json"};
    return Fetch(Url("/_control/fault"), request).status == 200;
}

bool LocalService::Reset()
{
    return Fetch(Url("/_control/reset"), {.method = "POST"}).status == 200;
}

nlohmann::json LocalService::Log() const
{
    const HttpReply reply = Fetch(Url("/_control/log"));
    nlohmann::json log = nlohmann::json::parse(reply.body, nullptr, false);
    return log.is_array() ? log : nlohmann::json::array();
}

bool LocalService::SetCatalogue(const nlohmann::json& catalogue)
{
    HttpRequest request {.method = "POST", .body = catalogue.dump(), .contentType = "application/json"};
    return Fetch(Url("/_control/catalogue"), request).status == 200;
}

nlohmann::json LocalService::Catalogue() const
{
    return nlohmann::json::parse(Fetch(Url("/_control/catalogue")).body, nullptr, false);
}

bool LocalService::PublishCloud(int cloudId, int edition, const nlohmann::json& properties)
{
    nlohmann::json catalogue = Catalogue();
    if (!catalogue.is_object() || !catalogue.contains("propertyClouds"))
        return false;
    for (auto& cloud : catalogue["propertyClouds"]) {
        if (cloud.value("id", 0) != cloudId)
            continue;
        cloud["edition"] = edition;
        if (!properties.is_null())
            cloud["properties"] = properties;
        return SetCatalogue(catalogue);
    }
    return false;
}

ScopedServiceOrigin::ScopedServiceOrigin(const std::optional<std::string>& origin)
{
    if (const char* value = std::getenv(OriginVariable); value != nullptr)
        previous_ = value;
    if (origin)
        ::setenv(OriginVariable, origin->c_str(), 1);
    else
        ::unsetenv(OriginVariable);
}

ScopedServiceOrigin::~ScopedServiceOrigin()
{
    if (previous_)
        ::setenv(OriginVariable, previous_->c_str(), 1);
    else
        ::unsetenv(OriginVariable);
}

int ClosedLoopbackPort()
{
    int port = 0;
    const int fd = BoundLoopbackSocket(port);
    if (fd < 0)
        return 0;
    // Bound but never listening: the port stays refused until another socket takes it,
    // which a system that hands out ports in turn does not do soon.
    ::close(fd);
    return port;
}

std::string RefusingOrigin()
{
    return "http://127.0.0.1:" + std::to_string(ClosedLoopbackPort());
}

SilentListener::SilentListener()
{
    socket_ = BoundLoopbackSocket(port_);
    if (socket_ >= 0 && ::listen(socket_, 16) != 0) {
        ::close(socket_);
        socket_ = -1;
        port_ = 0;
    }
}

SilentListener::~SilentListener()
{
    if (socket_ >= 0)
        ::close(socket_);
}

UnannouncedLengthServer::UnannouncedLengthServer(std::string body, std::string head)
    : body_(std::move(body)), head_(std::move(head))
{
    listener_ = BoundLoopbackSocket(port_);
    if (listener_ < 0 || ::listen(listener_, 1) != 0)
        return;
    thread_ = std::thread([this] {
        const int connection = ::accept(listener_, nullptr, nullptr);
        if (connection < 0)
            return;
        char request[4096];
        std::string received;
        while (received.find("\r\n\r\n") == std::string::npos) {
            const ssize_t n = ::recv(connection, request, sizeof request, 0);
            if (n <= 0)
                break;
            received.append(request, static_cast<size_t>(n));
        }
        const std::string answer = head_ + body_;
        (void)!::send(connection, answer.data(), answer.size(), MSG_NOSIGNAL);
        ::close(connection);
    });
}

UnannouncedLengthServer::~UnannouncedLengthServer()
{
    if (listener_ >= 0) {
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
    }
    if (thread_.joinable())
        thread_.join();
}

}  // namespace kordela::test
