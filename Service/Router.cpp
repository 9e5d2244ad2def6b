#include "Router.hpp"

#include "ServiceApi.hpp"
#include "Site.hpp"
#include "TextUtil.hpp"
#include "XmlWriter.hpp"

namespace kordela::service {

std::string ServiceRequest::Header(std::string_view name) const
{
    for (const auto& [key, value] : headers) {
        if (EqualsIgnoreCase(key, name))
            return value;
    }
    return {};
}

ServiceReply TextReply(int status, std::string contentType, std::string text)
{
    ServiceReply reply;
    reply.status = status;
    reply.contentType = std::move(contentType);
    reply.body = MakeTextBody(std::move(text));
    return reply;
}

ServiceReply XmlReply(std::string xml)
{
    return TextReply(200, "text/xml; charset=utf-8", std::move(xml));
}

ServiceReply RedirectReply(int status, const std::string& location)
{
    std::string clean;
    for (char c : location) {
        if (static_cast<unsigned char>(c) >= 0x20)
            clean += c;  // no header injection
    }
    ServiceReply reply = TextReply(status, "text/html; charset=utf-8",
                                   "<html><body>Moved to <a href=\"" + XmlEscape(clean) + "\">here</a>.</body></html>");
    reply.headers.emplace_back("Location", clean);
    return reply;
}

ServiceReply Route(const Catalogue& catalogue, const ServiceRequest& request)
{
    if (auto reply = HandleServiceApi(catalogue, request))
        return std::move(*reply);
    if (auto reply = HandleSite(catalogue, request))
        return std::move(*reply);
    return NotFoundPage(request.path);
}

}  // namespace kordela::service
