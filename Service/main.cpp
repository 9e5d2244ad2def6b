// kordela-service: the local stand-in for the Kordela catalogue on 127.0.0.1.
//
//   kordela-service [--port N] [--catalogue FILE] [--log FILE] [--stop-on-stdin-eof]
//
// Prints "origin http://127.0.0.1:PORT" once it listens, then serves until
// SIGTERM or SIGINT (or, with --stop-on-stdin-eof, until its standard input
// closes: a test harness that dies then takes the service with it).

#include "HttpServer.hpp"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

namespace {

struct Arguments {
    int port = 0;
    std::string catalogue = KORDELA_DEFAULT_CATALOGUE;
    std::string log;
    bool stopOnStdinEof = false;
};

std::optional<Arguments> Parse(int argc, char** argv)
{
    Arguments args;
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--stop-on-stdin-eof") {
            args.stopOnStdinEof = true;
            continue;
        }
        if (i + 1 >= argc)
            return std::nullopt;
        const std::string value = argv[++i];
        if (flag == "--port") {
            char* end = nullptr;
            const long port = std::strtol(value.c_str(), &end, 10);
            if (*end != '\0' || port < 0 || port > 65535)
                return std::nullopt;
            args.port = static_cast<int>(port);
        } else if (flag == "--catalogue") {
            args.catalogue = value;
        } else if (flag == "--log") {
            args.log = value;
        } else {
            return std::nullopt;
        }
    }
    return args;
}

bool StdinClosed()
{
    pollfd entry {STDIN_FILENO, POLLIN, 0};
    if (poll(&entry, 1, 0) <= 0)
        return false;
    if (entry.revents & (POLLHUP | POLLERR | POLLNVAL))
        return true;
    char buffer[256];
    return read(STDIN_FILENO, buffer, sizeof buffer) == 0;  // input that arrives is ignored
}

}  // namespace

int main(int argc, char** argv)
{
    const auto args = Parse(argc, argv);
    if (!args) {
        std::cerr << "usage: kordela-service [--port N] [--catalogue FILE] [--log FILE] [--stop-on-stdin-eof]\n";
        return 2;
    }

    // Blocked before any thread starts, so that only the waiting thread below
    // receives them; a client that hangs up must not kill the service either.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    std::string error;
    auto server = kordela::service::HttpServer::Create({args->catalogue, args->log}, error);
    if (!server) {
        std::cerr << "kordela-service: " << error << '\n';
        return 1;
    }
    if (server->Bind(args->port) < 0) {
        std::cerr << "kordela-service: cannot listen on 127.0.0.1:" << args->port << '\n';
        return 1;
    }

    std::atomic<bool> finished {false};
    std::thread signalWaiter([&] {
        const timespec step {0, 100'000'000};
        while (!finished) {
            if (sigtimedwait(&stopSignals, nullptr, &step) > 0 || (args->stopOnStdinEof && StdinClosed())) {
                server->Stop();
                return;
            }
        }
    });

    std::cout << "origin " << server->Origin() << std::endl;
    const bool served = server->Run();
    finished = true;
    signalWaiter.join();
    return served ? 0 : 1;
}
