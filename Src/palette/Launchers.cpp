// The palette's page launchers: the catalogue pages behind the palette's buttons, the two
// that read the selected element first, and the hand-over of a picked product to the
// installation.
#include "Launchers.hpp"
#include "MainObserver.hpp"

#include "APIKey.hpp"
#include "BM.hpp"
#include "BrowserDialog.hpp"
#include "CH.hpp"
#include "DG.hpp"
#include "DownloadObject.hpp"
#include "Endpoints.hpp"
#include "FooWrapper.hpp"
#include "HostServices.hpp"
#include "HostVersion.hpp"
#include "LibPart.hpp"
#include "Messages.hpp"
#include "UrlToGuidHandler.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

using namespace Messages;

constexpr size_t ParameterTextSize = 256;
constexpr const char* BrowserInitError = "Error initializing the browser component.";
constexpr const char* UnsupportedType = "You have selected an unsopported file type.";

std::string SiteAddress(const char* path)
{
    return Endpoints::Address(Endpoints::Scheme::Https, Endpoints::SiteHost, path);
}

// Opens the page and installs what it hands over. The opener only fills the buffers; this
// is the one place a hand-over is installed.
void OpenAndInstall(const char* address)
{
    const PageDownload download = RunBrowserDialog(address, true, 0);
    if (!download.Requested())
        return;
    std::vector<char> url(BrowserResultSize, '\0');
    std::vector<char> fileName(BrowserResultSize, '\0');
    std::snprintf(url.data(), url.size(), "%s", download.fileUrl.c_str());
    std::snprintf(fileName.data(), fileName.size(), "%s", download.fileName.c_str());
    DownloadObject(url.data(), fileName.data());
}

// The pattern of the simple launchers: the page behind the auto-logon address, then the
// installation of what it hands over.
int LaunchWrapped(const std::string& pageAddress)
{
    const auto address = UrlGenerator(pageAddress.c_str());
    if (!address) {
        ReportAlert(BrowserInitError);
        return ErrCode::General;
    }
    OpenAndInstall(address.get());
    return NoError;
}

// A parameter's text as the launchers keep it: at most 255 bytes.
std::string ParameterText(const API_AddParType& param)
{
    size_t length = 0;
    while (length < API_UAddParStrLen && param.value.uStr[length] != 0)
        ++length;
    const std::string text = GS::UniString(std::u16string(param.value.uStr, length)).ToCStr().Get();
    return text.substr(0, ParameterTextSize - 1);
}

std::string ParameterName(const API_AddParType& param)
{
    return std::string(param.name, strnlen(param.name, sizeof param.name));
}

// The memo's parameter list, released with the memo.
class ElementMemo {
public:
    ElementMemo() = default;
    ~ElementMemo() { ACAPI_DisposeElemMemoHdls(&memo_); }
    ElementMemo(const ElementMemo&) = delete;
    ElementMemo& operator=(const ElementMemo&) = delete;

    GSErrCode Read(const API_Guid& guid) { return ACAPI_Element_GetMemo(guid, &memo_, APIMemoMask_All); }
    size_t Count() const
    {
        return memo_.params != nullptr ? BMhGetSize(reinterpret_cast<GSHandle>(memo_.params)) / sizeof(API_AddParType)
                                       : 0;
    }
    const API_AddParType& operator[](size_t i) const { return (*memo_.params)[i]; }

private:
    API_ElementMemo memo_ {};
};

// What the two selection launchers learn from the selected element.
struct SelectedProduct {
    bool proceed = false;  // false: the launcher ends here (the user has been told, if at all)
    std::string productUrl;
    std::string productGuid;
    std::string cloudList;
    API_Guid guid {};
    bool found = false;  // one editable item whose memo could be read
};

void ReportLocString(short index)
{
    ReportAlert(LocString(List, index).c_str());
}

void AlertNoProductData()
{
    DGAlert(-3, GS::UniString(LocString(List, AlertTitle)), GS::UniString(LocString(List, NoProductData)),
            GS::UniString(), GS::UniString(LocString(List, AlertButton)), GS::UniString(), GS::UniString());
}

// Reads the one selected editable element. With `wholeList` every parameter is looked at
// and a later one of the same name wins; otherwise the first product URL ends the scan.
SelectedProduct ReadSelection(bool wholeList)
{
    SelectedProduct product;
    API_SelectionInfo info {};
    GS::Array<API_Neig> items;
    const GSErrCode err = ACAPI_Selection_Get(&info, &items, true);
    if (err != NoError && err != ErrCode::NoSelection)
        return product;
    if (info.typeID == API_SelEmpty) {
        ReportLocString(NothingSelected);
        return product;
    }
    // The neighbour list holds only the editable items; the count is the whole selection's.
    if (info.sel_nElem > 1 || items.GetSize() > 1) {
        ReportLocString(SeveralSelected);
        return product;
    }
    for (const API_Neig& item : items) {
        if (!ACAPI_Element_Filter(item.guid, APIFilt_IsEditable))
            continue;
        ElementMemo memo;
        if (memo.Read(item.guid) != NoError)
            break;
        product.guid = item.guid;
        product.found = true;
        for (size_t i = 0; i < memo.Count(); ++i) {
            const API_AddParType& param = memo[i];
            const std::string name = ParameterName(param);
            if (CHEqualCStrings(name.c_str(), "KD_prodaturl")) {
                product.productUrl = ParameterText(param);
                if (!wholeList)
                    break;
            } else if (wholeList && CHEqualCStrings(name.c_str(), "KD_productguid")) {
                product.productGuid = ParameterText(param);
            } else if (wholeList && CHEqualCStrings(name.c_str(), "KDPC_HNDL")) {
                product.cloudList += CloudListText(param);
            }
        }
    }
    product.proceed = true;
    return product;
}

}  // namespace

