// Host calls made to fail on purpose: a function of the host's table (or a dialog, alert,
// preference or memory call of the frameworks) answers a chosen error instead of doing its
// work, optionally only for one argument and only for the next N calls. Tests and scenarios
// use it to reach the add-on's failure paths.
#pragma once

#include "GSRoot.hpp"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace DevHost {

class HostFaults {
public:
    using Log = std::function<void(const std::string&)>;
    // The texts a call can be picked by: a library-part index, an element GUID, a request
    // code such as GLIB, a resource id ("32530" and "32530/1"), a size in bytes, ...
    using Arguments = std::function<std::vector<std::string>()>;

    explicit HostFaults(Log log) : log_(std::move(log)) {}

    // Every name a fault can be set on.
    static const std::vector<std::string_view>& Names();
    // The frameworks' allocators and resizers among them: a fault makes an allocator answer
    // no memory and a resizer its error; picked by the size asked for ("when 24"), and
    // BMhSetSize also by "grow" or "shrink".
    static bool IsMemoryCall(std::string_view name);
    // An error given by name ("General", "BadIndex", ...) or as a number (0x81060001, -4).
    static std::optional<GSErrCode> ParseError(const std::string& text);

    // Makes `name` answer `error`; `when` limits it to calls with that argument, `count` > 0
    // to the next that many calls. Answers an empty text or why the fault cannot be set.
    std::string Add(const std::string& name, GSErrCode error, const std::string& when = {}, int count = 0);
    void Clear();

    // The error the call answers when a fault takes it; none lets the call run.
    std::optional<GSErrCode> Take(std::string_view name, const Arguments& arguments);

private:
    struct Rule {
        std::string name;
        GSErrCode error = 0;
        std::string when;  // empty: every call
        int left = 0;      // 0: no limit
    };
    Log log_;
    std::vector<Rule> rules_;
};

// The words after "fault host" read: NAME [ERROR] [when ARG] [count N], or "clear".
struct HostFaultLine {
    bool clear = false;
    std::string name;
    GSErrCode error = ErrCode::General;
    std::string when;
    int count = 0;
};
// None, with why in `error`, when the words are not such a line or NAME is not a fault's name.
std::optional<HostFaultLine> ParseHostFault(const std::vector<std::string>& words, std::string* error);
// Sets the line's fault, or clears them all.
void SetHostFault(HostFaults& faults, const HostFaultLine& line);
// Both: answers an empty text or why the fault cannot be set.
std::string AddHostFault(HostFaults& faults, const std::vector<std::string>& words);

}  // namespace DevHost
