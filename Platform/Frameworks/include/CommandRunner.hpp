// Starts a program directly with an argument vector and waits for it, so that no character
// of a path or file name is ever read by a shell.
#pragma once

#include <string>
#include <vector>

namespace Platform {

// The program's exit status; -1 when it could not be started or did not exit normally.
int RunProgram(const std::vector<std::string>& arguments);

}  // namespace Platform
