#pragma once

#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kordela::service {

struct ApiKey {
    std::string key;
    std::string user;
    int unreadEmails = 0;
};

// One entry of a product's parameter list as the object update receives it.
struct ProductParameter {
    std::string name;  // GDL variable name
    std::string bimName;
    std::string description;
    std::string type;      // "String", "Real", "Integer" (anything else is passed on as it stands)
    std::string style;     // "Bold" or empty
    std::string modifier;  // "Child" or empty
    std::optional<std::string> value;
    bool obsolete = false;
};

struct Product {
    std::string id;   // the number in the product's page path
    std::string url;  // product URL without scheme, as library parts carry it
    std::string guid;
    std::string title;
    int edition = 1;
    std::string file;  // downloadable file, relative to the files folder
    int manufacturer = 0;
    std::vector<int> clouds;  // property clouds offered for this product
    std::vector<ProductParameter> parameters;

    std::string FileName() const;
};

struct CloudProperty {
    std::string name;
    std::string variableName;
    std::optional<std::string> value;
    bool visible = true;
    bool editable = false;
};

struct PropertyCloud {
    int id = 0;
    std::string name;
    std::string variableName;  // the title's variable name; its first 11 characters name the group
    std::string lastModified;
    int edition = 1;
    std::vector<CloudProperty> properties;
};

struct Manufacturer {
    int id = 0;
    std::string name;
    std::string page;  // page path on the catalogue site
    std::string logo;  // "#RRGGBB" for a generated logo, "broken" for a deliberately corrupt one
    bool featured = false;
};

class Catalogue {
public:
    // Reads the catalogue; relative file paths are taken from baseDir.
    static std::optional<Catalogue> FromJson(const nlohmann::json& json, const std::filesystem::path& baseDir,
                                             std::string& error);
    static std::optional<Catalogue> Load(const std::filesystem::path& file, std::string& error);

    const nlohmann::json& Json() const { return json_; }
    const std::filesystem::path& FilesDir() const { return filesDir_; }
    const std::string& InstallerFile() const { return installerFile_; }

    const ApiKey* FindKey(std::string_view key) const;
    const Product* FindProductByUrl(std::string_view url) const;
    const Product* FindProductByGuid(std::string_view guid) const;
    const Product* FindProductById(std::string_view id) const;
    const PropertyCloud* FindCloud(int id) const;
    const Manufacturer* FindManufacturer(int id) const;
    std::optional<std::string> PublishedVersion(int hostVersion) const;

    const std::vector<Product>& Products() const { return products_; }
    const std::vector<Manufacturer>& Manufacturers() const { return manufacturers_; }

private:
    nlohmann::json json_;
    std::filesystem::path filesDir_;
    std::string installerFile_;
    std::vector<ApiKey> keys_;
    std::vector<Product> products_;
    std::unordered_map<std::string, std::size_t> productByGuid_;  // GUID in lower case -> first such product
    std::vector<PropertyCloud> clouds_;
    std::vector<Manufacturer> manufacturers_;
    std::map<int, std::string> publishedVersions_;
};

// Product URLs match without their scheme, letter case of the host and a
// trailing "/"; when no full match exists, the page path alone decides, so
// that a catalogue host name differing from ours still finds the product.
std::string NormaliseProductUrl(std::string_view url);

}  // namespace kordela::service
