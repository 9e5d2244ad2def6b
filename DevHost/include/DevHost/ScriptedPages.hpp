// The simulated host's page engine: catalogue pages played from a script. Each page address
// (matched anywhere in the loaded address, so also inside an auto-logon address's
// "redirecturl") has a list of steps that run once the page has loaded: post a message,
// call a function of a script object, await a script the add-on evaluates, check the text
// captured, follow a link, close the window. A step counts as run once it has played (a
// body once the add-on has read it); LinesNeverRun answers the first that never did.
#pragma once

#include "DevHost/PageEngine.hpp"

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace DevHost {

class ScriptedPages final : public PageEngine {
public:
    void AddStep(const std::string& pattern, PageStep step);
    // `line`: the scenario line that wrote it, 0 when none did.
    void SetBody(const std::string& pattern, const std::string& body, size_t line = 0);
    // Drops the script of exactly this pattern: the page does nothing more when it loads.
    void Forget(const std::string& pattern, size_t line = 0);
    // The steps of exactly this pattern may never run: their page may not open.
    void MayNotOpen(const std::string& pattern) { mayNotOpen_.insert(pattern); }

    // Finishes the pages that are loading and plays their steps. Answers the first problem
    // (a step that could not be played), empty when none.
    LineProblem RunPending() override;
    std::string TakeLine(const PageLine& line) override;
    LineProblem LinesNeverRun() const override;

    const std::vector<std::string>& Evaluated() const { return evaluated_; }

    // Platform::WebBackend
    void Load(Platform::WebPage& page, const std::string& url) override;
    std::string Evaluate(Platform::WebPage& page, const std::string& script) override;
    std::optional<Platform::ScriptValue> CallFunction(Platform::WebPage& page, const std::string& function,
                                                      const std::vector<Platform::ScriptValue>& args) override;
    void PageGone(Platform::WebPage& page) override;

private:
    struct Script {
        std::string pattern;
        std::vector<PageStep> steps;
        std::vector<size_t> written;  // each step's entry in written_
        std::string body;
        size_t bodyWritten = 0;  // 0: no body was given
    };
    // What became of a step (or a body) since it was written.
    struct Written {
        std::string what;  // "page ADDRESS VERB"
        std::string pattern;
        size_t line = 0;  // the scenario line that wrote it, 0 when none did
        bool body = false;
        bool loaded = false;  // a page loaded with its script after it was written
        bool ran = false;     // played at least once (a body: read)
        bool dropped = false;
        size_t droppedBy = 0;  // the line that dropped it before it ran
    };
    struct LoadedPage {
        Platform::WebPage* page = nullptr;
        std::string url;
        std::vector<std::string> scripts;  // evaluated or called, not yet awaited
        std::string captured;
    };

    Script* FindScript(const std::string& url);
    // Keeps track of a new step or body; answers its entry in written_ (1-based).
    size_t Write(const std::string& pattern, const std::string& verb, size_t line);
    Written* WrittenAt(size_t entry);
    void Drop(size_t entry, size_t byLine);
    LineProblem Play(int pageId, const Script& script);
    std::string PlayStep(int pageId, const PageStep& step);
    bool Alive(int pageId) const { return pages_.count(pageId) != 0; }

    std::vector<Script> scripts_;
    std::map<int, LoadedPage> pages_;
    std::deque<std::pair<int, std::string>> pending_;
    std::vector<std::string> evaluated_;
    std::vector<Written> written_;
    std::set<std::string> mayNotOpen_;
    std::set<std::string> played_;  // patterns whose script a page has played
};

// The text a page script receives from a call script such as FakePost('...'): the first
// argument's string value when it is a string literal, else the arguments as written.
std::string ScriptArgumentText(const std::string& script);

}  // namespace DevHost
