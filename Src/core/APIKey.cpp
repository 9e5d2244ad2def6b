#include "APIKey.hpp"

#include "SettingsManager.hpp"

#include <cctype>
#include <cstring>

size_t trimwhitespace(char* out, size_t size, const char* in)
{
    if (size == 0)
        return 0;
    while (*in != '\0' && std::isspace(static_cast<unsigned char>(*in)))
        ++in;
    if (*in == '\0') {
        out[0] = '\0';
        return 1;
    }
    const char* last = in + std::strlen(in) - 1;
    while (last > in && std::isspace(static_cast<unsigned char>(*last)))
        --last;
    size_t length = static_cast<size_t>(last - in) + 1;
    if (length > size - 1)
        length = size - 1;
    std::memcpy(out, in, length);
    out[length] = '\0';
    return length;
}

std::unique_ptr<char[]> GetAPIKey()
{
    SettingsManager& settings = SettingsManager::GetInstance();
    settings.SetDomain(Setting::Domain);
    if (!settings.IsExisting(Setting::APIKey)) {
        if (settings.IsExisting("")) {
            const auto moved = settings.GetStringValue("", APIKeyPlaceholder, true);
            settings.SetStringValue(Setting::APIKey, moved.get());
            settings.RemoveParam("");
        } else {
            settings.SetStringValue(Setting::APIKey, APIKeyPlaceholder);
        }
    }
    const auto stored = settings.GetStringValue(Setting::APIKey, APIKeyPlaceholder, true);
    auto key = std::make_unique<char[]>(APIKeyLength + 1);
    trimwhitespace(key.get(), APIKeyLength + 1, stored.get());
    return key;
}

bool IsValidAPIKey(const char* key)
{
    if (key == nullptr || key[0] == '\0' || key[0] == 'x')
        return false;
    if (std::strlen(key) != APIKeyLength)
        return false;
    for (size_t i = 0; i < APIKeyLength; ++i) {
        const size_t position = i + 1;
        const bool dash = position == 9 || position == 14 || position == 19 || position == 24;
        const unsigned char c = static_cast<unsigned char>(key[i]);
        if (dash ? c != '-' : !std::isxdigit(c))
            return false;
    }
    return true;
}

namespace {
void (*settingsOpener)() = nullptr;
}  // namespace

void RegisterSettingsOpener(void (*open)())
{
    settingsOpener = open;
}

void OpenRegisteredSettings()
{
    if (settingsOpener != nullptr)
        settingsOpener();
}

std::unique_ptr<char[]> GetCheckedAPIKey()
{
    auto key = GetAPIKey();
    if (!IsValidAPIKey(key.get())) {
        OpenRegisteredSettings();
        key = GetAPIKey();
    }
    return key;
}
