// Reading and writing the texts of host parameter records, always inside their fields.
#pragma once

#include "ACAPI.hpp"

#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

std::string ParameterNameOf(const API_AddParType& param);

// A parameter's name as a C string, read within its 32-byte field and never copied to the
// heap: the field itself when it holds its NUL, else a terminated copy kept here.
class ParameterName {
public:
    explicit ParameterName(const API_AddParType& param);
    ParameterName(const ParameterName&) = delete;
    ParameterName& operator=(const ParameterName&) = delete;
    const char* c_str() const { return text_; }

private:
    char copy_[API_NameLen + 1];
    const char* text_;
};

// True when the record's name equals `name` as the host compares names.
bool HasName(const API_AddParType& param, const char* name);

// Names as the host's C-string equality sees them (letters folded), each with the positions
// that carry it in the order added: says which records or entries bear a name without
// comparing it with every one of them.
class NameIndex {
public:
    void Add(const char* name, uint32_t position);
    // Every position added under a name equal to `name`, in the order added; null when none.
    const std::vector<uint32_t>* Find(const char* name) const;
    // The first such position, or `none`.
    size_t First(const char* name, size_t none) const;
    bool Contains(const char* name) const { return Find(name) != nullptr; }

private:
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
    };
    // Most names looked up are not there; their length and first letter say so at once.
    static size_t Sketch(const char* name);
    std::bitset<64 * 256> sketches_;
    std::unordered_map<std::string, std::vector<uint32_t>, Hash, std::equal_to<>> positions_;
};

// The names of a parameter list, by position.
NameIndex IndexNames(const API_AddParType* params, size_t count);
// The text value as UTF-8, at most `maxUnits` UTF-16 units of it.
std::string ParameterTextOf(const API_AddParType& param, size_t maxUnits = API_UAddParStrLen);
// `utf8` as UTF-16 into a field of `size` units, cut so that the NUL fits and no character
// is split.
void CopyIntoField(char16_t* field, size_t size, const std::string& utf8);
// The same text as CopyIntoField puts into a field of `size` units, converted once, for
// writing it into many fields.
std::u16string FieldText(size_t size, const std::string& utf8);
// `text` (already cut to fit) into the field, the rest of the field cleared.
void WriteField(char16_t* field, size_t size, const std::u16string& text);
// Whole numbers the way atoi reads them, but held to the range of int.
int ReadWholeNumber(const char* text);
// A double cut toward zero and held to the range of int.
int TruncateToInt(double value);
