// Any bytes as a service answer: irrXML reads what the strict check accepts exactly as the
// check read it, and is never given anything else.
#include "FuzzSupport.hpp"
#include "XmlAnswer.hpp"
#include "XmlCheck.hpp"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view answer(reinterpret_cast<const char*>(data), size);
    std::vector<XmlCheck::Node> expected;
    const bool accepted = XmlCheck::Prepare(answer, &expected).has_value();
    XmlAnswer reader(XmlAnswer::InMemory {}, answer);
    FUZZ_CHECK(reader.IsOpen() == accepted);
    size_t i = 0;
    while (reader.read()) {
        FUZZ_CHECK(i < expected.size());
        const XmlCheck::Node& node = expected[i++];
        switch (reader.getNodeType()) {
        case XmlAnswer::Node::Element:
            FUZZ_CHECK(node.kind == XmlCheck::Node::Kind::Element);
            FUZZ_CHECK(node.name == reader.getNodeName());
            FUZZ_CHECK(node.empty == reader.isEmptyElement());
            for (const auto& [name, value] : node.attributes) {
                const char* read = reader.getAttributeValue(name.c_str());
                FUZZ_CHECK(read != nullptr && value == read);
            }
            break;
        case XmlAnswer::Node::ElementEnd:
            FUZZ_CHECK(node.kind == XmlCheck::Node::Kind::ElementEnd);
            FUZZ_CHECK(node.name == reader.getNodeName());
            break;
        case XmlAnswer::Node::Text:
            FUZZ_CHECK(node.kind == XmlCheck::Node::Kind::Text);
            FUZZ_CHECK(node.name == reader.getNodeData());
            break;
        default: FUZZ_CHECK(!"irrXML reported a node the check does not let through");
        }
    }
    FUZZ_CHECK(i == expected.size());
    return 0;
}
