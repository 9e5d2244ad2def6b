#include "GSPrefHost.hpp"

#include "HostBackend.hpp"
#include "IO.hpp"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <map>
#include <stdexcept>

namespace GSPref {
namespace {

enum class Kind { Text, Integer, Boolean };

struct Value {
    Kind kind;
    std::string text;
};

const char* KindName(Kind kind)
{
    switch (kind) {
    case Kind::Integer: return "int";
    case Kind::Boolean: return "bool";
    case Kind::Text: break;
    }
    return "text";
}

class Store final : public RootKey {
public:
    void SetFile(const std::string& path)
    {
        file_ = path;
        values_.clear();
        if (file_.empty())
            return;
        std::ifstream in(file_);
        if (!in)
            return;
        const auto json = nlohmann::json::parse(in, nullptr, false);
        if (!json.is_object())
            return;
        for (const auto& [domain, keys] : json.items()) {
            if (!keys.is_object())
                continue;
            for (const auto& [key, value] : keys.items()) {
                const std::string kind = value.value("kind", "text");
                values_[domain][key] = Value {kind == "int" ? Kind::Integer : kind == "bool" ? Kind::Boolean : Kind::Text,
                                              value.value("value", "")};
            }
        }
    }

    GSErrCode GetStringValue(const GS::UniString& domain, const GS::UniString& key, GS::UniString* value,
                             const GS::UniString& defaultValue, bool create) override
    {
        std::string text;
        const GSErrCode err = Read(domain, key, Kind::Text, defaultValue.ToUTF8(), create, &text);
        *value = GS::UniString(text);
        return err;
    }

    GSErrCode GetIntValue(const GS::UniString& domain, const GS::UniString& key, int32_t* value, int32_t defaultValue,
                          bool create) override
    {
        std::string text;
        const GSErrCode err = Read(domain, key, Kind::Integer, std::to_string(defaultValue), create, &text);
        *value = static_cast<int32_t>(std::stol(text));
        return err;
    }

    GSErrCode GetBoolValue(const GS::UniString& domain, const GS::UniString& key, bool* value, bool defaultValue,
                           bool create) override
    {
        std::string text;
        const GSErrCode err = Read(domain, key, Kind::Boolean, defaultValue ? "true" : "false", create, &text);
        *value = text == "true";
        return err;
    }

    GSErrCode SetStringValue(const GS::UniString& domain, const GS::UniString& key, const GS::UniString& value) override
    {
        return Write(domain.ToUTF8(), key.ToUTF8(), Value {Kind::Text, value.ToUTF8()});
    }
    GSErrCode SetIntValue(const GS::UniString& domain, const GS::UniString& key, int32_t value) override
    {
        return Write(domain.ToUTF8(), key.ToUTF8(), Value {Kind::Integer, std::to_string(value)});
    }
    GSErrCode SetBoolValue(const GS::UniString& domain, const GS::UniString& key, bool value) override
    {
        return Write(domain.ToUTF8(), key.ToUTF8(), Value {Kind::Boolean, value ? "true" : "false"});
    }

    GSErrCode RemoveValue(const GS::UniString& domain, const GS::UniString& key) override
    {
        CheckHealthy();
        if (const auto error = Platform::FailCall("GSPrefRemove", {key.ToUTF8()}))
            return *error;
        auto found = values_.find(domain.ToUTF8());
        if (found == values_.end() || found->second.erase(key.ToUTF8()) == 0)
            return ErrCode::NotFound;
        Platform::Record("setting " + domain.ToUTF8() + "/" + Quoted(key.ToUTF8()) + " removed");
        return Save() ? NoError : ErrCode::FileSystemError;
    }

    const Value* Find(const std::string& domain, const std::string& key) const
    {
        auto d = values_.find(domain);
        if (d == values_.end())
            return nullptr;
        auto k = d->second.find(key);
        return k == d->second.end() ? nullptr : &k->second;
    }

    bool failing = false;

private:
    static std::string Quoted(const std::string& key) { return key.empty() ? "\"\"" : key; }

    void CheckHealthy() const
    {
        if (failing)
            throw std::runtime_error("preference store unavailable");
    }

    GSErrCode Read(const GS::UniString& domain, const GS::UniString& key, Kind kind, const std::string& defaultText,
                   bool create, std::string* out)
    {
        CheckHealthy();
        if (const auto error = Platform::FailCall("GSPrefGet", {key.ToUTF8()})) {
            *out = defaultText;
            return *error;
        }
        const Value* value = Find(domain.ToUTF8(), key.ToUTF8());
        if (value != nullptr && value->kind == kind) {
            *out = value->text;
            return NoError;
        }
        *out = defaultText;
        if (value == nullptr && create)
            Write(domain.ToUTF8(), key.ToUTF8(), Value {kind, defaultText});
        return ErrCode::NotFound;
    }

    GSErrCode Write(const std::string& domain, const std::string& key, Value value)
    {
        CheckHealthy();
        if (const auto error = Platform::FailCall("GSPrefSet", {key}))
            return *error;
        Platform::Record("setting " + domain + "/" + Quoted(key) + " = \"" + value.text + "\"" +
                         (value.kind == Kind::Text ? "" : std::string(" (") + KindName(value.kind) + ")"));
        values_[domain][key] = std::move(value);
        return Save() ? NoError : ErrCode::FileSystemError;
    }

    // The store is written beside its file and put in its place whole, so that a write the
    // file system refuses (a full disk) leaves the previous store as it was.
    bool Save() const
    {
        if (file_.empty())
            return true;
        nlohmann::json json = nlohmann::json::object();
        for (const auto& [domain, keys] : values_)
            for (const auto& [key, value] : keys)
                json[domain][key] = {{"kind", KindName(value.kind)}, {"value", value.text}};
        const std::string text = json.dump(2) + '\n';
        const std::string next = file_ + ".new";
        std::FILE* out = IO::OpenFile(IO::Location(next), "wb");
        bool written = out != nullptr && std::fwrite(text.data(), 1, text.size(), out) == text.size();
        if (out != nullptr && std::fclose(out) != 0)
            written = false;
        if (written && std::rename(next.c_str(), file_.c_str()) == 0)
            return true;
        std::remove(next.c_str());
        return false;
    }

    std::string file_;
    std::map<std::string, std::map<std::string, Value>> values_;
};

Store& TheStore()
{
    static Store store;
    return store;
}

}  // namespace

GSErrCode OpenRootKey(int rootDomain, RootKey** key)
{
    if (key == nullptr || rootDomain != UserRootKey)
        return ErrCode::General;
    if (const auto error = Platform::FailCall("GSPrefOpenRootKey")) {
        *key = nullptr;
        return *error;
    }
    *key = &TheStore();
    return NoError;
}

void CloseRootKey(RootKey*) {}

void SetStoreFile(const std::string& path)
{
    TheStore().SetFile(path);
}

std::string PeekValue(const std::string& domain, const std::string& key)
{
    const Value* value = TheStore().Find(domain, key);
    return value != nullptr ? value->text : std::string();
}

bool HasValue(const std::string& domain, const std::string& key)
{
    return TheStore().Find(domain, key) != nullptr;
}

void SetFailing(bool failing)
{
    TheStore().failing = failing;
}

}  // namespace GSPref
