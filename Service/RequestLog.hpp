#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace kordela::service {

// Every request the service received, in arrival order, for tests to assert on
// what went over the wire. Each entry is also written as one JSON line.
class RequestLog {
public:
    // Lines go to the file when one is given, else to standard error.
    explicit RequestLog(const std::string& file = {});

    bool IsOpen() const { return out_ != nullptr; }

    // Stores the entry with its sequence number and the time it came ("time", UTC, and
    // "ms" since the service started) and returns the sequence number.
    std::uint64_t Add(nlohmann::json entry);
    // Adds fields to a stored entry (the status once it is decided) and writes its line.
    void Complete(std::uint64_t sequence, const nlohmann::json& fields);

    nlohmann::json Entries(std::uint64_t after = 0) const;
    void Clear();

private:
    mutable std::mutex mutex_;
    std::vector<nlohmann::json> entries_;
    std::uint64_t next_ = 1;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::ofstream file_;
    std::ostream* out_;
};

}  // namespace kordela::service
