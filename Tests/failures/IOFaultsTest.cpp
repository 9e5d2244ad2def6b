// The file-system faults themselves: each operation refused with each error answers what the
// host's file system would, leaves nothing behind, and reaches exactly the paths it names.
#include "IOFaults.hpp"

#include "DevHost/Host.hpp"
#include "DevHost/Scenario.hpp"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using IO::Faults::Error;
using IO::Faults::Operation;

namespace {

class IOFaultsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("io-faults-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "in");
        std::ofstream(root / "in" / "source.txt") << "source";
    }
    void TearDown() override
    {
        IO::Faults::Clear();
        fs::remove_all(root);
    }
    IO::Location At(const std::string& name) const { return IO::Location((root / name).string()); }

    fs::path root;
};

}  // namespace

TEST_F(IOFaultsTest, EachOperationAnswersTheHostsCodeAndLeavesNothing)
{
    const struct Case {
        Operation operation;
        Error error;
        GSErrCode code;  // the file system's result (0 for the operations that open files)
        int errnoValue;  // errno of a refused open (0 for the file system's calls)
    } cases[] = {
        {Operation::Copy, Error::TargetExists, ErrCode::TargetExists, 0},
        {Operation::Copy, Error::AccessDenied, ErrCode::CopyAccessDenied, 0},
        {Operation::Copy, Error::NotFound, ErrCode::CopyTargetFolderMissing, 0},
        {Operation::Copy, Error::DiskFull, ErrCode::FileSystemError, 0},
        {Operation::Copy, Error::Other, ErrCode::FileSystemError, 0},
        {Operation::CreateFolder, Error::TargetExists, ErrCode::FolderExists, 0},
        {Operation::CreateFolder, Error::AccessDenied, ErrCode::AccessDenied, 0},
        {Operation::CreateFolder, Error::DiskFull, ErrCode::FileSystemError, 0},
        {Operation::Delete, Error::AccessDenied, ErrCode::AccessDenied, 0},
        {Operation::Delete, Error::Other, ErrCode::FileSystemError, 0},
        {Operation::Create, Error::AccessDenied, 0, EACCES},
        {Operation::Create, Error::DiskFull, 0, ENOSPC},
        {Operation::Open, Error::NotFound, 0, ENOENT},
        {Operation::Open, Error::Other, 0, EIO},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(IO::Faults::Describe(c.error)) + ", operation " +
                     std::to_string(static_cast<int>(c.operation)));
        IO::Faults::Clear();
        IO::Faults::Set(c.operation, (root / "out").string(), c.error);
        fs::remove_all(root / "out");
        fs::create_directories(root / "out");
        std::ofstream(root / "out" / "kept.txt") << "kept";
        switch (c.operation) {
        case Operation::Copy:
            EXPECT_EQ(IO::fileSystem.Copy(At("in/source.txt"), At("out/copy.txt")), c.code);
            EXPECT_FALSE(fs::exists(root / "out" / "copy.txt"));
            break;
        case Operation::CreateFolder:
            EXPECT_EQ(IO::fileSystem.CreateFolder(At("out/new")), c.code);
            EXPECT_FALSE(fs::exists(root / "out" / "new"));
            EXPECT_NE(IO::Folder(At("out/new"), IO::Folder::Create).GetStatus(), NoError);
            break;
        case Operation::Delete:
            EXPECT_EQ(IO::fileSystem.Delete(At("out/kept.txt")), c.code);
            EXPECT_TRUE(fs::exists(root / "out" / "kept.txt"));
            break;
        case Operation::Create:
        case Operation::Open:
        case Operation::Write: {
            errno = 0;
            const bool create = c.operation == Operation::Create;
            EXPECT_EQ(IO::OpenFile(At(create ? "out/new.txt" : "out/kept.txt"), create ? "wb" : "rb"), nullptr);
            EXPECT_EQ(errno, c.errnoValue);
            EXPECT_FALSE(fs::exists(root / "out" / "new.txt"));
            break;
        }
        }
        // What lies outside the faulty path goes ahead.
        EXPECT_EQ(IO::fileSystem.Copy(At("in/source.txt"), At("in/copy.txt")), NoError);
        fs::remove(root / "in" / "copy.txt");
    }
}

