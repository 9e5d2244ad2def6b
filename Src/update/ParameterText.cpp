#include "ParameterText.hpp"

#include "GS.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

std::string ParameterNameOf(const API_AddParType& param)
{
    return std::string(param.name, strnlen(param.name, sizeof param.name));
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
    const std::u16string text = GS::UTF8ToUTF16(utf8);
    size_t count = std::min(text.size(), size - 1);
    // A high surrogate without its partner would be a broken character.
    if (count > 0 && count < text.size() && text[count - 1] >= 0xD800 && text[count - 1] <= 0xDBFF)
        --count;
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
