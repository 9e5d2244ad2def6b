// The service query of an object update: the request for the chosen products and the
// reading of the answer into one record per product.
#pragma once

#include "UpdateData.hpp"

#include <functional>
#include <string>

class XmlAnswer;

// The request for `products`, with `apiKey`; every value is escaped as attribute text.
std::string BuildUpdateRequest(const std::string& apiKey, const GS::Array<GS::UniString>& products);

// Reads the answer file; a block is kept when it names a requested product that `table`
// does not hold yet. Other blocks are told to `report` as one line each.
void ReadUpdateAnswer(const char* path, const GS::Array<GS::UniString>& requested, UpdateDataTable* table,
                      const std::function<void(const std::string&)>& report);
void ReadUpdateAnswer(XmlAnswer& reader, const GS::Array<GS::UniString>& requested, UpdateDataTable* table,
                      const std::function<void(const std::string&)>& report);
