#include "ACAPI.hpp"

#include <cctype>
#include <cstdio>
#include <cstring>

API_Guid APIGuidFromString(const char* text)
{
    API_Guid guid;
    if (text == nullptr)
        return guid;
    std::string hex;
    std::string s = text;
    if (s.size() == 38 && s.front() == '{' && s.back() == '}')
        s = s.substr(1, 36);
    if (s.size() != 36)
        return guid;
    for (size_t i = 0; i < s.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash != (s[i] == '-'))
            return guid;
        if (!dash) {
            if (!std::isxdigit(static_cast<unsigned char>(s[i])))
                return guid;
            hex += s[i];
        }
    }
    for (size_t i = 0; i < 16; ++i)
        guid.bytes[i] = static_cast<unsigned char>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
    return guid;
}

GS::UniString APIGuidToString(const API_Guid& guid)
{
    char text[40] = {};
    char* at = text;
    for (size_t i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            *at++ = '-';
        std::snprintf(at, 3, "%02X", guid.bytes[i]);
        at += 2;
    }
    return GS::UniString(text);
}
