#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kordela::service {

// Escapes text for XML character data and attribute values (either quote).
// Bytes that XML 1.0 cannot carry at all (control characters other than tab,
// line feed and carriage return) are dropped rather than producing a document
// that no parser accepts.
std::string XmlEscape(std::string_view text);

using XmlAttributes = std::vector<std::pair<std::string, std::string>>;

// Writes compact XML: no white space between elements, because the add-on's
// pull parser reports longer white-space runs as text nodes.
class XmlWriter {
public:
    XmlWriter();

    // Start tag; Close() writes the matching end tag even when nothing came between.
    XmlWriter& Open(std::string_view name, const XmlAttributes& attributes = {});
    // Self-closing element.
    XmlWriter& Empty(std::string_view name, const XmlAttributes& attributes = {});
    // Element with escaped text content.
    XmlWriter& TextElement(std::string_view name, const XmlAttributes& attributes, std::string_view text);
    XmlWriter& Close();
    // Room for a document of about that many bytes, so that a large one is not moved as it grows.
    void Reserve(std::size_t bytes);

    // Closes what is still open and returns the document.
    std::string Finish();

private:
    void WriteStartTag(std::string_view name, const XmlAttributes& attributes);

    std::string out_;
    std::vector<std::string> open_;
};

}  // namespace kordela::service
