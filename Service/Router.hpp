#pragma once

#include "BodySource.hpp"
#include "Catalogue.hpp"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kordela::service {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// What the service needs of one HTTP request, independent of the server library.
struct ServiceRequest {
    std::string method;
    std::string target;  // as received: path and query, still escaped
    std::string path;    // decoded path
    std::string query;   // raw query text after "?"
    HeaderList headers;
    std::optional<std::string> formValue;  // the multipart field "value"
    std::string origin;                    // scheme, host and port by which the client reached us

    std::string Header(std::string_view name) const;
};

struct ServiceReply {
    int status = 200;
    std::string contentType;
    HeaderList headers;
    std::unique_ptr<BodySource> body;
};

ServiceReply TextReply(int status, std::string contentType, std::string text);
ServiceReply XmlReply(std::string xml);
ServiceReply RedirectReply(int status, const std::string& location);

// The answer of the service API, the catalogue site or the information host.
ServiceReply Route(const Catalogue& catalogue, const ServiceRequest& request);

}  // namespace kordela::service
