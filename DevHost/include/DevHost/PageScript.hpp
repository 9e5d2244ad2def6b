// Scenario commands for catalogue pages, browser windows and the virtual clock.
#pragma once

#include "DevHost/Scenario.hpp"
#include "DevHost/ScriptedPages.hpp"

#include <optional>

namespace DevHost {

// Adds the commands, lets pages load between the scenario's lines and, at its end, fails a
// page line that never ran.
void AddPageCommands(Scenario& scenario, PageEngine& pages);

// Reads "page ADDRESS VERB ..."; none, with why in `error`, when the words are not such a line.
std::optional<PageLine> ReadPageLine(const std::vector<std::string>& words, std::string* error);

}  // namespace DevHost
