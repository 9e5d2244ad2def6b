#include "ServiceTestSupport.hpp"

#include "Faults.hpp"

#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <map>
#include <regex>
#include <thread>

namespace kordela::test {
namespace {

using Clock = std::chrono::steady_clock;

class ServiceFault : public ServiceProcessTest {
protected:
    HttpReply AskMail(HttpRequest request = {})
    {
        return PostValue("/GetUnreadEmailsCount2", UnreadMailRequest(KeyWithThreeMails), std::move(request));
    }

    // The service still answers normally (after the fault was cleared).
    void ExpectHealthy()
    {
        ASSERT_TRUE(service.Reset());
        const HttpReply reply = AskMail();
        EXPECT_TRUE(reply.Ok()) << reply.error;
        EXPECT_EQ(reply.status, 200);
        const service::XmlElement root = Parse(reply);
        ASSERT_NE(root.Attribute("UnreadEmails"), nullptr);
        EXPECT_EQ(*root.Attribute("UnreadEmails"), "3");
    }

    const std::string normalAnswer = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Bim UnreadEmails=\"3\"></Bim>";
};

// windowBits as zlib takes them: 15 + 16 for gzip, 15 for a zlib stream.
std::string Inflate(const std::string& data, int windowBits)
{
    z_stream stream {};
    if (inflateInit2(&stream, windowBits) != Z_OK)
        return {};
    std::string out(64 * 1024, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    inflateEnd(&stream);
    return result == Z_STREAM_END ? out : std::string();
}

TEST_F(ServiceFault, ErrorAnswersReachTheClient)
{
    struct Case {
        std::string mode;
        nlohmann::json extra;
        long status;
        std::string contentType;
        std::string bodyPart;
    };
    const Case cases[] = {
        {"http500", {}, 500, "text/html; charset=utf-8", "Runtime Error"},
        {"http500", {{"status", 503}}, 503, "text/html; charset=utf-8", "Runtime Error"},
        {"html-error", {}, 200, "text/html; charset=utf-8", "Server Error"},
        {"unexpected-xml", {}, 200, "text/xml; charset=utf-8", "<Response>"},
        {"body", {{"body", "<Bim UnreadEmails='12'/>"}}, 200, "text/xml; charset=utf-8", "<Bim UnreadEmails='12'/>"},
        {"body", {{"body", "gone"}, {"status", 410}, {"content_type", "text/plain"}}, 410, "text/plain", "gone"},
        {"body", {{"body", {0xFF, 0xFE, 0x3C}}}, 200, "text/xml; charset=utf-8", "\xFF\xFE<"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode + " " + c.extra.dump());
        ASSERT_TRUE(service.SetFault("/GetUnreadEmailsCount2", c.mode, c.extra));
        const HttpReply reply = AskMail();
        EXPECT_TRUE(reply.Ok()) << reply.error;
        EXPECT_EQ(reply.status, c.status);
        EXPECT_EQ(reply.Header("content-type"), c.contentType);
        EXPECT_NE(reply.body.find(c.bodyPart), std::string::npos) << reply.body;
        const nlohmann::json log = service.Log();
        EXPECT_EQ(log.back()["fault"], c.mode);
        ExpectHealthy();
    }
}

TEST_F(ServiceFault, UnexpectedAndMalformedXmlDifferInWellFormedness)
{
    ASSERT_TRUE(service.SetFault("/GetUnreadEmailsCount2", "unexpected-xml"));
    const auto unexpected = service::ParseXml(AskMail().body);
    ASSERT_TRUE(unexpected.root);
    EXPECT_NE(unexpected.root->name, "Bim");

    ASSERT_TRUE(service.SetFault("/GetUnreadEmailsCount2", "malformed-xml"));
    const HttpReply malformed = AskMail();
    EXPECT_EQ(malformed.status, 200);
    EXPECT_FALSE(service::ParseXml(malformed.body).root) << malformed.body;
    ExpectHealthy();
}

TEST_F(ServiceFault, GzipBodyIsSentEncoded)
{
    ASSERT_TRUE(service.SetFault("/GetUnreadEmailsCount2", "gzip"));
    const HttpReply raw = AskMail();
    EXPECT_EQ(raw.Header("content-encoding"), "gzip");
    EXPECT_EQ(raw.body.substr(0, 2), "\x1f\x8b");
    EXPECT_EQ(Inflate(raw.body, 15 + 16), normalAnswer);
    // A client that asks libcurl to decode gets the plain answer.
    EXPECT_EQ(AskMail({.acceptEncoding = true}).body, normalAnswer);
    ExpectHealthy();
}

TEST_F(ServiceFault, QueuedAnswersAreTakenInTurnThenTheRealOne)
{
    const nlohmann::json queue = {{{"mode", "http500"}},
                                  {{"mode", "pass"}},
                                  {{"mode", "truncated"}},
                                  {{"mode", "http500"}, {"status", 503}, {"count", 2}}};
    ASSERT_TRUE(service.SetFault("/GetUnreadEmailsCount2", "", {{"queue", queue}}));
    struct Turn {
        bool complete;
        long status;
        nlohmann::json fault;
    };
    const Turn turns[] = {{true, 500, "http500"}, {true, 200, "pass"},    {false, 200, "truncated"},
                          {true, 503, "http500"}, {true, 503, "http500"}, {true, 200, nullptr}};
    for (const Turn& turn : turns) {
        const HttpReply reply = AskMail();
        EXPECT_EQ(reply.Ok(), turn.complete) << reply.error;
        EXPECT_EQ(reply.status, turn.status);
        EXPECT_EQ(service.Log().back()["fault"], turn.fault);
    }
    EXPECT_EQ(AskMail().body, normalAnswer);

    // A queue replaces the path's faults; a faulty entry refuses the whole queue.
    ASSERT_TRUE(service.SetFault("/GetUnreadEmailsCount2", "html-error"));
    EXPECT_FALSE(service.SetFault("/GetUnreadEmailsCount2", "", {{"queue", {{{"mode", "pass"}}, {{"mode", "boom"}}}}}));
    EXPECT_FALSE(service.SetFault("/GetUnreadEmailsCount2", "", {{"queue", nlohmann::json::array()}}));
    EXPECT_EQ(AskMail().Header("content-type"), "text/html; charset=utf-8");
    ExpectHealthy();
}

TEST_F(ServiceFault, RedirectChainInAQueueLeavesTheNextEntryForTheNextRequest)
{
    ASSERT_TRUE(service.SetFault("/velmail", "",
                                 {{"queue", {{{"mode", "redirect-chain"}, {"count", 2}}, {{"mode", "http500"}}}}}));
    const HttpReply chained = Get("/velmail", {.followRedirects = true});
    EXPECT_EQ(chained.redirects, 2);
    EXPECT_EQ(chained.status, 200);
    EXPECT_EQ(Get("/velmail").status, 500);
    EXPECT_EQ(Get("/velmail").status, 200);
}

TEST_F(ServiceFault, AnswersWithoutLengthCompressedOrElsewhere)
{
    struct Case {
        std::string name;
        std::string path;
        std::string mode;
        nlohmann::json extra;
        HttpRequest request;
        int curlCode;
        long status;
        std::map<std::string, std::string> headers;  // "" stands for "absent"
        std::string body;                            // what the client received
    };
    const std::string chair = "/files/library/OakChair_1234.gsm";
    const std::string chairBytes = Get(chair).body;
    ASSERT_GT(chairBytes.size(), 100u);
    const std::string deflated = service::DeflateCompress(normalAnswer);
    const std::string binary("\x89PNG\r\n\x1a\n\x00\xff", 10);
    const Case cases[] = {
        {"chunked",
         "/GetUnreadEmailsCount2",
         "chunked",
         {{"chunk_bytes", 7}},
         {},
         0,
         200,
         {{"transfer-encoding", "chunked"}, {"content-length", ""}},
         normalAnswer},
        // Not compressed on the way for a client that accepts gzip: the body is as the test set it.
        {"chunked, gzip accepted",
         "/GetUnreadEmailsCount2",
         "chunked",
         {},
         {.acceptEncoding = true},
         0,
         200,
         {{"transfer-encoding", "chunked"}, {"content-encoding", ""}},
         normalAnswer},
        {"chunked file", chair, "chunked", {}, {}, 0, 200, {{"content-length", ""}}, chairBytes},
        {"chunked, cut",
         chair,
         "chunked",
         {{"chunk_bytes", 10}, {"send_bytes", 50}},
         {},
         18,
         200,
         {{"transfer-encoding", "chunked"}},
         chairBytes.substr(0, 50)},
        {"deflate, raw",
         "/GetUnreadEmailsCount2",
         "deflate",
         {},
         {},
         0,
         200,
         {{"content-encoding", "deflate"}},
         deflated},
        {"deflate, decoded",
         "/GetUnreadEmailsCount2",
         "deflate",
         {},
         {.acceptEncoding = true},
         0,
         200,
         {{"content-encoding", "deflate"}},
         normalAnswer},
        {"binary with headers",
         "/logos/1.png",
         "body",
         {{"body", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0xff}},
          {"content_type", "image/png"},
          {"headers", {{"Cache-Control", "no-store"}, {"X-Kordela-Test", "1"}}}},
         {},
         0,
         200,
         {{"content-type", "image/png"}, {"cache-control", "no-store"}, {"x-kordela-test", "1"}},
         binary},
        {"redirect, not followed",
         "/Product",
         "redirect",
         {{"to", "/velmail?from=product"}},
         {},
         0,
         302,
         {{"location", service.Url("/velmail?from=product")}},
         ""},
        {"redirect, followed",
         "/Product",
         "redirect",
         {{"to", "/kordela_data/documents/Apps/versionMac21.txt"}},
         {.followRedirects = true},
         0,
         200,
         {},
         Get("/kordela_data/documents/Apps/versionMac21.txt").body},
        {"redirect elsewhere",
         "/Product",
         "redirect",
         {{"to", "http://kordela.invalid/x"}, {"status", 301}},
         {},
         0,
         301,
         {{"location", "http://kordela.invalid/x"}},
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(service.SetFault(c.path, c.mode, c.extra));
        const HttpReply reply = c.path == "/GetUnreadEmailsCount2" ? AskMail(c.request) : Get(c.path, c.request);
        EXPECT_EQ(reply.curlCode, c.curlCode) << reply.error;
        EXPECT_EQ(reply.status, c.status);
        for (const auto& [name, value] : c.headers)
            EXPECT_EQ(reply.Header(name), value) << name;
        if (c.status < 300 || c.status >= 400) {
            EXPECT_EQ(reply.body, c.body);
        }
        ASSERT_TRUE(service.Reset());
    }
    // A redirect of a POST keeps the form on the way.
    ASSERT_TRUE(service.SetFault("/GetUnreadEmailsCount2", "redirect", {{"to", "/GetFeaturedManufacturers2"}}));
    const HttpReply moved = AskMail({.followRedirects = true});
    EXPECT_EQ(moved.redirects, 1);
    EXPECT_EQ(service.Log().back()["path"], "/GetFeaturedManufacturers2");
    EXPECT_EQ(service.Log().back()["value"], UnreadMailRequest(KeyWithThreeMails));
}

TEST_F(ServiceFault, EachLoggedRequestCarriesItsTime)
{
    AskMail();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Get("/Product");
    const nlohmann::json log = service.Log();
    ASSERT_EQ(log.size(), 2u);
    for (const auto& entry : log) {
        const std::string time = entry.value("time", "");
        EXPECT_TRUE(std::regex_match(time, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)"))) << time;
    }
    EXPECT_GE(log[1]["ms"].get<long long>() - log[0]["ms"].get<long long>(), 20);
}

TEST_F(ServiceFault, TruncatedAnswerEndsBeforeItsAnnouncedLength)
{
    ASSERT_TRUE(service.SetFault("/files/library/OakChair_1234.gsm", "truncated", {{"send_bytes", 10}}));
    const HttpReply reply = Get("/files/library/OakChair_1234.gsm");
    EXPECT_EQ(reply.curlCode, 18);  // CURLE_PARTIAL_FILE
    EXPECT_EQ(reply.body.size(), 10u);
    EXPECT_GT(std::stoul(reply.Header("content-length")), 10u);

    ASSERT_TRUE(service.SetFault("/GetUnreadEmailsCount2", "truncated"));
    const HttpReply half = AskMail();
    EXPECT_FALSE(half.Ok());
    EXPECT_EQ(half.body, normalAnswer.substr(0, normalAnswer.size() / 2));
    ExpectHealthy();
}

TEST_F(ServiceFault, RedirectChainKeepsThePostAndEndsInTheAnswer)
{
    ASSERT_TRUE(service.SetFault("/GetUnreadEmailsCount2", "redirect-chain", {{"count", 3}}));
    const HttpReply reply = AskMail({.followRedirects = true});
    EXPECT_TRUE(reply.Ok()) << reply.error;
    EXPECT_EQ(reply.redirects, 3);
    EXPECT_EQ(reply.body, normalAnswer);

    const nlohmann::json log = service.Log();
    ASSERT_EQ(log.size(), 4u);
    for (std::size_t hop = 0; hop < log.size(); ++hop) {
        EXPECT_EQ(log[hop]["method"], "POST");
        EXPECT_EQ(log[hop]["value"], UnreadMailRequest(KeyWithThreeMails)) << hop;
        EXPECT_EQ(log[hop]["status"], hop < 3 ? 307 : 200);
    }

    // A page is redirected with 302; a client that does not follow sees the first hop.
    ASSERT_TRUE(service.SetFault("/velmail", "redirect-chain", {{"count", 1}}));
    const HttpReply first = Get("/velmail?a=1");
    EXPECT_EQ(first.status, 302);
    EXPECT_EQ(first.Header("location"), service.Url("/velmail?a=1&kordela_hop=1"));
    ExpectHealthy();
}

TEST_F(ServiceFault, TrickleDeliversTheWholeAnswerInSmallPieces)
{
    ASSERT_TRUE(service.SetFault("/GetUnreadEmailsCount2", "trickle", {{"chunk_bytes", 8}, {"interval_ms", 20}}));
    const HttpReply reply = AskMail();
    EXPECT_TRUE(reply.Ok()) << reply.error;
    EXPECT_EQ(reply.body, normalAnswer);
    EXPECT_GE(reply.writeCalls, 3u);  // TCP may join pieces, but not all of them
    ExpectHealthy();
}

TEST_F(ServiceFault, ThrottleSlowsDownloadsToTheRate)
{
    const std::string file = "/files/generated/1MB.bin";
    ASSERT_TRUE(service.SetFault(file, "throttle", {{"bytes_per_second", 4 * 1024 * 1024}}));
    const auto start = Clock::now();
    const HttpReply reply = Get(file);
    const auto elapsed = Clock::now() - start;
    EXPECT_TRUE(reply.Ok()) << reply.error;
    EXPECT_EQ(reply.body.size(), 1024u * 1024);
    // 1 MiB at 4 MiB/s cannot arrive in less than a quarter second; a slow
    // machine only makes it later.
    EXPECT_GE(elapsed, std::chrono::milliseconds(200));
    ExpectHealthy();
}

TEST_F(ServiceFault, NoAnswerHoldsUntilTheClientGivesUp)
{
    ASSERT_TRUE(service.SetFault("/GetUnreadEmailsCount2", "no-answer"));
    const HttpReply reply = AskMail({.timeoutMs = 500});
    EXPECT_EQ(reply.curlCode, 28);  // CURLE_OPERATION_TIMEDOUT
    EXPECT_TRUE(reply.body.empty());
    ExpectHealthy();
}

TEST_F(ServiceFault, NoAnswerEndsByDroppingTheConnection)
{
    ASSERT_TRUE(service.SetFault("/GetUnreadEmailsCount2", "no-answer", {{"seconds", 0.2}}));
    const HttpReply reply = AskMail();
    EXPECT_EQ(reply.curlCode, 52);  // CURLE_GOT_NOTHING: not a byte of an answer
    EXPECT_EQ(reply.status, 0);
    ExpectHealthy();
}

TEST_F(ServiceFault, FaultsCanBeLimitedScopedAndRemoved)
{
    // Spoils only the next request.
    ASSERT_TRUE(service.SetFault("/GetUnreadEmailsCount2", "http500", {{"count", 1}}));
    EXPECT_EQ(AskMail().status, 500);
    EXPECT_EQ(AskMail().status, 200);

    // A prefix covers every path under it; an exact path wins over it.
    ASSERT_TRUE(service.SetFault("/files/*", "http500"));
    ASSERT_TRUE(service.SetFault("/files/library/OakChair_1234.gsm", "html-error"));
    EXPECT_EQ(Get("/files/library/SlidingDoor_2001.gsm").status, 500);
    EXPECT_EQ(Get("/files/library/OakChair_1234.gsm").Header("content-type"), "text/html; charset=utf-8");
    EXPECT_EQ(Get("/Product").status, 200);

    ASSERT_TRUE(service.SetFault("/files/*", "none"));
    EXPECT_EQ(Get("/files/library/SlidingDoor_2001.gsm").status, 200);

    const nlohmann::json refused[] = {
        {{"path", "/x"}, {"mode", "explode"}},
        {{"path", "x"}, {"mode", "http500"}},
        {{"mode", "http500"}},
        {{"path", "/x"}, {"mode", "no-answer"}, {"seconds", 3600}},
        {{"path", "/x"}, {"mode", "throttle"}, {"bytes_per_second", 0}},
        {{"path", "/x"}, {"mode", "http500"}, {"count", 0}},
        {{"path", "/x"}, {"mode", "body"}},
        {{"path", "/x"}, {"mode", "body"}, {"body", {1, 256}}},
    };
    for (const nlohmann::json& fault : refused) {
        const HttpReply reply = Fetch(service.Url("/_control/fault"),
                                      {.method = "POST", .body = fault.dump(), .contentType = "application/json"});
        EXPECT_EQ(reply.status, 400) << fault.dump();
    }
}

TEST_F(ServiceFault, StopsPromptlyWhileRequestsAreHeld)
{
    ASSERT_TRUE(service.SetFault("/GetUnreadEmailsCount2", "no-answer"));
    ASSERT_TRUE(service.SetFault("/files/generated/500MB.bin", "throttle", {{"bytes_per_second", 1000}}));
    auto held = std::async(std::launch::async, [this] { return AskMail(); });
    auto slow = std::async(std::launch::async, [this] { return Get("/files/generated/500MB.bin"); });
    // Both requests must be inside the service before it is told to stop.
    for (int i = 0; i < 500 && service.Log().size() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(service.Log().size(), 2u);

    EXPECT_EQ(service.Stop(), 0);  // -1 would mean it had to be killed
    EXPECT_FALSE(held.get().Ok());
    EXPECT_FALSE(slow.get().Ok());
}

TEST(ServiceProcess, WritesOneLogLinePerRequestToTheLogFile)
{
    const std::string file = ::testing::TempDir() + "kordela-service-log-" + std::to_string(getpid()) + ".jsonl";
    std::remove(file.c_str());
    {
        LocalService service({.logFile = file});
        ASSERT_TRUE(service.Running());
        Fetch(service.Url("/Product"));
        Fetch(service.Url("/velmail"));
        EXPECT_EQ(service.Stop(), 0);
    }
    std::ifstream in(file);
    std::vector<nlohmann::json> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(nlohmann::json::parse(line, nullptr, false));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["path"], "/Product");
    EXPECT_EQ(lines[1]["path"], "/velmail");
    EXPECT_EQ(lines[1]["status"], 200);
    std::remove(file.c_str());
}

TEST(ServiceProcess, RefusesToStartWithoutItsCatalogue)
{
    LocalService service({.catalogue = "/nonexistent/catalogue.json"});
    EXPECT_FALSE(service.Running());
}

}  // namespace
}  // namespace kordela::test
