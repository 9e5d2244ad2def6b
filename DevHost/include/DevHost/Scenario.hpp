// Scenario scripts: one user action, answer or check per line, run against a host.
#pragma once

#include "DevHost/Host.hpp"

#include <functional>
#include <istream>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace DevHost {

class Scenario {
public:
    using Command = std::function<std::string(const std::vector<std::string>& words)>;

    explicit Scenario(Host& host);

    // Runs every line; the transcript ends with "SUCCESS" or "FAILURE: reason". Answers success.
    bool Run(std::istream& script);

    // Later features add their own commands; a command answers an empty text or why it failed.
    void AddCommand(const std::string& name, Command command) { commands_[name] = std::move(command); }
    // A line "NAME WORD ..." goes to this command instead of NAME's own (e.g. "expect request").
    void AddSubcommand(const std::string& name, const std::string& word, Command command)
    {
        subcommands_[{name, word}] = std::move(command);
    }

    // Runs before each line, as the host's event loop runs between user actions (pages
    // finish loading there); a non-empty answer fails the scenario.
    void SetIdle(std::function<std::string()> idle) { idle_ = std::move(idle); }
    // Told the 1-based number of each line as it begins (the watchdog's limit per line).
    void SetStepObserver(std::function<void(size_t line)> observer) { stepObserver_ = std::move(observer); }

    // Plays lines while `open` holds: the user's side of a modal window named `what`.
    void DriveWhile(const std::function<bool()>& open, const std::string& what);

    // The next line as a user action to deliver now, when `accept` takes its words; none
    // otherwise (the line then waits for its turn).
    std::function<void()> NextLineIf(const std::function<bool(const std::vector<std::string>&)>& accept);

    // Splits a line into words; "double quotes" keep blanks and understand \" \\ \n.
    static std::vector<std::string> Split(const std::string& line, std::string* error);
    // Replaces each ${NAME} by the environment's value (for example the local service's origin).
    static std::string ExpandVariables(const std::string& line, std::string* error);

private:
    void Step();
    bool RunIdle();
    void Fail(const std::string& reason);
    void AddBuiltInCommands();
    std::string Print(const std::string& what);
    std::string Expect(const std::vector<std::string>& words);

    Host& host_;
    std::map<std::string, Command> commands_;
    std::map<std::pair<std::string, std::string>, Command> subcommands_;
    std::vector<std::string> lines_;
    size_t next_ = 0;
    bool failed_ = false;
    std::function<std::string()> idle_;
    std::function<void(size_t line)> stepObserver_;
};

}  // namespace DevHost
