#pragma once

#include "Router.hpp"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kordela::service {

enum class FaultMode {
    Http500,
    HtmlError,
    NoAnswer,
    Trickle,
    Truncated,
    RedirectChain,
    Gzip,
    MalformedXml,
    UnexpectedXml,
    Throttle,
    Body,
    Pass,
    Chunked,
    Deflate,
    Redirect,
};

// Misbehaviour that a test asks for on one path ("/x") or on every path under
// a prefix ("/files/*").
struct Fault {
    std::string path;
    FaultMode mode = FaultMode::Http500;
    nlohmann::json settings;  // the request that set it, with defaults filled in
    int remaining = -1;       // requests still to spoil; -1 for all

    bool Matches(const std::string& requestPath) const;
};

// How the server hands a reply to the client.
struct Delivery {
    enum class Pace { Normal, Hold, Trickle, Throttle, Truncate, Chunked };

    ServiceReply reply;
    Pace pace = Pace::Normal;
    std::chrono::milliseconds hold {0};      // Hold: how long to keep the client waiting
    std::size_t chunkBytes = 0;              // Trickle, Chunked
    std::chrono::milliseconds interval {0};  // Trickle
    double bytesPerSecond = 0;               // Throttle
    std::uint64_t sendBytes = 0;             // Truncate: what is sent of the announced length; Chunked: before the cut
    std::chrono::seconds limit {0};          // Trickle, Throttle: the transfer is cut after this
};

// The query parameter that counts the hops of a redirect chain.
inline constexpr std::string_view RedirectHopParameter = "kordela_hop";

class FaultTable {
public:
    // Checks and stores the fault that the JSON describes (mode "none" removes
    // the path's fault). With "queue", a list of faults, the path answers them in
    // turn, one request each unless an entry has its own "count", then normally.
    // Returns an error text, empty on success; nothing changes on an error.
    std::string Set(const nlohmann::json& request);
    void Clear();
    nlohmann::json List() const;
    // The fault for a path; consuming it counts one spoiled request.
    std::optional<Fault> Find(const std::string& path, bool consume);
    // The redirect chain that a later hop of a request on the path belongs to, also when
    // that request used up its fault.
    std::optional<Fault> FindChain(const std::string& path);

private:
    mutable std::mutex mutex_;
    std::vector<Fault> faults_;
    std::vector<Fault> usedChains_;  // the last redirect chain used up on each path
};

// Removes the redirect-chain counter from a query; returns the hop it held (0 when none).
int TakeRedirectHop(std::string& query);

// Turns the real reply into what the fault makes of it.
Delivery ApplyFault(const Fault& fault, const ServiceRequest& request, int hop, ServiceReply real);

std::string GzipCompress(const std::string& data);
// A zlib stream, which is what HTTP calls "deflate".
std::string DeflateCompress(const std::string& data);

}  // namespace kordela::service
