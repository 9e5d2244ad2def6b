// The add-on's floating palette: nine icon buttons and four separators, then up to ten
// buttons of featured manufacturers.
#pragma once

#include "DG.hpp"
#include "GS.hpp"
#include "HostVersion.hpp"

#include <array>
#include <memory>
#include <string>

// A manufacturer's button: its tooltip names the manufacturer.
class CustomIconButton : public DG::IconButton, public DG::ButtonItemObserver {
public:
    CustomIconButton(const DG::Panel& panel, short item);
    ~CustomIconButton() override;

    void ItemToolTipRequested(const DG::ItemHelpEvent& event, DG::ToolTipText* text) override;

    DG::ToolTipText toolTip;
};

extern const GS::Guid paletteGuid;

constexpr short PaletteResId = 32600;
constexpr short FirstManufacturerItem = 14;
constexpr int ManufacturerButtonCount = 10;

class PaletteWatch;

class MainPalette : public DG::Palette, public GS::DisposableObject {
public:
#if KORDELA_PASSES_RESOURCE_MODULE
    MainPalette(long long resModule, short resId, long long iconResModule);
#else
    explicit MainPalette(short resId);
#endif
    ~MainPalette() override;

    // Item 10 shows the unread-mail count (callers keep it within 0 to 10).
    void UpdateMailcounter(short count);
    // Item 3 shows a count of available updates.
    void UpdateUpdatecounter(short count);

    // Both ask the service and may ask for the API key on the way; `watch` watches this
    // palette. They answer false when the palette went away meanwhile: it must not be
    // touched then.
    bool GetFeaturedManufacturers(const PaletteWatch& watch);
    bool GetFavouritePrivateClouds(const PaletteWatch& watch);

    DG::IconButton catalogueButton;    // 1
    DG::IconButton productButton;      // 2
    DG::IconButton updateButton;       // 3
    DG::Separator separator4;          // 4
    DG::IconButton cloudButton;        // 5
    DG::IconButton cloudUpdateButton;  // 6
    DG::Separator separator7;          // 7
    DG::IconButton ifcButton;          // 8
    DG::Separator separator9;          // 9
    DG::IconButton mailButton;         // 10
    DG::IconButton settingsButton;     // 11
    DG::IconButton helpButton;         // 12
    DG::Separator separator13;         // 13, shown with the first manufacturer

    std::array<std::unique_ptr<CustomIconButton>, ManufacturerButtonCount> customButtons;
    GS::Array<std::string> urls;  // the page of each shown manufacturer button, in button order
    bool hostCloseMark = false;   // the host is closing the project: dispose instead of hiding
    // A request of the palette found the catalogue unreachable or silent; the start-up
    // checks tell the user once.
    bool catalogueUnreachable = false;
    // Tells this palette from a later one that may be made at the same address.
    const unsigned long long serial = NextSerial();

private:
    static unsigned long long NextSerial();
};

// A call that can open a dialog runs the host's event loop, in which the project may be
// closed: that disposes the palette and its observer, and a new palette may be made
// meanwhile. Taken before such a call, a watch says afterwards whether the palette is gone,
// touching neither of them.
class PaletteWatch {
public:
    explicit PaletteWatch(MainPalette** owner)
        : owner_(owner), palette_(*owner), serial_(palette_ != nullptr ? palette_->serial : 0)
    {}
    bool Gone() const
    {
        // The global holds a live palette or none, so a palette at the same address is
        // read safely.
        const MainPalette* now = *owner_;
        return now != palette_ || (now != nullptr && now->serial != serial_);
    }
    // The palette while it is still there, else null.
    MainPalette* Palette() const { return Gone() ? nullptr : palette_; }

private:
    MainPalette** owner_;  // the add-on's global, which outlives palette and observer
    MainPalette* palette_;
    unsigned long long serial_;
};
