// The strict check in front of irrXML. irrXML reads and writes outside its text on
// constructs it was not made for (comments, CDATA, document types, processing instructions,
// attributes without a value, byte-order marks of other encodings) and misreads references.
// So an answer reaches it only when it is well-formed XML (or such XML cut off after some
// element; several top-level elements are read in turn) built from elements, attributes and
// text alone, and in a form irrXML reads right:
// references are replaced by their characters, with stand-in bytes for the five that are
// markup, and line ends are normalised as an XML reader would.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace XmlCheck {

// Larger answers are refused: no service answer comes near it, and irrXML counts in int.
constexpr size_t AnswerLimit = 16 * 1024 * 1024;

// One node as a correct reader reports it, for comparing irrXML's reading with.
struct Node {
    enum class Kind { Element, ElementEnd, Text, Declaration };
    Kind kind = Kind::Element;
    std::string name;  // element name, or the text of a text node
    std::vector<std::pair<std::string, std::string>> attributes;
    bool empty = false;
};

// The text to hand irrXML for `answer`, or nothing when the answer must count as no answer.
// An answer that ends inside a tag is first trimmed of that unfinished tag. `nodes`, when
// given, receives what the answer holds, in the order irrXML reports it.
std::optional<std::string> Prepare(std::string_view answer, std::vector<Node>* nodes = nullptr);

// A value irrXML read from a prepared text, with the stand-ins turned back into characters.
std::string Restore(std::string_view value);

// True when `value` holds stand-ins that Restore changes.
bool NeedsRestore(std::string_view value);

}  // namespace XmlCheck
