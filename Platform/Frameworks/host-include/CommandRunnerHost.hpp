// The host application's side of starting programs.
#pragma once

#include "CommandRunner.hpp"

#include <functional>
#include <string>

namespace Platform {

// Where a program named by an absolute path really lies (the simulated host stands its own
// small programs in for system tools). Without a resolver the path is used.
void SetProgramResolver(std::function<std::string(const std::string& program)> resolver);

}  // namespace Platform
