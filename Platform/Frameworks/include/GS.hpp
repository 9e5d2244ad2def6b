// Host framework basics: strings, containers, GUIDs and disposable objects.
#pragma once

#include "GSRoot.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace GS {

// Host text: UTF-16 inside, UTF-8 at the C-string boundary.
class UniString {
public:
    // Keeps a converted C string alive for as long as the caller holds it.
    class CStr {
    public:
        explicit CStr(std::string text) : text_(std::move(text)) {}
        const char* Get() const { return text_.c_str(); }
        operator const char*() const { return text_.c_str(); }
        size_t GetLength() const { return text_.size(); }

    private:
        std::string text_;
    };

    UniString() = default;
    UniString(const char* utf8, GSCharCode = CC_Default);
    UniString(const std::string& utf8) : UniString(utf8.c_str()) {}
    UniString(const char16_t* utf16) : text_(utf16 != nullptr ? utf16 : u"") {}
    UniString(std::u16string utf16) : text_(std::move(utf16)) {}

    CStr ToCStr(GSCharCode = CC_Default) const { return CStr(ToUTF8()); }
    std::string ToUTF8() const;
    const std::u16string& ToUTF16() const { return text_; }

    bool IsEmpty() const { return text_.empty(); }
    USize GetLength() const { return static_cast<USize>(text_.size()); }
    char16_t operator[](UIndex i) const { return text_.at(i); }
    void Clear() { text_.clear(); }

    UniString& Append(const UniString& other)
    {
        text_ += other.text_;
        return *this;
    }
    UniString& operator+=(const UniString& other) { return Append(other); }
    friend UniString operator+(UniString a, const UniString& b) { return a.Append(b); }
    friend bool operator==(const UniString& a, const UniString& b) { return a.text_ == b.text_; }
    friend bool operator<(const UniString& a, const UniString& b) { return a.text_ < b.text_; }

private:
    std::u16string text_;
};

// Narrow host text (8-bit, UTF-8 here).
class String {
public:
    String() = default;
    String(const char* text) : text_(text != nullptr ? text : "") {}
    String(std::string text) : text_(std::move(text)) {}

    const char* ToCStr() const { return text_.c_str(); }
    const std::string& Std() const { return text_; }
    USize GetLength() const { return static_cast<USize>(text_.size()); }
    bool IsEmpty() const { return text_.empty(); }
    friend bool operator==(const String& a, const String& b) { return a.text_ == b.text_; }

private:
    std::string text_;
};

std::string UTF16ToUTF8(const std::u16string& text);
std::u16string UTF8ToUTF16(const std::string& text);

template <class T>
class Array {
public:
    Array() = default;
    Array(std::initializer_list<T> items) : items_(items) {}

    void Push(const T& item) { items_.push_back(item); }
    void Push(T&& item) { items_.push_back(std::move(item)); }
    void Insert(UIndex at, const T& item) { items_.insert(items_.begin() + at, item); }
    void Delete(UIndex at) { items_.erase(items_.begin() + at); }
    void Clear() { items_.clear(); }
    USize GetSize() const { return static_cast<USize>(items_.size()); }
    bool IsEmpty() const { return items_.empty(); }
    T& operator[](UIndex i) { return items_.at(i); }
    const T& operator[](UIndex i) const { return items_.at(i); }
    T& GetLast() { return items_.back(); }
    bool Contains(const T& item) const { return std::find(items_.begin(), items_.end(), item) != items_.end(); }

    auto begin() { return items_.begin(); }
    auto end() { return items_.end(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<T> items_;
};

struct UniStringHash {
    size_t operator()(const UniString& s) const { return std::hash<std::u16string>()(s.ToUTF16()); }
};

// A map that iterates in insertion order, as the host's hash table does for our purposes.
template <class K, class V, class Hash = std::conditional_t<std::is_same_v<K, UniString>, UniStringHash, std::hash<K>>>
class HashTable {
public:
    // Adds the pair unless the key is present; answers whether it was added.
    bool Add(const K& key, const V& value)
    {
        if (ContainsKey(key))
            return false;
        index_.emplace(key, entries_.size());
        entries_.emplace_back(key, value);
        return true;
    }
    void Put(const K& key, const V& value)
    {
        if (auto it = index_.find(key); it != index_.end())
            entries_[it->second].second = value;
        else
            Add(key, value);
    }
    bool ContainsKey(const K& key) const { return index_.find(key) != index_.end(); }
    V& Get(const K& key) { return entries_.at(index_.at(key)).second; }
    const V& Get(const K& key) const { return entries_.at(index_.at(key)).second; }
    V* GetPtr(const K& key)
    {
        auto it = index_.find(key);
        return it == index_.end() ? nullptr : &entries_[it->second].second;
    }
    bool Delete(const K& key)
    {
        auto it = index_.find(key);
        if (it == index_.end())
            return false;
        entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(it->second));
        index_.clear();
        for (size_t i = 0; i < entries_.size(); ++i)
            index_.emplace(entries_[i].first, i);
        return true;
    }
    void Clear()
    {
        entries_.clear();
        index_.clear();
    }
    USize GetSize() const { return static_cast<USize>(entries_.size()); }
    bool IsEmpty() const { return entries_.empty(); }

    auto begin() { return entries_.begin(); }
    auto end() { return entries_.end(); }
    auto begin() const { return entries_.begin(); }
    auto end() const { return entries_.end(); }

private:
    std::vector<std::pair<K, V>> entries_;
    std::unordered_map<K, size_t, Hash> index_;
};

class Guid {
public:
    Guid() = default;
    // Accepts "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", with or without braces; anything else is the null GUID.
    explicit Guid(const char* text);
    static Guid Generate();

    bool IsNull() const;
    UniString ToUniString() const;  // upper case, without braces
    friend bool operator==(const Guid& a, const Guid& b) { return a.bytes_ == b.bytes_; }

private:
    std::array<unsigned char, 16> bytes_ {};
};

class DisposableObject;

class DisposeHandler {
public:
    virtual ~DisposeHandler() = default;
    virtual void DisposeRequested(DisposableObject& source) = 0;
};

class GarbageCollector {
public:
    virtual ~GarbageCollector() = default;
    virtual void Collect(DisposableObject* object) = 0;
};

// Deletes what it collects.
extern GarbageCollector& defaultGarbageCollector;

class DisposableObject {
public:
    DisposableObject() = default;
    DisposableObject(const DisposableObject&) = delete;
    DisposableObject& operator=(const DisposableObject&) = delete;
    virtual ~DisposableObject() = default;

    void SetDisposeHandler(DisposeHandler& handler) { disposeHandler_ = &handler; }
    DisposeHandler* GetDisposeHandler() const { return disposeHandler_; }
    void ClearDisposeHandler() { disposeHandler_ = nullptr; }
    void SetGarbageCollector(GarbageCollector& collector) { garbageCollector_ = &collector; }
    GarbageCollector* GetGarbageCollector() const { return garbageCollector_; }

    // Tells the dispose handler first (and forgets it), then hands the object to its
    // garbage collector, which may delete it: the caller must not touch it afterwards.
    void Dispose();

private:
    DisposeHandler* disposeHandler_ = nullptr;
    GarbageCollector* garbageCollector_ = nullptr;
};

}  // namespace GS

// Host memory blocks of the C API.
void* GS_malloc(size_t size);
void* GS_realloc(void* block, size_t size);
void GS_free(void* block);
