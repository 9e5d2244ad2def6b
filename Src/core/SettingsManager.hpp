// The add-on's settings: one text value per (domain, key) in the host's preference store.
#pragma once

#include <cstdint>
#include <memory>

class SettingsManager {
public:
    static SettingsManager& GetInstance();

    void SetDomain(const char* domain);

    bool IsExisting(const char* key) const;
    void RemoveParam(const char* key) const;

    // A copy of the stored text, or of the default when the key cannot be read; with
    // `create` set, a missing key is stored with the default.
    std::unique_ptr<char[]> GetStringValue(const char* key, const char* defaultValue, bool create) const;
    void SetStringValue(const char* key, const char* value) const;

    int32_t GetIntValue(const char* key, int32_t defaultValue, bool create) const;
    void SetIntValue(const char* key, int32_t value) const;

private:
    SettingsManager() = default;

    std::unique_ptr<char[]> domain;
};

// The keys and the domain of this add-on.
namespace Setting {
constexpr const char* Domain = "Kordela";
constexpr const char* FirstRun = "FirstRun";
constexpr const char* DefaultDownloadFolder = "DefaultDownloadFolder";
constexpr const char* AddToEmbedded = "AddToEmbedded";
constexpr const char* APIKey = "APIKey";
}  // namespace Setting
