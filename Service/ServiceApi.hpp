#pragma once

#include "Router.hpp"

#include <optional>
#include <string_view>

namespace kordela::service {

// The service API: POST, multipart field "value" holding an XML request,
// answered with XML. Empty when the path is not one of the API's.
std::optional<ServiceReply> HandleServiceApi(const Catalogue& catalogue, const ServiceRequest& request);

// A well-formed key has the shape of a GUID without braces.
bool IsWellFormedKey(std::string_view key);

}  // namespace kordela::service
