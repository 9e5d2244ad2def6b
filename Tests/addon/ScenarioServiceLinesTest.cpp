// The scenario lines that set up the local service and check what it received: how a line
// becomes a control request, and how "expect request" reads the service's log.
#include "DevHost/ServiceCommands.hpp"

#include <gtest/gtest.h>

namespace {

using nlohmann::json;

std::vector<std::string> Words(const std::string& line)
{
    std::string error;
    auto words = DevHost::Scenario::Split(line, &error);
    EXPECT_EQ(error, "") << line;
    return words;
}

TEST(ScenarioServiceLines, FaultLinesBecomeOneFaultOrAQueue)
{
    const struct {
        std::string line;
        json request;  // null: the line is refused
    } cases[] = {
        {"service fault /GetProductGuids http500", {{"path", "/GetProductGuids"}, {"mode", "http500"}}},
        {"service fault /files/* no-answer seconds=90 count=2",
         {{"path", "/files/*"}, {"mode", "no-answer"}, {"seconds", 90}, {"count", 2}}},
        {R"(service fault /x body "body=<Bim A='1 2'/>" status=410 content_type=text/plain)",
         {{"path", "/x"},
          {"mode", "body"},
          {"body", "<Bim A='1 2'/>"},
          {"status", 410},
          {"content_type", "text/plain"}}},
        {R"(service fault /x body body=[255,254] "headers={\"X-A\": \"1\"}")",
         {{"path", "/x"}, {"mode", "body"}, {"body", {255, 254}}, {"headers", {{"X-A", "1"}}}}},
        {"service fault /x redirect to=/velmail?a=1", {{"path", "/x"}, {"mode", "redirect"}, {"to", "/velmail?a=1"}}},
        {"service fault /x http500 then pass then truncated send_bytes=3 count=2",
         {{"path", "/x"},
          {"queue",
           {{{"mode", "http500"}}, {{"mode", "pass"}}, {{"mode", "truncated"}, {"send_bytes", 3}, {"count", 2}}}}}},
        {"service fault /x none", {{"path", "/x"}, {"mode", "none"}}},
        {"service fault x http500", nullptr},
        {"service fault /x", nullptr},
        {"service fault /x http500 then", nullptr},
        {"service fault /x http500 then status=3", nullptr},
        {"service fault /x http500 status", nullptr},
        {"service fault /x http500 =3", nullptr},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto request = DevHost::FaultRequest(Words(c.line), &error);
        if (c.request.is_null()) {
            EXPECT_FALSE(request) << c.line;
            EXPECT_NE(error, "") << c.line;
        } else {
            ASSERT_TRUE(request) << c.line << ": " << error;
            EXPECT_EQ(*request, c.request) << c.line;
        }
    }
}

TEST(ScenarioServiceLines, ExpectRequestCountsWhatTheServiceReceived)
{
    const json log = {
        {{"path", "/GetProductGuids"},
         {"target", "/GetProductGuids"},
         {"value", "<Bim API='k'><Object ProductId='a/1234'/>"}},
        {{"path", "/GetProductGuids"},
         {"target", "/GetProductGuids"},
         {"value", "<Bim API='k'><Object ProductId='b/99'/>"}},
        {{"path", "/Product/1234"}, {"target", "/Product/1234?lang=hu"}},
        {{"path", "/GetUnreadEmailsCount2"},
         {"target", "/GetUnreadEmailsCount2"},
         {"headers", {{"Accept-Encoding", "gzip, deflate"}, {"Host", "127.0.0.1"}}}},
    };
    const struct {
        std::string line;
        bool passes;
    } cases[] = {
        {"expect request /GetProductGuids", true},
        {"expect request /GetProductGuids count 2", true},
        {"expect request /GetProductGuids count 1", false},
        {"expect request /GetProductGuids contains 1234", true},
        {"expect request /GetProductGuids count 1 contains 1234", true},
        {"expect request /GetProductGuids contains 1234 count 2", false},
        {"expect request /Product/1234 contains lang=hu", true},  // the query counts as sent
        {"expect request /Product/1234 contains 5678", false},
        {"expect request /GetUnreadEmailsCount2 contains \"Accept-Encoding: gzip\"", true},
        {"expect request /GetUnreadEmailsCount2 contains \"Host: 127.0.0.1\" count 1", true},
        {"expect request /GetUnreadEmailsCount2 contains \"Accept-Encoding: br\"", false},
        {"expect request /velmail", false},
        {"expect request /velmail count 0", true},
        {"expect request /GetProductGuids count -1", false},
        {"expect request /GetProductGuids count", false},
        {"expect request /GetProductGuids count 1 count 1", false},
        {"expect request /GetProductGuids whatever 1", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DevHost::CheckRequests(Words(c.line), log).empty(), c.passes) << c.line;

    EXPECT_EQ(
        DevHost::CheckRequests(Words("expect request /GetProductGuids count 3 contains ProductId"), log),
        "expected 3 requests of /GetProductGuids containing \"ProductId\", the service received 2 (of 2 of the path)");
}

}  // namespace
