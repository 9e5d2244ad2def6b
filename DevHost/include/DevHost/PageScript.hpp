// Scenario commands for catalogue pages, browser windows and the virtual clock.
#pragma once

#include "DevHost/Scenario.hpp"
#include "DevHost/ScriptedPages.hpp"

namespace DevHost {

// Adds the commands and lets pages load between the scenario's lines.
void AddPageCommands(Scenario& scenario, PageEngine& pages);

// How a "page" line is written.
extern const char* const PageUsage;

}  // namespace DevHost
