#include "DevHost/PageScript.hpp"

#include "DGHost.hpp"

#include <cstdlib>

namespace DevHost {
namespace {

std::string Usage(const std::string& usage)
{
    return "usage: " + usage;
}

}  // namespace

const char* const PageUsage =
    "page ADDRESS post JSON | call FUNCTION [JSON ...] | await FUNCTION | expect TEXT | body TEXT | close | "
    "link ADDRESS | new-window ADDRESS | forget";

std::string ScriptedPages::PageLine(const std::vector<std::string>& w)
{
    ScriptedPages& pages = *this;
    if (w.size() < 3)
        return Usage(PageUsage);
    const std::string& pattern = w[1];
    const std::string& verb = w[2];
    const bool one = w.size() == 4;
    using Kind = PageStep::Kind;
    if (verb == "post" && one)
        pages.AddStep(pattern, {Kind::Post, w[3], {}});
    else if (verb == "call" && w.size() >= 4)
        pages.AddStep(pattern, {Kind::Call, w[3], std::vector<std::string>(w.begin() + 4, w.end())});
    else if (verb == "await" && one)
        pages.AddStep(pattern, {Kind::Await, w[3], {}});
    else if (verb == "expect" && one)
        pages.AddStep(pattern, {Kind::Expect, w[3], {}});
    else if (verb == "body" && one)
        pages.SetBody(pattern, w[3]);
    else if (verb == "close" && w.size() == 3)
        pages.AddStep(pattern, {Kind::Close, {}, {}});
    else if (verb == "link" && one)
        pages.AddStep(pattern, {Kind::Link, w[3], {}});
    else if (verb == "new-window" && one)
        pages.AddStep(pattern, {Kind::NewWindow, w[3], {}});
    else if (verb == "forget" && w.size() == 3)
        pages.Forget(pattern);
    else
        return Usage(PageUsage);
    return {};
}

void AddPageCommands(Scenario& scenario, PageEngine& pages)
{
    scenario.SetIdle([&pages] { return pages.RunPending(); });
    pages.userDriver = [&scenario](NSWindow& window) {
        scenario.DriveWhile([&window] { return !window.isClosed(); },
                            "window " + std::to_string(window.WindowNumber()));
    };
    // A close box clicked while a download runs reaches the add-on between its steps: the
    // next line is delivered then when it closes an open modal dialog or the front window.
    pages.eventSource = [&scenario, &pages] {
        return scenario.NextLineIf([&pages](const std::vector<std::string>& w) {
            if (w.size() == 2 && w[0] == "close-box") {
                const auto dialog = DGHost::GetDialog(static_cast<short>(std::atol(w[1].c_str())));
                return dialog && dialog->kind == "modal";
            }
            return w.size() == 1 && w[0] == "close-window" && pages.FrontWindow() != nullptr;
        });
    };
    scenario.AddCommand("page", [&pages](const std::vector<std::string>& w) { return pages.PageLine(w); });
    scenario.AddCommand("close-window", [&pages](const std::vector<std::string>& w) {
        if (w.size() != 1)
            return Usage("close-window");
        NSWindow* window = pages.FrontWindow();
        if (window == nullptr)
            return std::string("no window is open");
        Platform::Record("the user closes window " + std::to_string(window->WindowNumber()));
        window->close();
        return std::string();
    });
    scenario.AddCommand("expect-slept", [&pages](const std::vector<std::string>& w) {
        if (w.size() != 2)
            return Usage("expect-slept SECONDS");
        const long expected = std::atol(w[1].c_str());
        const long slept = static_cast<long>(pages.Slept().count() / 1000);
        return slept == expected ? std::string()
                                 : "expected " + w[1] + " s of waiting, there were " + std::to_string(slept) + " s";
    });
}

}  // namespace DevHost
