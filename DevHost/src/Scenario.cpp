#include "DevHost/Scenario.hpp"

#include "DGHost.hpp"
#include "GSPrefHost.hpp"
#include "IOFaults.hpp"

#include <charconv>
#include <cstdlib>
#include <sstream>

namespace DevHost {

bool Scenario::ParseNumber(const std::string& text, long* value)
{
    int base = 10;
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        begin += 2;
    }
    const auto result = std::from_chars(begin, end, *value, base);
    return result.ec == std::errc() && result.ptr == end;
}

namespace {

constexpr short PaletteId = 32600;

bool ParseSize(const std::string& text, DG::Point* size)
{
    const auto x = text.find('x');
    long width = 0;
    long height = 0;
    if (x == std::string::npos || !Scenario::ParseNumber(text.substr(0, x), &width) ||
        !Scenario::ParseNumber(text.substr(x + 1), &height))
        return false;
    size->Set(static_cast<short>(width), static_cast<short>(height));
    return true;
}

using Parsed = Scenario::Parsed;
using Words = Scenario::Words;

// An action that has nothing left to check.
template <typename F>
Parsed Done(F run)
{
    return [run = std::move(run)] {
        run();
        return std::string();
    };
}

// A "NAME KIND ..." command given only the words after the kind.
Scenario::Command WordsAfterKind(Scenario::Command command)
{
    return [command = std::move(command)](const Words& w) { return command(Words(w.begin() + 2, w.end())); };
}

// fault file OP PATH ERROR | fault file clear (given the words after "file")
Parsed FileFault(const Words& w)
{
    if (w.size() == 1 && w[0] == "clear")
        return Done([] { IO::Faults::Clear(); });
    const auto operation = w.size() == 3 ? IO::Faults::ParseOperation(w[0]) : std::nullopt;
    const auto error = w.size() == 3 ? IO::Faults::ParseError(w[2]) : std::nullopt;
    if (!operation || !error || w[1].empty() || w[1].front() != '/')
        return Scenario::Usage(
            "fault file create|open|write|copy|delete|folder /PATH exists|denied|full|missing|other, "
            "or fault file clear");
    return Done([operation = *operation, path = w[1], error = *error] { IO::Faults::Set(operation, path, error); });
}

std::string DescribeDialog(const DGHost::DialogInfo& dialog)
{
    std::ostringstream out;
    out << (dialog.kind == "palette" ? "palette " : "dialog ") << dialog.id << " " << dialog.width << "x"
        << dialog.height << (dialog.visible ? " visible" : " hidden");
    for (const auto& item : dialog.items) {
        out << "\n  item " << item.id << " " << item.kind << " at " << item.x << "," << item.y << " " << item.width
            << "x" << item.height;
        if (!item.visible)
            out << " hidden";
        if (!item.icon.empty())
            out << " icon " << item.icon;
        if (!item.text.empty() && item.kind != "iconbutton")
            out << " \"" << item.text << "\"";
        if (item.value != 0)
            out << " value " << item.value;
    }
    return out.str();
}

}  // namespace

Scenario::Scenario(Host& host) : host_(host)
{
    AddBuiltInCommands();
}

std::string Scenario::ExpandVariables(const std::string& line, std::string* error)
{
    std::string expanded;
    size_t at = 0;
    for (size_t open = line.find("${"); open != std::string::npos; open = line.find("${", at)) {
        const size_t close = line.find('}', open);
        if (close == std::string::npos) {
            *error = "unterminated ${";
            return line;
        }
        const std::string name = line.substr(open + 2, close - open - 2);
        const char* value = std::getenv(name.c_str());
        if (value == nullptr) {
            *error = "the environment has no " + name;
            return line;
        }
        expanded += line.substr(at, open - at) + value;
        at = close + 1;
    }
    return expanded + line.substr(at);
}

