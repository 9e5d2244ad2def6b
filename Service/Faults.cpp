#include "Faults.hpp"

#include "TextUtil.hpp"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <limits>

namespace kordela::service {

namespace {

using nlohmann::json;

struct ModeName {
    std::string_view name;
    FaultMode mode;
};

constexpr std::array<ModeName, 15> ModeNames = {{
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
    {"pass", FaultMode::Pass},
    {"chunked", FaultMode::Chunked},
    {"deflate", FaultMode::Deflate},
    {"redirect", FaultMode::Redirect},
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
    // Longer than any limit of the add-on's own, so that those can be seen to end it.
    case FaultMode::NoAnswer: return {{"seconds", 60, 0, 600}};
    case FaultMode::Trickle:
        return {{"chunk_bytes", 1, 1, 65536}, {"interval_ms", 100, 1, 10000}, {"max_seconds", 60, 1, 60}};
    case FaultMode::Truncated: return {{"send_bytes", -1, -1, 1e15}};
    case FaultMode::RedirectChain: return {{"count", 3, 1, 50}, {"status", 0, 0, 399}};
    case FaultMode::Throttle: return {{"bytes_per_second", 10e6, 1, 1e10}, {"max_seconds", 600, 1, 600}};
    case FaultMode::Body: return {{"status", 200, 100, 599}};
    case FaultMode::Chunked: return {{"chunk_bytes", 4096, 1, 1 << 20}, {"send_bytes", -1, -1, 1e15}};
    case FaultMode::Redirect: return {{"status", 0, 0, 399}};
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
    if (!path.empty() && path.back() == '*')
        return StartsWith(requestPath, std::string_view(path).substr(0, path.size() - 1));
    return requestPath == path;
}

namespace {

// Checks one fault of a path and fills in its defaults; returns an error text.
std::string ParseFault(const json& request, const std::string& path, Fault& fault)
{
    if (!request.is_object())
        return "a fault must be a JSON object";
    const auto mode = request.find("mode");
    if (mode == request.end() || !mode->is_string())
        return "\"mode\" is missing";
    const auto known = std::find_if(ModeNames.begin(), ModeNames.end(),
                                    [&](const ModeName& m) { return m.name == mode->get<std::string>(); });
    if (known == ModeNames.end())
        return "unknown mode \"" + mode->get<std::string>() + "\"";

    fault.path = path;
    fault.mode = known->mode;
    fault.settings = request;
    fault.settings["path"] = path;
    for (const Limit& limit : LimitsOf(fault.mode)) {
        const auto it = request.find(limit.key);
        if (it == request.end()) {
            fault.settings[std::string(limit.key)] = limit.fallback;
        } else if (!it->is_number() || it->get<double>() < limit.min || it->get<double>() > limit.max) {
            return "\"" + std::string(limit.key) + "\" must be a number from " + std::to_string(limit.min) + " to " +
                   std::to_string(limit.max);
        }
    }
    if (fault.mode == FaultMode::Body && !request.contains("body"))
        return "mode \"body\" needs \"body\"";
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
    if (fault.mode == FaultMode::Redirect) {
        const auto to = request.find("to");
        if (to == request.end() || !to->is_string() ||
            !(StartsWith(to->get<std::string>(), "/") || StartsWith(to->get<std::string>(), "http://") ||
              StartsWith(to->get<std::string>(), "https://")))
            return "mode \"redirect\" needs \"to\": a path beginning with / or an http(s) address";
    }
    if (const auto headers = request.find("headers"); headers != request.end()) {
        if (!headers->is_object())
            return "\"headers\" must be an object of names and texts";
        for (const auto& [name, value] : headers->items()) {
            // A name or value that could end the header line would let a test write the
            // rest of the answer by accident.
            const auto breaksLine = [](const std::string& t) { return t.find_first_of("\r\n") != std::string::npos; };
            if (name.empty() || !value.is_string() || breaksLine(name) || breaksLine(value.get<std::string>()))
                return "\"headers\" must be an object of names and texts, each on one line";
        }
    }
    if (const auto count = request.find("count"); count != request.end()) {
        if (!count->is_number_integer() || count->get<int>() < 1)
            return "\"count\" must be a positive integer";
        fault.remaining = count->get<int>();
    }
    return {};
}

}  // namespace

std::string FaultTable::Set(const json& request)
{
    if (!request.is_object())
        return "the fault must be a JSON object";
    const auto path = request.find("path");
    if (path == request.end() || !path->is_string() || !StartsWith(path->get<std::string>(), "/")) {
        return "\"path\" must be a path beginning with /";
    }
    const std::string pathText = path->get<std::string>();

    std::vector<Fault> added;
    if (const auto queue = request.find("queue"); queue != request.end()) {
        if (!queue->is_array() || queue->empty())
            return "\"queue\" must be a list of faults";
        for (const json& entry : *queue) {
            Fault fault;
            if (const std::string error = ParseFault(entry, pathText, fault); !error.empty())
                return "queue entry " + std::to_string(added.size() + 1) + ": " + error;
            // A redirect chain's "count" is its length: in a queue it answers one request.
            if (fault.remaining < 0 || fault.mode == FaultMode::RedirectChain)
                fault.remaining = 1;
            added.push_back(std::move(fault));
        }
    } else if (request.value("mode", "") != "none") {
        Fault fault;
        if (const std::string error = ParseFault(request, pathText, fault); !error.empty())
            return error;
        added.push_back(std::move(fault));
    }

    std::lock_guard lock(mutex_);
    std::erase_if(faults_, [&](const Fault& f) { return f.path == pathText; });
    std::erase_if(usedChains_, [&](const Fault& f) { return f.path == pathText; });
    faults_.insert(faults_.end(), added.begin(), added.end());
    return {};
}

void FaultTable::Clear()
{
    std::lock_guard lock(mutex_);
    faults_.clear();
    usedChains_.clear();
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
    if (it == faults_.end())
        it = std::find_if(faults_.begin(), faults_.end(), [&](const Fault& f) { return f.Matches(path); });
    if (it == faults_.end())
        return std::nullopt;
    Fault found = *it;
    if (consume && it->remaining > 0 && --it->remaining == 0) {
        if (found.mode == FaultMode::RedirectChain) {
            std::erase_if(usedChains_, [&](const Fault& f) { return f.path == found.path; });
            usedChains_.push_back(found);
        }
        faults_.erase(it);
    }
    return found;
}

std::optional<Fault> FaultTable::FindChain(const std::string& path)
{
    std::lock_guard lock(mutex_);
    for (const auto* list : {&faults_, &usedChains_}) {
        // An exact path wins over a prefix.
        auto it = std::find_if(list->begin(), list->end(), [&](const Fault& f) { return f.path == path; });
        if (it == list->end())
            it = std::find_if(list->begin(), list->end(), [&](const Fault& f) { return f.Matches(path); });
        if (it != list->end() && it->mode == FaultMode::RedirectChain)
            return *it;
    }
    return std::nullopt;
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
        if (pair.empty())
            continue;
        if (!kept.empty())
            kept += '&';
        kept += pair;
    }
    query = kept;
    return hop;
}

namespace {

// windowBits as zlib takes them: 15 for a zlib stream, 15 + 16 for a gzip wrapper.
std::string Compress(const std::string& data, int windowBits)
{
    z_stream stream {};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
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

// The real answer compressed, with its status and headers.
ServiceReply Encoded(ServiceReply real, int windowBits, const char* encoding)
{
    ServiceReply reply = TextReply(real.status, real.contentType, Compress(ReplyText(real), windowBits));
    reply.headers = std::move(real.headers);
    reply.headers.emplace_back("Content-Encoding", encoding);
    return reply;
}

}  // namespace

std::string GzipCompress(const std::string& data)
{
    return Compress(data, 15 + 16);
}

std::string DeflateCompress(const std::string& data)
{
    return Compress(data, 15);
}

Delivery ApplyFault(const Fault& fault, const ServiceRequest& request, int hop, ServiceReply real)
{
    const json& s = fault.settings;
    Delivery d;
    switch (fault.mode) {
    case FaultMode::Http500:
        d.reply = TextReply(s["status"].get<int>(), "text/html; charset=utf-8", std::string(HtmlErrorPage));
        break;
    case FaultMode::HtmlError: d.reply = TextReply(200, "text/html; charset=utf-8", std::string(HtmlErrorPage)); break;
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
        if (size == 0)
            d.reply.body = MakeTextBody(std::string(64, ' '));  // something to announce and withhold
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
        if (status == 0)
            status = request.method == "POST" ? 307 : 302;
        std::string query = request.query;
        TakeRedirectHop(query);
        std::string location = request.origin + request.target.substr(0, request.target.find('?')) + "?";
        if (!query.empty())
            location += query + "&";
        location += std::string(RedirectHopParameter) + "=" + std::to_string(hop + 1);
        d.reply = RedirectReply(status, location);
        break;
    }
    case FaultMode::Gzip: d.reply = Encoded(std::move(real), 15 + 16, "gzip"); break;
    case FaultMode::Deflate: d.reply = Encoded(std::move(real), 15, "deflate"); break;
    case FaultMode::Pass: d.reply = std::move(real); break;
    case FaultMode::Chunked: {
        d.reply = std::move(real);
        d.pace = Delivery::Pace::Chunked;
        d.chunkBytes = s["chunk_bytes"].get<std::size_t>();
        const double wanted = s["send_bytes"].get<double>();
        d.sendBytes = wanted < 0 ? std::numeric_limits<std::uint64_t>::max() : static_cast<std::uint64_t>(wanted);
        break;
    }
    case FaultMode::Redirect: {
        int status = s["status"].get<int>();
        if (status == 0)
            status = request.method == "POST" ? 307 : 302;
        const std::string to = s["to"].get<std::string>();
        d.reply = RedirectReply(status, StartsWith(to, "/") ? request.origin + to : to);
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
                            s["body"].is_string() ? s["body"].get<std::string>()
                            : s["body"].is_binary()
                                ? std::string(s["body"].get_binary().begin(), s["body"].get_binary().end())
                                : s["body"].dump());
        break;
    }
    if (const auto headers = s.find("headers"); headers != s.end()) {
        for (const auto& [name, value] : headers->items())
            d.reply.headers.emplace_back(name, value.get<std::string>());
    }
    return d;
}

}  // namespace kordela::service
