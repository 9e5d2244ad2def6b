// Library parts with their parameter lists, looked up by name, index or prefix, and the
// selection of the tool that places a part.
#pragma once

#include "ACAPI.hpp"

#include <string>

namespace AC {

// How many records the host's parameter list really holds: the count the host reported, or
// fewer when the list's handle is smaller, so that no reader steps past its end.
int32_t HeldParamCount(API_AddParType** params, int32_t reported);

class LibPart {
public:
    LibPart() = default;
    ~LibPart();
    LibPart(const LibPart&) = delete;
    LibPart& operator=(const LibPart&) = delete;

    // 0, or 3 when the part cannot be read or has no type.
    int Init(int index);
    bool IsValid() const { return valid; }

    // The record inside the list, or null. With several parameters of one name, the last counts.
    API_AddParType* GetParam(const char* name);
    API_AddParType* GetParam(int index);
    // Appends the index of every parameter whose name begins with `prefix`; answers 0.
    int GetParamsLike(const char* prefix, GS::Array<int>* out);
    API_LibPart GetAPILibpart() const { return libPart; }
    int GetParamCount() const { return paramCount; }

private:
    bool valid = false;
    API_LibPart libPart {};
    API_AddParType** params = nullptr;
    int32_t paramCount = 0;
    GS::HashTable<std::string, int> nameCache;  // -1 remembers a miss
};

class LibPartManager {
public:
    static LibPartManager& GetInstance();
    // A newly loaded part owned by the caller, or null.
    LibPart* GetLibpart(int index);

private:
    LibPartManager() = default;
};

// The value of an integer-like parameter; a text parameter gives its number only when
// `acceptText` is set and throws otherwise.
int GetIntParamValue(const API_AddParType& param, bool acceptText);

// The library-part index a placed window, door, skylight, object or lamp uses (from its
// opening or object data); `otherwise` for element types without one.
int32_t LibPartIndexOf(const API_Element& element, int32_t otherwise);

}  // namespace AC

// Fills `libPart` with the loaded part of the same own unique id (the lowest index wins).
GSErrCode MyACAPI_LibPart_Search(API_LibPart* libPart);

// Makes the part the default of the tool that places it and selects that tool.
bool SetToolBoxMode(API_LibPart* libPart);
