// The modal settings dialog 32606: the API key, the download folder and whether downloads
// go into the project's embedded library. Nothing is stored before a successful OK.
#include "SettingsDialog.hpp"

#include "APIKey.hpp"

#include "BrowserDialog.hpp"
#include "DG.hpp"
#include "Endpoints.hpp"
#include "FooWrapper.hpp"
#include "HostServices.hpp"
#include "HostVersion.hpp"
#include "SettingsManager.hpp"

#include <array>
#include <string>

namespace {

constexpr short SettingsDialogId = 32606;

enum SettingsItem : short {
    OkButton = 1,
    CancelButton = 2,
    KeyEdit = 5,
    SiteButton = 7,
    PreferencesButton = 9,
    EmbeddedCheck = 12,
    FolderText = 14,
    FolderButton = 15,
};

constexpr const char* InvalidKeyMessage =
    "Invalid key format!\nThe user identification key should have a format like:\n12345678-1234-1234-1234-1234567890ab";

// The hosts 19 and 20 builds open the settings pages over plain http.
constexpr Endpoints::Scheme SettingsPageScheme =
    HostOpensSettingsOverHttp ? Endpoints::Scheme::Http : Endpoints::Scheme::Https;

std::string StoredDownloadFolder()
{
    SettingsManager& settings = SettingsManager::GetInstance();
    settings.SetDomain(Setting::Domain);
    const std::string fallback = DefaultDownloadFolderPath();
    return settings.GetStringValue(Setting::DefaultDownloadFolder, fallback.c_str(), true).get();
}

#if KORDELA_MODERN_WEB_VIEW
// Browser dialog 32590 for a bare address: the user data points at the address pointer.
short YosemiteBrowser_Handler(short message, short dialogId, short item, long long userData, long long)
{
    static FooWrapper fr;
    if (message != DG_MSG_INIT)
        return AnswerBrowserDialog(message, dialogId, item);
    NSWindow* window = PrepareBrowserWindow(dialogId);
    if (const char* const* address = reinterpret_cast<const char* const*>(userData);
        address != nullptr && *address != nullptr) {
        fr.bar(window, *address);
        fr.loadRequest(*address);
    }
    return 0;
}
#endif

void OpenSettingsPage(const char* path)
{
    std::array<char, BrowserResultSize> url {};
    const std::string address = Endpoints::Address(SettingsPageScheme, Endpoints::SiteHost, path);
    std::snprintf(url.data(), url.size(), "%s", address.c_str());
#if !KORDELA_MODERN_WEB_VIEW
    FooWrapper fr;
    fr.bar(url.data());
#else
    char* record = url.data();
    RunBrowserDialogWith(YosemiteBrowser_Handler, reinterpret_cast<long long>(&record));
#endif
}

void InitialiseItems(short dialogId)
{
    SettingsManager& settings = SettingsManager::GetInstance();
    settings.SetDomain(Setting::Domain);
    const auto key = settings.GetStringValue(Setting::APIKey, APIKeyPlaceholder, true);
    DGSetItemText(dialogId, KeyEdit, GS::UniString(key.get()));
    DGSetItemText(dialogId, FolderText, GS::UniString(StoredDownloadFolder()));
    settings.SetDomain(Setting::Domain);
    const auto embedded = settings.GetStringValue(Setting::AddToEmbedded, "1", true);
    DGSetItemValLong(dialogId, EmbeddedCheck, std::string(embedded.get()) == "1" ? 1 : 0);
}

short ClickOk(short dialogId)
{
    const std::string typed = DGGetItemText(dialogId, KeyEdit).ToUTF8();
    char key[APIKeyLength + 1] = {};
    trimwhitespace(key, sizeof key, typed.c_str());
    if (!IsValidAPIKey(key)) {
        ReportAlert(InvalidKeyMessage);
        return 0;
    }
    SettingsManager& settings = SettingsManager::GetInstance();
    settings.SetDomain(Setting::Domain);
    settings.SetStringValue(Setting::APIKey, key);
    settings.SetStringValue(Setting::DefaultDownloadFolder, DGGetItemText(dialogId, FolderText).ToUTF8().c_str());
    settings.SetStringValue(Setting::AddToEmbedded, DGGetItemValLong(dialogId, EmbeddedCheck) != 0 ? "1" : "0");
    return OkButton;
}

void ChooseFolder(short dialogId)
{
    // The chooser starts from the stored folder, not from an unconfirmed choice.
    const std::string stored = StoredDownloadFolder();
    DG::FolderDialog dialog;
    dialog.SetTitle(GS::UniString("Select default download folder"));
    dialog.SetFolder(IO::Location(stored.c_str()));
    if (dialog.Invoke())
        DGSetItemText(dialogId, FolderText, GS::UniString(dialog.GetFolder().ToUTF8POSIXPath()));
}

}  // namespace

short Dialog_Handler(short message, short dialogId, short item, long long, long long)
{
    try {
        switch (message) {
        case DG_MSG_INIT: InitialiseItems(dialogId); return 0;
        case DG_MSG_CLOSE: return item;
        case DG_MSG_CLICK:
            switch (item) {
            case OkButton: return ClickOk(dialogId);
            case CancelButton: return CancelButton;
            case SiteButton: OpenSettingsPage(""); return 0;
            case PreferencesButton: OpenSettingsPage("/Account/UserPreference"); return 0;
            case FolderButton: ChooseFolder(dialogId); return 0;
            default: return 0;
            }
        default: return 0;
        }
    } catch (...) {
        // Nothing may escape into the host's dialog loop; the dialog stays as it is.
        return 0;
    }
}

void OpenUserSettings()
{
#if KORDELA_PASSES_RESOURCE_MODULE
    const GSResModule module = ACAPI_GetOwnResModule();
    DGModalDialog(module, SettingsDialogId, module, Dialog_Handler, 0);
#else
    OwnResModuleScope scope;
    DGModalDialog(SettingsDialogId, Dialog_Handler, 0);
#endif
}

void RegisterSettingsDialog()
{
    RegisterSettingsOpener(OpenUserSettings);
}
