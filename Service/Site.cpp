#include "Site.hpp"

#include "Png.hpp"
#include "TextUtil.hpp"
#include "XmlWriter.hpp"

#include <array>
#include <charconv>
#include <map>
#include <regex>

namespace kordela::service {

namespace {

constexpr int FirstHostVersion = 15;
constexpr int LastHostVersion = 21;
constexpr std::uint64_t MaxGeneratedBytes = 4ULL * 1024 * 1024 * 1024;

// The pages' own script (Samples/files/pages/kordela.js): it talks to the add-on and defines
// the functions the add-on calls in its pages.
constexpr std::string_view PageScript = "<script src=\"/files/pages/kordela.js\"></script>";

std::string Page(std::string_view title, std::string_view body)
{
    std::string html = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>";
    html += XmlEscape(title);
    html += "</title>";
    html += PageScript;
    html += "</head><body><h1>";
    html += XmlEscape(title);
    html += "</h1>";
    html += body;
    html += "<ul id=\"calls\"></ul></body></html>";
    return html;
}

ServiceReply HtmlReply(int status, std::string_view title, std::string_view body)
{
    return TextReply(status, "text/html; charset=utf-8", Page(title, body));
}

std::string Link(std::string_view href, std::string_view text)
{
    return "<a href=\"" + XmlEscape(href) + "\">" + XmlEscape(text) + "</a>";
}

std::string FileUrl(const ServiceRequest& request, std::string_view file)
{
    std::string url = request.origin + "/files";
    for (std::string_view segment : Split(file, '/'))
        url += "/" + PercentEncode(segment);
    return url;
}

std::string ProductItem(const ServiceRequest& request, const Product& p)
{
    const std::string download = FileUrl(request, p.file);
    return "<li class=\"product\" data-product-id=\"" + XmlEscape(p.id) + "\" data-guid=\"" + XmlEscape(p.guid) +
           "\" data-url1=\"" + XmlEscape(download) + "\" data-filename1=\"" + XmlEscape(p.FileName()) + "\">" +
           Link("/Product/" + p.id, p.title) + " (edition " + std::to_string(p.edition) + ") " +
           Link(download, "Download " + p.FileName()) + "</li>";
}

ServiceReply ProductList(const Catalogue& catalogue, const ServiceRequest& request)
{
    std::string body = "<ul id=\"products\">";
    for (const Product& p : catalogue.Products())
        body += ProductItem(request, p);
    body += "</ul>";
    return HtmlReply(200, "Products", body);
}

std::optional<ServiceReply> ProductPage(const Catalogue& catalogue, const ServiceRequest& request, std::string_view id)
{
    const Product* p = catalogue.FindProductById(id);
    if (!p)
        return std::nullopt;
    std::string body = "<ul>" + ProductItem(request, *p) + "</ul><p>Product URL: " + XmlEscape(p->url) + "</p>";
    if (const Manufacturer* m = catalogue.FindManufacturer(p->manufacturer)) {
        body += "<p>Manufacturer: " + Link(m->page, m->name) + "</p>";
    }
    return HtmlReply(200, p->title, body);
}

// The page that lists a product's clouds, with those the part already carries
// ("addedClouds[k].Id" and "addedClouds[k].IsLinked" in the query).
ServiceReply CloudPage(const Catalogue& catalogue, const ServiceRequest& request)
{
    std::string guid;
    std::map<std::string, std::pair<std::string, std::string>> added;  // index -> (id, linked)
    static const std::regex AddedCloud(R"(addedClouds\[(\d+)\]\.(Id|IsLinked))");
    for (std::string_view pair : Split(request.query, '&')) {
        const std::size_t eq = pair.find('=');
        const std::string key = PercentDecode(pair.substr(0, eq));
        const std::string value = eq == std::string_view::npos ? "" : PercentDecode(pair.substr(eq + 1));
        std::smatch match;
        if (key == "productGuid") {
            guid = value;
        } else if (std::regex_match(key, match, AddedCloud)) {
            auto& entry = added[match[1].str()];
            (match[2] == "Id" ? entry.first : entry.second) = value;
        }
    }
    const Product* product = catalogue.FindProductByGuid(guid);
    if (!product)
        return HtmlReply(404, "Unknown product", "<p>No product has the GUID " + XmlEscape(guid) + ".</p>");

    std::string body = "<p>Property clouds for " + XmlEscape(product->title) + "</p><ul id=\"clouds\">";
    for (int id : product->clouds) {
        const PropertyCloud* cloud = catalogue.FindCloud(id);
        if (!cloud)
            continue;
        std::string state = "not attached";
        for (const auto& [index, entry] : added) {
            if (entry.first == std::to_string(id))
                state = entry.second == "true" ? "linked" : "unlinked";
        }
        body += "<li class=\"cloud\" data-cloud-id=\"" + std::to_string(id) + "\" data-state=\"" + state + "\">" +
                XmlEscape(cloud->name) + " (edition " + std::to_string(cloud->edition) + "): " + state + "</li>";
    }
    body += "</ul>";
    return HtmlReply(200, "Property clouds", body);
}

std::optional<ServiceReply> ManufacturerPage(const Catalogue& catalogue, const ServiceRequest& request)
{
    for (const Manufacturer& m : catalogue.Manufacturers()) {
        if (m.page != request.path)
            continue;
        std::string body = "<img src=\"/logos/" + std::to_string(m.id) + ".png\" alt=\"logo\"><ul id=\"products\">";
        for (const Product& p : catalogue.Products()) {
            if (p.manufacturer == m.id)
                body += ProductItem(request, p);
        }
        body += "</ul>";
        return HtmlReply(200, m.name, body);
    }
    return std::nullopt;
}

ServiceReply AutoLogOn(const ServiceRequest& request)
{
    const std::string rawPath = request.target.substr(0, request.target.find('?'));
    static const std::regex Form(R"(^/Account/AutoLogOn/([^/]+)/ArchiCAD/3/([^/]+)/ArchiCAD (\d+) mac/0/?$)");
    std::smatch match;
    const std::string path = PercentDecode(rawPath);
    if (!std::regex_match(path, match, Form)) {
        return HtmlReply(
            400, "Bad auto-logon address",
            "<p>Expected /Account/AutoLogOn/KEY/ArchiCAD/3/VERSION/ArchiCAD%20NN%20mac/0?redirecturl=PAGE, "
            "got " +
                XmlEscape(rawPath) + ".</p>");
    }
    // The page address arrives unescaped except for what the add-on encoded
    // itself ("%26" for the page's own "&"), so it ends at the first bare "&".
    const auto redirect = RawQueryValue(request.query, "redirecturl");
    const std::string location = redirect && !redirect->empty() ? PercentDecode(*redirect) : "/";
    return RedirectReply(302, location);
}

std::optional<ServiceReply> Download(const Catalogue& catalogue, std::string_view relative)
{
    if (StartsWith(relative, "generated/")) {
        const auto size = GeneratedFileSize(relative.substr(10));
        if (!size)
            return std::nullopt;
        ServiceReply reply;
        reply.contentType = "application/octet-stream";
        reply.body = MakeGeneratedBody(*size);
        return reply;
    }
    for (std::string_view segment : Split(relative, '/')) {
        if (segment.empty() || segment == "." || segment == "..")
            return std::nullopt;
    }
    auto body = MakeFileBody(catalogue.FilesDir() / std::string(relative));
    if (!body)
        return std::nullopt;
    ServiceReply reply;
    reply.contentType = EndsWith(relative, ".png")   ? "image/png"
                        : EndsWith(relative, ".dmg") ? "application/x-apple-diskimage"
                        : EndsWith(relative, ".js")  ? "text/javascript; charset=utf-8"
                                                     : "application/octet-stream";
    reply.body = std::move(body);
    return reply;
}

std::optional<ServiceReply> Logo(const Catalogue& catalogue, std::string_view name)
{
    if (!EndsWith(name, ".png"))
        return std::nullopt;
    const auto id = ParseInteger(name.substr(0, name.size() - 4));
    const Manufacturer* m = id ? catalogue.FindManufacturer(static_cast<int>(*id)) : nullptr;
    if (!m)
        return std::nullopt;
    if (m->logo == "broken")
        return TextReply(200, "image/png", MakeBrokenPng());
    std::uint32_t rgb = 0;
    if (m->logo.size() == 7 && m->logo[0] == '#' &&
        std::from_chars(m->logo.data() + 1, m->logo.data() + 7, rgb, 16).ptr == m->logo.data() + 7) {
        return TextReply(200, "image/png", MakeLogoPng(rgb));
    }
    return Download(catalogue, m->logo);
}

std::optional<ServiceReply> InformationHost(const Catalogue& catalogue, std::string_view path)
{
    static const std::regex VersionFile(R"(^/kordela_data/documents/Apps/versionMac(\d+)\.txt$)");
    std::match_results<std::string_view::const_iterator> match;
    if (std::regex_match(path.begin(), path.end(), match, VersionFile)) {
        const int host = std::stoi(match[1].str());
        if (host < FirstHostVersion || host > LastHostVersion)
            return std::nullopt;
        const auto version = catalogue.PublishedVersion(host);
        if (!version)
            return std::nullopt;
        return TextReply(200, "text/plain; charset=utf-8", *version);
    }
    if (path == "/kordela_data/documents/Apps/Kordela.dmg")
        return Download(catalogue, catalogue.InstallerFile());
    return std::nullopt;
}

struct FixedPage {
    std::string_view path;
    std::string_view title;
    std::string_view body;
};

constexpr std::array<FixedPage, 10> FixedPages = {{
    {"/ifc/ifc-landing-page.html", "IFC", "<p>IFC models of the catalogue's products.</p>"},
    {"/velmail", "Velmail", "<p>Your messages.</p>"},
    {"/CadApplication/ProgressDialog", "Downloading...", "<p>Progress: <span id=\"progress\">0</span>%</p>"},
    {"/Account/UserPreference", "User preferences", "<p>Your API key and favourites.</p>"},
    {"/CadApplication/ProductUpdate", "Product update", "<p>Products with newer editions.</p>"},
    {"/CadApplication/ProductUpdateResult", "Product update result", "<p>Updated products.</p>"},
    {"/CadApplication/KdpcUpdate", "Property cloud update", "<p>Property clouds with newer editions.</p>"},
    {"/CadApplication/KDPCUpdateResult", "Property cloud update result", "<p>Updated property clouds.</p>"},
    {"/archicad-help", "Help", "<p>How to use the Kordela palette.</p>"},
    {"/Account/LogOn", "Log on", "<p>Log on to Kordela.</p>"},
}};

std::string HomeBody(const Catalogue& catalogue)
{
    std::string body = "<p>" + Link("/Product", "Products") + "</p><ul id=\"manufacturers\">";
    for (const Manufacturer& m : catalogue.Manufacturers())
        body += "<li>" + Link(m.page, m.name) + "</li>";
    return body + "</ul>";
}

}  // namespace

std::optional<std::uint64_t> GeneratedFileSize(std::string_view name)
{
    static const std::regex Form(R"(^(\d{1,10})(B|KB|MB|GB)\.bin$)");
    std::match_results<std::string_view::const_iterator> match;
    if (!std::regex_match(name.begin(), name.end(), match, Form))
        return std::nullopt;
    const std::uint64_t unit = match[2] == "GB"   ? 1024ull * 1024 * 1024
                               : match[2] == "MB" ? 1024 * 1024
                               : match[2] == "KB" ? 1024
                                                  : 1;
    const std::uint64_t size = std::stoull(match[1].str()) * unit;
    if (size > MaxGeneratedBytes)
        return std::nullopt;
    return size;
}

ServiceReply NotFoundPage(const std::string& path)
{
    return HtmlReply(404, "Not found", "<p>Nothing is at " + XmlEscape(path) + ".</p>");
}

std::optional<ServiceReply> HandleSite(const Catalogue& catalogue, const ServiceRequest& request)
{
    if (request.method != "GET" && request.method != "HEAD")
        return std::nullopt;
    const std::string& path = request.path;

    if (StartsWith(path, "/Account/AutoLogOn/"))
        return AutoLogOn(request);
    if (StartsWith(path, "/files/"))
        return Download(catalogue, std::string_view(path).substr(7));
    if (StartsWith(path, "/logos/"))
        return Logo(catalogue, std::string_view(path).substr(7));
    if (StartsWith(path, "/kordela_data/"))
        return InformationHost(catalogue, path);
    if (path == "/")
        return HtmlReply(200, "Kordela", HomeBody(catalogue));
    if (path == "/Product")
        return ProductList(catalogue, request);
    if (StartsWith(path, "/Product/"))
        return ProductPage(catalogue, request, std::string_view(path).substr(9));
    if (path == "/KDPC/Product")
        return CloudPage(catalogue, request);
    for (const FixedPage& page : FixedPages) {
        if (path == page.path)
            return HtmlReply(200, page.title, page.body);
    }
    return ManufacturerPage(catalogue, request);
}

}  // namespace kordela::service
