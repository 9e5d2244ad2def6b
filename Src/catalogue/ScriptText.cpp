#include "ScriptText.hpp"

std::string EscapeForSingleQuotedScript(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\'': out += "\\'"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '<':
            // "</script>" inside a script element would end it.
            out += i + 1 < text.size() && text[i + 1] == '/' ? "<\\" : "<";
            break;
        default:
            // U+2028 and U+2029 end a line, and with it the string, in older script engines.
            if (c == '\xE2' && i + 2 < text.size() && text[i + 1] == '\x80' &&
                (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
                out += text[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
                i += 2;
            } else {
                out += c;
            }
        }
    }
    return out;
}
