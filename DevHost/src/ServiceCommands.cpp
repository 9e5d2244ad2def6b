#include "DevHost/ServiceCommands.hpp"

#include <curl/curl.h>

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

namespace DevHost {
namespace {

using nlohmann::json;

const char* const RequestUsage = "usage: expect request PATH [count N] [contains TEXT]";

struct Answer {
    long status = 0;  // 0 when the service could not be reached
    std::string body;
    std::string error;
};

size_t Collect(char* data, size_t size, size_t count, void* target)
{
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

// The local service's origin; empty when KORDELA_SERVICE_ORIGIN is not set.
std::string ServiceOrigin()
{
    const char* origin = std::getenv("KORDELA_SERVICE_ORIGIN");
    return origin != nullptr ? origin : "";
}

// One request to a control endpoint of the local service.
Answer Control(const std::string& method, const std::string& path, const std::string& body = {})
{
    Answer answer;
    const std::string origin = ServiceOrigin();
    if (origin.empty()) {
        answer.error = "no local service: KORDELA_SERVICE_ORIGIN is not set";
        return answer;
    }
    const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) {
        answer.error = "cannot start a transfer";
        return answer;
    }
    const std::string url = origin + "/_control/" + path;
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &answer.body);
    if (method == "POST") {
        curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    }
    const CURLcode code = curl_easy_perform(curl.get());
    curl_slist_free_all(headers);
    if (code != CURLE_OK) {
        answer.error = "the local service did not answer: " + std::string(curl_easy_strerror(code));
        return answer;
    }
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &answer.status);
    return answer;
}

// Empty when the service took the request; its reason otherwise.
std::string Refusal(const Answer& answer)
{
    if (!answer.error.empty())
        return answer.error;
    if (answer.status == 200)
        return {};
    const json reason = json::parse(answer.body, nullptr, false);
    return "the local service refused: " +
           (reason.is_object() && reason.contains("error") ? reason["error"].get<std::string>() : answer.body);
}

LineProblem CheckServiceHeader(const std::vector<std::string>& lines)
{
    if (!ServiceOrigin().empty())
        return {};
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == "# uses the local catalogue service")
            return {
                "the scenario uses the local catalogue service, and KORDELA_SERVICE_ORIGIN is not set (run it "
                "through scripts/with-service.sh)",
                i + 1};
    return {};
}

Scenario::Parsed ServiceLine(const Scenario::Words& w)
{
    if (w.size() == 2 && w[1] == "reset")
        return [] { return Refusal(Control("POST", "reset")); };
    if (w.size() == 3 && w[1] == "catalogue") {
        return [file = w[2]] {
            std::ifstream in(file, std::ios::binary);
            if (!in)
                return "cannot read the catalogue " + file;
            std::ostringstream text;
            text << in.rdbuf();
            return Refusal(Control("POST", "catalogue", text.str()));
        };
    }
    if (w.size() >= 2 && w[1] == "fault") {
        std::string error;
        const auto request = FaultRequest(w, &error);
        if (!request)
            return Scenario::Parsed::Wrong(error);
        return [body = request->dump()] { return Refusal(Control("POST", "fault", body)); };
    }
    return Scenario::Usage(
        "service fault PATH MODE [NAME=VALUE ...] [then MODE ...] | service catalogue FILE | service reset");
}

bool ParseCount(const std::string& text, long* value)
{
    const auto result = std::from_chars(text.data(), text.data() + text.size(), *value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && *value >= 0;
}

// What the add-on sent in one request, as text to search: the address, "Name: value" per
// header, the form field.
std::string SentText(const json& entry)
{
    std::string text = entry.value("target", "");
    if (entry.contains("headers") && entry["headers"].is_object())
        for (const auto& [name, value] : entry["headers"].items())
            text += "\n" + name + ": " + (value.is_string() ? value.get<std::string>() : value.dump());
    if (entry.contains("value") && entry["value"].is_string())
        text += "\n" + entry["value"].get<std::string>();
    return text;
}

}  // namespace

