// The temporary folder comes from the host: when the host has none to give, or gives one
// whose parent is the root, nothing may be written, neither there nor anywhere else.
#include "AddOnHarness.hpp"

#include "Folders.hpp"
#include "HostServices.hpp"

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
