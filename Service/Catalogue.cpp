#include "Catalogue.hpp"

#include "TextUtil.hpp"

#include <fstream>

namespace kordela::service {

namespace {

using nlohmann::json;

std::optional<std::string> OptionalText(const json& object, const char* key)
{
    const auto it = object.find(key);
    if (it == object.end() || it->is_null())
        return std::nullopt;
    if (it->is_string())
        return it->get<std::string>();
    if (it->is_number_integer())
        return std::to_string(it->get<long long>());
    return it->dump();
}

std::string Text(const json& object, const char* key)
{
    return OptionalText(object, key).value_or("");
}

ProductParameter ReadParameter(const json& j)
{
    ProductParameter p;
    p.name = Text(j, "name");
    p.bimName = Text(j, "bimName");
    p.description = Text(j, "description");
    p.type = j.value("type", "String");
    p.style = Text(j, "style");
    p.modifier = Text(j, "modifier");
    p.value = OptionalText(j, "value");
    p.obsolete = j.value("obsolete", false);
    return p;
}

Product ReadProduct(const json& j)
{
    Product p;
    p.id = Text(j, "id");
    p.url = Text(j, "url");
    p.guid = Text(j, "guid");
    p.title = Text(j, "title");
    p.edition = j.value("edition", 1);
    p.file = Text(j, "file");
    p.manufacturer = j.value("manufacturer", 0);
    p.clouds = j.value("clouds", std::vector<int> {});
    for (const json& parameter : j.value("parameters", json::array()))
        p.parameters.push_back(ReadParameter(parameter));
    return p;
}

PropertyCloud ReadCloud(const json& j)
{
    PropertyCloud c;
    c.id = j.at("id").get<int>();
    c.name = Text(j, "name");
    c.variableName = Text(j, "variableName");
    c.lastModified = Text(j, "lastModified");
    c.edition = j.value("edition", 1);
    for (const json& p : j.value("properties", json::array())) {
        CloudProperty property;
        property.name = Text(p, "name");
        property.variableName = Text(p, "variableName");
        property.value = OptionalText(p, "value");
        property.visible = p.value("visible", true);
        property.editable = p.value("editable", false);
        c.properties.push_back(std::move(property));
    }
    return c;
}

Manufacturer ReadManufacturer(const json& j)
{
    Manufacturer m;
    m.id = j.at("id").get<int>();
    m.name = Text(j, "name");
    m.page = Text(j, "page");
    m.logo = j.value("logo", "#808080");
    m.featured = j.value("featured", false);
    return m;
}

std::string StripScheme(std::string_view url)
{
    const std::size_t scheme = url.find("://");
    return std::string(scheme == std::string_view::npos ? url : url.substr(scheme + 3));
}

std::string UrlPath(std::string_view normalised)
{
    const std::size_t slash = normalised.find('/');
    return slash == std::string_view::npos ? std::string() : std::string(normalised.substr(slash));
}

}  // namespace

std::string NormaliseProductUrl(std::string_view url)
{
    std::string text = StripScheme(url);
    while (!text.empty() && text.back() == '/')
        text.pop_back();
    const std::size_t slash = text.find('/');
    const std::string host = ToLower(std::string_view(text).substr(0, slash));
    return slash == std::string::npos ? host : host + text.substr(slash);
}

std::string Product::FileName() const
{
    return std::filesystem::path(file).filename().string();
}

std::optional<Catalogue> Catalogue::FromJson(const json& j, const std::filesystem::path& baseDir, std::string& error)
{
    Catalogue c;
    try {
        if (!j.is_object()) {
            error = "the catalogue must be a JSON object";
            return std::nullopt;
        }
        c.json_ = j;
        c.filesDir_ = baseDir / j.value("filesDir", "files");
        c.installerFile_ = j.value("installer", "Kordela.dmg");
        for (const json& k : j.value("apiKeys", json::array())) {
            c.keys_.push_back({Text(k, "key"), Text(k, "user"), k.value("unreadEmails", 0)});
        }
        for (const json& p : j.value("products", json::array()))
            c.products_.push_back(ReadProduct(p));
        // The first product of each GUID, as a search in list order finds it.
        for (std::size_t i = 0; i < c.products_.size(); ++i)
            c.productByGuid_.emplace(ToLower(c.products_[i].guid), i);
        for (const json& cloud : j.value("propertyClouds", json::array()))
            c.clouds_.push_back(ReadCloud(cloud));
        for (const json& m : j.value("manufacturers", json::array()))
            c.manufacturers_.push_back(ReadManufacturer(m));
        const json versions = j.value("publishedVersions", json::object());
        for (const auto& [host, version] : versions.items()) {
            const auto number = ParseInteger(host);
            if (!number) {
                error = "publishedVersions: '" + host + "' is not a host version number";
                return std::nullopt;
            }
            c.publishedVersions_[static_cast<int>(*number)] =
                version.is_string() ? version.get<std::string>() : version.dump();
        }
    } catch (const json::exception& e) {
        error = e.what();
        return std::nullopt;
    }
    return c;
}

std::optional<Catalogue> Catalogue::Load(const std::filesystem::path& file, std::string& error)
{
    std::ifstream in(file);
    if (!in) {
        error = "cannot open " + file.string();
        return std::nullopt;
    }
    const json j = json::parse(in, nullptr, false);
    if (j.is_discarded()) {
        error = file.string() + " is not valid JSON";
        return std::nullopt;
    }
    return FromJson(j, file.parent_path(), error);
}

const ApiKey* Catalogue::FindKey(std::string_view key) const
{
    for (const ApiKey& k : keys_) {
        if (EqualsIgnoreCase(k.key, key))
            return &k;
    }
    return nullptr;
}

const Product* Catalogue::FindProductByUrl(std::string_view url) const
{
    const std::string wanted = NormaliseProductUrl(url);
    for (const Product& p : products_) {
        if (NormaliseProductUrl(p.url) == wanted)
            return &p;
    }
    const std::string wantedPath = UrlPath(wanted);
    if (wantedPath.empty())
        return nullptr;
    for (const Product& p : products_) {
        if (UrlPath(NormaliseProductUrl(p.url)) == wantedPath)
            return &p;
    }
    return nullptr;
}

const Product* Catalogue::FindProductByGuid(std::string_view guid) const
{
    const auto found = productByGuid_.find(ToLower(guid));
    return found != productByGuid_.end() ? &products_[found->second] : nullptr;
}

const Product* Catalogue::FindProductById(std::string_view id) const
{
    for (const Product& p : products_) {
        if (p.id == id)
            return &p;
    }
    return nullptr;
}

const PropertyCloud* Catalogue::FindCloud(int id) const
{
    for (const PropertyCloud& c : clouds_) {
        if (c.id == id)
            return &c;
    }
    return nullptr;
}

const Manufacturer* Catalogue::FindManufacturer(int id) const
{
    for (const Manufacturer& m : manufacturers_) {
        if (m.id == id)
            return &m;
    }
    return nullptr;
}

std::optional<std::string> Catalogue::PublishedVersion(int hostVersion) const
{
    const auto it = publishedVersions_.find(hostVersion);
    if (it == publishedVersions_.end())
        return std::nullopt;
    return it->second;
}

}  // namespace kordela::service
