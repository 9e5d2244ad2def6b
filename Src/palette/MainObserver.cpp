#include "MainObserver.hpp"

#include "APIKey.hpp"
#include "Endpoints.hpp"
#include "Foundation.hpp"
#include "HostServices.hpp"
#include "HostVersion.hpp"
#include "KDPCUpdateManager.hpp"
#include "MainPalette.hpp"
#include "Messages.hpp"
#include "PaletteLayout.hpp"
#include "SettingsDialog.hpp"
#include "SettingsManager.hpp"
#include "UpdateManager.hpp"

#include <cstdio>
#include <string>

namespace {

constexpr short MaxMailCount = 10;
constexpr const char* CatalogueUnreachable =
    "The Kordela catalogue could not be reached, so the unread-mail count, the featured manufacturers or their logos "
    "may be missing. They are asked for again the next time the palette opens.";

short DialogHandler(short, short, short, long long, long long)
{
    return 0;
}

void SetStartupProgress(long value, bool redraw)
{
    DGSetItemValLong(StartupProgressDialogId, StartupProgressItem, value);
    if (redraw)
        DGRedrawItem(StartupProgressDialogId, StartupProgressItem);
}

void OpenStartupProgress()
{
#if KORDELA_PASSES_RESOURCE_MODULE
    const GSResModule module = ACAPI_GetOwnResModule();
    DGModelessInit(module, StartupProgressDialogId, module, DialogHandler, 0, 1);
#else
    OwnResModuleScope scope;
    DGModelessInit(StartupProgressDialogId, DialogHandler, 0, 1);
#endif
}

void CloseStartupProgressIfOpen()
{
    if (DGIsDialogOpen(StartupProgressDialogId))
        DGModelessClose(StartupProgressDialogId);
}

// The start-up progress window for as long as the start-up checks run: it closes however they
// end, also when the project's closing took the palette away meanwhile.
class StartupProgressWindow {
public:
    StartupProgressWindow() { OpenStartupProgress(); }
    ~StartupProgressWindow() { CloseStartupProgressIfOpen(); }
    StartupProgressWindow(const StartupProgressWindow&) = delete;
    StartupProgressWindow& operator=(const StartupProgressWindow&) = delete;
};

void StoreFirstRun(const char* value)
{
    SettingsManager& settings = SettingsManager::GetInstance();
    settings.SetDomain(Setting::Domain);
    settings.SetStringValue(Setting::FirstRun, value);
}

short CountShownManufacturers(const DG::Panel& panel)
{
    short shown = 0;
    for (short i = FirstManufacturerItem; i <= panel.GetItemCount(); ++i)
        if (const DG::Item* item = panel.GetItem(i); item != nullptr && item->IsVisible())
            ++shown;
    return shown;
}

}  // namespace

MainObserver::MainObserver(MainPalette** palettePtr) : palettePtr(palettePtr)
{
    MainPalette& palette = **palettePtr;
    palette.Attach(static_cast<DG::PanelObserver&>(*this));
    AttachToAllItems(palette);
    palette.BeginEventProcessing();
    SetGarbageCollector(GS::defaultGarbageCollector);
    palette.SetDisposeHandler(*this);
}

MainObserver::~MainObserver() = default;

void MainObserver::PanelClosed(const DG::PanelCloseEvent&) {}

void MainObserver::PanelCloseRequested(const DG::PanelCloseRequestEvent&, bool* accepted)
{
    MainPalette& palette = **palettePtr;
    if (!palette.hostCloseMark) {
        *accepted = false;
        palette.Hide();
        StoreFirstRun("0");
        return;
    }
    palette.EndEventProcessing();
    palette.Dispose();  // disposes this observer too
}

void MainObserver::PanelOpened(const DG::PanelOpenEvent&)
{
    MainPalette& palette = **palettePtr;
    const PaletteWatch watch(palettePtr);

    const StartupProgressWindow progressWindow;
    SetStartupProgress(1, true);

    const GSErrCode selfUpdate = CheckForSelfUpdate(AddOnVersion);
    if (watch.Gone())
        return;
    if (selfUpdate == ErrCode::NotFound) {
        DGModelessClose(StartupProgressDialogId);
        DGAlert(-1, GS::UniString(LocString(Messages::List, Messages::VersionCheckTitle)),
                GS::UniString("Version check failed, internet is not accessible!"), GS::UniString(),
                GS::UniString(LocString(Messages::List, Messages::AlertButton)), GS::UniString(), GS::UniString());
        return;
    }
    if (selfUpdate == ErrCode::Cancel) {
        DGModelessClose(StartupProgressDialogId);
        return;
    }

    // The user gets one chance to enter a key before the palette's requests need it.
    GetCheckedAPIKey();
    if (watch.Gone())
        return;

    SetStartupProgress(5, true);
    SetStartupProgress(25, true);

    try {
        palette.catalogueUnreachable = false;
        int count = 0;
        AskForNumOfMailsHandler(count);
        if (watch.Gone())
            return;
        if (count > MaxMailCount)
            count = MaxMailCount;
        palette.UpdateMailcounter(static_cast<short>(count));
        SetStartupProgress(45, false);
        palette.ClearFocus();
        SetStartupProgress(90, false);
        if (!palette.GetFeaturedManufacturers(watch))
            return;
        SetStartupProgress(100, false);
        CloseStartupProgressIfOpen();
        // One word for however many of the requests found no catalogue.
        if (palette.catalogueUnreachable)
            ReportAlert(CatalogueUnreachable);
    } catch (...) {
        const std::string message =
            std::string(
                "Kordelabrowser COM object initialization failed.\nPlease try to reinstall the Add-On with "
                "administrator rights.\n\nIf the problem still exists please contact us through ") +
            Endpoints::SupportEmail + ".";
        ReportAlert(message.c_str());
        CloseStartupProgressIfOpen();
        if (watch.Gone())
            return;
        palette.EndEventProcessing();
        palette.Dispose();  // this observer is gone from here on
    }
    StoreFirstRun("2");
}

