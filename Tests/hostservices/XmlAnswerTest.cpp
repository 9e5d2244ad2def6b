// Hostile service answers: what the strict check lets through to irrXML is read correctly,
// everything else is no answer; irrXML never reads or writes outside the text.
#include "XmlAnswer.hpp"
#include "XmlCheck.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The nodes as the readers see them: "<Name a=v>", "</Name>", "text"; "/>" marks an empty element.
std::vector<std::string> Read(const std::string& answer)
{
    XmlAnswer reader(XmlAnswer::InMemory {}, answer);
    std::vector<std::string> nodes;
    if (!reader.IsOpen())
        return {"(no answer)"};
    while (reader.read() && nodes.size() < 100) {
        switch (reader.getNodeType()) {
        case XmlAnswer::Node::Element: {
            std::string node = std::string("<") + reader.getNodeName();
            for (const char* name : {"a", "b", "UnreadEmails"})
                if (const char* value = reader.getAttributeValue(name))
                    node += std::string(" ") + name + "=" + value;
            nodes.push_back(node + (reader.isEmptyElement() ? "/>" : ">"));
            break;
        }
        case XmlAnswer::Node::ElementEnd: nodes.push_back(std::string("</") + reader.getNodeName() + ">"); break;
        case XmlAnswer::Node::Text: nodes.push_back(reader.getNodeData()); break;
        default: nodes.push_back("?"); break;
        }
    }
    return nodes;
}

const std::vector<std::string> NoAnswer = {"(no answer)"};

}  // namespace

TEST(XmlAnswer, HostileAnswersAreNoAnswer)
{
    const std::vector<std::string> answers = {
        // the answers that crashed irrXML or made it read and write outside the text
        "<!>",
        "<!xyz>",
        "<![abcd]]>",
        "<Bim UnreadEmails>",
        "<Bim><!-- a < b --></Bim>",
        "\xFF\xFE",
        // byte-order marks of encodings irrXML guesses, alone and before an answer
        "\xFE\xFF",
        "\xFF\xFE<\0B\0/\0>\0",
        std::string("\0\0\xFE\xFF", 4),
        std::string("\xFF\xFE\0\0", 4),
        "\xEF\xBB\xBF",
        "\xEF\xBB\xBF\xEF\xBB\xBF<Bim/>",
        // constructs irrXML mishandles
        "<Bim><![CDATA[x]]></Bim>",
        "<!DOCTYPE Bim><Bim/>",
        "<Bim><?pi x?></Bim>",
        "<?xml-stylesheet x?><Bim/>",
        "<Bim a='1' a='2'/>",
        "<Bim a=1/>",
        "<Bim a='1'b='2'/>",
        "<Bim a/>",
        "<Bim / >",
        "</Bim>",
        "<Bim></Other>",
        "<Bim>a</Bim>b",
        "< Bim/>",
        "<Bim></ Bim>",
        "<Bim></Bim >",
        "<Bim>]]></Bim>",
        // references irrXML cannot read, bytes that are not XML characters, no element at all
        "<Bim>&nbsp;</Bim>",
        "<Bim>a & b</Bim>",
        "<Bim>&#0;</Bim>",
        "<Bim>&#xD800;</Bim>",
        "<Bim>&#x110000;</Bim>",
        "<Bim>&#123456789;</Bim>",
        std::string("<Bim>\0</Bim>", 12),
        "<Bim>\x01</Bim>",
        "<Bim>\xC0\xAF</Bim>",
        "<Bim>\xED\xA0\x80</Bim>",
        "<Bim a='<'/>",
        "",
        "   ",
        "text",
        "<?xml version='1.0'?>",
        "<?xml <Bim/>?>",
    };
    for (const std::string& answer : answers)
        EXPECT_EQ(Read(answer), NoAnswer) << "answer: " << answer;
}

TEST(XmlAnswer, AcceptedAnswersAreReadCorrectly)
{
    struct Case {
        std::string answer;
        std::vector<std::string> nodes;
    };
    const std::vector<Case> cases = {
        {"<?xml version='1.0' encoding='UTF-8'?><Bim UnreadEmails='7'></Bim>", {"<Bim UnreadEmails=7>", "</Bim>"}},
        {"\xEF\xBB\xBF<Bim a=\"x\"/>", {"<Bim a=x/>"}},
        {"\r\n <?xml version='1.0'?>\n<Bim/>", {"<Bim/>"}},
        {"<Bim a = 'x'\n\tb=\"y\" ><c/>text</Bim>\n", {"<Bim a=x b=y>", "<c/>", "text", "</Bim>"}},
        // irrXML drops the character after a reference and knows no numeric ones
        {"<Bim a='H&amp;M'>p&amp;q</Bim>", {"<Bim a=H&M>", "p&q", "</Bim>"}},
        {"<Bim a='&lt;&gt;&quot;&apos;'>&#233;&#x41;&lt;/x&gt;</Bim>",
         {"<Bim a=<>\"'>",
          "\xC3\xA9"
          "A</x>",
          "</Bim>"}},
        {"<Bim a='\"' b=\"'\"/>", {"<Bim a=\" b='/>"}},
        // line ends as an XML reader gives them
        {"<Bim a='1\r\n2\t3'>x\r\ny\rz</Bim>", {"<Bim a=1 2 3>", "x\ny\nz", "</Bim>"}},
        {"<Bim>  \n </Bim>", {"<Bim>", "</Bim>"}},
        // cut answers: the unfinished last tag goes, the rest is read
        {"<Bim><Objects><Obj", {"<Bim>", "<Objects>"}},
        {"<Bim><Objects a='x", {"<Bim>"}},
        {"<Bim>text &am", {"<Bim>"}},
        {"<Bim><!", {"<Bim>"}},
        {"<Bim></Bi", {"<Bim>"}},
        {"<Bim>t</Bi", {"<Bim>"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Read(c.answer), c.nodes) << "answer: " << c.answer;
}

TEST(XmlAnswer, DeepNestingAndLargeValuesStayInside)
{
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<a>";
    XmlAnswer nested(XmlAnswer::InMemory {}, deep);
    ASSERT_TRUE(nested.IsOpen());
    int elements = 0;
    while (nested.read())
        ++elements;
    EXPECT_EQ(elements, 100000);

    const std::string value(4 * 1024 * 1024, 'v');
    XmlAnswer large(XmlAnswer::InMemory {}, "<Bim a='" + value + "'>" + value + "</Bim>");
    ASSERT_TRUE(large.read());
    EXPECT_EQ(std::string(large.getAttributeValue("a")), value);
    ASSERT_TRUE(large.read());
    EXPECT_EQ(std::string(large.getNodeData()), value);

    EXPECT_FALSE(
        XmlAnswer(XmlAnswer::InMemory {}, "<Bim>" + std::string(XmlCheck::AnswerLimit, ' ') + "</Bim>").IsOpen());
}
