#include "Faults.hpp"

#include "TextUtil.hpp"

#include <zlib.h>

#include <algorithm>
#include <array>

namespace kordela::service {

namespace {

using nlohmann::json;

struct ModeName {
    std::string_view name;
    FaultMode mode;
};

constexpr std::array<ModeName, 11> ModeNames = {{
    {"http500", FaultMode::Http500},
    {"html-error", FaultMode::HtmlError},
    {"no-answer", FaultMode::NoAnswer},
    {"trickle", FaultMode::Trickle},
    {"truncated", FaultMode::Truncated},
    {"redirect-chain", FaultMode::RedirectChain},
    {"gzip", FaultMode::Gzip},
    {"malformed-xml", FaultMode::MalformedXml},
    {"unexpected-xml", FaultMode::UnexpectedXml},
    {"throttle", FaultMode::Throttle},
    {"body", FaultMode::Body},
}};

// A numeric setting with its default and its allowed range.
struct Limit {
    std::string_view key;
    double fallback;
    double min;
    double max;
};

std::vector<Limit> LimitsOf(FaultMode mode)
{
    switch (mode) {
    case FaultMode::Http500: return {{"status", 500, 400, 599}};
    case FaultMode::NoAnswer: return {{"seconds", 60, 0, 60}};
    case FaultMode::Trickle:
        return {{"chunk_bytes", 1, 1, 65536}, {"interval_ms", 100, 1, 10000}, {"max_seconds", 60, 1, 60}};
    case FaultMode::Truncated: return {{"send_bytes", -1, -1, 1e15}};
    case FaultMode::RedirectChain: return {{"count", 3, 1, 50}, {"status", 0, 0, 399}};
    case FaultMode::Throttle: return {{"bytes_per_second", 10e6, 1, 1e10}, {"max_seconds", 600, 1, 600}};
    case FaultMode::Body: return {{"status", 200, 100, 599}};
    default: return {};
    }
}

constexpr std::string_view HtmlErrorPage =
    "<!DOCTYPE html><html><head><title>Runtime Error</title></head><body>"
    "<h1>Server Error in '/' Application.</h1><h2>Runtime Error</h2>"
    "<p>An application error occurred on the server.</p></body></html>";

constexpr std::string_view UnexpectedXml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Response><Status Code=\"0\">OK</Status>"
    "<Items><Item Name=\"unexpected\" Value=\"42\"/></Items></Response>";

std::string ReplyText(ServiceReply& reply)
{
    return reply.body ? ReadAll(*reply.body) : std::string();
}

}  // namespace

bool Fault::Matches(const std::string& requestPath) const
{
    if (!path.empty() && path.back() == '*') return StartsWith(requestPath, std::string_view(path).substr(0, path.size() - 1));
    return requestPath == path;
}

std::string FaultTable::Set(const json& request)
{
    if (!request.is_object()) return "the fault must be a JSON object";
    const auto path = request.find("path");
    const auto mode = request.find("mode");
    if (path == request.end() || !path->is_string() || !StartsWith(path->get<std::string>(), "/")) {
        return "\"path\" must be a path beginning with /";
    }
    if (mode == request.end() || !mode->is_string()) return "\"mode\" is missing";

    std::lock_guard lock(mutex_);
    const std::string pathText = path->get<std::string>();
    std::erase_if(faults_, [&](const Fault& f) { return f.path == pathText; });
    if (*mode == "none") return {};

    const auto known = std::find_if(ModeNames.begin(), ModeNames.end(),
                                    [&](const ModeName& m) { return m.name == mode->get<std::string>(); });
    if (known == ModeNames.end()) return "unknown mode \"" + mode->get<std::string>() + "\"";

    Fault fault;
    fault.path = pathText;
    fault.mode = known->mode;
    fault.settings = request;
    for (const Limit& limit : LimitsOf(fault.mode)) {
        const auto it = request.find(limit.key);
        if (it == request.end()) {
            fault.settings[std::string(limit.key)] = limit.fallback;
        } else if (!it->is_number() || it->get<double>() < limit.min || it->get<double>() > limit.max) {
            return "\"" + std::string(limit.key) + "\" must be a number from " + std::to_string(limit.min) + " to " +
                   std::to_string(limit.max);
        }
    }
    if (fault.mode == FaultMode::Body && !request.contains("body")) return "mode \"body\" needs \"body\"";
    // Bytes that are not UTF-8 cannot stand in a JSON text: "body" may list them as numbers.
    if (fault.mode == FaultMode::Body && request["body"].is_array()) {
        std::string bytes;
        for (const auto& byte : request["body"]) {
            if (!byte.is_number_integer() || byte.get<int>() < 0 || byte.get<int>() > 255)
                return "\"body\" as an array holds byte values from 0 to 255";
            bytes += static_cast<char>(byte.get<int>());
        }
        fault.settings["body"] = nlohmann::json::binary_t(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    }
    if (const auto count = request.find("count"); count != request.end()) {
        if (!count->is_number_integer() || count->get<int>() < 1) return "\"count\" must be a positive integer";
        fault.remaining = count->get<int>();
    }
    faults_.push_back(std::move(fault));
    return {};
}

void FaultTable::Clear()
{
    std::lock_guard lock(mutex_);
    faults_.clear();
}

json FaultTable::List() const
{
    std::lock_guard lock(mutex_);
    json list = json::array();
    for (const Fault& f : faults_) {
        json entry = f.settings;
        entry["remaining"] = f.remaining;
        list.push_back(std::move(entry));
    }
    return list;
}

std::optional<Fault> FaultTable::Find(const std::string& path, bool consume)
{
    std::lock_guard lock(mutex_);
    // An exact path wins over a prefix.
    auto it = std::find_if(faults_.begin(), faults_.end(), [&](const Fault& f) { return f.path == path; });
    if (it == faults_.end()) it = std::find_if(faults_.begin(), faults_.end(), [&](const Fault& f) { return f.Matches(path); });
    if (it == faults_.end()) return std::nullopt;
    Fault found = *it;
    if (consume && it->remaining > 0 && --it->remaining == 0) faults_.erase(it);
    return found;
}

int TakeRedirectHop(std::string& query)
{
    int hop = 0;
    std::string kept;
    for (std::string_view pair : Split(query, '&')) {
        const std::size_t eq = pair.find('=');
        if (pair.substr(0, eq) == RedirectHopParameter && eq != std::string_view::npos) {
            hop = static_cast<int>(ParseInteger(pair.substr(eq + 1)).value_or(0));
            continue;
        }
        if (pair.empty()) continue;
        if (!kept.empty()) kept += '&';
        kept += pair;
    }
    query = kept;
    return hop;
}

std::string GzipCompress(const std::string& data)
{
    z_stream stream{};
    // 15 + 16: a gzip wrapper rather than a bare zlib stream.
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

Delivery ApplyFault(const Fault& fault, const ServiceRequest& request, int hop, ServiceReply real)
{
    const json& s = fault.settings;
    Delivery d;
    switch (fault.mode) {
    case FaultMode::Http500:
        d.reply = TextReply(s["status"].get<int>(), "text/html; charset=utf-8", std::string(HtmlErrorPage));
        break;
    case FaultMode::HtmlError:
        d.reply = TextReply(200, "text/html; charset=utf-8", std::string(HtmlErrorPage));
        break;
    case FaultMode::NoAnswer:
        d.reply = std::move(real);
        d.pace = Delivery::Pace::Hold;
        d.hold = std::chrono::milliseconds(static_cast<long long>(s["seconds"].get<double>() * 1000));
        break;
    case FaultMode::Trickle:
        d.reply = std::move(real);
        d.pace = Delivery::Pace::Trickle;
        d.chunkBytes = s["chunk_bytes"].get<std::size_t>();
        d.interval = std::chrono::milliseconds(s["interval_ms"].get<long long>());
        d.limit = std::chrono::seconds(s["max_seconds"].get<long long>());
        break;
    case FaultMode::Truncated: {
        d.reply = std::move(real);
        d.pace = Delivery::Pace::Truncate;
        const std::uint64_t size = d.reply.body ? d.reply.body->Size() : 0;
        const double wanted = s["send_bytes"].get<double>();
        d.sendBytes = wanted < 0 ? size / 2 : std::min<std::uint64_t>(static_cast<std::uint64_t>(wanted), size);
        if (size == 0) d.reply.body = MakeTextBody(std::string(64, ' '));  // something to announce and withhold
        break;
    }
    case FaultMode::RedirectChain: {
        const int count = s["count"].get<int>();
        if (hop >= count) {
            d.reply = std::move(real);
            break;
        }
        int status = s["status"].get<int>();
        // 307 keeps a POST a POST (with its form) on the way; 302 would turn it into a GET.
        if (status == 0) status = request.method == "POST" ? 307 : 302;
        std::string query = request.query;
        TakeRedirectHop(query);
        std::string location = request.origin + request.target.substr(0, request.target.find('?')) + "?";
        if (!query.empty()) location += query + "&";
        location += std::string(RedirectHopParameter) + "=" + std::to_string(hop + 1);
        d.reply = RedirectReply(status, location);
        break;
    }
    case FaultMode::Gzip: {
        const std::string text = ReplyText(real);
        d.reply = TextReply(real.status, real.contentType, GzipCompress(text));
        d.reply.headers = std::move(real.headers);
        d.reply.headers.emplace_back("Content-Encoding", "gzip");
        break;
    }
    case FaultMode::MalformedXml: {
        const std::string text = ReplyText(real);
        // Cut in the middle, then an attribute that never ends.
        d.reply = TextReply(200, "text/xml; charset=utf-8",
                            text.substr(0, text.size() / 2) + "<Bim Broken=\"& <Object></Bim");
        break;
    }
    case FaultMode::UnexpectedXml:
        d.reply = TextReply(200, "text/xml; charset=utf-8", std::string(UnexpectedXml));
        break;
    case FaultMode::Throttle:
        d.reply = std::move(real);
        d.pace = Delivery::Pace::Throttle;
        d.bytesPerSecond = s["bytes_per_second"].get<double>();
        d.limit = std::chrono::seconds(static_cast<long long>(s["max_seconds"].get<double>()));
        break;
    case FaultMode::Body:
        d.reply = TextReply(s["status"].get<int>(), s.value("content_type", "text/xml; charset=utf-8"),
                            s["body"].is_string()   ? s["body"].get<std::string>()
                            : s["body"].is_binary() ? std::string(s["body"].get_binary().begin(), s["body"].get_binary().end())
                                                    : s["body"].dump());
        break;
    }
    return d;
}

}  // namespace kordela::service
