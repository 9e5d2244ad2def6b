// Handles every event of the palette: its opening with the start-up checks, close
// requests, resizing into its four layouts, button clicks and its disposal.
#pragma once

#include "DG.hpp"
#include "GS.hpp"

class MainPalette;

class MainObserver : DG::PanelObserver,
                     public DG::ButtonItemObserver,
                     public DG::CompoundItemObserver,
                     public GS::DisposableObject,
                     public GS::DisposeHandler {
public:
    explicit MainObserver(MainPalette** palettePtr);
    ~MainObserver() override;

    void PanelClosed(const DG::PanelCloseEvent& event) override;
    void PanelCloseRequested(const DG::PanelCloseRequestEvent& event, bool* accepted) override;
    void PanelOpened(const DG::PanelOpenEvent& event) override;
    void PanelResizing(const DG::PanelResizeEvent& event, DG::Point* growth) override;
    void PanelResized(const DG::PanelResizeEvent& event) override;
    void PanelResizeExited(const DG::PanelResizeEvent& event) override;
    void ButtonClicked(const DG::ButtonClickEvent& event) override;
    void DisposeRequested(GS::DisposableObject& source) override;

    // The self-update check; answers a host error code (0x8106038B: the version file was not
    // fetched, 0x81060003: an update is being installed).
    GSErrCode CheckForSelfUpdate(const char* currentVersion);
    // The user's unread-mail count from the service (0 when it cannot be had); answers 0.
    int AskForNumOfMailsHandler(int& count);

    // Page launchers: each opens one catalogue page and installs what the page hands over.
    // They answer 0, or 0x81060001 when the auto-logon address cannot be made.
    int LaunchSiteForArchiCADHandler();
    int LaunchSiteWithObjectHandler();
    int LaunchKDPCSelector();
    int LaunchSiteForIFC();
    int LaunchSiteWithVelmailHandler();
    int LaunchSiteWithHelpHandler();
    int LaunchManufacturerSiteHandler(char* url);
    int LaunchSiteHandler();
    int LaunchSiteWithNewsHandler();

private:
    void RefreshMailCounter();
    void RunButtonAction(const DG::Item* source);
    void LayOut(const DG::Panel& panel, short width, short height);

    MainPalette** palettePtr;
};

// The start-up progress window.
constexpr short StartupProgressDialogId = 32604;
constexpr short StartupProgressItem = 2;
