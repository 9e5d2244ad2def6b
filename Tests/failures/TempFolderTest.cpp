// The temporary folder comes from the host: when the host has none to give, gives one whose
// parent is the root, or one whose path does not fit the callers' buffer, nothing may be
// written, neither there nor anywhere else.
#include "AddOnHarness.hpp"

#include "Folders.hpp"
#include "HostServices.hpp"
#include "KDPCUpdateManager.hpp"
#include "UrlToGuidHandler.hpp"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

// What the host answers for its temporary folder: nothing (the call fails) or a path.
std::optional<std::string> temporaryFolder;
GSErrCode (*hostEnvironment)(int32_t, void*, void*, void*) = nullptr;

GSErrCode EnvironmentWithTemporaryFolder(int32_t code, void* par1, void* par2, void* par3)
{
    if (code == APIEnv_GetSpecFolderID && par1 != nullptr &&
        *static_cast<const API_SpecFolderID*>(par1) == SpecialFolderId(SpecialFolder::TemporaryBase)) {
        if (!temporaryFolder)
            return ErrCode::General;
        *static_cast<IO::Location*>(par2) = IO::Location(*temporaryFolder);
        return NoError;
    }
    return hostEnvironment(code, par1, par2, par3);
}

class TempFolderTest : public AddOnHarness {
protected:
    void StartWithTemporaryFolder(std::optional<std::string> folder)
    {
        temporaryFolder = std::move(folder);
        hostEnvironment = host->Table().Environment;
        host->Table().Environment = EnvironmentWithTemporaryFolder;
        ASSERT_NO_FATAL_FAILURE(StartAddOn());
    }
};

}  // namespace

TEST_F(TempFolderTest, NoUsableTemporaryFolderIsRefusedAndNothingIsWritten)
{
    const struct Case {
        const char* what;
        std::optional<std::string> hostFolder;
    } cases[] = {
        {"the host gives none", std::nullopt},
        {"the host gives an empty path", std::string()},
        {"its parent is the root", std::string("/KordelaTemporaryFolderOfATest")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host = std::make_unique<DevHost::Host>(DevHost::Options {});
        ASSERT_NO_FATAL_FAILURE(StartWithTemporaryFolder(c.hostFolder));

        char buffer[TempPathSize];
        std::fill(std::begin(buffer), std::end(buffer), '#');
        EXPECT_GE(GetTempPath(TempPathSize, buffer), TempPathSize + 1);
        EXPECT_STREQ(buffer, "");

        // A download then starts no transfer and leaves no file, at the root or beside us.
        const std::string name = "TempFolderTestPart.gsm";
        const TranscriptMark mark = Mark();
        EXPECT_EQ(Install(kordela::test::RefusingOrigin() + "/files/library/OakChair_1234.gsm", name), -1);
        EXPECT_TRUE(SaidSince(mark, "report alert: There is no usable temporary folder")) << c.what;
        EXPECT_FALSE(SaidSince(mark, "dialog 32591 opened")) << "a transfer was started";
        EXPECT_FALSE(fs::exists("/" + name));
        EXPECT_FALSE(fs::exists(name));
    }
}

namespace {

// The host's temporary folder lies so deep that its parent's path, the "/" and the NUL do not
// fit the callers' buffer.
class TempPathTooLongTest : public AddOnServiceHarness {
protected:
    void SetUp() override
    {
        AddOnServiceHarness::SetUp();
        StoreSetting("APIKey", kordela::test::ServiceKeys::ThreeMails);
        ASSERT_NO_FATAL_FAILURE(AttachAddOn());
        OpenSampleProject();
        base = Profile() + "/Deep";
        fs::create_directories(base);
        std::string folder = base;
        while (folder.size() < TempPathSize + 100)
            folder += "/" + std::string(200, 'd');
        host->SetSpecialFolder(SpecialFolderId(SpecialFolder::TemporaryBase), folder + "/Temp");
    }

    std::string base;
};

}  // namespace

TEST_F(TempPathTooLongTest, IsRefusedAndTheCallersStopAfterTheAlert)
{
    char buffer[TempPathSize + 8];
    std::fill(std::begin(buffer), std::end(buffer), '#');
    EXPECT_GE(GetTempPath(TempPathSize, buffer), TempPathSize + 1);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_TRUE(std::all_of(buffer + TempPathSize, std::end(buffer), [](char c) { return c == '#'; }));

    const int32_t chair = IndexOf("Oak dining chair");
    ASSERT_GT(chair, 0);
    struct Case {
        const char* what;
        std::function<int()> call;
        int result;
    };
    const std::vector<Case> cases = {
        {"a download", [&] { return Install(FileUrl("library/OakChair_1234.gsm"), "TempPathTestPart.gsm"); }, -1},
        {"a cloud query",
         [&] {
             KDPCManager::KDPCInfo info;
             return KDPCManager::RetrieveObjectRelatedInformation(chair, 12, &info);
         },
         -3},
        {"a product lookup",
         [] {
             return static_cast<int>(
                 UrlToGuidHandler::getInstance()[GS::UniString("kordela.example/Product/TempPathTest")].GetLength());
         },
         0},
        {"the cloud update's query",
         [] {
             KDPCUpdateDataTable answers;
             CloudIdsByProduct clouds;
             clouds.Add(GS::UniString("6E0F5B7A-1C2D-4E3F-8A9B-0C1D2E3F4A5B"), GS::Array<int> {12});
             KDPCUpdateManager::getInstance().RetrieveUpdateInformation(&answers, &clouds);
             return static_cast<int>(answers.GetSize());
         },
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TranscriptMark mark = Mark();
        EXPECT_EQ(c.call(), c.result);
        EXPECT_EQ(CountSince(mark, "report alert: There is no usable temporary folder"), 1u);
        EXPECT_EQ(CountSince(mark, "report alert"), 1u);
        EXPECT_EQ(RequestCountWhere({}), 0u) << "a request was sent";
        EXPECT_TRUE(fs::is_empty(base)) << "something was written";
    }
}
