#include "DevHost/Scenario.hpp"

#include "DGHost.hpp"
#include "GSPrefHost.hpp"
#include "IOFaults.hpp"

#include <charconv>
#include <cstdlib>
#include <sstream>

namespace DevHost {
namespace {

constexpr short PaletteId = 32600;

bool ParseInt(const std::string& text, long* value)
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

bool ParseSize(const std::string& text, DG::Point* size)
{
    const auto x = text.find('x');
    long width = 0;
    long height = 0;
    if (x == std::string::npos || !ParseInt(text.substr(0, x), &width) || !ParseInt(text.substr(x + 1), &height))
        return false;
    size->Set(static_cast<short>(width), static_cast<short>(height));
    return true;
}

std::string Usage(const std::string& usage)
{
    return "usage: " + usage;
}

// A "NAME KIND ..." handler given only the words after the kind.
Scenario::Command WordsAfterKind(Scenario::Command command)
{
    return [command = std::move(command)](const std::vector<std::string>& w) {
        return command(std::vector<std::string>(w.begin() + 2, w.end()));
    };
}

// fault file OP PATH ERROR | fault file clear (given the words after "file")
std::string FileFault(const std::vector<std::string>& w)
{
    if (w.size() == 1 && w[0] == "clear") {
        IO::Faults::Clear();
        return {};
    }
    const auto operation = w.size() == 3 ? IO::Faults::ParseOperation(w[0]) : std::nullopt;
    const auto error = w.size() == 3 ? IO::Faults::ParseError(w[2]) : std::nullopt;
    if (!operation || !error || w[1].empty() || w[1].front() != '/')
        return Usage(
            "fault file create|open|write|copy|delete|folder /PATH exists|denied|full|missing|other, "
            "or fault file clear");
    IO::Faults::Set(*operation, w[1], *error);
    return {};
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
    host_.modalDriver = [this](short dialogId) {
        DriveWhile([dialogId] { return DGHost::IsOpen(dialogId); }, "dialog " + std::to_string(dialogId));
    };
    while (RunIdle() && next_ < lines_.size()) {
        Step();
        host_.FinishPendingQuit();
    }
    host_.FinishPendingQuit();
    host_.modalDriver = nullptr;
    if (!failed_)
        host_.Transcript("SUCCESS");
    host_.FlushTranscript();
    return !failed_;
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
        if (const std::string problem = idle_(); !problem.empty())
            Fail(problem);
    }
    return !failed_;
}

void Scenario::Fail(const std::string& reason)
{
    if (failed_)
        return;
    failed_ = true;
    host_.Transcript("FAILURE: line " + std::to_string(next_) + ": " + reason);
    host_.FlushTranscript();
}

void Scenario::Step()
{
    // Each of the user's turns starts with the transcript so far on screen.
    host_.FlushTranscript();
    if (stepObserver_)
        stepObserver_(next_ + 1);
    std::string error;
    const std::string line = ExpandVariables(lines_[next_++], &error);
    if (!error.empty())
        return Fail(error);
    const auto words = Split(line, &error);
    if (!error.empty())
        return Fail(error);
    if (words.empty())
        return;
    if (words.size() > 1) {
        if (const auto sub = subcommands_.find({words[0], words[1]}); sub != subcommands_.end()) {
            if (const std::string result = sub->second(words); !result.empty())
                Fail(result);
            return;
        }
    }
    const auto command = commands_.find(words[0]);
    if (command == commands_.end())
        return Fail("unknown command \"" + words[0] + "\"");
    const std::string result = command->second(words);
    if (!result.empty())
        Fail(result);
}

std::string Scenario::Print(const std::string& what)
{
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
    } else if (what == "menu") {
        out << "menu " << host_.MenuDescription() << "\n";
    } else {
        return "cannot print \"" + what + "\"";
    }
    std::string text = out.str();
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    std::istringstream lines(text);
    for (std::string l; std::getline(lines, l);)
        host_.Transcript(l);
    return {};
}

