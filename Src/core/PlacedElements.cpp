#include "PlacedElements.hpp"

std::optional<GS::Array<API_Guid>> SelectedElements()
{
    API_SelectionInfo info {};
    GS::Array<API_Neig> selection;
    const GSErrCode err = ACAPI_Selection_Get(&info, &selection, true);
    if (err != NoError && err != ErrCode::NoSelection)
        return std::nullopt;
    GS::Array<API_Guid> selected;
    if (info.typeID != API_SelEmpty)
        for (const API_Neig& item : selection)
            selected.Push(item.guid);
    return selected;
}

GS::Array<API_Guid> PlacedKordelaElements()
{
    GS::Array<API_Guid> placed;
    for (API_ElemTypeID type : {API_ObjectID, API_LampID, API_WindowID, API_DoorID, API_SkylightID}) {
        GS::Array<API_Guid> ofType;
        if (ACAPI_Element_GetElemList(type, &ofType) == NoError)
            for (const API_Guid& guid : ofType)
                placed.Push(guid);
    }
    return placed;
}
