// Scenario scripts: one user action, answer or check per line, run against a host.
#pragma once

#include "DevHost/Host.hpp"
#include "DevHost/LineProblem.hpp"

#include <functional>
#include <istream>
#include <map>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace DevHost {

class Scenario {
public:
    using Words = std::vector<std::string>;
    // What a line does once its words are read: answers an empty text or why it failed.
    using Action = std::function<std::string()>;
    // A line's words read: what the line does, or why the words are wrong.
    struct Parsed {
        template <typename F>
        requires std::is_invocable_r_v<std::string, F&> Parsed(F run) : action(std::move(run)) {}
        static Parsed Wrong(std::string why)
        {
            Parsed parsed;
            parsed.error = std::move(why);
            return parsed;
        }

        Action action;      // none when the words are wrong
        std::string error;  // why they are

    private:
        Parsed() = default;
    };
    // Reads a line's words. The whole script is read before its first line plays, so a
    // command checks its words here and leaves to its action only what depends on the play.
    using Command = std::function<Parsed(const Words& words)>;

    explicit Scenario(Host& host);

    // Checks the whole script, then runs every line; the transcript ends with "SUCCESS" or
    // "FAILURE: line N: reason". Answers success.
    bool Run(std::istream& script);

    // Later features add their own commands.
    void AddCommand(const std::string& name, Command command) { commands_[name] = std::move(command); }
    // A line "NAME WORD ..." goes to this command instead of NAME's own (e.g. "expect request").
    void AddSubcommand(const std::string& name, const std::string& word, Command command)
    {
        subcommands_[{name, word}] = std::move(command);
    }
    // "usage: TEXT" as the reason of wrong words.
    static Parsed Usage(const std::string& usage) { return Parsed::Wrong("usage: " + usage); }

    // Runs before each line, as the host's event loop runs between user actions (pages
    // finish loading there); a problem fails the scenario.
    void SetIdle(std::function<LineProblem()> idle) { idle_ = std::move(idle); }
    // Asked over the whole script (its comment lines too) before the first line plays.
    void AddScriptCheck(std::function<LineProblem(const std::vector<std::string>& lines)> check)
    {
        scriptChecks_.push_back(std::move(check));
    }
    // Asked once every line has played without a failure: what had to wait and never came.
    void AddEndCheck(std::function<LineProblem()> check) { endChecks_.push_back(std::move(check)); }
    // Told the 1-based number of each line as it begins (the watchdog's limit per line).
    void SetStepObserver(std::function<void(size_t line)> observer) { stepObserver_ = std::move(observer); }
    // The 1-based number of the line that began last (0 before the first).
    size_t Line() const { return next_; }

    // Plays lines while `open` holds: the user's side of a modal window named `what`.
    void DriveWhile(const std::function<bool()>& open, const std::string& what);

    // The next line as a user action to deliver now, when `accept` takes its words; none
    // otherwise (the line then waits for its turn).
    std::function<void()> NextLineIf(const std::function<bool(const std::vector<std::string>&)>& accept);

    // Splits a line into words; "double quotes" keep blanks and understand \" \\ \n.
    static std::vector<std::string> Split(const std::string& line, std::string* error);
    // A whole word as a decimal or 0x-hexadecimal number.
    static bool ParseNumber(const std::string& text, long* value);
    // Replaces each ${NAME} by the environment's value (for example the local service's origin).
    static std::string ExpandVariables(const std::string& line, std::string* error);

private:
    // The command of a line's words; null when there is none.
    const Command* Find(const Words& words) const;
    // Reads one line of the script.
    Parsed Read(const std::string& line) const;
    bool CheckScript();
    void Step();
    bool RunIdle();
    void Fail(const LineProblem& problem);
    void Fail(const std::string& reason) { Fail(LineProblem {reason}); }
    void AddBuiltInCommands();
    Parsed Print(const std::string& what);
    Parsed Expect(const Words& words);

    Host& host_;
    std::map<std::string, Command> commands_;
    std::map<std::pair<std::string, std::string>, Command> subcommands_;
    std::vector<std::string> lines_;
    size_t next_ = 0;
    bool failed_ = false;
    std::function<LineProblem()> idle_;
    std::vector<std::function<LineProblem(const std::vector<std::string>& lines)>> scriptChecks_;
    std::vector<std::function<LineProblem()>> endChecks_;
    std::function<void(size_t line)> stepObserver_;
};

}  // namespace DevHost
