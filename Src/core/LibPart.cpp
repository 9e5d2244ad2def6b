#include "LibPart.hpp"

#include "CH.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace AC {

namespace {
// Parameter names are 32-byte fields: never read past them, even without a NUL.
std::string NameOf(const API_AddParType& param)
{
    return std::string(param.name, strnlen(param.name, sizeof param.name));
}
}  // namespace

int32_t HeldParamCount(API_AddParType** params, int32_t reported)
{
    const int32_t held =
        params != nullptr
            ? static_cast<int32_t>(BMhGetSize(reinterpret_cast<GSHandle>(params)) / sizeof(API_AddParType))
            : 0;
    return reported > held || reported < 0 ? held : reported;
}

LibPart::~LibPart()
{
    if (params != nullptr)
        ACAPI_DisposeAddParHdl(&params);
}

int LibPart::Init(int index)
{
    libPart.index = index;
    if (ACAPI_LibPart_Get(&libPart) != NoError || libPart.typeID == 0)
        return 3;
    double a = 0;
    double b = 0;
    ACAPI_LibPart_GetParams(index, &a, &b, &paramCount, &params);
    paramCount = HeldParamCount(params, paramCount);
    valid = true;
    return 0;
}

API_AddParType* LibPart::GetParam(const char* name)
{
    if (name == nullptr)
        return nullptr;
    int found = -1;
    if (const int* cached = nameCache.GetPtr(name)) {
        found = *cached;
    } else {
        for (int i = 0; i < paramCount; ++i)
            if (CHEqualCStrings(NameOf((*params)[i]).c_str(), name, CaseInsensitive))
                found = i;
        nameCache.Add(name, found);
    }
    return found >= 0 ? &(*params)[found] : nullptr;
}

API_AddParType* LibPart::GetParam(int index)
{
    return index >= 0 && index < paramCount ? &(*params)[index] : nullptr;
}

int LibPart::GetParamsLike(const char* prefix, GS::Array<int>* out)
{
    if (prefix == nullptr || out == nullptr)
        return 0;
    const size_t length = std::strlen(prefix);
    for (int i = 0; i < paramCount; ++i) {
        const std::string name = NameOf((*params)[i]);
        if (name.size() >= length && CHCompareTexts(name.c_str(), prefix, length, CaseInsensitive) == 0)
            out->Push(i);
    }
    return 0;
}

LibPartManager& LibPartManager::GetInstance()
{
    static LibPartManager instance;
    return instance;
}

LibPart* LibPartManager::GetLibpart(int index)
{
    auto part = std::make_unique<LibPart>();
    if (part->Init(index) != 0)
        return nullptr;
    return part.release();
}

int GetIntParamValue(const API_AddParType& param, bool acceptText)
{
    if (param.typeID == APIParT_CString) {
        size_t length = 0;
        while (length < API_UAddParStrLen && param.value.uStr[length] != 0)
            ++length;
        const std::string text = GS::UTF16ToUTF8(std::u16string(param.value.uStr, length));
        if (!acceptText) {
            char message[128];
            std::snprintf(message, sizeof message, "%s supposed to be an int, and it is a string",
                          NameOf(param).c_str());
            throw std::runtime_error(message);
        }
        return std::atoi(text.c_str());
    }
    return static_cast<int>(param.value.real);
}

int32_t LibPartIndexOf(const API_Element& element, int32_t otherwise)
{
    switch (element.header.typeID) {
    case API_WindowID: return element.window.openingBase.libInd;
    case API_DoorID: return element.door.openingBase.libInd;
    case API_SkylightID: return element.skylight.openingBase.libInd;
    case API_ObjectID: return element.object.libInd;
    case API_LampID: return element.lamp.libInd;
    default: return otherwise;
    }
}

}  // namespace AC