std::vector<std::string> Scenario::Split(const std::string& line, std::string* error)
{
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t') {
            ++i;
            continue;
        }
        if (line[i] == '#')
            break;
        std::string word;
        if (line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                const char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\' && i < line.size()) {
                    const char e = line[i++];
                    word += e == 'n' ? '\n' : e == 't' ? '\t' : e;
                } else {
                    word += c;
                }
            }
            if (!closed && error != nullptr)
                *error = "unterminated quote";
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t')
                word += line[i++];
        }
        words.push_back(std::move(word));
    }
    return words;
}

bool Scenario::Run(std::istream& script)
{
    lines_.clear();
    for (std::string line; std::getline(script, line);)
        lines_.push_back(line);
    next_ = 0;
    failed_ = false;
    if (!CheckScript()) {
        host_.FlushTranscript();
        return false;
    }
    host_.modalDriver = [this](short dialogId) {
        DriveWhile([dialogId] { return DGHost::IsOpen(dialogId); }, "dialog " + std::to_string(dialogId));
    };
    while (RunIdle() && next_ < lines_.size()) {
        Step();
        host_.FinishPendingQuit();
    }
    host_.FinishPendingQuit();
    host_.modalDriver = nullptr;
    for (const auto& check : endChecks_) {
        if (failed_)
            break;
        if (const LineProblem problem = check(); !problem.reason.empty())
            Fail(problem);
    }
    if (!failed_)
        host_.Transcript("SUCCESS");
    host_.FlushTranscript();
    return !failed_;
}

bool Scenario::CheckScript()
{
    for (const auto& check : scriptChecks_) {
        if (const LineProblem problem = check(lines_); !problem.reason.empty()) {
            Fail(problem);
            return false;
        }
    }
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (const Parsed parsed = Read(lines_[i]); !parsed.action) {
            Fail(LineProblem {parsed.error + " (nothing was played)", i + 1});
            return false;
        }
    }
    return true;
}

const Scenario::Command* Scenario::Find(const Words& words) const
{
    if (words.size() > 1)
        if (const auto sub = subcommands_.find({words[0], words[1]}); sub != subcommands_.end())
            return &sub->second;
    const auto command = commands_.find(words[0]);
    return command != commands_.end() ? &command->second : nullptr;
}

Scenario::Parsed Scenario::Read(const std::string& text) const
{
    std::string error;
    const std::string line = ExpandVariables(text, &error);
    if (!error.empty())
        return Parsed::Wrong(error);
    const auto words = Split(line, &error);
    if (!error.empty())
        return Parsed::Wrong(error);
    if (words.empty())
        return [] { return std::string(); };
    const Command* command = Find(words);
    if (command == nullptr)
        return Parsed::Wrong("unknown command \"" + words[0] + "\"");
    return (*command)(words);
}

std::function<void()> Scenario::NextLineIf(const std::function<bool(const std::vector<std::string>&)>& accept)
{
    if (failed_ || next_ >= lines_.size())
        return {};
    std::string error;
    const auto words = Split(ExpandVariables(lines_[next_], &error), &error);
    if (!error.empty() || words.empty() || !accept(words))
        return {};
    return [this] { Step(); };
}

void Scenario::DriveWhile(const std::function<bool()>& open, const std::string& what)
{
    // Pending events may close the window before the user's next line is read. When the
    // host is quitting the session ends, and with it the window.
    const Host::ModalSession session(host_);
    while (!host_.QuitPending() && RunIdle() && open() && next_ < lines_.size())
        Step();
    if (!failed_ && !host_.QuitPending() && open())
        Fail("the scenario ended while " + what + " was open");
}

bool Scenario::RunIdle()
{
    if (idle_ && !failed_) {
        if (const LineProblem problem = idle_(); !problem.reason.empty())
            Fail(problem);
    }
    return !failed_;
}

void Scenario::Fail(const LineProblem& problem)
{
    if (failed_)
        return;
    failed_ = true;
    host_.Transcript("FAILURE: line " + std::to_string(problem.line != 0 ? problem.line : next_) + ": " +
                     problem.reason);
    host_.FlushTranscript();
}

