// The simulated host's page engine: catalogue pages played from a script. Each page address
// (matched anywhere in the loaded address, so also inside an auto-logon address's
// "redirecturl") has a list of steps that run once the page has loaded: post a message,
// call a function of a script object, await a script the add-on evaluates, check the text
// captured, follow a link, close the window.
#pragma once

#include "DevHost/PageEngine.hpp"

#include <deque>
#include <map>
#include <string>
#include <vector>

namespace DevHost {

struct PageStep {
    enum class Kind { Post, Call, Await, Expect, Close, Link, NewWindow };
    Kind kind = Kind::Post;
    std::string text;               // JSON body, function name, expected text or address
    std::vector<std::string> args;  // JSON values of a call
};

class ScriptedPages final : public PageEngine {
public:
    void AddStep(const std::string& pattern, PageStep step);
    void SetBody(const std::string& pattern, const std::string& body);
    // Drops the script of exactly this pattern: the page does nothing more when it loads.
    void Forget(const std::string& pattern);

    // Finishes the pages that are loading and plays their steps. Answers the first problem
    // (a step that could not be played), empty when none.
    std::string RunPending() override;
    std::string PageLine(const std::vector<std::string>& words) override;

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
        std::string body;
    };
    struct LoadedPage {
        Platform::WebPage* page = nullptr;
        std::string url;
        std::vector<std::string> scripts;  // evaluated or called, not yet awaited
        std::string captured;
    };

    Script* FindScript(const std::string& url);
    std::string Play(int pageId, const Script& script);
    std::string PlayStep(int pageId, const PageStep& step);
    bool Alive(int pageId) const { return pages_.count(pageId) != 0; }

    std::vector<Script> scripts_;
    std::map<int, LoadedPage> pages_;
    std::deque<std::pair<int, std::string>> pending_;
    std::vector<std::string> evaluated_;
};

// The text a page script receives from a call script such as FakePost('...'): the first
// argument's string value when it is a string literal, else the arguments as written.
std::string ScriptArgumentText(const std::string& script);

}  // namespace DevHost
