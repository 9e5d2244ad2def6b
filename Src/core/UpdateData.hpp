// What the service sends for one product of an object update: its parameters, in the order
// of the answer.
#pragma once

#include "ACAPI.hpp"
#include "GS.hpp"

#include <memory>
#include <optional>
#include <string>

struct UpdateDataEntry {
    virtual ~UpdateDataEntry() = default;
    // Each text is cut to 1023 bytes, as the answer's fixed fields always were.
    std::string variableName;
    std::string bimParameterName;
    std::string variableDescription;
    std::string variableType;
    std::string variableStyle;
    std::string variableModifier;
    std::optional<std::string> value;  // none when the answer's element was empty
    bool obsolete = false;
};

using UpdateEntries = GS::Array<std::shared_ptr<UpdateDataEntry>>;

struct UpdateData {
    virtual ~UpdateData() = default;
    UpdateEntries entries;
};

using UpdateDataTable = GS::HashTable<GS::UniString, std::shared_ptr<UpdateData>>;
using ElementsByProduct = GS::HashTable<GS::UniString, GS::Array<API_Guid>>;
using LibPartsByProduct = GS::HashTable<GS::UniString, GS::Array<int>>;
