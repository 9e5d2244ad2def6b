#include "MainPalette.hpp"

#include "HostServices.hpp"
#include "HostVersion.hpp"

const GS::Guid paletteGuid("{A29B9774-AD73-4BFD-A120-0D0C30E46051}");

namespace {
constexpr short MailCounterIcon = 32520;
constexpr short UpdateCounterIcon = 32540;

DG::Icon OwnIcon(short iconId)
{
#if KORDELA_PASSES_RESOURCE_MODULE
    return DG::Icon(ACAPI_GetOwnResModule(), iconId);
#else
    OwnResModuleScope scope;
    return DG::Icon(iconId);
#endif
}
}  // namespace

CustomIconButton::CustomIconButton(const DG::Panel& panel, short item) : DG::IconButton(panel, item) {}

CustomIconButton::~CustomIconButton()
{
    Detach(*this);
}

void CustomIconButton::ItemToolTipRequested(const DG::ItemHelpEvent&, DG::ToolTipText* text)
{
    if (text != nullptr)
        *text = toolTip;
}

#if KORDELA_PASSES_RESOURCE_MODULE
MainPalette::MainPalette(long long resModule, short resId, long long iconResModule)
    : DG::Palette(resModule, resId, iconResModule, paletteGuid),
#else
MainPalette::MainPalette(short resId)
    : DG::Palette(resId, paletteGuid, ACAPI_GetOwnResModule()),
#endif
      catalogueButton(GetReference(), 1),
      productButton(GetReference(), 2),
      updateButton(GetReference(), 3),
      separator4(GetReference(), 4),
      cloudButton(GetReference(), 5),
      cloudUpdateButton(GetReference(), 6),
      separator7(GetReference(), 7),
      ifcButton(GetReference(), 8),
      separator9(GetReference(), 9),
      mailButton(GetReference(), 10),
      settingsButton(GetReference(), 11),
      helpButton(GetReference(), 12),
      separator13(GetReference(), 13)
{
    for (int i = 0; i < ManufacturerButtonCount; ++i) {
        customButtons[static_cast<size_t>(i)] =
            std::make_unique<CustomIconButton>(GetReference(), static_cast<short>(FirstManufacturerItem + i));
        customButtons[static_cast<size_t>(i)]->SetVisibility(false);
    }
    separator13.Hide();
    SetGarbageCollector(GS::defaultGarbageCollector);
}

MainPalette::~MainPalette() = default;

unsigned long long MainPalette::NextSerial()
{
    static unsigned long long made = 0;
    return ++made;
}

void MainPalette::UpdateMailcounter(short count)
{
    mailButton.SetIcon(OwnIcon(static_cast<short>(MailCounterIcon + count)));
}

void MainPalette::UpdateUpdatecounter(short count)
{
    updateButton.SetIcon(OwnIcon(static_cast<short>(UpdateCounterIcon + count)));
}
