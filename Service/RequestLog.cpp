#include "RequestLog.hpp"

#include <chrono>
#include <ctime>
#include <iostream>

namespace kordela::service {

namespace {

// "2026-05-04T10:20:30.123Z"
std::string UtcText(std::chrono::system_clock::time_point when)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm utc {};
    gmtime_r(&seconds, &utc);
    char text[40];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    return std::string(text, length) + "." + std::to_string(1000 + ms % 1000).substr(1) + "Z";
}

}  // namespace

RequestLog::RequestLog(const std::string& file) : out_(&std::cerr)
{
    if (!file.empty()) {
        file_.open(file, std::ios::app);
        out_ = file_ ? &file_ : nullptr;
    }
}

std::uint64_t RequestLog::Add(nlohmann::json entry)
{
    std::lock_guard lock(mutex_);
    const std::uint64_t sequence = next_++;
    entry["seq"] = sequence;
    // Wall-clock time for reading a log beside others; milliseconds on a steady clock for
    // measuring the gaps between requests (retries, pauses).
    entry["time"] = UtcText(std::chrono::system_clock::now());
    entry["ms"] =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started_).count();
    entries_.push_back(std::move(entry));
    return sequence;
}

void RequestLog::Complete(std::uint64_t sequence, const nlohmann::json& fields)
{
    std::lock_guard lock(mutex_);
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        if ((*it)["seq"] != sequence)
            continue;
        it->update(fields);
        if (out_) {
            *out_ << it->dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
            out_->flush();
        }
        return;
    }
}

nlohmann::json RequestLog::Entries(std::uint64_t after) const
{
    std::lock_guard lock(mutex_);
    nlohmann::json list = nlohmann::json::array();
    for (const auto& entry : entries_) {
        if (entry["seq"].get<std::uint64_t>() > after)
            list.push_back(entry);
    }
    return list;
}

void RequestLog::Clear()
{
    // Sequence numbers keep counting, so a reader never mistakes a new entry for an old one.
    std::lock_guard lock(mutex_);
    entries_.clear();
}

}  // namespace kordela::service
