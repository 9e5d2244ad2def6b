#include "BodySource.hpp"
#include "Catalogue.hpp"
#include "Faults.hpp"
#include "Png.hpp"
#include "Site.hpp"
#include "TextUtil.hpp"
#include "XmlDocument.hpp"
#include "XmlWriter.hpp"

#include <gtest/gtest.h>
#include <png.h>

namespace kordela::service {
namespace {

TEST(ServiceText, PercentEncodingRoundTripsEveryByte)
{
    const std::pair<std::string, std::string> cases[] = {
        {"a b", "a%20b"}, {"100%", "100%25"},       {"1+1", "1%2B1"},
        {"ö", "%C3%B6"},  {"A-z_0.9~", "A-z_0.9~"}, {"&<>'\"", "%26%3C%3E%27%22"},
    };
    for (const auto& [plain, encoded] : cases) {
        EXPECT_EQ(PercentEncode(plain), encoded);
        EXPECT_EQ(PercentDecode(encoded), plain);
    }
    // What is not an escape stays as it is.
    for (const std::string text : {"%", "%4", "%zz", "a+b", "50%%"})
        EXPECT_EQ(PercentDecode(text), text);
}

TEST(ServiceText, QueryValuesAreTakenRaw)
{
    EXPECT_EQ(RawQueryValue("redirecturl=http://h/p?x=1%26y=2&z=3", "redirecturl"), "http://h/p?x=1%26y=2");
    EXPECT_EQ(RawQueryValue("a=1&z", "z"), "");
    EXPECT_EQ(RawQueryValue("a=1", "b"), std::nullopt);

    const std::pair<std::string, std::pair<std::string, int>> hops[] = {
        {"", {"", 0}},
        {"kordela_hop=2", {"", 2}},
        {"a=1&kordela_hop=3&b=2", {"a=1&b=2", 3}},
        {"a=1", {"a=1", 0}},
    };
    for (const auto& [query, expected] : hops) {
        std::string rest = query;
        EXPECT_EQ(TakeRedirectHop(rest), expected.second) << query;
        EXPECT_EQ(rest, expected.first) << query;
    }
}

TEST(ServiceXml, WrittenTextParsesBackUnchanged)
{
    const std::string texts[] = {"plain", "a & b < c > d", "quotes ' and \"", "tab\tline\nreturn\r", "ö ü €", ""};
    for (const std::string& text : texts) {
        XmlWriter writer;
        writer.Open("Bim", {{"Name", text}}).TextElement("Value", {}, text);
        const auto parsed = ParseXml(writer.Finish());
        ASSERT_TRUE(parsed.root) << parsed.error;
        EXPECT_EQ(*parsed.root->Attribute("Name"), text);
        EXPECT_EQ(parsed.root->Child("Value")->text, text);
    }
    // Control characters cannot be carried by XML 1.0 at all.
    EXPECT_EQ(XmlEscape(std::string("a\x01"
                                    "b\x7f"
                                    "c")),
              "abc");
}

TEST(ServiceXml, OnlyWellFormedRequestsParse)
{
    const std::pair<std::string, bool> cases[] = {
        {"<?xml version='1.0' encoding='UTF-8'?><Bim API='k'></Bim>", true},
        {"<Bim A=\"&amp;&lt;&#65;\"/>", true},
        {"", false},
        {"<Bim>", false},
        {"<Bim></Bam>", false},
        {"<Bim a='1' a='2'/>", false},
        {"<Bim/><Bim/>", false},
        {"text", false},
        {"<Bim a='&unknown;'/>", false},
        {"<Bim a='<'/>", false},
    };
    for (const auto& [text, ok] : cases)
        EXPECT_EQ(ParseXml(text).root.has_value(), ok) << text;

    const auto parsed = ParseXml("<Bim A=\"&amp;&lt;&#65;\"><X>1</X><Y/><X>2</X></Bim>");
    ASSERT_TRUE(parsed.root);
    EXPECT_EQ(*parsed.root->Attribute("A"), "&<A");
    EXPECT_EQ(parsed.root->ChildrenNamed("X").size(), 2u);
    EXPECT_EQ(parsed.root->ChildrenNamed("X")[1]->text, "2");
}

TEST(ServiceCatalogue, ProductUrlsMatchLoosely)
{
    std::string error;
    const auto catalogue = Catalogue::Load(std::string(KORDELA_SAMPLES_DIR) + "/catalogue.json", error);
    ASSERT_TRUE(catalogue) << error;
    const std::pair<std::string, std::string> cases[] = {
        {"kordela.example/Product/1234", "1234"},   {"http://KORDELA.example/Product/1234/", "1234"},
        {"www.other.example/Product/2001", "2001"},  // the page path decides when the host differs
        {"kordela.example/product/1234", ""},        // paths keep their case
        {"kordela.example/Product/12345", ""},      {"kordela.example", ""},
    };
    for (const auto& [url, id] : cases) {
        const Product* product = catalogue->FindProductByUrl(url);
        EXPECT_EQ(product ? product->id : "", id) << url;
    }
    EXPECT_NE(catalogue->FindProductByGuid("6e0f5b7a-1c2d-4e3f-8a9b-0c1d2e3f4a5b"), nullptr);
    EXPECT_EQ(catalogue->PublishedVersion(21), "3.2");

    const nlohmann::json broken[] = {
        nlohmann::json::array(),
        {{"publishedVersions", {{"twenty", "3.2"}}}},
        {{"propertyClouds", {{{"name", "no id"}}}}},
    };
    for (const auto& j : broken)
        EXPECT_FALSE(Catalogue::FromJson(j, ".", error)) << j.dump();
}

TEST(ServiceFiles, GeneratedFileNamesGiveTheirSize)
{
    const std::pair<std::string, std::optional<std::uint64_t>> cases[] = {
        {"50MB.bin", 50ull << 20},
        {"1KB.bin", 1024},
        {"7B.bin", 7},
        {"0B.bin", 0},
        {"4096MB.bin", 4096ull << 20},
        {"4097MB.bin", std::nullopt},
        {"5GB.bin", std::nullopt},
        {"MB.bin", std::nullopt},
        {"5MB.txt", std::nullopt},
        {"-5MB.bin", std::nullopt},
    };
    for (const auto& [name, size] : cases)
        EXPECT_EQ(GeneratedFileSize(name), size) << name;

    auto body = MakeGeneratedBody(1000);
    std::string part;
    ASSERT_TRUE(body->Read(990, 100, part));
    ASSERT_EQ(part.size(), 10u);
    EXPECT_EQ(static_cast<unsigned char>(part[0]), GeneratedByte(990));
}

TEST(ServiceFiles, GeneratedFilesTakeAnyByteCountUpToFourGiBAndAreWrittenByteForByte)
{
    const std::pair<std::string, std::optional<std::uint64_t>> cases[] = {
        {"1GB.bin", 1ull << 30},           {"4GB.bin", 4ull << 30},
        {"GB.bin", std::nullopt},          {"1gb.bin", std::nullopt},
        {"1000001B.bin", 1000001},         {"4294967296B.bin", 4ull << 30},
        {"4294967297B.bin", std::nullopt}, {"9999999999GB.bin", std::nullopt},
    };
    for (const auto& [name, size] : cases)
        EXPECT_EQ(GeneratedFileSize(name), size) << name;

    // Pieces that start and end anywhere, across pages and near the largest size.
    const std::pair<std::uint64_t, std::size_t> pieces[] = {
        {0, 1}, {4095, 2}, {4000, 9000}, {251 * 4096 - 7, 70000}, {(4ull << 30) - 5000, 5000}, {1234567, 65536},
    };
    auto body = MakeGeneratedBody(4ull << 30);
    for (const auto& [offset, length] : pieces) {
        std::string piece = "x";
        ASSERT_TRUE(body->Read(offset, length, piece));
        ASSERT_EQ(piece.size(), length + 1);
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < length; ++i)
            wrong += static_cast<unsigned char>(piece[i + 1]) != GeneratedByte(offset + i);
        EXPECT_EQ(wrong, 0u) << offset;
    }
}

TEST(ServiceLogos, GeneratedLogosDecodeAndTheBrokenOneDoesNot)
{
    const auto decode = [](const std::string& data, png_image& image) {
        image = {};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_memory(&image, data.data(), data.size()))
            return false;
        image.format = PNG_FORMAT_RGB;
        std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
        const bool ok = png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr);
        png_image_free(&image);
        return ok;
    };
    png_image image;
    ASSERT_TRUE(decode(MakeLogoPng(0x2A6F97), image)) << image.message;
    EXPECT_EQ(image.width, 48u);
    EXPECT_EQ(image.height, 48u);
    EXPECT_FALSE(decode(MakeBrokenPng(), image));
}

