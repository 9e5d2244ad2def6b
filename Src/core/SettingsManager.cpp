#include "SettingsManager.hpp"

#include "GSPref.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::unique_ptr<char[]> CopyOf(const char* text)
{
    const size_t length = text != nullptr ? std::strlen(text) : 0;
    auto copy = std::make_unique<char[]>(length + 1);
    if (length > 0)
        std::memcpy(copy.get(), text, length);
    return copy;
}

// Opens the root key for one operation and closes it whatever happens.
class RootKeyScope {
public:
    RootKeyScope()
    {
        if (GSPref::OpenRootKey(GSPref::UserRootKey, &key_) != NoError)
            key_ = nullptr;
    }
    ~RootKeyScope()
    {
        if (key_ != nullptr)
            GSPref::CloseRootKey(key_);
    }
    RootKeyScope(const RootKeyScope&) = delete;
    RootKeyScope& operator=(const RootKeyScope&) = delete;

    GSPref::RootKey* operator->() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }

private:
    GSPref::RootKey* key_ = nullptr;
};

}  // namespace

SettingsManager& SettingsManager::GetInstance()
{
    static SettingsManager instance;
    return instance;
}

void SettingsManager::SetDomain(const char* newDomain)
{
    domain = CopyOf(newDomain);
}

bool SettingsManager::IsExisting(const char* key) const
{
    try {
        RootKeyScope root;
        if (!root)
            return false;
        const GS::UniString d(domain.get()), k(key);
        bool boolValue = false;
        if (root->GetBoolValue(d, k, &boolValue, false, false) == NoError)
            return true;
        int32_t intValue = 0;
        if (root->GetIntValue(d, k, &intValue, 0, false) == NoError)
            return true;
        GS::UniString text;
        return root->GetStringValue(d, k, &text, GS::UniString(), false) == NoError;
    } catch (...) {
        return false;
    }
}

void SettingsManager::RemoveParam(const char* key) const
{
    try {
        RootKeyScope root;
        if (root)
            root->RemoveValue(GS::UniString(domain.get()), GS::UniString(key));
    } catch (...) {}
}

std::unique_ptr<char[]> SettingsManager::GetStringValue(const char* key, const char* defaultValue, bool create) const
{
    try {
        RootKeyScope root;
        GS::UniString value;
        if (root && root->GetStringValue(GS::UniString(domain.get()), GS::UniString(key), &value,
                                         GS::UniString(defaultValue), create) == NoError)
            return CopyOf(value.ToCStr().Get());
    } catch (...) {}
    return CopyOf(defaultValue);
}

void SettingsManager::SetStringValue(const char* key, const char* value) const
{
    try {
        RootKeyScope root;
        if (root)
            root->SetStringValue(GS::UniString(domain.get()), GS::UniString(key), GS::UniString(value));
    } catch (...) {}
}

int32_t SettingsManager::GetIntValue(const char* key, int32_t defaultValue, bool create) const
{
    char defaultText[16];
    std::snprintf(defaultText, sizeof defaultText, "%d", defaultValue);
    return static_cast<int32_t>(std::atoi(GetStringValue(key, defaultText, create).get()));
}

void SettingsManager::SetIntValue(const char* key, int32_t value) const
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    SetStringValue(key, text);
}
