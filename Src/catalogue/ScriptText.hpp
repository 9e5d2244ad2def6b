// Texts that native code puts into page script.
#pragma once

#include <string>

// `text` as the inside of a single-quoted script string: the page gets exactly the text,
// and nothing in it can end the string or the script element.
std::string EscapeForSingleQuotedScript(const std::string& text);