void Scenario::Step()
{
    // Each of the user's turns starts with the transcript so far on screen.
    host_.FlushTranscript();
    if (stepObserver_)
        stepObserver_(next_ + 1);
    const Parsed parsed = Read(lines_[next_++]);
    if (!parsed.action)
        return Fail(parsed.error);
    if (const std::string result = parsed.action(); !result.empty())
        Fail(result);
}

Scenario::Parsed Scenario::Print(const std::string& what)
{
    if (what != "palette" && what != "dialogs" && what != "settings" && what != "help" && what != "menu")
        return Parsed::Wrong("cannot print \"" + what + "\"");
    return [this, what] {
        std::ostringstream out;
        if (what == "palette" || what == "dialogs") {
            const auto ids = what == "palette" ? std::vector<short> {PaletteId} : DGHost::OpenDialogs();
            for (short id : ids) {
                const auto dialog = DGHost::GetDialog(id);
                out << (dialog ? DescribeDialog(*dialog) : "palette: none") << "\n";
            }
            if (ids.empty())
                out << "no dialogs open\n";
        } else if (what == "settings") {
            for (const char* key : {"FirstRun", "DefaultDownloadFolder", "AddToEmbedded", "APIKey", ""})
                if (GSPref::HasValue("Kordela", key))
                    out << "setting Kordela/" << (*key != '\0' ? key : "\"\"") << " = \""
                        << GSPref::PeekValue("Kordela", key) << "\"\n";
        } else if (what == "help") {
            for (const auto& location : DGHost::HelpLocations())
                out << "help location " << location << "\n";
        } else {
            out << "menu " << host_.MenuDescription() << "\n";
        }
        std::string text = out.str();
        if (!text.empty() && text.back() == '\n')
            text.pop_back();
        std::istringstream lines(text);
        for (std::string l; std::getline(lines, l);)
            host_.Transcript(l);
        return std::string();
    };
}

Scenario::Parsed Scenario::Expect(const Words& words)
{
    if (words.size() < 2)
        return Usage("expect palette|size|setting|item|icon|transcript ...");
    const std::string& what = words[1];
    if (what == "palette") {
        if (words.size() != 3 || (words[2] != "visible" && words[2] != "hidden" && words[2] != "none"))
            return Usage("expect palette visible|hidden|none");
        return [expected = words[2]] {
            const auto palette = DGHost::GetDialog(PaletteId);
            const std::string actual = !palette ? "none" : palette->visible ? "visible" : "hidden";
            return actual == expected ? "" : "expected the palette " + expected + ", it is " + actual;
        };
    }
    if (what == "size") {
        DG::Point size;
        if (words.size() != 3 || !ParseSize(words[2], &size))
            return Usage("expect size WIDTHxHEIGHT");
        return [expected = words[2]] {
            const auto palette = DGHost::GetDialog(PaletteId);
            if (!palette)
                return "expected a palette of " + expected + ", there is none";
            const std::string actual = std::to_string(palette->width) + "x" + std::to_string(palette->height);
            return actual == expected ? "" : "expected the palette at " + expected + ", it is " + actual;
        };
    }
    if (what == "setting") {
        if (words.size() != 4)
            return Usage("expect setting KEY VALUE");
        return [key = words[2], expected = words[3]] {
            if (!GSPref::HasValue("Kordela", key))
                return "expected setting " + key + " = \"" + expected + "\", it is missing";
            const std::string actual = GSPref::PeekValue("Kordela", key);
            return actual == expected ? ""
                                      : "expected setting " + key + " = \"" + expected + "\", it is \"" + actual + "\"";
        };
    }
    if (what == "item" || what == "icon") {
        long item = 0;
        if (words.size() != 4 || !ParseNumber(words[2], &item) ||
            (what == "item" && words[3] != "visible" && words[3] != "hidden"))
            return Usage("expect item N visible|hidden / expect icon N ICON");
        return [what, item, number = words[2], expected = words[3]] {
            const auto palette = DGHost::GetDialog(PaletteId);
            if (!palette || item < 1 || static_cast<size_t>(item) > palette->items.size())
                return "the palette has no item " + number;
            const auto& info = palette->items[static_cast<size_t>(item) - 1];
            const std::string actual =
                what == "item" ? (info.visible ? "visible" : "hidden") : info.icon.substr(0, info.icon.find(' '));
            return actual == expected ? ""
                                      : "expected item " + number + " " + what + " " + expected + ", it is " + actual;
        };
    }
    if (what == "transcript") {
        if (words.size() != 3)
            return Usage("expect transcript \"TEXT\"");
        return [this, text = words[2]] {
            return host_.TranscriptContains(text) ? "" : "the transcript has no line with \"" + text + "\"";
        };
    }
    return Parsed::Wrong("cannot expect \"" + what + "\"");
}

