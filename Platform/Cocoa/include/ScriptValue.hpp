// Values exchanged between page script and native code: texts, numbers, truth values or
// nothing; a script message's body is a dictionary of them.
#pragma once

#include <map>
#include <string>
#include <variant>

namespace Platform {

class ScriptValue {
public:
    ScriptValue() = default;
    ScriptValue(std::string text) : value_(std::move(text)) {}
    ScriptValue(const char* text) : value_(std::string(text)) {}
    ScriptValue(double number) : value_(number) {}
    ScriptValue(int number) : value_(static_cast<double>(number)) {}
    ScriptValue(long number) : value_(static_cast<double>(number)) {}
    ScriptValue(bool truth) : value_(truth) {}

    bool IsUndefined() const { return std::holds_alternative<std::monostate>(value_); }
    bool IsText() const { return std::holds_alternative<std::string>(value_); }
    bool IsNumber() const { return std::holds_alternative<double>(value_); }
    bool IsBool() const { return std::holds_alternative<bool>(value_); }
    const std::string& Text() const;  // empty unless a text
    double Number() const;            // 0 unless a number

    // As the system's integerValue answers it: a number truncated, a text's leading decimal
    // integer (after blanks and a sign), 0 for anything else. Saturates at the long range.
    long IntegerValue() const;

    // Script source text of the value: a text in double quotes with JSON escapes.
    std::string ToScript() const;

private:
    std::variant<std::monostate, std::string, double, bool> value_;
};

using ScriptDictionary = std::map<std::string, ScriptValue>;

}  // namespace Platform
