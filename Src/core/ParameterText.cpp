#include "ParameterText.hpp"

#include "CH.hpp"
#include "GS.hpp"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstring>

namespace {

// The host's case-insensitive equality folds byte by byte with tolower up to the NUL, so
// two names are equal exactly when their folded texts are.
class FoldedName {
public:
    explicit FoldedName(const char* name)
    {
        const size_t length = std::strlen(name);
        char* target = buffer_;
        if (length > sizeof buffer_) {
            long_.resize(length);
            target = long_.data();
        }
        for (size_t i = 0; i < length; ++i)
            target[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
        view_ = std::string_view(target, length);
    }
    FoldedName(const FoldedName&) = delete;
    FoldedName& operator=(const FoldedName&) = delete;
    std::string_view View() const { return view_; }

private:
    char buffer_[64];
    std::string long_;
    std::string_view view_;
};

}  // namespace

std::string ParameterNameOf(const API_AddParType& param)
{
    return std::string(param.name, strnlen(param.name, sizeof param.name));
}

ParameterName::ParameterName(const API_AddParType& param)
{
    if (std::memchr(param.name, '\0', sizeof param.name) != nullptr) {
        text_ = param.name;
    } else {
        std::memcpy(copy_, param.name, sizeof param.name);
        copy_[sizeof param.name] = '\0';
        text_ = copy_;
    }
}

bool HasName(const API_AddParType& param, const char* name)
{
    return CHEqualCStrings(ParameterName(param).c_str(), name);
}

size_t NameIndex::Sketch(const char* name)
{
    const size_t length = std::min<size_t>(std::strlen(name), 63);
    return length * 256 + static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(name[0])));
}

void NameIndex::Add(const char* name, uint32_t position)
{
    sketches_.set(Sketch(name));
    const FoldedName folded(name);
    auto found = positions_.find(folded.View());
    if (found == positions_.end())
        found = positions_.emplace(std::string(folded.View()), std::vector<uint32_t>()).first;
    found->second.push_back(position);
}

const std::vector<uint32_t>* NameIndex::Find(const char* name) const
{
    if (!sketches_.test(Sketch(name)))
        return nullptr;
    const FoldedName folded(name);
    const auto found = positions_.find(folded.View());
    return found != positions_.end() ? &found->second : nullptr;
}

size_t NameIndex::First(const char* name, size_t none) const
{
    const std::vector<uint32_t>* positions = Find(name);
    return positions != nullptr ? positions->front() : none;
}

NameIndex IndexNames(const API_AddParType* params, size_t count)
{
    NameIndex index;
    for (size_t i = 0; i < count; ++i)
        index.Add(ParameterName(params[i]).c_str(), static_cast<uint32_t>(i));
    return index;
}

std::string ParameterTextOf(const API_AddParType& param, size_t maxUnits)
{
    size_t length = 0;
    const size_t limit = std::min(maxUnits, API_UAddParStrLen);
    while (length < limit && param.value.uStr[length] != 0)
        ++length;
    return GS::UTF16ToUTF8(std::u16string(param.value.uStr, length));
}

void CopyIntoField(char16_t* field, size_t size, const std::string& utf8)
{
    if (size == 0)
        return;
    WriteField(field, size, FieldText(size, utf8));
}

std::u16string FieldText(size_t size, const std::string& utf8)
{
    std::u16string text = GS::UTF8ToUTF16(utf8);
    size_t count = std::min(text.size(), size > 0 ? size - 1 : 0);
    // A high surrogate without its partner would be a broken character.
    if (count > 0 && count < text.size() && text[count - 1] >= 0xD800 && text[count - 1] <= 0xDBFF)
        --count;
    text.resize(count);
    return text;
}

void WriteField(char16_t* field, size_t size, const std::u16string& text)
{
    const size_t count = std::min(text.size(), size > 0 ? size - 1 : 0);
    if (size == 0)
        return;
    std::memcpy(field, text.data(), count * sizeof(char16_t));
    std::memset(field + count, 0, (size - count) * sizeof(char16_t));
}

int ReadWholeNumber(const char* text)
{
    if (text == nullptr)
        return 0;
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

int TruncateToInt(double value)
{
    if (std::isnan(value))
        return 0;
    return static_cast<int>(std::clamp(std::trunc(value), static_cast<double>(INT_MIN), static_cast<double>(INT_MAX)));
}
