#include "ParamList.hpp"

#include "CH.hpp"
#include "HostVersion.hpp"
#include "LibPart.hpp"

#include <climits>
#include <cmath>
#include <cstring>

namespace Cloud {

ParamList::~ParamList()
{
    if (params_ != nullptr)
        ACAPI_DisposeAddParHdl(&params_);
}

bool ParamList::Read(int libPartIndex)
{
    if (ACAPI_LibPart_GetDetails(libPartIndex, &details_) != NoError)
        return false;
    double a = 0;
    double b = 0;
    if (ACAPI_LibPart_GetParams(libPartIndex, &a, &b, &count_, &params_) != NoError)
        return false;
    details_.a = a;
    details_.b = b;
    count_ = AC::HeldParamCount(params_, count_);
    return true;
}

ParamList::WriteResult ParamList::WriteBack(int libPartIndex)
{
    API_LibPart libPart {};
    libPart.index = libPartIndex;
    if (ACAPI_LibPart_Get(&libPart) != NoError)
        return WriteResult::BuildFailed;
    GSHandle section = nullptr;
    double a = details_.a;
    double b = details_.b;
    if (ACAPI_LibPart_GetSect_ParamDef(&libPart, params_, &a, &b, &section) != NoError) {
        BMhKill(&section);
        return WriteResult::BuildFailed;
    }
    WriteResult result = WriteResult::Done;
    const API_LibPartSection sectionType {API_SectParamDef, 0};
    if (ACAPI_LibPart_SetDetails_ParamDef(&libPart, params_, &details_) != NoError)
        result = WriteResult::BuildFailed;
    else if (ACAPI_LibPart_UpdateSection(libPartIndex, &sectionType, section) != NoError)
        result = WriteResult::StoreFailed;
    BMhKill(&section);
    return result;
}

int32_t ParamList::Find(const char* name) const
{
    int32_t found = -1;
    for (int32_t i = 0; i < count_; ++i)
        if (CHEqualCStrings(ParameterNameOf((*params_)[i]).c_str(), name, CaseInsensitive))
            found = i;
    return found;
}

bool ParamList::Insert(int32_t pos, int32_t n)
{
    if (pos < 0 || pos > count_ || n < 0)
        return false;
    const size_t size = static_cast<size_t>(count_ + n) * sizeof(API_AddParType);
    if (params_ == nullptr)
        params_ = BMTypedHandle<API_AddParType>(BMhAllClear(size));
    else if (BMhSetSize(reinterpret_cast<GSHandle>(params_), size) != NoError)
        return false;
    if (params_ == nullptr)
        return false;
    API_AddParType* records = *params_;
    std::memmove(static_cast<void*>(records + pos + n), records + pos,
                 static_cast<size_t>(count_ - pos) * sizeof(API_AddParType));
    for (int32_t i = pos; i < pos + n; ++i)
        new (&records[i]) API_AddParType {};
    count_ += n;
    for (int32_t i = pos; i < count_; ++i)
        records[i].index = i;
    return true;
}

CellTable::CellTable(API_AddParType& param)
{
    if (param.typeMod != API_ParArray || param.value.array == nullptr || param.dim1 <= 0 || param.dim2 <= 0)
        return;
    const size_t held = BMhGetSize(param.value.array) / sizeof(double);
    columns_ = param.dim2;
    // Only whole rows that the handle really holds count.
    const size_t wholeRows = held / static_cast<size_t>(columns_);
    rows_ = static_cast<int32_t>(std::min<size_t>(wholeRows, static_cast<size_t>(param.dim1)));
    cells_ = reinterpret_cast<double*>(*param.value.array);
    if (rows_ == 0)
        columns_ = 0;
}

std::optional<int> CloudIdOf(double cell)
{
    const double whole = std::trunc(cell);
    if (!std::isfinite(whole) || whole < INT_MIN || whole > INT_MAX)
        return std::nullopt;
    return static_cast<int>(whole);
}

API_ElemTypeID ElementTypeOf(API_LibTypeID libType)
{
    switch (libType) {
    case APILib_WindowID: return API_WindowID;
    case APILib_DoorID: return API_DoorID;
    case APILib_LampID: return API_LampID;
    default: return API_ObjectID;
    }
}

GSErrCode RunUndoable(const char* name, const std::function<GSErrCode()>& command)
{
#if KORDELA_UNDOES_BY_COMMAND
    return ACAPI_CallUndoableCommand(GS::UniString(name), command);
#else
    // Without its session the changes would be made outside an undo step, and the close
    // would end a session this call did not open.
    if (const GSErrCode opened = ACAPI_OpenUndoableSession(GS::UniString(name)); opened != NoError)
        return opened;
    const GSErrCode result = command();
    ACAPI_CloseUndoableSession();
    return result;
#endif
}

void ForEachInstance(int libPartIndex, const std::function<InstanceChange(API_AddParType**&, int32_t&)>& change,
                     const char* ownStepName)
{
    API_LibPart libPart {};
    libPart.index = libPartIndex;
    if (ACAPI_LibPart_Get(&libPart) != NoError)
        return;
    GS::Array<API_Guid> guids;
    ACAPI_Element_GetElemList(ElementTypeOf(libPart.typeID), &guids);
    for (const API_Guid& guid : guids) {
        API_Element element {};
        element.header.guid = guid;
        if (ACAPI_Element_Get(&element) != NoError || AC::LibPartIndexOf(element, 0) != libPartIndex)
            continue;
        API_ElementMemo memo {};
        if (ACAPI_Element_GetMemo(guid, &memo, APIMemoMask_All) != NoError) {
            ACAPI_DisposeElemMemoHdls(&memo);
            continue;
        }
        int32_t count =
            memo.params != nullptr
                ? static_cast<int32_t>(BMhGetSize(reinterpret_cast<GSHandle>(memo.params)) / sizeof(API_AddParType))
                : 0;
        const InstanceChange outcome = change(memo.params, count);
        if (outcome == InstanceChange::Write) {
            if (ownStepName != nullptr)
                RunUndoable(ownStepName, [&]() { return ACAPI_Element_ChangeMemo(guid, APIMemoMask_AddPars, &memo); });
            else
                ACAPI_Element_ChangeMemo(guid, APIMemoMask_AddPars, &memo);
        }
        ACAPI_DisposeElemMemoHdls(&memo);
        if (outcome == InstanceChange::Stop)
            return;
    }
}

}  // namespace Cloud
