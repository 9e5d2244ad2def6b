// The rewrite of parameter lists from the service's entries: a library part's own list,
// with the block of Kordela parameters that follows its product URL, and a placed element's
// copy of it.
#pragma once

#include "UpdateData.hpp"

#include <functional>
#include <string>
#include <vector>

// Told once per entry of a type that has no rule, with that type.
using UnknownTypeReport = std::function<void(const std::string& type)>;

// Fills one record; the fields it does not name stay as they were.
void AddParameter(API_AddParType* record, short index, API_AddParID type, unsigned short flags, const char* name,
                  const char* description, double value, const char* textValue, bool utf8);

// Drops the parameters the service calls obsolete, then either refreshes the parameters in
// place (nothing missing) or rebuilds the block after the product URL. Every record keeps
// its position as its index; records that leave the list release their array cells.
void RewriteLibPartParameters(std::vector<API_AddParType>& params, const UpdateEntries& entries,
                              const UnknownTypeReport& report);

// Carries descriptions, values and flags into every record of a placed element's list that
// an entry names; types and positions stay.
void UpdateInstanceParameters(API_AddParType* params, size_t count, const UpdateEntries& entries,
                              const UnknownTypeReport& report);
