// Where the service lives. Three hosts and the support address are build constants; the
// environment variable KORDELA_SERVICE_ORIGIN (for example "http://127.0.0.1:8123"), when
// set, replaces the scheme and host of all three, so that a local service can stand in; the
// addresses as built stay readable for the transfer log.
#pragma once

#include "HostVersion.hpp"

#include <optional>
#include <string>

namespace Endpoints {

constexpr const char* SiteHost = "www.kordela.com";
constexpr const char* ApiHost = "api.kordela.com";
constexpr const char* InfoHost = "info.kordela.com";
constexpr const char* SupportEmail = "support@kordela.com";

enum class Scheme { Http, Https };

// The address of `pathAndQuery` on `host`; the path and query are kept byte for byte.
std::string Address(Scheme scheme, const char* host, const char* pathAndQuery);

// While a local service stands in, the address `sent` as the add-on built it: the scheme and
// host it has without the stand-in. An address that did not come from Address stands as it
// is. Nothing while the service is the real one.
std::optional<std::string> BuiltAddress(const char* sent);

// The host 21 build speaks https to every address of the service; older builds use plain
// http for a few of them.
constexpr Scheme LegacyHttpScheme = HostUsesHttpForLegacyPages ? Scheme::Http : Scheme::Https;

}  // namespace Endpoints