TEST(ServiceFaultTable, SettingsAreCheckedAndCountsConsumed)
{
    FaultTable table;
    EXPECT_EQ(table.Set({{"path", "/a"}, {"mode", "http500"}, {"count", 2}}), "");
    EXPECT_EQ(table.Set({{"path", "/b/*"}, {"mode", "trickle"}}), "");
    EXPECT_NE(table.Set({{"path", "/c"}, {"mode", "trickle"}, {"interval_ms", "fast"}}), "");
    EXPECT_NE(table.Set({{"path", "/c"}, {"mode", "no-answer"}, {"seconds", 601}}), "");
    EXPECT_NE(table.Set({{"path", "/c"}, {"mode", "redirect"}, {"to", "elsewhere"}}), "");
    EXPECT_NE(table.Set({{"path", "/c"}, {"mode", "body"}, {"body", "x"}, {"headers", {{"X-A", "1\r\nX-B: 2"}}}}), "");
    EXPECT_NE(table.Set({{"path", "/c"}, {"mode", "pass"}, {"headers", {{"X-A", 1}}}}), "");
    EXPECT_TRUE(table.List().size() == 2u);

    EXPECT_TRUE(table.Find("/a", false));
    EXPECT_TRUE(table.Find("/a", true));
    EXPECT_TRUE(table.Find("/a", true));
    EXPECT_FALSE(table.Find("/a", true));  // two spoiled requests, then gone
    EXPECT_TRUE(table.Find("/b/c/d", true));
    EXPECT_FALSE(table.Find("/bc", true));
    EXPECT_EQ(table.Find("/b/x", false)->settings["chunk_bytes"], 1);  // defaults are filled in

    EXPECT_EQ(table.Set({{"path", "/b/*"}, {"mode", "none"}}), "");
    EXPECT_TRUE(table.List().empty());
}

}  // namespace
}  // namespace kordela::service
