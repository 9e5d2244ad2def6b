// The harness's own parts where a mistake would let other tests pass for the wrong reason:
// the origin it restores, the ports it promises closed or silent, the request filter and
// the reading of a page's answer.
#include "AddOnHarness.hpp"

#include <cstdlib>

namespace {

using kordela::test::BridgeCall;
using kordela::test::RequestFilter;

constexpr const char* OriginVariable = "KORDELA_SERVICE_ORIGIN";

std::optional<std::string> Origin()
{
    const char* value = std::getenv(OriginVariable);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

}  // namespace

TEST(ScopedServiceOrigin, PutsBackWhatWasThereAlsoNothing)
{
    const std::optional<std::string> before = Origin();
    for (const std::optional<std::string>& outer :
         {std::optional<std::string>(), std::optional<std::string>("http://outer")}) {
        if (outer)
            ::setenv(OriginVariable, outer->c_str(), 1);
        else
            ::unsetenv(OriginVariable);
        {
            kordela::test::ScopedServiceOrigin first("http://first");
            EXPECT_EQ(Origin(), "http://first");
            {
                kordela::test::ScopedServiceOrigin second("http://second");
                EXPECT_EQ(Origin(), "http://second");
            }
            EXPECT_EQ(Origin(), "http://first");
        }
        EXPECT_EQ(Origin(), outer);
    }
    if (before)
        ::setenv(OriginVariable, before->c_str(), 1);
    else
        ::unsetenv(OriginVariable);
}

TEST(TestPorts, ClosedPortRefusesAndSilentListenerNeverAnswers)
{
    const kordela::test::HttpReply refused =
        kordela::test::Fetch(kordela::test::RefusingOrigin() + "/", {.timeoutMs = 5000});
    EXPECT_EQ(refused.curlCode, 7) << refused.error;  // could not connect

    kordela::test::SilentListener silent;
    ASSERT_GT(silent.Port(), 0);
    const kordela::test::HttpReply unanswered = kordela::test::Fetch(silent.Origin() + "/", {.timeoutMs = 300});
    EXPECT_EQ(unanswered.curlCode, 28) << unanswered.error;  // connected, then timed out
}

TEST(RequestFilter, MatchesPathPrefixAndMethodTogether)
{
    const nlohmann::json log = nlohmann::json::parse(R"([
        {"method": "GET", "path": "/logos/1.png"},
        {"method": "POST", "path": "/GetProductGuids"},
        {"method": "GET", "path": "/logos"},
        {"method": "GET", "path": "/GetProductGuids"},
        "not an entry",
        {"method": "GET"}
    ])");
    struct Case {
        const char* what;
        RequestFilter filter;
        size_t count;
    };
    for (const Case& c : {Case {"everything", {}, 5}, Case {"exact path", {.path = "/GetProductGuids"}, 2},
                          Case {"prefix", {.pathPrefix = "/logos/"}, 1},
                          Case {"path and method", {.path = "/GetProductGuids", .method = "POST"}, 1},
                          Case {"no such path", {.path = "/logos/"}, 0}})
        EXPECT_EQ(kordela::test::FilterRequests(log, c.filter).size(), c.count) << c.what;
    EXPECT_TRUE(kordela::test::FilterRequests(nlohmann::json::object(), {}).empty());
}

TEST(BridgeAnswer, ReadsTheFirstAnswerOfTheCallOnly)
{
    const BridgeCall call {.message = "addKDPC", .callback = "AddKDPC_callback", .legacyFunction = "ExtAddKDPC"};
    const std::vector<std::string> none {"page 1 loads x", "page 1 received Other_callback: \"1, 2\""};
    EXPECT_EQ(kordela::test::BridgeAnswer(none, call), std::nullopt);
    const std::vector<std::string> lines {
        "page 1 loads x", kordela::test::ModernPages ? "page 1 received AddKDPC_callback: \"12, 0\"" : "page 1 got 0",
        kordela::test::ModernPages ? "page 1 received AddKDPC_callback: \"13, 1\"" : "page 1 got 1"};
    EXPECT_EQ(kordela::test::BridgeAnswer(lines, call), kordela::test::ModernPages ? "12, 0" : "0");
}

TEST_F(AddOnServiceHarness, OriginMarkAndRequestFilterServeTheTest)
{
    EXPECT_EQ(Origin(), service.Origin());
    host->Transcript("before the mark");
    const TranscriptMark mark = Mark();
    EXPECT_EQ(CountSince(mark, "the mark"), 0u);
    host->Transcript("after the mark");
    EXPECT_EQ(CountSince(mark, "the mark"), 1u);
    EXPECT_EQ(CountLines("the mark"), 2u);
    EXPECT_EQ(LinesSince(mark).size(), 1u);

    ASSERT_TRUE(kordela::test::Fetch(FileUrl("library/OakChair_1234.gsm")).Ok());
    EXPECT_EQ(RequestCount("/files/library/OakChair_1234.gsm"), 1u);
    EXPECT_EQ(RequestCountWhere({.pathPrefix = "/files/", .method = "POST"}), 0u);
}
