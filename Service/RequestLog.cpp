#include "RequestLog.hpp"

#include <iostream>

namespace kordela::service {

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
    entries_.push_back(std::move(entry));
    return sequence;
}

void RequestLog::Complete(std::uint64_t sequence, const nlohmann::json& fields)
{
    std::lock_guard lock(mutex_);
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        if ((*it)["seq"] != sequence) continue;
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
        if (entry["seq"].get<std::uint64_t>() > after) list.push_back(entry);
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