void Scenario::AddBuiltInCommands()
{
    AddCommand("menu", [this](const Words& w) -> Parsed {
        long menu = 0;
        long item = 1;
        if (w.size() < 2 || w.size() > 3 || !ParseNumber(w[1], &menu) || (w.size() > 2 && !ParseNumber(w[2], &item)))
            return Usage("menu RESID [ITEM]");
        return
            [this, menu, item] { return host_.SendMenuCommand(static_cast<short>(menu), static_cast<int32_t>(item)); };
    });
    AddCommand("event", [this](const Words& w) -> Parsed {
        static const std::map<std::string, long> names {{"new", APINotify_New},
                                                        {"new-reset", APINotify_NewAndReset},
                                                        {"quit", APINotify_Quit},
                                                        {"library", APINotify_ChangeLibrary}};
        long code = 0;
        if (w.size() != 2 || (!names.contains(w[1]) && !ParseNumber(w[1], &code)))
            return Usage("event new|new-reset|quit|library|CODE");
        if (names.contains(w[1]))
            code = names.at(w[1]);
        return Done([this, code] { host_.SendProjectEvent(static_cast<int32_t>(code)); });
    });
    AddCommand("click", [](const Words& w) -> Parsed {
        long dialog = PaletteId;
        long item = 0;
        if ((w.size() != 2 || !ParseNumber(w[1], &item)) &&
            (w.size() != 3 || !ParseNumber(w[1], &dialog) || !ParseNumber(w[2], &item)))
            return Usage("click [DIALOG] ITEM");
        return [dialog, item] { return DGHost::ClickItem(static_cast<short>(dialog), static_cast<short>(item)); };
    });
    AddCommand("close-box", [](const Words& w) -> Parsed {
        long dialog = PaletteId;
        if (w.size() > 2 || (w.size() == 2 && !ParseNumber(w[1], &dialog)))
            return Usage("close-box [DIALOG]");
        return [dialog] { return DGHost::CloseBox(static_cast<short>(dialog)); };
    });
    AddCommand("drag", [](const Words& w) -> Parsed {
        std::vector<DG::Point> sizes;
        for (size_t i = 1; i < w.size(); ++i) {
            DG::Point size;
            if (!ParseSize(w[i], &size))
                return Usage("drag WIDTHxHEIGHT [WIDTHxHEIGHT ...]");
            sizes.push_back(size);
        }
        if (sizes.empty())
            return Usage("drag WIDTHxHEIGHT [WIDTHxHEIGHT ...]");
        return [sizes] { return DGHost::UserResize(PaletteId, sizes); };
    });
    AddCommand("tooltip", [this](const Words& w) -> Parsed {
        long item = 0;
        if (w.size() != 2 || !ParseNumber(w[1], &item))
            return Usage("tooltip ITEM");
        return [this, item, number = w[1]] {
            const auto text = DGHost::RequestToolTip(PaletteId, static_cast<short>(item));
            if (!text)
                return "the palette has no item " + number;
            host_.Transcript("tooltip of item " + number + ": \"" + *text + "\"");
            return std::string();
        };
    });
    AddCommand("type", [](const Words& w) -> Parsed {
        long dialog = 0;
        long item = 0;
        if (w.size() != 4 || !ParseNumber(w[1], &dialog) || !ParseNumber(w[2], &item))
            return Usage("type DIALOG ITEM \"TEXT\"");
        return [dialog, item, text = w[3]] {
            return DGHost::TypeText(static_cast<short>(dialog), static_cast<short>(item), text);
        };
    });
    AddCommand("check", [](const Words& w) -> Parsed {
        long dialog = 0;
        long item = 0;
        if (w.size() != 4 || !ParseNumber(w[1], &dialog) || !ParseNumber(w[2], &item) ||
            (w[3] != "on" && w[3] != "off"))
            return Usage("check DIALOG ITEM on|off");
        return [dialog, item, on = w[3] == "on"] {
            return DGHost::SetCheck(static_cast<short>(dialog), static_cast<short>(item), on);
        };
    });
    AddCommand("answer-alert", [this](const Words& w) -> Parsed {
        long button = 0;
        if (w.size() != 2 || !ParseNumber(w[1], &button) || button < 1)
            return Usage("answer-alert BUTTON");
        return Done([this, button] { host_.alertAnswers.push_back(static_cast<int>(button)); });
    });
    AddCommand("pick-folder", [this](const Words& w) -> Parsed {
        if (w.size() != 2)
            return Usage("pick-folder PATH|cancel");
        return Done([this, pick = w[1] == "cancel" ? std::nullopt : std::optional<std::string>(w[1])] {
            host_.folderPicks.push_back(pick);
        });
    });
    // "fault KIND ...": each kind of fault has its own command, given the words after the kind.
    AddSubcommand("fault", "icon-change", WordsAfterKind([](const Words& w) -> Parsed {
                      if (!w.empty())
                          return Usage("fault icon-change");
                      return Done([] { DGHost::FailNextIconChange(); });
                  }));
    AddSubcommand("fault", "host", WordsAfterKind([this](const Words& w) -> Parsed {
                      std::string error;
                      const auto fault = ParseHostFault(w, &error);
                      if (!fault)
                          return Parsed::Wrong(error);
                      return Done([this, fault = *fault] { SetHostFault(host_.Faults(), fault); });
                  }));
    AddSubcommand("fault", "file", WordsAfterKind(FileFault));
    // A "fault" line whose kind has no command.
    AddCommand("fault", [this](const Words&) {
        std::string kinds;
        for (const auto& [key, command] : subcommands_)
            if (key.first == "fault")
                kinds += (kinds.empty() ? "" : "|") + key.second;
        return Usage("fault " + kinds + " ...");
    });
    AddCommand("print", [this](const Words& w) {
        return w.size() == 2 ? Print(w[1]) : Usage("print palette|dialogs|settings|help|menu");
    });
    AddCommand("expect", [this](const Words& w) { return Expect(w); });
    AddCommand("note", [this](const Words& w) {
        std::string text;
        for (size_t i = 1; i < w.size(); ++i)
            text += (i > 1 ? " " : "") + w[i];
        return Done([this, text] { host_.Transcript("## " + text); });
    });
    AddCommand("quit",
               [this](const Words& w) { return w.size() == 1 ? Done([this] { host_.Quit(); }) : Usage("quit"); });
    AddCommand("unload",
               [this](const Words& w) { return w.size() == 1 ? Done([this] { host_.Unload(); }) : Usage("unload"); });
    AddCommand("folder", [this](const Words& w) -> Parsed {
        long id = 0;
        if (w.size() != 3 || !ParseNumber(w[1], &id))
            return Usage("folder ID PATH");
        return Done([this, id, number = w[1], path = w[2]] {
            host_.SetSpecialFolder(static_cast<API_SpecFolderID>(id), path);
            host_.Transcript("special folder " + number + ": " + path);
        });
    });
    AddCommand("host-resize", [](const Words& w) -> Parsed {
        DG::Point size;
        if (w.size() != 2 || !ParseSize(w[1], &size))
            return Usage("host-resize WIDTHxHEIGHT");
        return [size] { return DGHost::HostResize(PaletteId, size); };
    });
    AddCommand("palette-opened", [](const Words& w) -> Parsed {
        if (w.size() != 1)
            return Usage("palette-opened");
        return [] { return DGHost::SendOpened(PaletteId); };
    });
}

}  // namespace DevHost
