// Programs started without a shell, and library containers opened as folders.
#include "CommandRunnerHost.hpp"
#include "HostBackend.hpp"
#include "IO.hpp"

#include <gtest/gtest.h>
#include <zip.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class Recorder final : public Platform::HostBackend {
public:
    void Transcript(const std::string& line) override { lines.push_back(line); }
    void RunModalLoop(short) override {}
    int AnswerAlert(const Platform::AlertRequest&) override { return 1; }
    std::optional<std::string> PickFolder(const std::string&, const std::string&) override { return std::nullopt; }
    std::vector<std::string> lines;
};

class PlatformTools : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("kordela-tools-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root);
        Platform::SetHostBackend(&recorder);
    }
    void TearDown() override
    {
        Platform::SetHostBackend(nullptr);
        fs::remove_all(root);
    }

    // A container with the given entries (a trailing "/" makes a folder entry).
    fs::path MakeContainer(const std::string& name, const std::vector<std::string>& entries)
    {
        const fs::path path = root / name;
        int error = 0;
        zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        for (const auto& entry : entries) {
            if (entry.back() == '/') {
                zip_dir_add(archive, entry.c_str(), ZIP_FL_ENC_UTF_8);
                continue;
            }
            zip_source_t* source = zip_source_buffer(archive, entry.c_str(), entry.size(), 0);
            zip_file_add(archive, entry.c_str(), source, ZIP_FL_ENC_UTF_8);
        }
        zip_close(archive);
        return path;
    }

    Recorder recorder;
    fs::path root;
};

class Walker final : public IO::TreeEnumerator {
public:
    using IO::TreeEnumerator::TreeEnumerator;
    std::vector<std::string> seen;
    std::string stopAt;

protected:
    bool FileFound(const IO::Name& name) override
    {
        seen.push_back(name.ToUTF8());
        return name.ToUTF8() != stopAt;
    }
    void FolderEntered(const IO::Name& name) override { seen.push_back(name.ToUTF8() + "/"); }
    void FolderExited(const IO::Name&) override { seen.push_back(".."); }
};

}  // namespace

TEST_F(PlatformTools, ArgumentsReachTheProgramUntouchedByAnyShell)
{
    const std::string tricky = "a b; echo injected $(id) \"quoted\" 'single' *";
    const int status = Platform::RunProgram({"/bin/echo", tricky});
    EXPECT_EQ(status, 0);
    EXPECT_NE(std::find(recorder.lines.begin(), recorder.lines.end(), "command output: " + tricky),
              recorder.lines.end());
    EXPECT_EQ(Platform::RunProgram({"/bin/sh", "-c", "exit 3"}), 3);
    EXPECT_EQ(Platform::RunProgram({"/nonexistent/program"}), -1);
    EXPECT_EQ(Platform::RunProgram({}), -1);
}

TEST_F(PlatformTools, ResolverStandsAProgramInForASystemTool)
{
    Platform::SetProgramResolver(
        [](const std::string& program) { return program == "/usr/bin/hdiutil" ? std::string("/bin/echo") : program; });
    EXPECT_EQ(Platform::RunProgram({"/usr/bin/hdiutil", "attach", "/tmp/x.dmg"}), 0);
    Platform::SetProgramResolver(nullptr);
    EXPECT_EQ(recorder.lines.front(), "command: \"/usr/bin/hdiutil\" \"attach\" \"/tmp/x.dmg\"");
    EXPECT_EQ(recorder.lines[1], "command output: attach /tmp/x.dmg");
}

TEST_F(PlatformTools, ContainerOpensAsAFolderAndIsWalkedInNameOrder)
{
    const fs::path container =
        MakeContainer("Kitchen.lcf", {"Sink.gsm", "Cabinets/", "Cabinets/Wall.gsm", "Cabinets/Base.gsm", "readme.txt"});
    const IO::Folder folder {IO::Location(container.string())};
    ASSERT_EQ(folder.GetStatus(), NoError);
    EXPECT_TRUE(folder.IsContainer());
    EXPECT_FALSE(folder.IsWriteable());

    Walker walker(folder);
    EXPECT_EQ(walker.Do(), NoError);
    EXPECT_EQ(walker.seen,
              (std::vector<std::string> {"Cabinets/", "Base.gsm", "Wall.gsm", "..", "Sink.gsm", "readme.txt"}));

    std::string bytes;
    ASSERT_TRUE(IO::ReadContainerEntry(IO::Location(container.string()), "Cabinets/Wall.gsm", &bytes));
    EXPECT_EQ(bytes, "Cabinets/Wall.gsm");
    EXPECT_FALSE(IO::ReadContainerEntry(IO::Location(container.string()), "Missing.gsm", &bytes));
}

TEST_F(PlatformTools, WalkStopsWhenAVisitSaysSo)
{
    fs::create_directories(root / "lib" / "b");
    std::ofstream(root / "lib" / "a.gsm") << "a";
    std::ofstream(root / "lib" / "b" / "c.gsm") << "c";
    const IO::Folder folder {IO::Location((root / "lib").string())};
    Walker walker(folder);
    walker.stopAt = "a.gsm";
    walker.Do();
    EXPECT_EQ(walker.seen, (std::vector<std::string> {"a.gsm"}));
}

TEST_F(PlatformTools, BrokenOrForeignContainersAreNotFolders)
{
    std::ofstream(root / "Broken.lcf") << "not a zip archive";
    EXPECT_NE(IO::Folder(IO::Location((root / "Broken.lcf").string())).GetStatus(), NoError);
    const fs::path escaping = MakeContainer("Escaping.lcf", {"../outside.gsm", "/absolute.gsm", "inside.gsm"});
    EXPECT_EQ(IO::ListContainer(IO::Location(escaping.string())), (std::vector<std::string> {"inside.gsm"}));
}
