#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kordela::service {

// One element of a parsed request: attributes and text already unescaped.
struct XmlElement {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::string text;  // character data directly inside this element
    std::vector<XmlElement> children;

    const std::string* Attribute(std::string_view key) const;
    const XmlElement* Child(std::string_view childName) const;
    std::vector<const XmlElement*> ChildrenNamed(std::string_view childName) const;
};

struct XmlParseResult {
    std::optional<XmlElement> root;  // empty when the text is not well-formed
    std::string error;
};

// Requests are small; anything larger than this is refused unparsed.
inline constexpr std::size_t MaxXmlRequestBytes = 1024 * 1024;

XmlParseResult ParseXml(std::string_view text);

}  // namespace kordela::service