GSErrCode MyACAPI_LibPart_Search(API_LibPart* libPart)
{
    if (libPart == nullptr)
        return ErrCode::BadIndex;
    int32_t count = 0;
    if (ACAPI_LibPart_GetNum(&count) != NoError)
        return ErrCode::BadIndex;
    const std::string wanted(libPart->ownUnID, strnlen(libPart->ownUnID, sizeof libPart->ownUnID));
    for (int32_t index = 1; index <= count; ++index) {
        API_LibPart candidate {};
        candidate.index = index;
        if (ACAPI_LibPart_Get(&candidate) != NoError)
            continue;
        const std::string id(candidate.ownUnID, strnlen(candidate.ownUnID, sizeof candidate.ownUnID));
        if (CHEqualCStrings(id.c_str(), wanted.c_str(), CaseSensitive)) {
            *libPart = candidate;
            return NoError;
        }
    }
    return ErrCode::BadIndex;
}

namespace {

constexpr const char* DoorParent = "{11E85B84-8DD1-491B-A2FE-337454A91545}-{00000000-0000-0000-0000-000000000000}";
constexpr const char* WindowParent = "{4ABD0A6E-634B-4931-B3AA-9BEE01F35CDF}-{00000000-0000-0000-0000-000000000000}";
constexpr const char* SkylightParent = "{5921D56A-82F2-4253-BD84-6091E5717DC4}-{00000000-0000-0000-0000-000000000000}";
constexpr const char* LampParent = "{51A838E5-0F40-4F6D-A658-CF2845581749}-{00000000-0000-0000-0000-000000000000}";

bool IsSubtypeOf(const API_LibPart& part, const char* parent)
{
    return ACAPI_Goodies(APIAny_CheckLibPartSubtypeOfID, const_cast<char*>(part.ownUnID), const_cast<char*>(parent)) ==
           NoError;
}

API_ElemTypeID ToolOf(const API_LibPart& part)
{
    // The order matters: a part's own type wins over its ancestry, doors before windows.
    struct Rule {
        API_LibTypeID type;
        const char* parent;
        API_ElemTypeID tool;
    };
    static constexpr Rule rules[] = {{APILib_DoorID, DoorParent, API_DoorID},
                                     {APILib_WindowID, WindowParent, API_WindowID},
                                     {APILib_SkylightID, SkylightParent, API_SkylightID},
                                     {APILib_LampID, LampParent, API_LampID}};
    for (const Rule& rule : rules)
        if (part.typeID == rule.type || IsSubtypeOf(part, rule.parent))
            return rule.tool;
    return part.typeID == APILib_ObjectID ? API_ObjectID : API_ZombieElemID;
}

}  // namespace

bool SetToolBoxMode(API_LibPart* libPart)
{
    if (libPart == nullptr)
        return false;
    const API_ElemTypeID tool = ToolOf(*libPart);
    if (tool == API_ZombieElemID)
        return false;

    API_Element element {};
    element.header.typeID = tool;
    if (ACAPI_Element_GetDefaults(&element, nullptr) != NoError)
        return false;
    switch (tool) {
    case API_WindowID: element.window.openingBase.libInd = libPart->index; break;
    case API_DoorID: element.door.openingBase.libInd = libPart->index; break;
    case API_SkylightID: element.skylight.openingBase.libInd = libPart->index; break;
    case API_ObjectID: element.object.libInd = libPart->index; break;
    default: element.lamp.libInd = libPart->index; break;
    }

    API_ElementMemo memo {};
    double a = 0;
    double b = 0;
    int32_t count = 0;
    ACAPI_LibPart_GetParams(libPart->index, &a, &b, &count, &memo.params);
    API_Element mask;
    std::memset(static_cast<void*>(&mask), 0xFF, sizeof mask);
    ACAPI_Element_ChangeDefaults(&element, &memo, &mask);
    ACAPI_DisposeElemMemoHdls(&memo);

    API_ToolBoxItem item {};
    item.typeID = tool;
    item.variationID = APIVarId_Generic;
    ACAPI_Environment(APIEnv_SetToolBoxModeID, &item);
    return true;
}
