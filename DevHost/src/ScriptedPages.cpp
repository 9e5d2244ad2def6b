#include "DevHost/ScriptedPages.hpp"

#include "HostBackend.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <optional>

namespace DevHost {
namespace {

void AppendUtf8(std::string& out, unsigned code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// `digits` hexadecimal digits at `at`; none when they are not all there.
std::optional<unsigned> ReadHex(const std::string& script, size_t at, size_t digits)
{
    if (at + digits > script.size())
        return std::nullopt;
    unsigned value = 0;
    for (size_t i = at; i < at + digits; ++i) {
        const char c = script[i];
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return value;
}

bool IsLineSeparator(const std::string& script, size_t at)
{
    return script.compare(at, 3, "\xE2\x80\xA8") == 0 || script.compare(at, 3, "\xE2\x80\xA9") == 0;
}

// Reads the string literal at `at` (after its quote) as a script engine would.
bool ReadStringLiteral(const std::string& script, size_t at, char quote, std::string* value)
{
    std::string out;
    for (size_t i = at; i < script.size(); ++i) {
        const char c = script[i];
        if (c == quote) {
            *value = out;
            return true;
        }
        if (c == '\n' || c == '\r')
            return false;  // a raw line break ends the script with a syntax error
        if (c != '\\') {
            out += c;  // U+2028 and U+2029 belong to a string literal
            continue;
        }
        if (++i >= script.size())
            return false;
        const char e = script[i];
        switch (e) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'v': out += '\v'; break;
        case '0': out += '\0'; break;
        case '\r':
            if (i + 1 < script.size() && script[i + 1] == '\n')
                ++i;
            break;  // a line continuation adds nothing
        case '\n': break;
        case 'x': {
            const auto code = ReadHex(script, i + 1, 2);
            if (!code)
                return false;
            AppendUtf8(out, *code);
            i += 2;
            break;
        }
        case 'u': {
            auto code = ReadHex(script, i + 1, 4);
            if (!code)
                return false;
            i += 4;
            // A surrogate pair is one character.
            if (*code >= 0xD800 && *code < 0xDC00 && script.compare(i + 1, 2, "\\u") == 0) {
                const auto low = ReadHex(script, i + 3, 4);
                if (low && *low >= 0xDC00 && *low < 0xE000) {
                    code = 0x10000 + ((*code - 0xD800) << 10) + (*low - 0xDC00);
                    i += 6;
                }
            }
            AppendUtf8(out, *code);
            break;
        }
        default:
            if (IsLineSeparator(script, i))
                i += 2;  // a line continuation
            else
                out += e;
        }
    }
    return false;
}

std::string JsonInside(const std::string& text)
{
    const std::string quoted = nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return quoted.substr(1, quoted.size() - 2);
}

Platform::ScriptValue FromJson(const nlohmann::json& value)
{
    if (value.is_string())
        return Platform::ScriptValue(value.get<std::string>());
    if (value.is_boolean())
        return Platform::ScriptValue(value.get<bool>());
    if (value.is_number())
        return Platform::ScriptValue(value.get<double>());
    return {};
}

}  // namespace

std::string ScriptArgumentText(const std::string& script)
{
    const size_t open = script.find('(');
    const size_t close = script.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open)
        return {};
    size_t at = open + 1;
    while (at < close && script[at] == ' ')
        ++at;
    if (at < close && (script[at] == '\'' || script[at] == '"')) {
        std::string value;
        if (ReadStringLiteral(script, at + 1, script[at], &value))
            return value;
        return "(syntax error)";
    }
    return script.substr(open + 1, close - open - 1);
}

void ScriptedPages::AddStep(const std::string& pattern, PageStep step)
{
    const size_t written = Write(pattern, StepVerb(step.kind), step.line);
    if (Script* script = FindScript(pattern); script != nullptr && script->pattern == pattern) {
        script->steps.push_back(std::move(step));
        script->written.push_back(written);
        return;
    }
    scripts_.push_back(Script {pattern, {std::move(step)}, {written}, {}, 0});
}

void ScriptedPages::Forget(const std::string& pattern, size_t line)
{
    for (const Script& script : scripts_) {
        if (script.pattern != pattern)
            continue;
        for (const size_t written : script.written)
            Drop(written, line);
        Drop(script.bodyWritten, line);
    }
    std::erase_if(scripts_, [&](const Script& script) { return script.pattern == pattern; });
}

void ScriptedPages::SetBody(const std::string& pattern, const std::string& body, size_t line)
{
    const size_t written = Write(pattern, "body", line);
    for (Script& script : scripts_) {
        if (script.pattern == pattern) {
            Drop(script.bodyWritten, line);
            script.body = body;
            script.bodyWritten = written;
            return;
        }
    }
    scripts_.push_back(Script {pattern, {}, {}, body, written});
}

size_t ScriptedPages::Write(const std::string& pattern, const std::string& verb, size_t line)
{
    written_.push_back(Written {"page " + pattern + " " + verb, pattern, line, verb == "body"});
    return written_.size();
}

ScriptedPages::Written* ScriptedPages::WrittenAt(size_t entry)
{
    return entry >= 1 && entry <= written_.size() ? &written_[entry - 1] : nullptr;
}

void ScriptedPages::Drop(size_t entry, size_t byLine)
{
    if (Written* written = WrittenAt(entry); written != nullptr && !written->ran) {
        written->dropped = true;
        written->droppedBy = byLine;
    }
}

LineProblem ScriptedPages::LinesNeverRun() const
{
    LineProblem first;
    std::string others;
    for (const Written& written : written_) {
        if (written.ran || mayNotOpen_.contains(written.pattern))
            continue;
        if (!first.reason.empty()) {
            others += (others.empty() ? "" : ", ") +
                      (written.line != 0 ? "line " + std::to_string(written.line) : written.what);
            continue;
        }
        first.line = written.line;
        first.reason = written.what + ": never ran, ";
        if (written.dropped)
            first.reason += "dropped" +
                            (written.droppedBy != 0 ? " by line " + std::to_string(written.droppedBy) : "") +
                            (written.loaded ? "" : " before its page opened");
        else if (written.loaded)
            first.reason += written.body ? "its page did not read its body" : "its page closed before it got there";
        else if (played_.contains(written.pattern))
            first.reason += "its page did not load again after it";
        else
            first.reason += "its page never opened";
    }
    if (!others.empty())
        first.reason += " (so did " + others + ")";
    return first;
}

ScriptedPages::Script* ScriptedPages::FindScript(const std::string& url)
{
    // The longest matching pattern wins, so a page's own script beats a site-wide one.
    Script* best = nullptr;
    for (Script& script : scripts_)
        if (url.find(script.pattern) != std::string::npos &&
            (best == nullptr || script.pattern.size() > best->pattern.size()))
            best = &script;
    return best;
}

void ScriptedPages::Load(Platform::WebPage& page, const std::string& url)
{
    const int id = page.PageId();
    pages_[id].page = &page;
    pages_[id].url = url;
    pages_[id].scripts.clear();
    pending_.emplace_back(id, url);
    Platform::Record(PageName(id) + (page.IsLegacy() ? " (legacy)" : "") + " loads " + url);
}

std::string ScriptedPages::Evaluate(Platform::WebPage& page, const std::string& script)
{
    const int id = page.PageId();
    evaluated_.push_back(script);
    Platform::Record(PageName(id) + " evaluates " + script);
    auto it = pages_.find(id);
    if (it == pages_.end())
        return {};
    it->second.scripts.push_back(script);
    if (script == "document.body.innerHTML") {
        const Script* scripted = FindScript(it->second.url);
        if (scripted == nullptr)
            return {};
        if (Written* written = WrittenAt(scripted->bodyWritten); written != nullptr)
            written->ran = true;
        return scripted->body;
    }
    return {};
}

std::optional<Platform::ScriptValue> ScriptedPages::CallFunction(Platform::WebPage& page, const std::string& function,
                                                                 const std::vector<Platform::ScriptValue>& args)
{
    const std::string call = CallScript(function, args);
    const int id = page.PageId();
    evaluated_.push_back(call);
    Platform::Record(PageName(id) + " function " + call);
    if (auto it = pages_.find(id); it != pages_.end())
        it->second.scripts.push_back(call);
    return std::nullopt;
}

void ScriptedPages::PageGone(Platform::WebPage& page)
{
    pages_.erase(page.PageId());
    std::erase_if(pending_, [&](const auto& entry) { return entry.first == page.PageId(); });
}

LineProblem ScriptedPages::RunPending()
{
    while (!pending_.empty()) {
        const auto [id, url] = pending_.front();
        pending_.pop_front();
        auto it = pages_.find(id);
        if (it == pages_.end() || it->second.url != url)
            continue;  // gone, or loading another address by now
        Platform::WebPage* page = it->second.page;
        page->WindowScriptObjectAvailable();
        Platform::Record(PageName(id) + " loaded");
        page->DidFinishLoad();
        if (!Alive(id))
            continue;
        if (const Script* script = FindScript(url); script != nullptr)
            if (LineProblem problem = Play(id, *script); !problem.reason.empty())
                return problem;
    }
    return {};
}

LineProblem ScriptedPages::Play(int pageId, const Script& script)
{
    played_.insert(script.pattern);
    // Copies: the script list may grow meanwhile.
    const std::vector<PageStep> steps = script.steps;
    const std::vector<size_t> written = script.written;
    for (const size_t entry : written)
        if (Written* step = WrittenAt(entry); step != nullptr)
            step->loaded = true;
    if (Written* body = WrittenAt(script.bodyWritten); body != nullptr)
        body->loaded = true;
    for (size_t i = 0; i < steps.size(); ++i) {
        if (!Alive(pageId))
            return {};  // the page's window closed: the rest of its script never runs
        if (Written* step = WrittenAt(written[i]); step != nullptr)
            step->ran = true;
        if (std::string problem = PlayStep(pageId, steps[i]); !problem.empty())
            return {PageName(pageId) + ": " + problem, steps[i].line};
    }
    return {};
}

std::string ScriptedPages::PlayStep(int pageId, const PageStep& step)
{
    LoadedPage& loaded = pages_.at(pageId);
    Platform::WebPage& page = *loaded.page;
    switch (step.kind) {
    case PageStep::Kind::Post: {
        std::string body = step.text;
        for (size_t at = body.find("{captured}"); at != std::string::npos; at = body.find("{captured}", at)) {
            const std::string inside = JsonInside(loaded.captured);
            body.replace(at, 10, inside);
            at += inside.size();
        }
        const auto json = nlohmann::json::parse(body, nullptr, false);
        if (!json.is_object())
            return "the message is not a JSON object: " + body;
        Platform::ScriptDictionary dictionary;
        for (const auto& [key, value] : json.items())
            dictionary[key] = FromJson(value);
        Platform::Record(PageName(pageId) + " posts to interOp: " + json.dump());
        if (!page.PostMessage("interOp", dictionary))
            return "window.webkit.messageHandlers.interOp is undefined";
        return {};
    }
    case PageStep::Kind::Call: {
        std::vector<Platform::ScriptValue> args;
        std::string written;
        for (const std::string& arg : step.args) {
            const auto json = nlohmann::json::parse(arg, nullptr, false);
            if (json.is_discarded())
                return "the argument is not a JSON value: " + arg;
            args.push_back(FromJson(json));
            written += (written.empty() ? "" : ", ") + args.back().ToScript();
        }
        Platform::Record(PageName(pageId) + " calls external." + step.text + "(" + written + ")");
        std::string error;
        const auto result = page.CallObject("external", step.text, args, &error);
        if (!error.empty())
            return error;
        if (!Alive(pageId))
            return {};
        pages_.at(pageId).captured = result ? (result->IsText() ? result->Text() : result->ToScript()) : "undefined";
        Platform::Record(PageName(pageId) + " got " + (result ? result->ToScript() : "undefined"));
        return {};
    }
    case PageStep::Kind::Await: {
        auto& scripts = loaded.scripts;
        const auto found = std::find_if(scripts.begin(), scripts.end(),
                                        [&](const std::string& s) { return s.rfind(step.text + "(", 0) == 0; });
        if (found == scripts.end())
            return "no " + step.text + "(...) was run in the page";
        loaded.captured = ScriptArgumentText(*found);
        scripts.erase(found);
        Platform::Record(
            PageName(pageId) + " received " + step.text + ": " +
            nlohmann::json(loaded.captured).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
        return {};
    }
    case PageStep::Kind::Expect:
        if (loaded.captured != step.text)
            return "expected to receive \"" + step.text + "\", received \"" + loaded.captured + "\"";
        return {};
    case PageStep::Kind::Close:
        if (NSWindow* window = page.HostWindow(); window != nullptr) {
            Platform::Record(PageName(pageId) + " closes its window");
            window->close();
        }
        return {};
    case PageStep::Kind::Link:
    case PageStep::Kind::NewWindow: {
        const bool newWindow = step.kind == PageStep::Kind::NewWindow;
        const bool allowed = page.AllowNavigation(step.text, newWindow);
        Platform::Record(PageName(pageId) + (newWindow ? " asks for a new window: " : " follows a link: ") + step.text +
                         (allowed ? " (allowed)" : " (ignored)"));
        if (allowed && !newWindow) {
            loaded.url = step.text;
            loaded.scripts.clear();
            pending_.emplace_back(pageId, step.text);
        }
        return {};
    }
    }
    return {};
}

}  // namespace DevHost
