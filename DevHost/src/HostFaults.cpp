#include "DevHost/HostFaults.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

namespace DevHost {
namespace {

const std::vector<std::pair<std::string_view, GSErrCode>> ErrorNames = {
    {"General", ErrCode::General},         {"Memory", ErrCode::Memory},
    {"Cancel", ErrCode::Cancel},           {"BadIndex", ErrCode::BadIndex},
    {"NoSelection", ErrCode::NoSelection}, {"MissingFunction", ErrCode::MissingFunction},
    {"NotFound", ErrCode::NotFound},       {"AccessDenied", ErrCode::AccessDenied}};

// Arguments compare without case and without the braces of a GUID.
std::string Folded(std::string_view text)
{
    std::string folded;
    for (const char c : text)
        if (c != '{' && c != '}' && c != '\'')
            folded += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
}

std::string Code(GSErrCode error)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<uint32_t>(error));
    return text;
}

// Empty when a fault can be set on `name`; why not otherwise.
std::string CheckName(const std::string& name)
{
    const auto& names = HostFaults::Names();
    return std::find(names.begin(), names.end(), name) != names.end() ? ""
                                                                      : "no host call " + name + " can be made to fail";
}

}  // namespace

const std::vector<std::string_view>& HostFaults::Names()
{
    static const std::vector<std::string_view> names = {
        // The host's table
        "RegisterMenu", "InstallMenuHandler", "CatchProjectEvent", "Environment", "Goodies", "WriteReport", "GetLocStr",
        "UnregisterModelessWindow", "GetOwnResModule", "LibPartGetNum", "LibPartGet", "LibPartGetParams",
        "LibPartSearch", "LibPartRegister", "LibPartGetDetails", "LibPartGetSectParamDef", "LibPartSetDetailsParamDef",
        "LibPartUpdateSection", "ElementGetElemList", "ElementGet", "ElementGetMemo", "ElementChangeMemo",
        "ElementChange", "ElementGetDefaults", "ElementChangeDefaults", "ElementFilter", "SelectionGet",
        "CallUndoableCommand", "OpenUndoableSession", "CloseUndoableSession",
        // Dialogs, alerts and preferences of the frameworks
        "DGModalDialog", "DGModelessInit", "DGAlert", "FolderDialog", "GSPrefOpenRootKey", "GSPrefGet", "GSPrefSet",
        "GSPrefRemove",
        // Memory of the frameworks: handles and blocks
        "BMhAll", "BMhAllClear", "BMhSetSize", "BMhDuplicate", "GS_malloc", "GS_realloc"};
    return names;
}

bool HostFaults::IsMemoryCall(std::string_view name)
{
    return name.starts_with("BMh") || name.starts_with("GS_");
}

std::optional<GSErrCode> HostFaults::ParseError(const std::string& text)
{
    for (const auto& [name, code] : ErrorNames)
        if (text == name)
            return code;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* begin = text.data() + (hex ? 2 : 0);
    const char* end = text.data() + text.size();
    if (hex) {
        uint32_t value = 0;
        const auto result = std::from_chars(begin, end, value, 16);
        if (result.ec == std::errc() && result.ptr == end)
            return static_cast<GSErrCode>(value);
        return std::nullopt;
    }
    GSErrCode value = 0;
    const auto result = std::from_chars(begin, end, value);
    return result.ec == std::errc() && result.ptr == end && begin != end ? std::optional(value) : std::nullopt;
}

std::string HostFaults::Add(const std::string& name, GSErrCode error, const std::string& when, int count)
{
    if (std::string refused = CheckName(name); !refused.empty())
        return refused;
    if (count < 0)
        return "a fault's count is positive";
    rules_.push_back(Rule {name, error, Folded(when), count});
    return {};
}

void HostFaults::Clear()
{
    rules_.clear();
}

std::optional<GSErrCode> HostFaults::Take(std::string_view name, const Arguments& arguments)
{
    if (rules_.empty())
        return std::nullopt;
    std::optional<std::vector<std::string>> args;
    for (auto rule = rules_.begin(); rule != rules_.end(); ++rule) {
        if (rule->name != name)
            continue;
        if (!rule->when.empty()) {
            if (!args) {
                args = arguments ? arguments() : std::vector<std::string>();
                for (auto& a : *args)
                    a = Folded(a);
            }
            if (std::find(args->begin(), args->end(), rule->when) == args->end())
                continue;
        }
        const GSErrCode error = rule->error;
        log_("host call " + rule->name + (rule->when.empty() ? "" : " (" + rule->when + ")") +
             " fails: " + Code(error));
        if (rule->left > 0 && --rule->left == 0)
            rules_.erase(rule);
        return error;
    }
    return std::nullopt;
}

std::optional<HostFaultLine> ParseHostFault(const std::vector<std::string>& words, std::string* error)
{
    const std::string usage = "usage: fault host NAME [ERROR] [when ARG] [count N] | fault host clear";
    const auto wrong = [error](const std::string& why) {
        *error = why;
        return std::nullopt;
    };
    HostFaultLine line;
    if (words.size() == 1 && words[0] == "clear") {
        line.clear = true;
        return line;
    }
    if (words.empty())
        return wrong(usage);
    line.name = words[0];
    if (const std::string refused = CheckName(line.name); !refused.empty())
        return wrong(refused);
    // Memory that runs out says so by default.
    line.error = HostFaults::IsMemoryCall(line.name) ? ErrCode::Memory : ErrCode::General;
    size_t i = 1;
    if (i < words.size() && words[i] != "when" && words[i] != "count") {
        const auto parsed = HostFaults::ParseError(words[i]);
        if (!parsed)
            return wrong("unknown error " + words[i] + "; " + usage);
        line.error = *parsed;
        ++i;
    }
    for (; i < words.size(); i += 2) {
        if (i + 1 >= words.size())
            return wrong(usage);
        if (words[i] == "when") {
            line.when = words[i + 1];
        } else if (words[i] == "count") {
            const std::string& text = words[i + 1];
            const auto result = std::from_chars(text.data(), text.data() + text.size(), line.count);
            if (result.ec != std::errc() || result.ptr != text.data() + text.size() || line.count < 1)
                return wrong("a fault's count is a positive number; " + usage);
        } else {
            return wrong(usage);
        }
    }
    return line;
}

void SetHostFault(HostFaults& faults, const HostFaultLine& line)
{
    if (line.clear)
        faults.Clear();
    else
        faults.Add(line.name, line.error, line.when, line.count);
}

std::string AddHostFault(HostFaults& faults, const std::vector<std::string>& words)
{
    std::string error;
    const auto line = ParseHostFault(words, &error);
    if (line)
        SetHostFault(faults, *line);
    return error;
}

}  // namespace DevHost
