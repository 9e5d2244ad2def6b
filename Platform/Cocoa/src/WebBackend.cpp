#include "WebBackend.hpp"
#include "ScriptValue.hpp"

#include "Cocoa.hpp"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>

namespace Platform {

const std::string& ScriptValue::Text() const
{
    static const std::string empty;
    const auto* text = std::get_if<std::string>(&value_);
    return text != nullptr ? *text : empty;
}

double ScriptValue::Number() const
{
    const auto* number = std::get_if<double>(&value_);
    return number != nullptr ? *number : 0;
}

long ScriptValue::IntegerValue() const
{
    if (IsNumber()) {
        const double n = Number();
        if (std::isnan(n))
            return 0;
        if (n >= static_cast<double>(LONG_MAX))
            return LONG_MAX;
        if (n <= static_cast<double>(LONG_MIN))
            return LONG_MIN;
        return static_cast<long>(n);
    }
    if (IsBool())
        return std::get<bool>(value_) ? 1 : 0;
    const std::string& text = Text();
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        const int digit = text[i] - '0';
        if (value > (LONG_MAX - digit) / 10)
            return negative ? LONG_MIN : LONG_MAX;
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

std::string ScriptValue::ToScript() const
{
    if (IsUndefined())
        return "undefined";
    if (IsBool())
        return std::get<bool>(value_) ? "true" : "false";
    if (IsNumber()) {
        char text[64];
        const double n = Number();
        if (n == std::floor(n) && std::fabs(n) < 1e15)
            std::snprintf(text, sizeof text, "%.0f", n);
        else
            std::snprintf(text, sizeof text, "%.17g", n);
        return text;
    }
    std::string out = "\"";
    for (const unsigned char c : Text()) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", c);
                out += escape;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

namespace {

// Without a host nothing is shown: pages never load and modal windows close at once.
class NoWeb final : public WebBackend {
public:
    void WindowEvent(const NSWindow&, const std::string&) override {}
    void Load(WebPage&, const std::string&) override {}
    std::string Evaluate(WebPage&, const std::string&) override { return {}; }
    std::optional<ScriptValue> CallFunction(WebPage&, const std::string&, const std::vector<ScriptValue>&) override
    {
        return std::nullopt;
    }
    void PageGone(WebPage&) override {}
    void RunModalSession(NSWindow& window) override { window.close(); }
    void RevealInFileViewer(const std::string&) override {}
};

NoWeb noWeb;
WebBackend* currentWeb = &noWeb;

}  // namespace

void SetWebBackend(WebBackend* backend)
{
    currentWeb = backend != nullptr ? backend : &noWeb;
}

WebBackend& GetWebBackend()
{
    return *currentWeb;
}

}  // namespace Platform
