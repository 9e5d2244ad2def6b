#include "CH.hpp"

#include <cctype>
#include <cstring>

namespace {
int Fold(unsigned char c, CHCaseType caseType)
{
    return caseType == CaseInsensitive ? std::tolower(c) : c;
}
}  // namespace

bool CHEqualCStrings(const char* a, const char* b, CHCaseType caseType)
{
    if (a == nullptr || b == nullptr)
        return a == b;
    for (;; ++a, ++b) {
        if (Fold(static_cast<unsigned char>(*a), caseType) != Fold(static_cast<unsigned char>(*b), caseType))
            return false;
        if (*a == '\0')
            return true;
    }
}

int CHCompareTexts(const char* a, const char* b, size_t length, CHCaseType caseType)
{
    for (size_t i = 0; i < length; ++i) {
        const int ca = Fold(static_cast<unsigned char>(a[i]), caseType);
        const int cb = Fold(static_cast<unsigned char>(b[i]), caseType);
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (ca == 0)
            return 0;
    }
    return 0;
}

size_t CHTruncate(const char* source, char* target, size_t targetSize, GSCharCode)
{
    if (target == nullptr || targetSize == 0)
        return 0;
    size_t length = source != nullptr ? std::strlen(source) : 0;
    if (length >= targetSize) {
        length = targetSize - 1;
        // Step back over continuation bytes so that no character is cut in half.
        while (length > 0 && (static_cast<unsigned char>(source[length]) & 0xC0) == 0x80)
            --length;
    }
    if (length > 0)
        std::memcpy(target, source, length);
    target[length] = '\0';
    return length;
}
