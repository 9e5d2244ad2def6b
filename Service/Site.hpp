#pragma once

#include "Router.hpp"

#include <optional>
#include <string>

namespace kordela::service {

// The catalogue site (auto-logon, pages, downloads, logos) and the information
// host (version files, installer image). Empty when no page has that path.
std::optional<ServiceReply> HandleSite(const Catalogue& catalogue, const ServiceRequest& request);

ServiceReply NotFoundPage(const std::string& path);

// "/files/generated/<N>B|KB|MB|GB.bin": the size in bytes, or empty when the name
// does not have that form or asks for more than the service makes.
std::optional<std::uint64_t> GeneratedFileSize(std::string_view name);

}  // namespace kordela::service
