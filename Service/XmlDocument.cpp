#include "XmlDocument.hpp"

#include <expat.h>

#include <memory>

namespace kordela::service {

const std::string* XmlElement::Attribute(std::string_view key) const
{
    for (const auto& [name, value] : attributes) {
        if (name == key)
            return &value;
    }
    return nullptr;
}

const XmlElement* XmlElement::Child(std::string_view childName) const
{
    for (const XmlElement& child : children) {
        if (child.name == childName)
            return &child;
    }
    return nullptr;
}

std::vector<const XmlElement*> XmlElement::ChildrenNamed(std::string_view childName) const
{
    std::vector<const XmlElement*> found;
    for (const XmlElement& child : children) {
        if (child.name == childName)
            found.push_back(&child);
    }
    return found;
}

namespace {

// Only ever pushes into the innermost open element, so the pointers to its
// ancestors on the stack stay valid.
struct TreeBuilder {
    std::optional<XmlElement> root;
    std::vector<XmlElement*> stack;

    static void OnStart(void* data, const XML_Char* name, const XML_Char** attributes)
    {
        auto& self = *static_cast<TreeBuilder*>(data);
        XmlElement element;
        element.name = name;
        for (int i = 0; attributes[i] != nullptr; i += 2) {
            element.attributes.emplace_back(attributes[i], attributes[i + 1]);
        }
        if (self.stack.empty()) {
            self.root = std::move(element);
            self.stack.push_back(&*self.root);
        } else {
            auto& siblings = self.stack.back()->children;
            siblings.push_back(std::move(element));
            self.stack.push_back(&siblings.back());
        }
    }

    static void OnEnd(void* data, const XML_Char*) { static_cast<TreeBuilder*>(data)->stack.pop_back(); }

    static void OnText(void* data, const XML_Char* text, int length)
    {
        auto& self = *static_cast<TreeBuilder*>(data);
        if (!self.stack.empty())
            self.stack.back()->text.append(text, static_cast<std::size_t>(length));
    }
};

struct ParserDeleter {
    void operator()(XML_ParserStruct* parser) const { XML_ParserFree(parser); }
};

}  // namespace

XmlParseResult ParseXml(std::string_view text)
{
    XmlParseResult result;
    if (text.size() > MaxXmlRequestBytes) {
        result.error = "request too large";
        return result;
    }
    std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(XML_ParserCreate("UTF-8"));
    if (!parser) {
        result.error = "cannot create XML parser";
        return result;
    }
    TreeBuilder builder;
    XML_SetUserData(parser.get(), &builder);
    XML_SetElementHandler(parser.get(), &TreeBuilder::OnStart, &TreeBuilder::OnEnd);
    XML_SetCharacterDataHandler(parser.get(), &TreeBuilder::OnText);
    if (XML_Parse(parser.get(), text.data(), static_cast<int>(text.size()), XML_TRUE) == XML_STATUS_ERROR) {
        result.error = std::string(XML_ErrorString(XML_GetErrorCode(parser.get()))) + " at line " +
                       std::to_string(XML_GetCurrentLineNumber(parser.get())) + ", column " +
                       std::to_string(XML_GetCurrentColumnNumber(parser.get()));
        return result;
    }
    result.root = std::move(builder.root);
    if (!result.root)
        result.error = "no root element";
    return result;
}

}  // namespace kordela::service
