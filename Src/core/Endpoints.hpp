// Where the service lives. Three hosts and the support address are build constants; the
// environment variable KORDELA_SERVICE_ORIGIN (for example "http://127.0.0.1:8123"), when
// set, replaces the scheme and host of all three, so that a local service can stand in.
#pragma once

#include "HostVersion.hpp"

#include <string>

namespace Endpoints {

constexpr const char* SiteHost = "www.kordela.com";
constexpr const char* ApiHost = "api.kordela.com";
constexpr const char* InfoHost = "info.kordela.com";
constexpr const char* SupportEmail = "support@kordela.com";

enum class Scheme { Http, Https };

// The address of `pathAndQuery` on `host`; the path and query are kept byte for byte.
std::string Address(Scheme scheme, const char* host, const char* pathAndQuery);

// The host 21 build speaks https to every address of the service; older builds use plain
// http for a few of them.
constexpr Scheme LegacyHttpScheme = HostUsesHttpForLegacyPages ? Scheme::Http : Scheme::Https;

}  // namespace Endpoints