TEST_F(IOFaultsTest, AFullDiskFailsEveryWriteAndTheFileStaysEmpty)
{
    IO::Faults::Set(Operation::Write, (root / "out").string(), Error::DiskFull);
    fs::create_directories(root / "out");
    std::FILE* file = IO::OpenFile(At("out/data.bin"), "wb");
    ASSERT_NE(file, nullptr);
    const char bytes[] = "0123456789";
    errno = 0;
    EXPECT_EQ(std::fwrite(bytes, 1, sizeof bytes, file), 0u);
    EXPECT_EQ(errno, ENOSPC);
    std::fclose(file);
    EXPECT_EQ(fs::file_size(root / "out" / "data.bin"), 0u);

    // A file opened before the fault, or outside its folder, is written as ever.
    std::FILE* outside = IO::OpenFile(At("in/data.bin"), "wb");
    ASSERT_NE(outside, nullptr);
    EXPECT_EQ(std::fwrite(bytes, 1, sizeof bytes, outside), sizeof bytes);
    EXPECT_EQ(std::fclose(outside), 0);
}

TEST_F(IOFaultsTest, AFaultReachesItsPathAndWhatLiesInsideButNotNeighboursAndEndsWhenCleared)
{
    IO::Faults::Set(Operation::CreateFolder, (root / "out").string(), Error::AccessDenied);
    const struct Case {
        const char* path;
        bool refused;
    } cases[] = {{"out", true}, {"out/a", true}, {"out/a/b", true}, {"outside", false}, {"in/out", false}};
    for (const Case& c : cases)
        EXPECT_EQ(IO::Faults::Find(Operation::CreateFolder, (root / c.path).string()).has_value(), c.refused) << c.path;
    EXPECT_FALSE(IO::Faults::Find(Operation::Copy, (root / "out").string()));
    IO::Faults::Clear();
    EXPECT_FALSE(IO::Faults::Find(Operation::CreateFolder, (root / "out").string()));
}

TEST(IOFaultWords, ScenarioWordsNameEachOperationAndError)
{
    for (const char* word : {"create", "open", "write", "copy", "delete", "folder"})
        EXPECT_TRUE(IO::Faults::ParseOperation(word)) << word;
    for (const char* word : {"exists", "denied", "full", "missing", "other"})
        EXPECT_TRUE(IO::Faults::ParseError(word)) << word;
    EXPECT_FALSE(IO::Faults::ParseOperation("rename"));
    EXPECT_FALSE(IO::Faults::ParseError("Denied"));
}

TEST(FileFaultScenarioLine, SetsAndClearsFaultsAndRefusesWhatItCannotRead)
{
    const struct Case {
        const char* line;
        bool runs;
        bool copyRefused;  // a copy into /srv/library/x afterwards
    } cases[] = {
        {"fault file copy /srv/library denied", true, true},
        {"fault file copy /srv/library/x full", true, true},
        {"fault file copy /srv/other denied", true, false},
        {"fault file copy srv/library denied", false, false},  // not absolute
        {"fault file rename /srv/library denied", false, false},
        {"fault file copy /srv/library forbidden", false, false},
        {"fault file copy /srv/library", false, false},
    };
    for (const Case& c : cases) {
        IO::Faults::Clear();
        DevHost::Host host(DevHost::Options {});
        DevHost::Scenario scenario(host);
        std::istringstream script(c.line);
        EXPECT_EQ(scenario.Run(script), c.runs) << c.line;
        EXPECT_EQ(IO::Faults::Find(Operation::Copy, "/srv/library/x").has_value(), c.copyRefused) << c.line;
        std::istringstream clear("fault file clear");
        EXPECT_TRUE(scenario.Run(clear));
        EXPECT_FALSE(IO::Faults::Find(Operation::Copy, "/srv/library/x"));
    }
}
