// Host C-string helpers.
#pragma once

#include "GSRoot.hpp"

#include <cstddef>

enum CHCaseType { CaseInsensitive = 0, CaseSensitive = 1 };

// True when both texts are equal under the case type (ASCII letters fold when insensitive).
bool CHEqualCStrings(const char* a, const char* b, CHCaseType caseType = CaseInsensitive);

// Compares the first `length` bytes of both texts; negative, 0 or positive like strncmp.
int CHCompareTexts(const char* a, const char* b, size_t length, CHCaseType caseType = CaseInsensitive);

// Copies `source` into `target`, cut so that it and its NUL fit into `targetSize` bytes,
// never splitting a UTF-8 character. Answers the number of bytes copied, without the NUL.
size_t CHTruncate(const char* source, char* target, size_t targetSize, GSCharCode charCode = CC_Default);