std::string Scenario::Expect(const std::vector<std::string>& words)
{
    if (words.size() < 3)
        return Usage("expect palette|size|setting|item|icon|transcript ...");
    const std::string& what = words[1];
    const auto palette = DGHost::GetDialog(PaletteId);
    if (what == "palette") {
        const std::string actual = !palette ? "none" : palette->visible ? "visible" : "hidden";
        return actual == words[2] ? "" : "expected the palette " + words[2] + ", it is " + actual;
    }
    if (what == "size") {
        if (!palette)
            return "expected a palette of " + words[2] + ", there is none";
        const std::string actual = std::to_string(palette->width) + "x" + std::to_string(palette->height);
        return actual == words[2] ? "" : "expected the palette at " + words[2] + ", it is " + actual;
    }
    if (what == "setting") {
        if (words.size() != 4)
            return Usage("expect setting KEY VALUE");
        const std::string actual = GSPref::PeekValue("Kordela", words[2]);
        if (!GSPref::HasValue("Kordela", words[2]))
            return "expected setting " + words[2] + " = \"" + words[3] + "\", it is missing";
        return actual == words[3]
                   ? ""
                   : "expected setting " + words[2] + " = \"" + words[3] + "\", it is \"" + actual + "\"";
    }
    if (what == "item" || what == "icon") {
        long item = 0;
        if (words.size() != 4 || !ParseInt(words[2], &item))
            return Usage("expect item N visible|hidden / expect icon N ICON");
        if (!palette || item < 1 || static_cast<size_t>(item) > palette->items.size())
            return "the palette has no item " + words[2];
        const auto& info = palette->items[static_cast<size_t>(item) - 1];
        const std::string actual =
            what == "item" ? (info.visible ? "visible" : "hidden") : info.icon.substr(0, info.icon.find(' '));
        return actual == words[3] ? ""
                                  : "expected item " + words[2] + " " + what + " " + words[3] + ", it is " + actual;
    }
    if (what == "transcript")
        return host_.TranscriptContains(words[2]) ? "" : "the transcript has no line with \"" + words[2] + "\"";
    return "cannot expect \"" + what + "\"";
}

