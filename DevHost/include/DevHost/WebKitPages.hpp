// The simulated host's second page engine: catalogue pages loaded and run by a real browser
// engine (WebKitGTK, on an X display such as a virtual one made by xvfb-run). What the
// pages do is their own script's business; the engine hands their messages to the add-on
// and runs the add-on's scripts in them. Engine events (loads, messages, calls of the
// legacy "external" object) are queued and delivered one at a time between the add-on's
// own steps, so the add-on never hears a page while it is handling another of its calls.
#pragma once

#include "DevHost/PageEngine.hpp"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace DevHost {

class WebKitPages final : public PageEngine {
public:
    // Null, and why, when no display can be opened.
    static std::unique_ptr<WebKitPages> Create(std::string* error);
    ~WebKitPages() override;

    // Delivers what the pages did until every page has loaded and none is busy: a page marks
    // itself busy (attribute "data-busy" on its root element) while it works by itself.
    LineProblem RunPending() override;
    // Only "page ADDRESS close" has a meaning for a real page (the user closes its window
    // once it has settled); every other step says that the real page decides.
    std::string TakeLine(const PageLine& line) override;

    // Platform::WebBackend
    void Load(Platform::WebPage& page, const std::string& url) override;
    std::string Evaluate(Platform::WebPage& page, const std::string& script) override;
    std::optional<Platform::ScriptValue> CallFunction(Platform::WebPage& page, const std::string& function,
                                                      const std::vector<Platform::ScriptValue>& args) override;
    void PageGone(Platform::WebPage& page) override;

    struct Impl;

private:
    WebKitPages();
    std::unique_ptr<Impl> impl_;
};

}  // namespace DevHost
