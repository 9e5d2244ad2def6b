// Scenario lines about the project: open, select, save, print parts and elements, and run
// commands that the add-on installed.
#pragma once

#include "DevHost/Scenario.hpp"

namespace DevHost {

void AddProjectCommands(Scenario& scenario, Host& host);

}  // namespace DevHost
