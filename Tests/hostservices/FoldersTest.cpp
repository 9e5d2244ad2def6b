#include "AddOnHarness.hpp"
#include "Folders.hpp"
#include "HostVersion.hpp"
#include "SettingsManager.hpp"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;

TEST(HasExtension, ComparesTheEndAfterADotByteForByte)
{
    struct Case {
        const char* name;
        const char* ext;
        bool expected;
    } cases[] = {
        {"Chair.gsm", "gsm", true}, {"Chair.GSM", "gsm", false}, {"gsm", "gsm", false},
        {".gsm", "gsm", true},      {"Chair.", "", true},        {"Chair", "", false},
        {"Chairgsm", "gsm", false}, {"a.lcf", "gsm", false},     {"x.tar.gz", "gz", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HasExtension(c.name, c.ext), c.expected) << c.name << " / " << c.ext;
    EXPECT_TRUE(IsGSM("Oak chair.gsm"));
    EXPECT_FALSE(IsGSM("Oak chair.lcf"));
}

TEST(Escape, PutsABackslashBeforeEveryBlank)
{
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"", ""},
        {"NoBlanks", "NoBlanks"},
        {"a b  c", "a\\ b\\ \\ c"},
        {" lead and trail ", "\\ lead\\ and\\ trail\\ "},
        {"tab\tstays", "tab\tstays"},
    };
    for (const auto& c : cases) {
        std::unique_ptr<char[]> escaped(escape(c.in));
        EXPECT_STREQ(escaped.get(), c.out) << c.in;
    }
}

class FoldersTest : public AddOnHarness {
protected:
    void SetUp() override
    {
        AddOnHarness::SetUp();
        AttachAddOn();
    }
};

TEST_F(FoldersTest, TempPathIsTheParentOfTheHostTemporaryFolderAndEndsWithASlash)
{
    char path[TempPathSize];
    const int length = GetTempPath(TempPathSize, path);
    EXPECT_EQ(std::string(path), Profile() + "/Temp/");
    EXPECT_EQ(length, static_cast<int>(std::strlen(path)));
}

TEST_F(FoldersTest, TempPathNeverWritesPastTheBuffer)
{
    // A path that does not fit whole is refused, not cut: a cut path names another folder.
    const std::string whole = Profile() + "/Temp/";
    const int fits = static_cast<int>(whole.size()) + 1;  // with its NUL
    for (int size : {1, 2, 12, fits - 1, fits}) {
        std::string buffer(static_cast<size_t>(size) + 8, '#');
        const int length = GetTempPath(size, buffer.data());
        EXPECT_EQ(buffer.substr(static_cast<size_t>(size)), std::string(8, '#')) << size;
        if (size == fits) {
            EXPECT_EQ(length, fits - 1);
            EXPECT_EQ(std::string(buffer.c_str()), whole);
        } else {
            EXPECT_EQ(length, size + 1) << size;
            EXPECT_EQ(buffer[0], '\0') << size;
        }
    }
}

TEST_F(FoldersTest, EmbeddedInstallGoesIntoTheKordelaSubfolderMadeOnceAndReused)
{
    OpenSampleProject();
    const std::string embedded = host->GetProject().Parts().front().file;
    const fs::path expected = fs::path(embedded).parent_path() / "KordelaLibrary";
    for (int round = 0; round < 2; ++round) {
        IO::Location* out = nullptr;
        EXPECT_EQ(GetLocation(out, true), NoError);
        std::unique_ptr<IO::Location> owned(out);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(out->ToUTF8POSIXPath(), expected.string());
        EXPECT_TRUE(fs::is_directory(expected));
    }
}

