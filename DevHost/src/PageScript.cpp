#include "DevHost/PageScript.hpp"

#include "DGHost.hpp"

#include <cstdlib>

namespace DevHost {
namespace {

using Parsed = Scenario::Parsed;
using Words = Scenario::Words;

const char* const PageUsage =
    "page ADDRESS post JSON | call FUNCTION [JSON ...] | await FUNCTION | expect TEXT | body TEXT | close | "
    "link ADDRESS | new-window ADDRESS | forget | may-not-open";

}  // namespace

std::optional<PageLine> ReadPageLine(const std::vector<std::string>& w, std::string* error)
{
    using Verb = PageLine::Verb;
    // The verbs with how many words follow the address (-1: two or more).
    std::vector<std::pair<PageStepVerb, Verb>> verbs = {{{PageStep::Kind::Post, "body", 2}, Verb::Body},
                                                        {{PageStep::Kind::Post, "forget", 1}, Verb::Forget},
                                                        {{PageStep::Kind::Post, "may-not-open", 1}, Verb::MayNotOpen}};
    for (const PageStepVerb& step : PageStepVerbs())
        verbs.emplace_back(step, Verb::Step);
    for (const auto& [verb, kind] : verbs) {
        if (w.size() < 3 || w[2] != verb.verb)
            continue;
        const size_t after = w.size() - 2;
        if (verb.words >= 0 ? after != static_cast<size_t>(verb.words) : after < 2)
            break;
        PageLine line;
        line.verb = kind;
        line.pattern = w[1];
        line.step.kind = verb.kind;
        if (w.size() > 3)
            line.step.text = w[3];
        if (w.size() > 4)
            line.step.args.assign(w.begin() + 4, w.end());
        line.words = w;
        return line;
    }
    *error = "usage: " + std::string(PageUsage);
    return std::nullopt;
}

std::string ScriptedPages::TakeLine(const PageLine& line)
{
    switch (line.verb) {
    case PageLine::Verb::Step: AddStep(line.pattern, line.step); break;
    case PageLine::Verb::Body: SetBody(line.pattern, line.step.text, line.step.line); break;
    case PageLine::Verb::Forget: Forget(line.pattern, line.step.line); break;
    case PageLine::Verb::MayNotOpen: MayNotOpen(line.pattern); break;
    }
    return {};
}

void AddPageCommands(Scenario& scenario, PageEngine& pages)
{
    // A page step fails while a later line has its page open: both lines are named.
    scenario.SetIdle([&scenario, &pages] {
        LineProblem problem = pages.RunPending();
        if (problem.line != 0 && problem.line != scenario.Line())
            problem.reason += " (page opened by line " + std::to_string(scenario.Line()) + ")";
        return problem;
    });
    scenario.AddEndCheck([&pages] { return pages.LinesNeverRun(); });
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
    scenario.AddCommand("page", [&scenario, &pages](const Words& w) -> Parsed {
        std::string error;
        auto line = ReadPageLine(w, &error);
        if (!line)
            return Parsed::Wrong(error);
        return [&scenario, &pages, line = std::move(*line)]() mutable {
            line.step.line = scenario.Line();
            return pages.TakeLine(line);
        };
    });
    scenario.AddCommand("close-window", [&pages](const Words& w) -> Parsed {
        if (w.size() != 1)
            return Scenario::Usage("close-window");
        return [&pages] {
            NSWindow* window = pages.FrontWindow();
            if (window == nullptr)
                return std::string("no window is open");
            Platform::Record("the user closes window " + std::to_string(window->WindowNumber()));
            window->close();
            return std::string();
        };
    });
    scenario.AddCommand("expect-slept", [&pages](const Words& w) -> Parsed {
        long expected = 0;
        if (w.size() != 2 || !Scenario::ParseNumber(w[1], &expected))
            return Scenario::Usage("expect-slept SECONDS");
        return [&pages, expected] {
            const long slept = static_cast<long>(pages.Slept().count() / 1000);
            return slept == expected ? std::string()
                                     : "expected " + std::to_string(expected) + " s of waiting, there were " +
                                           std::to_string(slept) + " s";
        };
    });
}

}  // namespace DevHost
