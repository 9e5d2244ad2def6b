// The host's preference store: one typed value per (domain, key).
#pragma once

#include "GS.hpp"

#include <string>

namespace GSPref {

// Root-key domains; the add-on keeps its settings under the user's root.
constexpr int UserRootKey = 0;

class RootKey {
public:
    virtual ~RootKey() = default;

    // The reads answer 0 and the value; a missing key (or one of another kind) answers an
    // error and the default, and is created with the default when `create` is set.
    virtual GSErrCode GetStringValue(const GS::UniString& domain, const GS::UniString& key, GS::UniString* value,
                                     const GS::UniString& defaultValue, bool create) = 0;
    virtual GSErrCode GetIntValue(const GS::UniString& domain, const GS::UniString& key, int32_t* value,
                                  int32_t defaultValue, bool create) = 0;
    virtual GSErrCode GetBoolValue(const GS::UniString& domain, const GS::UniString& key, bool* value,
                                   bool defaultValue, bool create) = 0;
    virtual GSErrCode SetStringValue(const GS::UniString& domain, const GS::UniString& key,
                                     const GS::UniString& value) = 0;
    virtual GSErrCode SetIntValue(const GS::UniString& domain, const GS::UniString& key, int32_t value) = 0;
    virtual GSErrCode SetBoolValue(const GS::UniString& domain, const GS::UniString& key, bool value) = 0;
    virtual GSErrCode RemoveValue(const GS::UniString& domain, const GS::UniString& key) = 0;
};

GSErrCode OpenRootKey(int rootDomain, RootKey** key);
void CloseRootKey(RootKey* key);

}  // namespace GSPref
