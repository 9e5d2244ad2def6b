// Reading and writing the texts of host parameter records, always inside their fields.
#pragma once

#include "ACAPI.hpp"

#include <string>

std::string ParameterNameOf(const API_AddParType& param);
// The text value as UTF-8, at most `maxUnits` UTF-16 units of it.
std::string ParameterTextOf(const API_AddParType& param, size_t maxUnits = API_UAddParStrLen);
// `utf8` as UTF-16 into a field of `size` units, cut so that the NUL fits and no character
// is split.
void CopyIntoField(char16_t* field, size_t size, const std::string& utf8);
// Whole numbers the way atoi reads them, but held to the range of int.
int ReadWholeNumber(const char* text);
// A double cut toward zero and held to the range of int.
int TruncateToInt(double value);