std::optional<json> FaultRequest(const std::vector<std::string>& words, std::string* error)
{
    if (words.size() < 4 || words[0] != "service" || words[1] != "fault" || words[2].empty() || words[2][0] != '/') {
        *error = "usage: service fault PATH MODE [NAME=VALUE ...] [then MODE [NAME=VALUE ...] ...]";
        return std::nullopt;
    }
    json queue = json::array();
    for (size_t i = 3; i < words.size(); ++i) {
        if (words[i] == "then" || queue.empty()) {
            if (words[i] == "then")
                ++i;
            if (i >= words.size() || words[i].find('=') != std::string::npos) {
                *error = "\"then\" is followed by a mode";
                return std::nullopt;
            }
            queue.push_back({{"mode", words[i]}});
            continue;
        }
        const size_t equals = words[i].find('=');
        if (equals == std::string::npos || equals == 0) {
            *error = "\"" + words[i] + "\" is not NAME=VALUE";
            return std::nullopt;
        }
        const std::string text = words[i].substr(equals + 1);
        const json value = json::parse(text, nullptr, false);
        queue.back()[words[i].substr(0, equals)] = value.is_discarded() ? json(text) : value;
    }
    if (queue.size() == 1) {
        json fault = queue[0];
        fault["path"] = words[2];
        return fault;
    }
    return json {{"path", words[2]}, {"queue", queue}};
}

std::optional<RequestCheck> ReadRequestCheck(const std::vector<std::string>& words, std::string* error)
{
    RequestCheck check;
    if (words.size() < 3 || words[0] != "expect" || words[1] != "request") {
        *error = RequestUsage;
        return std::nullopt;
    }
    check.path = words[2];
    for (size_t i = 3; i < words.size(); i += 2) {
        long n = 0;
        if (i + 1 < words.size() && words[i] == "count" && !check.count && ParseCount(words[i + 1], &n)) {
            check.count = n;
        } else if (i + 1 < words.size() && words[i] == "contains" && !check.contains) {
            check.contains = words[i + 1];
        } else {
            *error = RequestUsage;
            return std::nullopt;
        }
    }
    return check;
}

std::string CheckRequests(const RequestCheck& check, const json& log)
{
    long matching = 0;
    long ofPath = 0;
    if (log.is_array()) {
        for (const json& entry : log) {
            if (entry.value("path", "") != check.path)
                continue;
            ++ofPath;
            if (!check.contains || SentText(entry).find(*check.contains) != std::string::npos)
                ++matching;
        }
    }
    const std::string what =
        "requests of " + check.path + (check.contains ? " containing \"" + *check.contains + "\"" : "");
    if (check.count ? matching == *check.count : matching > 0)
        return {};
    return "expected " + (check.count ? std::to_string(*check.count) : std::string("some")) + " " + what +
           ", the service received " + std::to_string(matching) +
           (check.contains ? " (of " + std::to_string(ofPath) + " of the path)" : "");
}

std::string CheckRequests(const std::vector<std::string>& words, const json& log)
{
    std::string error;
    const auto check = ReadRequestCheck(words, &error);
    return check ? CheckRequests(*check, log) : error;
}

void AddServiceCommands(Scenario& scenario)
{
    scenario.AddScriptCheck(CheckServiceHeader);
    scenario.AddCommand("service", ServiceLine);
    scenario.AddSubcommand("expect", "request", [](const Scenario::Words& w) -> Scenario::Parsed {
        std::string error;
        const auto check = ReadRequestCheck(w, &error);
        if (!check)
            return Scenario::Parsed::Wrong(error);
        return [check = *check] {
            const Answer answer = Control("GET", "log");
            if (const std::string refused = Refusal(answer); !refused.empty())
                return refused;
            return CheckRequests(check, json::parse(answer.body, nullptr, false));
        };
    });
}

}  // namespace DevHost
