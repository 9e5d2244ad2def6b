// Starts a program directly with an argument vector and waits for it, so that no character
// of a path or file name is ever read by a shell.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace Platform {

// The program's exit status; -1 when it could not be started or did not exit normally.
int RunProgram(const std::vector<std::string>& arguments);

// Host side: where a program named by an absolute path really lies (the simulated host
// stands its own small programs in for system tools). Without a resolver the path is used.
void SetProgramResolver(std::function<std::string(const std::string& program)> resolver);

}  // namespace Platform
