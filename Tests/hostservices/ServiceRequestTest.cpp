#include "AddOnHarness.hpp"
#include "ServiceRequest.hpp"
#include "UrlToGuidHandler.hpp"
#include "XmlAnswer.hpp"

#include "GSPref.hpp"

#include <unistd.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

namespace fs = std::filesystem;

namespace {

constexpr const char* Key = "3f2504e0-4f89-11d3-9a0c-0305e82c3301";
constexpr const char* ChairUrl = "kordela.example/Product/1234";
constexpr const char* ChairGuid = "6E0F5B7A-1C2D-4E3F-8A9B-0C1D2E3F4A5B";

class ServiceRequestTest : public AddOnServiceHarness {
protected:
    void SetUp() override
    {
        AddOnServiceHarness::SetUp();
        AttachAddOn();
        StoreSetting("APIKey", Key);
    }

    std::string Lookup(const std::string& url) { return UrlToGuidHandler::getInstance()[url].ToUTF8(); }

    std::set<std::string> AnswerFiles() const
    {
        static const std::regex uuid("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(Profile() + "/Temp"))
            if (std::regex_match(entry.path().filename().string(), uuid))
                names.insert(entry.path().filename().string());
        return names;
    }

    std::string Body(const std::string& xml)
    {
        EXPECT_TRUE(service.SetFault("/GetProductGuids", "body", {{"body", xml}}));
        return xml;
    }
};

std::string GuidRequest(const std::string& key, const std::string& url)
{
    return "<?xml version='1.0' encoding='UTF-8'?><Bim API='" + key + "'><Objects><Object ProductId='" + url +
           "' /></Objects></Bim>";
}

}  // namespace

TEST_F(ServiceRequestTest, LookupPostsTheTemplateAsFormFieldValueAndReadsTheGuid)
{
    EXPECT_EQ(Lookup(ChairUrl), ChairGuid);
    const auto requests = Requests("/GetProductGuids");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0]["method"], "POST");
    EXPECT_EQ(requests[0]["value"], GuidRequest(Key, ChairUrl));
    EXPECT_NE(requests[0]["headers"].value("Content-Type", "").find("multipart/form-data"), std::string::npos);
}

TEST_F(ServiceRequestTest, ValuesAreEscapedAsAttributeTextAndNeverCut)
{
    const std::string url = "kordela.example/Product/it's<odd>&\"" + std::string(5000, 'x');
    EXPECT_EQ(Lookup(url), "");
    const auto requests = Requests("/GetProductGuids");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0]["value"],
              GuidRequest(Key, "kordela.example/Product/it&apos;s&lt;odd&gt;&amp;&quot;" + std::string(5000, 'x')));
    EXPECT_EQ(requests[0]["status"], 200);
}

TEST_F(ServiceRequestTest, FoundGuidIsCachedAndAnUnknownProductIsAskedAgain)
{
    // The cache lives as long as the process: this test asks for a product no other test does.
    EXPECT_EQ(Lookup("kordela.example/Product/3001"), "0F9E8D7C-6B5A-4948-8372-615049382716");
    EXPECT_EQ(Lookup("kordela.example/Product/3001"), "0F9E8D7C-6B5A-4948-8372-615049382716");
    EXPECT_EQ(Requests("/GetProductGuids").size(), 1u);
    EXPECT_EQ(Lookup("kordela.example/Product/none"), "");
    EXPECT_EQ(Lookup("kordela.example/Product/none"), "");
    EXPECT_EQ(Requests("/GetProductGuids").size(), 3u);
}

TEST_F(ServiceRequestTest, AddKeepsTheFirstNonEmptyValueAndAStoredEmptyValueIsNotAskedFor)
{
    auto& cache = UrlToGuidHandler::getInstance();
    cache.Add("u/empty", "");
    EXPECT_EQ(Lookup("u/empty"), "");
    cache.Add("u/empty", "G-later");
    EXPECT_EQ(Lookup("u/empty"), "G-later");
    cache.Add("u/first", "G1");
    cache.Add("u/first", "G2");
    cache.Add("u/first", "");
    EXPECT_EQ(Lookup("u/first"), "G1");
    EXPECT_TRUE(Requests("/GetProductGuids").empty());
}

