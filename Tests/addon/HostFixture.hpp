// Runs the add-on in the simulated host for one test.
#pragma once

#include "DGHost.hpp"
#include "DevHost/Host.hpp"
#include "GSPrefHost.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

class HostFixture : public ::testing::Test {
protected:
    static constexpr short PaletteId = 32600;

    void SetUp() override { host = std::make_unique<DevHost::Host>(DevHost::Options {}); }
    void TearDown() override { host.reset(); }

    // Stores a setting before the add-on starts, as an earlier run would have left it.
    static void StoreSetting(const char* key, const char* value)
    {
        GSPref::RootKey* root = nullptr;
        ASSERT_EQ(GSPref::OpenRootKey(GSPref::UserRootKey, &root), NoError);
        root->SetStringValue("Kordela", key, value);
    }
    static std::string Setting(const char* key) { return GSPref::PeekValue("Kordela", key); }

    static std::optional<DGHost::DialogInfo> Palette() { return DGHost::GetDialog(PaletteId); }
    static std::string PaletteSize()
    {
        const auto palette = Palette();
        return palette ? std::to_string(palette->width) + "x" + std::to_string(palette->height) : "none";
    }
    static bool PaletteVisible()
    {
        const auto palette = Palette();
        return palette && palette->visible;
    }
    size_t CountLines(const std::string& text) const
    {
        size_t count = 0;
        for (const auto& line : host->TranscriptLines())
            count += line.find(text) != std::string::npos ? 1 : 0;
        return count;
    }

    std::unique_ptr<DevHost::Host> host;
};

// The real module, loaded as the host loads it.
class ModuleFixture : public HostFixture {
protected:
    void LoadAndStart()
    {
        ASSERT_EQ(host->Load(KORDELA_MODULE_PATH), "");
        host->Start();
    }
};
