// The add-on linked into the test, its palette opened in the simulated host against a local
// catalogue service of its own, pages played by script.
#pragma once

#include "StaticAddOnFixture.hpp"

#include "DevHost/ScriptedPages.hpp"
#include "Folders.hpp"
#include "HostServices.hpp"
#include "MainObserver.hpp"
#include "LocalService.hpp"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace PaletteServiceKeys {
constexpr const char* ThreeMails = "3f2504e0-4f89-11d3-9a0c-0305e82c3301";
constexpr const char* ManyMails = "9B1DEB4D-3B7D-4BAD-9BDD-2B0D7B3DCB6D";
}  // namespace PaletteServiceKeys

class PaletteServiceFixture : public StaticAddOnFixture {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(service.Running());
        ::setenv("KORDELA_SERVICE_ORIGIN", service.Origin().c_str(), 1);
        StaticAddOnFixture::SetUp();
        StoreSetting("APIKey", PaletteServiceKeys::ThreeMails);
    }

    void TearDown() override
    {
        StaticAddOnFixture::TearDown();
        ::unsetenv("KORDELA_SERVICE_ORIGIN");
    }

    size_t RequestCount(const std::string& path) const
    {
        size_t count = 0;
        for (const auto& entry : service.Log())
            count += entry.value("path", "") == path ? 1 : 0;
        return count;
    }

    // The names of the files in the add-on's temporary folder.
    static std::vector<std::string> TemporaryFiles()
    {
        char folder[TempPathSize] = {};
        GetTempPath(TempPathSize, folder);
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        return names;
    }

    static std::string TemporaryFolder()
    {
        char folder[TempPathSize] = {};
        GetTempPath(TempPathSize, folder);
        return folder;
    }

    // The self-update check of the open palette, as its opening runs it.
    static GSErrCode ObserverCheck() { return mainObserver->CheckForSelfUpdate(AddOnVersion); }

    // Pages play their scripts whenever a dialog or a browser window of the add-on waits.
    void PlayPagesInWindows()
    {
        host->modalDriver = [this](short dialogId) {
            if (DGHost::IsOpen(dialogId))
                pages.RunPending();
        };
        pages.userDriver = [this](NSWindow& window) {
            if (!window.isClosed())
                pages.RunPending();
        };
    }

    void PublishVersion(const std::string& version)
    {
        nlohmann::json catalogue = service.Catalogue();
        catalogue["publishedVersions"][std::to_string(KORDELA_HOST_VERSION)] = version;
        ASSERT_TRUE(service.SetCatalogue(catalogue));
    }

    static std::string VersionFilePath()
    {
        return "/kordela_data/documents/Apps/versionMac" + std::to_string(KORDELA_HOST_VERSION) + ".txt";
    }

    static std::string InstallerFile()
    {
        return TemporaryFolder() + "/Kordela-ArchiCAD" + std::to_string(KORDELA_HOST_VERSION) + ".dmg";
    }

    static constexpr const char* InstallerPath = "/kordela_data/documents/Apps/Kordela.dmg";

    size_t Offers() const { return CountLines("A newer version of the Kordela add-on is available."); }

    // Requests for manufacturers' logos since the last reset.
    size_t LogoRequests() const
    {
        size_t logos = 0;
        for (const auto& entry : service.Log())
            logos += entry.value("path", "").rfind("/logos/", 0) == 0 ? 1 : 0;
        return logos;
    }

    // The catalogue site's address of a page, as the service serves it.
    std::string Site(const std::string& pathAndQuery) const { return service.Origin() + pathAndQuery; }

    kordela::test::LocalService service {kordela::test::LocalService::Options::Quiet()};
    DevHost::ScriptedPages pages;
};