std::string CloudListText(const API_AddParType& cloudArray)
{
    std::string list;
    const int32_t rows = cloudArray.dim1;
    const int32_t columns = cloudArray.dim2;
    if (cloudArray.value.array == nullptr || rows <= 0 || columns <= 0)
        return list;
    const size_t cells = BMhGetSize(cloudArray.value.array) / sizeof(double);
    const auto* values = reinterpret_cast<const double*>(*cloudArray.value.array);
    for (int32_t k = 0; k < rows; ++k) {
        const size_t at = static_cast<size_t>(k) * static_cast<size_t>(columns);
        if (at >= cells)
            break;
        const double id = values[at];
        // A row without a second column carries no linked flag: not linked.
        const double linked = columns > 1 && at + 1 < cells ? values[at + 1] : 0.0;
        const long long cloudId =
            std::isfinite(id) ? static_cast<long long>(std::clamp(id, -2147483648.0, 2147483647.0)) : 0;
        char entry[160] = {};
        std::snprintf(entry, sizeof entry, "%%26addedClouds[%d].Id=%lld%%26addedClouds[%d].IsLinked=%s", k, cloudId, k,
                      linked < 0.5 ? "false" : "true");
        list += entry;
    }
    return list;
}

int MainObserver::LaunchSiteForArchiCADHandler()
{
    return LaunchWrapped(SiteAddress("/Product"));
}

int MainObserver::LaunchSiteWithVelmailHandler()
{
    return LaunchWrapped(SiteAddress("/velmail"));
}

int MainObserver::LaunchSiteWithHelpHandler()
{
    return LaunchWrapped(Endpoints::Address(Endpoints::Scheme::Https, Endpoints::InfoHost, "/archicad-help"));
}

int MainObserver::LaunchSiteHandler()
{
    return LaunchWrapped(SiteAddress("/"));
}

int MainObserver::LaunchManufacturerSiteHandler(char* url)
{
    // The stored address is already the auto-logon address; a button whose address could not
    // be made has none.
    if (url == nullptr || *url == '\0') {
        ReportAlert(BrowserInitError);
        return NoError;
    }
    OpenAndInstall(url);
    return NoError;
}

int MainObserver::LaunchSiteWithNewsHandler()
{
    GetCheckedAPIKey();
    const std::string address = Endpoints::Address(Endpoints::Scheme::Https, Endpoints::InfoHost, "/press-room");
    RunBrowserDialog(address.c_str(), false, 0);
    return NoError;
}

int MainObserver::LaunchSiteForIFC()
{
    // Hosts before 21 reach the IFC pages over plain http.
    const Endpoints::Scheme scheme = Endpoints::LegacyHttpScheme;
    const std::string page = Endpoints::Address(scheme, Endpoints::SiteHost, "/ifc/ifc-landing-page.html");
    const auto address = UrlGenerator(page.c_str());
    if (!address) {
        ReportAlert(BrowserInitError);
        return ErrCode::General;
    }
    FooWrapper fr;
    fr.bar(address.get());
    return NoError;
}

int MainObserver::LaunchSiteWithObjectHandler()
{
    const SelectedProduct product = ReadSelection(false);
    if (!product.proceed)
        return NoError;
    if (product.productUrl.empty()) {
        AlertNoProductData();
        return NoError;
    }
    // The product's own page, as it stands: no auto-logon wrapping.
    OpenAndInstall(("https://" + product.productUrl).c_str());
    return NoError;
}

int MainObserver::LaunchKDPCSelector()
{
    const SelectedProduct product = ReadSelection(true);
    if (!product.proceed)
        return NoError;
    int32_t libPartIndex = 0;
    if (product.found) {
        API_Element element {};
        element.header.guid = product.guid;
        ACAPI_Element_Get(&element);
        libPartIndex = AC::LibPartIndexOf(element, -1);
        if (libPartIndex < 0) {
            ReportAlert(UnsupportedType);
            return NoError;
        }
    }
    if (product.productUrl.empty()) {
        AlertNoProductData();
        return NoError;
    }

    std::string guid = product.productGuid;
    if (guid.empty())
        guid = UrlToGuidHandler::getInstance()[GS::UniString(product.productUrl.c_str())].ToUTF8();
    if (guid.empty())
        return NoError;

    const std::string page = SiteAddress("/KDPC/Product?productGuid=") + guid + product.cloudList;
    const auto address = UrlGenerator(page.c_str());
    if (!address) {
        ReportAlert(BrowserInitError);
        return ErrCode::General;
    }
    RunBrowserDialog(address.get(), false, libPartIndex);
    return NoError;
}
