// A command the add-on offers to the host's developer tools: the product GUID of the
// selected element's product URL, or of a URL given as the argument.
#include "UrlToGuidHandler.hpp"

#include "ACAPI.hpp"
#include "CH.hpp"

#include <cstring>

namespace {

GS::UniString SelectedProductUrl()
{
    API_SelectionInfo info {};
    GS::Array<API_Neig> selection;
    if (ACAPI_Selection_Get(&info, &selection, false) != NoError || selection.IsEmpty())
        return {};
    API_ElementMemo memo {};
    if (ACAPI_Element_GetMemo(selection[0].guid, &memo, APIMemoMask_All) != NoError)
        return {};
    GS::UniString url;
    const size_t count = memo.params != nullptr ? BMhGetSize(reinterpret_cast<GSHandle>(memo.params)) / sizeof(API_AddParType) : 0;
    for (size_t i = 0; i < count; ++i) {
        const API_AddParType& param = (*memo.params)[i];
        const std::string name(param.name, strnlen(param.name, sizeof param.name));
        if (param.typeID == APIParT_CString && CHEqualCStrings(name.c_str(), "KD_prodatUrl")) {
            size_t length = 0;
            while (length < API_UAddParStrLen && param.value.uStr[length] != 0)
                ++length;
            url = GS::UniString(std::u16string(param.value.uStr, length));
        }
    }
    ACAPI_DisposeElemMemoHdls(&memo);
    return url;
}

GSErrCode LookupGuid(const char* argument, GS::UniString* result)
{
    const GS::UniString url = argument != nullptr && *argument != '\0' ? GS::UniString(argument) : SelectedProductUrl();
    if (url.IsEmpty())
        return ErrCode::General;
    const GS::UniString guid = UrlToGuidHandler::getInstance()[url];
    if (result != nullptr)
        *result = guid;
    return guid.IsEmpty() ? ErrCode::NotFound : NoError;
}

}  // namespace

void InstallGuidLookupCommand()
{
    ACAPI_Install_ModulCommandHandler(LookupSelectedGuidCommandId, LookupGuid);
}
