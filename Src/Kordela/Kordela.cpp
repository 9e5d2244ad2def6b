#include "Kordela.hpp"

#include "BridgeFunctions.hpp"
#include "HostServices.hpp"
#include "HostVersion.hpp"
#include "MainObserver.hpp"
#include "MainPalette.hpp"
#include "Messages.hpp"
#include "RS.hpp"
#include "SettingsDialog.hpp"
#include "SettingsManager.hpp"

#include <cstdlib>

MainPalette* mainPalette = nullptr;
MainObserver* mainObserver = nullptr;
int32_t firstRun = 0;

namespace {

constexpr short MenuResId = 32500;
constexpr int32_t MenuPosition = 12;
constexpr short HelpLocationKey = 1;
constexpr int32_t ResetAndQuitEvents = APINotify_NewAndReset | APINotify_Quit;

// The layers below reach the bridge dispatch and the settings dialog only through what is
// registered here, before the host calls any entry point.
[[maybe_unused]] const bool upwardCallsRegistered = [] {
    RegisterBridgeDispatch();
    RegisterSettingsDialog();
    return true;
}();

SettingsManager& KordelaSettings()
{
    SettingsManager& settings = SettingsManager::GetInstance();
    settings.SetDomain(Setting::Domain);
    return settings;
}

// Makes the palette and its observer; answers false when the palette cannot be built.
bool CreatePalette()
{
    try {
#if KORDELA_PASSES_RESOURCE_MODULE
        const GSResModule module = ACAPI_GetOwnResModule();
        auto palette = std::make_unique<MainPalette>(module, PaletteResId, module);
#else
        auto palette = std::make_unique<MainPalette>(PaletteResId);
#endif
        mainPalette = palette.release();  // from here on the palette's garbage collector owns it
        mainObserver = new MainObserver(&mainPalette);
        return true;
    } catch (...) {
        mainPalette = nullptr;
        ReportAlert("The Kordela palette could not be created.");
        return false;
    }
}

}  // namespace

API_AddonType CheckEnvironment(API_EnvirParams* envir)
{
#if KORDELA_REPORTS_UNI_STRINGS
    RSGetIndString(&envir->addOnInfo.name, AddOnInfo::List, AddOnInfo::Name, ACAPI_GetOwnResModule());
    RSGetIndString(&envir->addOnInfo.description, AddOnInfo::List, AddOnInfo::Description, ACAPI_GetOwnResModule());
#else
    envir->addOnInfo.name = GS::String(LocString(AddOnInfo::List, AddOnInfo::Name));
    envir->addOnInfo.description = GS::String(LocString(AddOnInfo::List, AddOnInfo::Description));
#endif
    return APIAddon_Preload;
}

GSErrCode RegisterInterface()
{
    return ACAPI_Register_Menu(MenuResId, MenuPrompt::List, MenuPosition, 0);
}

GSErrCode Initialize()
{
    GSErrCode err = ACAPI_Install_MenuHandler(MenuResId, CommandHandler);
    if (err == NoError)
        err = ACAPI_Notify_CatchProjectEvent(APINotify_All, APIEventHandler);

    SettingsManager& settings = KordelaSettings();
    const auto firstRunText = settings.GetStringValue(Setting::FirstRun, "1", true);
    const std::string defaultFolder = DefaultDownloadFolderPath();
    settings.GetStringValue(Setting::DefaultDownloadFolder, defaultFolder.c_str(), true);
    settings.GetStringValue(Setting::AddToEmbedded, "1", true);

    const int state = std::atoi(firstRunText.get());
    firstRun = state == 2 || state == 1 ? state : 0;

    IO::Location helpFolder;
    if (GetSpecialFolder(SpecialFolder::Help, &helpFolder) == NoError)
        DG::RegisterAdditionalHelpLocation(HelpLocationKey, HelpLocationKey, helpFolder);
    return err;
}

GSErrCode FreeData()
{
    ACAPI_Notify_CatchProjectEvent(ResetAndQuitEvents, nullptr);
    if (mainPalette != nullptr) {
        mainPalette->Hide();
        mainPalette->SendCloseRequest();
    }
    ACAPI_UnregisterModelessWindow(PaletteResId);
    DG::UnregisterAdditionalHelpLocation(HelpLocationKey, HelpLocationKey);
    return NoError;
}

GSErrCode CommandHandler(const API_MenuParams* menuParams)
{
    if (menuParams != nullptr && menuParams->menuItemRef.menuResID == MenuResId)
        OpenClosePalette();
    return NoError;
}

GSErrCode APIEventHandler(API_NotifyEventID notifID, int32_t)
{
    switch (notifID) {
    case APINotify_New:
        if (mainPalette != nullptr)
            mainPalette->Show(-32768);
        break;
    case APINotify_NewAndReset:
    case APINotify_Quit:
        if (mainPalette != nullptr) {
            mainPalette->hostCloseMark = true;
            mainPalette->Hide();
            mainPalette->SendCloseRequest();
        }
        break;
    case APINotify_ChangeLibrary:
        if (firstRun > 0 && mainPalette == nullptr)
            OpenClosePalette();
        break;
    default: break;
    }
    return NoError;
}

void OpenClosePalette()
{
    if (mainPalette != nullptr) {
        if (mainPalette->IsVisible()) {
            mainPalette->Hide();
            KordelaSettings().SetStringValue(Setting::FirstRun, "0");
        } else {
            mainPalette->Show(-32768);
            // The start-up checks of a first showing may have disposed the palette.
            if (mainPalette != nullptr) {
                mainPalette->DisableItems();
                mainPalette->EnableItems();
            }
            KordelaSettings().SetStringValue(Setting::FirstRun, "2");
        }
        return;
    }

    if (!CreatePalette())
        return;
    mainPalette->Show(-32768);

    // The first opening uses up the first-run state however its start-up checks ended; a
    // palette they disposed (an exception, the project closed meanwhile) has nothing to size.
    if (firstRun == 1) {
        if (mainPalette != nullptr) {
            DGSetDialogSize(PaletteResId, 0, 100, 42, 1, 1);
            mainPalette->Resize(1000, 0, 1, false);
        }
        firstRun = 0;
    }
}
