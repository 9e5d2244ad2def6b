// Scenario lines that set up the local catalogue service and check what the add-on sent
// it: "service fault|catalogue|reset ..." and "expect request ...". They reach the service
// named by KORDELA_SERVICE_ORIGIN through its control endpoints.
#pragma once

#include "DevHost/Scenario.hpp"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace DevHost {

// Adds the commands, and fails a scenario whose header line says "# uses the local catalogue
// service" before it plays when KORDELA_SERVICE_ORIGIN is not set.
void AddServiceCommands(Scenario& scenario);

// The control request of "service fault PATH MODE [NAME=VALUE ...] [then MODE ...]": one
// fault, or a queue of them when "then" follows. A value is read as JSON when it is JSON
// (numbers, true, [byte, ...], {...}), as text otherwise. Empty, with the reason in
// error, when the words are not such a line.
std::optional<nlohmann::json> FaultRequest(const std::vector<std::string>& words, std::string* error);

// "expect request PATH [count N] [contains TEXT]", read.
struct RequestCheck {
    std::string path;
    std::optional<long> count;
    std::optional<std::string> contains;
};
std::optional<RequestCheck> ReadRequestCheck(const std::vector<std::string>& words, std::string* error);
// Checks the line against the service's log (a JSON array of requests; TEXT is looked for in
// the address, the headers as "Name: value" and the form field); answers an empty text or
// what is wrong.
std::string CheckRequests(const RequestCheck& check, const nlohmann::json& log);
std::string CheckRequests(const std::vector<std::string>& words, const nlohmann::json& log);

}  // namespace DevHost
