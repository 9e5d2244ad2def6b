// The parts of the harness that reach the add-on linked into the test program. A separate
// object, so that programs which only load the module do not pull the add-on's code in.
#include "AddOnHarness.hpp"

#include "DownloadObject.hpp"
#include "Folders.hpp"
#include "HostServices.hpp"
#include "Kordela.hpp"
#include "MainObserver.hpp"
#include "MainPalette.hpp"
#include "ServiceRequest.hpp"

#include <algorithm>
#include <cstring>
#include <filesystem>

extern "C" GSErrCode GetExportedFuncAddrs(API_AddOnExports* exports);
extern "C" GSErrCode SetImportedFuncAddrs(const API_HostTable* table, size_t tableSize);

void AddOnHarness::AttachAddOn()
{
    // Tests shorten the linked add-on's transfer limits; the next test starts with the built ones.
    resetLinkedAddOn_ = [] { ResetTransferLimits(); };
    ASSERT_EQ(host->Attach(GetExportedFuncAddrs, SetImportedFuncAddrs, KORDELA_HARNESS_RESOURCES_DIR, "add-on"), "");
}

void AddOnHarness::StartAddOn()
{
    ASSERT_NO_FATAL_FAILURE(AttachAddOn());
    host->Start();
}

void AddOnHarness::OpenPalette()
{
    ASSERT_NO_FATAL_FAILURE(StartAddOn());
    ASSERT_EQ(host->SendMenuCommand(PaletteMenu), "");
    ASSERT_NE(mainPalette, nullptr);
}

void AddOnHarness::ShowManufacturers(int n)
{
    for (int i = 0; i < n; ++i)
        mainPalette->customButtons[static_cast<size_t>(i)]->Show();
    if (n > 0)
        mainPalette->separator13.Show();
}

GSErrCode AddOnHarness::ObserverCheck()
{
    return mainObserver->CheckForSelfUpdate(AddOnVersion);
}

std::string AddOnHarness::Embedded()
{
    GS::Array<API_LibraryInfo> libraries;
    ACAPI_Environment(APIEnv_GetLibrariesID, &libraries);
    return libraries[0].location.ToUTF8POSIXPath() + "/KordelaLibrary";
}

std::string AddOnHarness::TemporaryFolder()
{
    char folder[TempPathSize] = {};
    GetTempPath(TempPathSize, folder);
    return folder;
}

std::vector<std::string> AddOnHarness::TemporaryFiles()
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(TemporaryFolder()))
        names.push_back(entry.path().filename().string());
    return names;
}

int AddOnHarness::Install(const std::string& url, const std::string& fileName)
{
    std::vector<char> urlBuffer(1024, '\0');
    std::vector<char> nameBuffer(1024, '\0');
    std::memcpy(urlBuffer.data(), url.data(), std::min<size_t>(url.size(), 1023));
    std::memcpy(nameBuffer.data(), fileName.data(), std::min<size_t>(fileName.size(), 1023));
    return DownloadObject(urlBuffer.data(), nameBuffer.data());
}

std::string AddOnServiceHarness::InstallerFile()
{
    return TemporaryFolder() + "/Kordela-ArchiCAD" + std::to_string(KORDELA_HOST_VERSION) + ".dmg";
}