void Scenario::AddBuiltInCommands()
{
    AddCommand("menu", [this](const std::vector<std::string>& w) {
        long menu = 0;
        long item = 1;
        if (w.size() < 2 || !ParseInt(w[1], &menu) || (w.size() > 2 && !ParseInt(w[2], &item)))
            return Usage("menu RESID [ITEM]");
        return host_.SendMenuCommand(static_cast<short>(menu), static_cast<int32_t>(item));
    });
    AddCommand("event", [this](const std::vector<std::string>& w) {
        static const std::map<std::string, long> names {{"new", APINotify_New},
                                                        {"new-reset", APINotify_NewAndReset},
                                                        {"quit", APINotify_Quit},
                                                        {"library", APINotify_ChangeLibrary}};
        long code = 0;
        if (w.size() != 2 || (!names.contains(w[1]) && !ParseInt(w[1], &code)))
            return Usage("event new|new-reset|quit|library|CODE");
        host_.SendProjectEvent(static_cast<int32_t>(names.contains(w[1]) ? names.at(w[1]) : code));
        return std::string();
    });
    AddCommand("click", [](const std::vector<std::string>& w) {
        long dialog = PaletteId;
        long item = 0;
        if (w.size() == 2 && ParseInt(w[1], &item))
            return DGHost::ClickItem(static_cast<short>(dialog), static_cast<short>(item));
        if (w.size() == 3 && ParseInt(w[1], &dialog) && ParseInt(w[2], &item))
            return DGHost::ClickItem(static_cast<short>(dialog), static_cast<short>(item));
        return Usage("click [DIALOG] ITEM");
    });
    AddCommand("close-box", [](const std::vector<std::string>& w) {
        long dialog = PaletteId;
        if (w.size() > 2 || (w.size() == 2 && !ParseInt(w[1], &dialog)))
            return Usage("close-box [DIALOG]");
        return DGHost::CloseBox(static_cast<short>(dialog));
    });
    AddCommand("drag", [](const std::vector<std::string>& w) {
        std::vector<DG::Point> sizes;
        for (size_t i = 1; i < w.size(); ++i) {
            DG::Point size;
            if (!ParseSize(w[i], &size))
                return Usage("drag WIDTHxHEIGHT [WIDTHxHEIGHT ...]");
            sizes.push_back(size);
        }
        if (sizes.empty())
            return Usage("drag WIDTHxHEIGHT [WIDTHxHEIGHT ...]");
        return DGHost::UserResize(PaletteId, sizes);
    });
    AddCommand("tooltip", [this](const std::vector<std::string>& w) {
        long item = 0;
        if (w.size() != 2 || !ParseInt(w[1], &item))
            return Usage("tooltip ITEM");
        const auto text = DGHost::RequestToolTip(PaletteId, static_cast<short>(item));
        if (!text)
            return "the palette has no item " + w[1];
        host_.Transcript("tooltip of item " + w[1] + ": \"" + *text + "\"");
        return std::string();
    });
    AddCommand("type", [](const std::vector<std::string>& w) {
        long dialog = 0;
        long item = 0;
        if (w.size() != 4 || !ParseInt(w[1], &dialog) || !ParseInt(w[2], &item))
            return Usage("type DIALOG ITEM \"TEXT\"");
        return DGHost::TypeText(static_cast<short>(dialog), static_cast<short>(item), w[3]);
    });
    AddCommand("check", [](const std::vector<std::string>& w) {
        long dialog = 0;
        long item = 0;
        if (w.size() != 4 || !ParseInt(w[1], &dialog) || !ParseInt(w[2], &item) || (w[3] != "on" && w[3] != "off"))
            return Usage("check DIALOG ITEM on|off");
        return DGHost::SetCheck(static_cast<short>(dialog), static_cast<short>(item), w[3] == "on");
    });
    AddCommand("answer-alert", [this](const std::vector<std::string>& w) {
        long button = 0;
        if (w.size() != 2 || !ParseInt(w[1], &button) || button < 1)
            return Usage("answer-alert BUTTON");
        host_.alertAnswers.push_back(static_cast<int>(button));
        return std::string();
    });
    AddCommand("pick-folder", [this](const std::vector<std::string>& w) {
        if (w.size() != 2)
            return Usage("pick-folder PATH|cancel");
        host_.folderPicks.push_back(w[1] == "cancel" ? std::nullopt : std::optional<std::string>(w[1]));
        return std::string();
    });
    // "fault KIND ...": each kind of fault has its own handler, given the words after the kind.
    AddSubcommand("fault", "icon-change", WordsAfterKind([](const std::vector<std::string>& w) {
                      if (!w.empty())
                          return Usage("fault icon-change");
                      DGHost::FailNextIconChange();
                      return std::string();
                  }));
    AddSubcommand("fault", "host", WordsAfterKind([this](const std::vector<std::string>& w) {
                      return AddHostFault(host_.Faults(), w);
                  }));
    AddSubcommand("fault", "file", WordsAfterKind(FileFault));
    // A "fault" line whose kind has no handler.
    AddCommand("fault", [this](const std::vector<std::string>&) {
        std::string kinds;
        for (const auto& [key, handler] : subcommands_)
            if (key.first == "fault")
                kinds += (kinds.empty() ? "" : "|") + key.second;
        return Usage("fault " + kinds + " ...");
    });
    AddCommand("print", [this](const std::vector<std::string>& w) {
        return w.size() == 2 ? Print(w[1]) : Usage("print palette|dialogs|settings|help|menu");
    });
    AddCommand("expect", [this](const std::vector<std::string>& w) { return Expect(w); });
    AddCommand("note", [this](const std::vector<std::string>& w) {
        std::string text;
        for (size_t i = 1; i < w.size(); ++i)
            text += (i > 1 ? " " : "") + w[i];
        host_.Transcript("## " + text);
        return std::string();
    });
    AddCommand("quit", [this](const std::vector<std::string>&) {
        host_.Quit();
        return std::string();
    });
    AddCommand("unload", [this](const std::vector<std::string>& w) {
        if (w.size() != 1)
            return Usage("unload");
        host_.Unload();
        return std::string();
    });
    AddCommand("folder", [this](const std::vector<std::string>& w) {
        long id = 0;
        if (w.size() != 3 || !ParseInt(w[1], &id))
            return Usage("folder ID PATH");
        host_.SetSpecialFolder(static_cast<API_SpecFolderID>(id), w[2]);
        host_.Transcript("special folder " + w[1] + ": " + w[2]);
        return std::string();
    });
    AddCommand("host-resize", [](const std::vector<std::string>& w) {
        DG::Point size;
        if (w.size() != 2 || !ParseSize(w[1], &size))
            return Usage("host-resize WIDTHxHEIGHT");
        return DGHost::HostResize(PaletteId, size);
    });
    AddCommand("palette-opened", [](const std::vector<std::string>& w) {
        return w.size() == 1 ? DGHost::SendOpened(PaletteId) : Usage("palette-opened");
    });
}

}  // namespace DevHost
