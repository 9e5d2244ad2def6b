#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kordela::service {

// Percent-encodes every byte outside the unreserved set, so that a client that
// URL-decodes the text gets the original bytes back ("+" included).
std::string PercentEncode(std::string_view text);

// Replaces %XX escapes by their bytes; "+" stays "+". A "%" that does not start
// a valid escape is kept as it stands.
std::string PercentDecode(std::string_view text);

std::string ToLower(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
bool StartsWith(std::string_view text, std::string_view prefix);
bool EndsWith(std::string_view text, std::string_view suffix);

std::vector<std::string_view> Split(std::string_view text, char separator);

// Whole-text decimal integer; nothing else (no blanks, no trailing text).
std::optional<long long> ParseInteger(std::string_view text);

// The value of one raw query parameter (the text up to the next "&"), not decoded.
std::optional<std::string_view> RawQueryValue(std::string_view query, std::string_view name);

}  // namespace kordela::service