TEST_F(ServiceRequestTest, OnlyProductGuidsInsideAnObjectCountAndTheLastOneWins)
{
    struct Case {
        const char* body;
        const char* expected;
    } cases[] = {
        {"<Bim><ProductGuid>OUTSIDE</ProductGuid><Objects><Object ProductId='u'></Object></Objects></Bim>", ""},
        {"<Bim><Objects><Object><ProductGuid>A</ProductGuid></Object><Object><ProductGuid>B</ProductGuid></Object>"
         "</Objects></Bim>",
         "B"},
        {"<Bim><Objects><Object></Object><ProductGuid>AFTER</ProductGuid></Objects></Bim>", ""},
        // irrXML misreads comments: an answer holding one is no answer.
        {"<Bim><Objects><Object><ProductGuid>G<!-- c -->H</ProductGuid></Object></Objects></Bim>", ""},
    };
    int n = 0;
    for (const auto& c : cases) {
        Body(c.body);
        EXPECT_EQ(Lookup("u/" + std::to_string(n++)), c.expected) << c.body;
    }
}

TEST_F(ServiceRequestTest, EveryRequestKeepsItsAnswerInAFileOfItsOwn)
{
    const auto before = AnswerFiles();
    Lookup("kordela.example/Product/none-1");
    Lookup("kordela.example/Product/none-2");
    const auto after = AnswerFiles();
    EXPECT_EQ(after.size(), before.size() + 2);
    for (const auto& name : after) {
        if (before.contains(name))
            continue;
        std::ifstream in(Profile() + "/Temp/" + name);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_NE(text.find("<Bim"), std::string::npos) << name;
    }
}

TEST_F(ServiceRequestTest, MisbehavingServiceGivesTheEmptyGuidWithoutCrashing)
{
    const nlohmann::json none = nlohmann::json::object();
    struct Case {
        const char* mode;
        nlohmann::json extra;
    } cases[] = {{"http500", none},        {"html-error", none},
                 {"truncated", none},      {"malformed-xml", none},
                 {"unexpected-xml", none}, {"gzip", none},
                 {"body", {{"body", ""}}}, {"body", {{"body", std::string(100000, '<')}}}};
    for (const auto& c : cases) {
        ASSERT_TRUE(service.SetFault("/GetProductGuids", c.mode, c.extra)) << c.mode;
        EXPECT_EQ(UrlToGuidHandler::getInstance().TryToGet(ChairUrl).ToUTF8(), "") << c.mode;
    }
}

// A post tells its transfer code and the last answer's status, as a get does.
TEST_F(ServiceRequestTest, PostResultCarriesTheTransferCodeAndTheStatus)
{
    struct Case {
        const char* mode;
        nlohmann::json extra;
        long status;
    } cases[] = {{"none", nlohmann::json::object(), 200},
                 {"http500", nlohmann::json::object(), 500},
                 {"redirect-chain", {{"count", 2}}, 200}};
    for (const auto& c : cases) {
        if (std::string(c.mode) != "none") {
            ASSERT_TRUE(service.SetFault("/GetProductGuids", c.mode, c.extra)) << c.mode;
        }
        const PostResult post =
            PostServiceRequest(Endpoints::Scheme::Https, "/GetProductGuids", GuidRequest(Key, ChairUrl));
        EXPECT_TRUE(post.started) << c.mode;
        EXPECT_EQ(post.curlCode, CURLE_OK) << c.mode;
        EXPECT_EQ(post.status, c.status) << c.mode;
        DeleteAnswerFile(post.answerFile);
    }
}