void MainObserver::DisposeRequested(GS::DisposableObject& source)
{
    MainPalette* palette = *palettePtr;
    if (palette == nullptr || &source != static_cast<GS::DisposableObject*>(palette))
        return;
    *palettePtr = nullptr;
    Dispose();  // deletes this observer
}

void MainObserver::ButtonClicked(const DG::ButtonClickEvent& event)
{
    const PaletteWatch watch(palettePtr);
    try {
        RunButtonAction(event.GetSource());
    } catch (...) {
        // A failing action must not take the palette down; the counter refresh still runs.
    }
    if (watch.Gone())
        return;
    try {
        RefreshMailCounter();
    } catch (...) {
        // Nothing may escape into the host's event dispatch; the counter stays as it was.
    }
}

void MainObserver::RunButtonAction(const DG::Item* source)
{
    MainPalette& palette = **palettePtr;
    if (source == &palette.catalogueButton) {
        LaunchSiteForArchiCADHandler();
    } else if (source == &palette.productButton) {
        LaunchSiteWithObjectHandler();
    } else if (source == &palette.updateButton) {
        UpdateManager::getInstance().DoUpdate();
    } else if (source == &palette.cloudButton) {
        LaunchKDPCSelector();
    } else if (source == &palette.cloudUpdateButton) {
        KDPCUpdateManager::getInstance().DoUpdate();
    } else if (source == &palette.ifcButton) {
        LaunchSiteForIFC();
    } else if (source == &palette.mailButton) {
        LaunchSiteWithVelmailHandler();
    } else if (source == &palette.settingsButton) {
        OpenUserSettings();
    } else if (source == &palette.helpButton) {
        LaunchSiteWithHelpHandler();
    } else {
        for (size_t i = 0; i < palette.customButtons.size(); ++i) {
            if (source == palette.customButtons[i].get()) {
                // A button without a stored target (its address could not be made) has none.
                std::string url = i < palette.urls.GetSize() ? palette.urls[static_cast<UIndex>(i)] : std::string();
                LaunchManufacturerSiteHandler(url.empty() ? nullptr : url.data());
                break;
            }
        }
    }
}

void MainObserver::RefreshMailCounter()
{
    const PaletteWatch watch(palettePtr);
    int count = 0;
    AskForNumOfMailsHandler(count);
    if (count > MaxMailCount)
        count = MaxMailCount;
    if (MainPalette* palette = watch.Palette())
        palette->UpdateMailcounter(static_cast<short>(count));
}

void MainObserver::LayOut(const DG::Panel& panel, short width, short height)
{
    const short count = panel.GetItemCount();
    const PaletteLayout::Size separator = PaletteLayout::SeparatorSize(width);
    std::vector<PaletteLayout::Size> sizes;
    for (short i = 1; i <= count; ++i) {
        DG::Item* item = panel.GetItem(i);
        if (item != nullptr && dynamic_cast<DG::Separator*>(item) != nullptr)
            item->SetSize(static_cast<short>(separator.width), static_cast<short>(separator.height));
        sizes.push_back(item != nullptr ? PaletteLayout::Size {item->GetWidth(), item->GetHeight()}
                                        : PaletteLayout::Size {0, 0});
    }
    const auto positions = PaletteLayout::Flow(sizes, width, height);
    for (short i = 1; i <= count; ++i)
        if (DG::Item* item = panel.GetItem(i))
            item->SetPosition(static_cast<short>(positions[static_cast<size_t>(i) - 1].x),
                              static_cast<short>(positions[static_cast<size_t>(i) - 1].y));
}

void MainObserver::PanelResizing(const DG::PanelResizeEvent& event, DG::Point* growth)
{
    static short state = PaletteLayout::OneRow;
    static int counter = 0;

    DG::Panel& panel = *event.GetSource();
    const short width = panel.GetWidth();
    const short height = panel.GetHeight();
    const auto choice = PaletteLayout::Choose(CountShownManufacturers(panel), width + growth->GetX());
    growth->Set(static_cast<short>(choice.width - width), static_cast<short>(choice.height - height));

    bool changed = false;
    if (choice.layout != state) {
        state = choice.layout;
        counter = 1;
        changed = true;
    } else {
        ++counter;
    }
    if (!changed && counter > 2)
        return;

    DGSetDialogSize(PaletteResId, 0, static_cast<short>(choice.width), static_cast<short>(choice.height), 1, 1);
    if (panel.GetItemCount() > 0)
        LayOut(panel, width, height);
    panel.RedrawItems();
}

void MainObserver::PanelResized(const DG::PanelResizeEvent& event)
{
    if (event.IsUserResize())
        return;
    DG::Panel& panel = *event.GetSource();
    if (event.GetHorizontalChange() == 1000 && event.GetVerticalChange() == 0) {
        const short shown = CountShownManufacturers(panel);
        if (panel.GetWidth() >= PaletteLayout::FirstOpeningThreshold(shown))
            DGSetDialogSize(PaletteResId, 0, static_cast<short>(PaletteLayout::Extra(shown) + 444), 42, 1, 1);
    }
    DG::Point growth(0, 0);
    PanelResizing(event, &growth);
    panel.RedrawItems();
}

void MainObserver::PanelResizeExited(const DG::PanelResizeEvent& event)
{
    DG::Panel& panel = *event.GetSource();
    if (panel.GetItemCount() > 0)
        LayOut(panel, panel.GetWidth(), panel.GetHeight());
    panel.RedrawItems();
}
