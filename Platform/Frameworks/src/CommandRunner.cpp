#include "CommandRunnerHost.hpp"

#include "HostBackend.hpp"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

extern char** environ;

namespace Platform {
namespace {

std::function<std::string(const std::string&)>& Resolver()
{
    static std::function<std::string(const std::string&)> resolver;
    return resolver;
}

std::string Quoted(const std::vector<std::string>& arguments)
{
    std::string text;
    for (const auto& argument : arguments)
        text += (text.empty() ? "" : " ") + ("\"" + argument + "\"");
    return text;
}

// Records what the program printed, one transcript line per line.
void RecordOutput(int fd)
{
    std::string pending;
    std::array<char, 4096> buffer {};
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        pending.append(buffer.data(), static_cast<size_t>(n));
        for (size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
            Record("command output: " + pending.substr(0, end));
            pending.erase(0, end + 1);
        }
    }
    if (!pending.empty())
        Record("command output: " + pending);
}

}  // namespace

void SetProgramResolver(std::function<std::string(const std::string&)> resolver)
{
    Resolver() = std::move(resolver);
}

int RunProgram(const std::vector<std::string>& arguments)
{
    if (arguments.empty())
        return -1;
    Record("command: " + Quoted(arguments));
    const std::string program = Resolver() ? Resolver()(arguments[0]) : arguments[0];

    int output[2];
    if (::pipe(output) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, output[0]);
    posix_spawn_file_actions_addclose(&actions, output[1]);

    std::vector<char*> argv;
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv[0] = const_cast<char*>(program.c_str());
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    if (spawned != 0) {
        ::close(output[0]);
        Record("command failed to start: " + std::string(std::strerror(spawned)));
        return -1;
    }
    RecordOutput(output[0]);
    ::close(output[0]);

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    const int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    Record("command exit status " + std::to_string(exitStatus));
    return exitStatus;
}

}  // namespace Platform
