#include "Endpoints.hpp"

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <mutex>

namespace Endpoints {

namespace {

// The local stand-in's origin without trailing slashes; empty when the service is the real one.
std::string ReplacedOrigin()
{
    const char* variable = std::getenv("KORDELA_SERVICE_ORIGIN");
    std::string origin = variable != nullptr ? variable : "";
    while (!origin.empty() && origin.back() == '/')
        origin.pop_back();
    return origin;
}

// The addresses handed out while the origin is replaced, one entry per address sent, newest
// last: the transfer log reads them back. A transfer starts right after its address is
// built, so a short history serves.
struct Handed {
    std::string sent;
    std::string built;
};
constexpr size_t HandedLimit = 64;
std::mutex handedMutex;
std::deque<Handed> handed;

void RememberHanded(const std::string& sent, std::string built)
{
    const std::lock_guard lock(handedMutex);
    std::erase_if(handed, [&sent](const Handed& entry) { return entry.sent == sent; });
    if (handed.size() == HandedLimit)
        handed.pop_front();
    handed.push_back({sent, std::move(built)});
}

}  // namespace

std::string Address(Scheme scheme, const char* host, const char* pathAndQuery)
{
    const std::string path = pathAndQuery != nullptr ? pathAndQuery : "";
    std::string built =
        std::string(scheme == Scheme::Https ? "https://" : "http://") + (host != nullptr ? host : "") + path;
    const std::string origin = ReplacedOrigin();
    if (origin.empty())
        return built;
    std::string sent = origin + path;
    RememberHanded(sent, std::move(built));
    return sent;
}

std::optional<std::string> BuiltAddress(const char* sent)
{
    if (ReplacedOrigin().empty())
        return std::nullopt;
    const std::string address = sent != nullptr ? sent : "";
    const std::lock_guard lock(handedMutex);
    const auto entry =
        std::find_if(handed.begin(), handed.end(), [&address](const Handed& e) { return e.sent == address; });
    return entry != handed.end() ? entry->built : address;
}

}  // namespace Endpoints