TEST_F(FoldersTest, DownloadFolderIsAddedToTheLibrariesOnlyWhenNew)
{
    OpenSampleProject();
    const std::string folder = Profile() + "/Downloads";
    SettingsManager::GetInstance().SetDomain(Setting::Domain);
    SettingsManager::GetInstance().SetStringValue(Setting::DefaultDownloadFolder, folder.c_str());
    for (int round = 0; round < 2; ++round) {
        IO::Location* out = nullptr;
        EXPECT_EQ(GetLocation(out, false), NoError);
        std::unique_ptr<IO::Location> owned(out);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(out->ToUTF8POSIXPath(), folder);
    }
    GS::Array<API_LibraryInfo> libraries;
    ASSERT_EQ(ACAPI_Environment(APIEnv_GetLibrariesID, &libraries), NoError);
    int matches = 0;
    for (const auto& library : libraries)
        matches += library.location.ToUTF8POSIXPath() == folder && library.name == GS::UniString("KordelaLibrary");
    EXPECT_EQ(matches, 1);
    EXPECT_EQ(libraries.GetSize(), 3u);
}

TEST_F(FoldersTest, UnusableDownloadFolderGivesAGeneralErrorAndNoLocation)
{
    const std::string blocker = Profile() + "/not-a-folder";
    std::ofstream(blocker) << "file";
    SettingsManager::GetInstance().SetDomain(Setting::Domain);
    SettingsManager::GetInstance().SetStringValue(Setting::DefaultDownloadFolder, (blocker + "/sub").c_str());
    IO::Location* out = reinterpret_cast<IO::Location*>(1);
    EXPECT_EQ(GetLocation(out, false), ErrCode::General);
    EXPECT_EQ(out, nullptr);
}

// The named differences between host versions, against the table of what each host does.
TEST(HostProperties, NameTheDifferencesOfEachHostVersion)
{
    using namespace HostProperties;
    struct Row {
        int version;
        bool modernWebView, passesModule, undoesByCommand, uniReports, oldFolderNumbers, ownLibraryList, oldCopyCodes,
            httpLegacyPages, httpSettings, frameLoadDelegate, windowView;
    } rows[] = {
        {15, true, false, false, false, true, true, true, true, false, true, false},
        {16, true, false, false, false, true, true, true, true, false, true, false},
        {17, true, false, false, false, false, true, true, true, false, true, false},
        {18, false, true, false, false, false, false, false, true, false, true, true},
        {19, true, true, true, false, false, false, false, true, true, true, false},
        {20, true, true, true, false, false, false, false, true, true, true, true},
        {21, true, true, true, true, false, false, false, false, false, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.version);
        EXPECT_EQ(HasModernWebView(row.version), row.modernWebView);
        EXPECT_EQ(PassesResourceModule(row.version), row.passesModule);
        EXPECT_EQ(UndoesByCommand(row.version), row.undoesByCommand);
        EXPECT_EQ(ReportsUniStrings(row.version), row.uniReports);
        EXPECT_EQ(HasOldSpecialFolderNumbers(row.version), row.oldFolderNumbers);
        EXPECT_EQ(KeepsOwnLibraryList(row.version), row.ownLibraryList);
        EXPECT_EQ(HasOldCopyErrorCodes(row.version), row.oldCopyCodes);
        EXPECT_EQ(UsesHttpForLegacyPages(row.version), row.httpLegacyPages);
        EXPECT_EQ(OpensSettingsOverHttp(row.version), row.httpSettings);
        EXPECT_EQ(HasFrameLoadDelegate(row.version), row.frameLoadDelegate);
        EXPECT_EQ(HasWindowView(row.version), row.windowView);
        if (row.version == HostVersion) {
            EXPECT_EQ(HostHasModernWebView, row.modernWebView);
            EXPECT_EQ(HostPassesResourceModule, row.passesModule);
            EXPECT_EQ(HostUndoesByCommand, row.undoesByCommand);
            EXPECT_EQ(HostHasOldSpecialFolderNumbers, row.oldFolderNumbers);
            EXPECT_EQ(HostUsesHttpForLegacyPages, row.httpLegacyPages);
        }
    }
}
