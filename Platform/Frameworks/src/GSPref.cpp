#include "GSPrefHost.hpp"

#include "HostBackend.hpp"
#include "IO.hpp"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
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
        in.close();
        if (!json.is_object())
            return SetAside("is not a preferences file");
        for (const auto& [domain, keys] : json.items()) {
            if (!keys.is_object())
                return SetAside("holds values of the wrong types");
            for (const auto& [key, entry] : keys.items()) {
                const auto value = ReadValue(entry);
                if (!value)
                    return SetAside("holds values of the wrong types");
                values_[domain][key] = *value;
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

    // One stored value: {"kind": "text"|"int"|"bool", "value": TEXT}, the kind "text" when
    // missing; none when it has other types or its text does not fit its kind.
    static std::optional<Value> ReadValue(const nlohmann::json& entry)
    {
        if (!entry.is_object())
            return std::nullopt;
        const auto kind = entry.find("kind");
        const auto text = entry.find("value");
        if ((kind != entry.end() && !kind->is_string()) || (text != entry.end() && !text->is_string()))
            return std::nullopt;
        const std::string kindName = kind != entry.end() ? kind->get<std::string>() : "text";
        Value value {Kind::Text, text != entry.end() ? text->get<std::string>() : ""};
        if (kindName == "int") {
            value.kind = Kind::Integer;
            int32_t number = 0;
            const char* end = value.text.data() + value.text.size();
            const auto parsed = std::from_chars(value.text.data(), end, number);
            if (parsed.ec != std::errc() || parsed.ptr != end)
                return std::nullopt;
        } else if (kindName == "bool") {
            value.kind = Kind::Boolean;
            if (value.text != "true" && value.text != "false")
                return std::nullopt;
        } else if (kindName != "text") {
            return std::nullopt;
        }
        return value;
    }

    // A file the store cannot take is kept beside it for the user, and the store starts empty.
    void SetAside(const char* why)
    {
        values_.clear();
        const std::filesystem::path aside = file_ + ".unreadable";
        std::error_code ec;
        std::filesystem::rename(file_, aside, ec);
        Platform::Record(
            "preferences: " + file_ + " " + why + "; " +
            (ec ? "it cannot be set aside (" + ec.message() + ")" : "set aside as " + aside.filename().string()));
    }

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