TEST_F(ServiceRequestTest, RedirectsAreFollowedWithTheFormKept)
{
    ASSERT_TRUE(service.SetFault("/GetProductGuids", "redirect-chain", {{"count", 3}}));
    EXPECT_EQ(UrlToGuidHandler::getInstance().TryToGet(ChairUrl).ToUTF8(), ChairGuid);
    const auto requests = Requests("/GetProductGuids");
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests.back()["value"], GuidRequest(Key, ChairUrl));
}

TEST_F(ServiceRequestTest, SilentOrStalledServiceEndsWithinTheTransferLimits)
{
    // A window of one second; the rate is well above the posted request's own bytes, which
    // count toward a transfer's rate for a few seconds.
    TransferLimits limits;
    limits.connectTimeoutSeconds = 1;
    limits.lowSpeedBytesPerSecond = 1000;
    limits.lowSpeedSeconds = 1;
    SetTransferLimits(limits);
    struct Case {
        const char* mode;
        nlohmann::json extra;
    } cases[] = {{"no-answer", {{"seconds", 60}}}, {"trickle", {{"chunk_bytes", 1}, {"interval_ms", 5000}}}};
    for (const auto& c : cases) {
        ASSERT_TRUE(service.SetFault("/GetProductGuids", c.mode, c.extra)) << c.mode;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(UrlToGuidHandler::getInstance().TryToGet(ChairUrl).ToUTF8(), "") << c.mode;
        // Generous: the limit is 1 s below the rate, the service would hold for 60 s.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30)) << c.mode;
        service.Reset();
    }
    SetTransferLimits(TransferLimits {});
}

TEST(WriteFunc, GrowsTheBufferAndKeepsItTerminated)
{
    string s;
    init_string(&s);
    char empty[1] = {};
    EXPECT_EQ(writefunc(empty, 1, 0, &s), 0u);
    EXPECT_EQ(s.len, 0u);
    EXPECT_STREQ(s.ptr, "");
    std::string block(70000, 'a');
    EXPECT_EQ(writefunc(block.data(), 1, block.size(), &s), block.size());
    EXPECT_EQ(writefunc(block.data(), 2, 3, &s), 6u);
    EXPECT_EQ(s.len, 70006u);
    EXPECT_EQ(std::strlen(s.ptr), 70006u);
    EXPECT_EQ(writefunc(block.data(), static_cast<size_t>(-1), 2, &s), 0u);  // overflowing product refused
    EXPECT_EQ(s.len, 70006u);
}

TEST(RequestText, OrdinaryValuesGiveTheTemplateUnchanged)
{
    EXPECT_EQ(FormatRequest("<Bim API='%s'><Object ProductId='%s' /></Bim>", {Key, ChairUrl}),
              std::string("<Bim API='") + Key + "'><Object ProductId='" + ChairUrl + "' /></Bim>");
    EXPECT_EQ(FormatRequest("<Bim Application='ArchiCAD'></Bim>", {}), "<Bim Application='ArchiCAD'></Bim>");
    EXPECT_EQ(FormatRequest("<Kdpc CloudId='%s' /> 100%%", {"12"}), "<Kdpc CloudId='12' /> 100%");
}

TEST(XmlAnswer, AnswerCutAnywhereIsReadWithoutOverrun)
{
    const std::string answer =
        "<?xml version='1.0' encoding='UTF-8'?><Bim><Objects><Object ProductId='u'>"
        "<ProductGuid>G</ProductGuid></Object></Objects></Bim>";
    const std::string path = (fs::temp_directory_path() / ("xml-cut-" + std::to_string(::getpid()))).string();
    for (size_t cut = 0; cut <= answer.size(); ++cut) {
        std::ofstream(path, std::ios::trunc) << answer.substr(0, cut) << std::string(cut % 3 == 0 ? 5000 : 0, '<');
        XmlAnswer reader(path.c_str());
        int nodes = 0;
        while (reader.read() && nodes < 100000)
            ++nodes;
        EXPECT_LT(nodes, 100000) << cut;
    }
    fs::remove(path);
    XmlAnswer missing("/nonexistent/answer");
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_FALSE(missing.read());
}
