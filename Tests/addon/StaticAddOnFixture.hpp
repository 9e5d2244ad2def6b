// The add-on linked into the test program, so that tests can reach its palette.
#pragma once

#include "HostFixture.hpp"
#include "Kordela.hpp"
#include "MainPalette.hpp"

extern "C" GSErrCode GetExportedFuncAddrs(API_AddOnExports* exports);
extern "C" GSErrCode SetImportedFuncAddrs(const API_HostTable* table, size_t tableSize);

class StaticAddOnFixture : public HostFixture {
protected:
    void StartAddOn()
    {
        ASSERT_EQ(host->Attach(GetExportedFuncAddrs, SetImportedFuncAddrs, KORDELA_RESOURCES_DIR, "add-on"), "");
        host->Start();
    }

    void OpenPalette()
    {
        StartAddOn();
        ASSERT_EQ(host->SendMenuCommand(32500), "");
        ASSERT_NE(mainPalette, nullptr);
    }

    // Shows the first n manufacturer buttons, as the featured manufacturers would.
    static void ShowManufacturers(int n)
    {
        for (int i = 0; i < n; ++i)
            mainPalette->customButtons[static_cast<size_t>(i)]->Show();
        if (n > 0)
            mainPalette->separator13.Show();
    }

    static DGHost::ItemInfo Item(short item) { return Palette()->items.at(static_cast<size_t>(item) - 1); }
    static int Row(short item) { return (Item(item).y - 1) / 45; }

    size_t ProgrammaticResizes() const
    {
        size_t count = 0;
        for (const auto& line : host->TranscriptLines())
            count += line.rfind("palette 32600 size ", 0) == 0 && line.find("(user)") == std::string::npos ? 1 : 0;
        return count;
    }
};
