// The add-on's file operations refused by the file system, whatever user the tests run as:
// per subsystem, what the user is told, the result, and what is left on disk and in the
// project. Nothing may be left half written.
#include "AddOnHarness.hpp"

#include "DownloadIcon.hpp"
#include "Folders.hpp"
#include "IOFaults.hpp"
#include "SettingsManager.hpp"

#include "DevHost/HostFaults.hpp"

#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
using IO::Faults::Error;
using IO::Faults::Operation;
using kordela::test::ReadFile;
using kordela::test::SampleFile;

namespace {

constexpr const char* Part = "OakChair_1234.gsm";
constexpr const char* PartUrl = "library/OakChair_1234.gsm";

struct Refusal {
    const char* what;
    Error error;
};

// The ways a file the add-on writes whole cannot be stored.
struct StoreFault {
    const char* what;
    Operation operation;
    Error error;
};
constexpr StoreFault storeFaults[] = {
    {"cannot be made", Operation::Create, Error::AccessDenied},
    {"disk full when made", Operation::Create, Error::DiskFull},
    {"disk full while written", Operation::Write, Error::DiskFull},
};

class FileFailureTest : public AddOnServiceHarness {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(AddOnServiceHarness::SetUp());
        PlayProgressPage();
        ASSERT_NO_FATAL_FAILURE(StartAddOn());
    }
    void TearDown() override
    {
        IO::Faults::Clear();
        AddOnServiceHarness::TearDown();
    }

    // A fresh host for the next case of a table.
    void Restart()
    {
        IO::Faults::Clear();
        host.reset();
        host = std::make_unique<DevHost::Host>(DevHost::Options {});
        PlayPagesInWindows();
        ASSERT_NO_FATAL_FAILURE(StartAddOn());
    }

    std::string TempFile(const char* name) const { return Temp() + "/" + name; }
};

}  // namespace

// Settings store

TEST_F(FileFailureTest, SettingsThatCannotBeStoredAreNotReportedAndTheStoredFileStaysWhole)
{
    const std::string store = Profile() + "/Preferences.json";
    StoreSetting("AddToEmbedded", "1");
    const std::string before = ReadFile(store);
    ASSERT_NE(before.find("AddToEmbedded"), std::string::npos);
    for (const StoreFault& c : storeFaults) {
        SCOPED_TRACE(c.what);
        IO::Faults::Clear();
        IO::Faults::Set(c.operation, Profile(), c.error);
        const TranscriptMark mark = Mark();
        SettingsManager& settings = SettingsManager::GetInstance();
        settings.SetDomain(Setting::Domain);
        settings.SetStringValue("AddToEmbedded", "0");
        settings.SetStringValue("APIKey", "12345678-1234-1234-1234-123456789012");
        settings.GetStringValue("FirstRun", "1", true);
        EXPECT_FALSE(SaidSince(mark, "report"));
        EXPECT_EQ(ReadFile(store), before);
        EXPECT_FALSE(fs::exists(store + ".new"));
    }
}

// Temporary and install folders

// Without memory for the install folder's location GetLocation answers 0x81060002; so do the
// hosts that keep the library list themselves when they cannot take the grown list back.
TEST_F(FileFailureTest, UnusableDownloadFolderGivesNoInstallFolderAndTheDownloadStaysInTheTemporaryFolder)
{
    const std::string locationSize = std::to_string(sizeof(IO::Location));
    const struct Case {
        const char* what;
        std::optional<Operation> operation;  // refused on the download folder
        bool folderThere;
        std::vector<std::string> hostFault = {};
        GSErrCode located = ErrCode::General;
        bool embedded = false;
    } cases[] = {
        {"cannot be made", Operation::CreateFolder, false},
        {"no file may be made in it", Operation::Create, true},
        {"no memory for its location", std::nullopt, true, {"GS_malloc", "when", locationSize}, ErrCode::Memory},
        {"no memory for the embedded library's location",
         std::nullopt,
         false,
         {"GS_malloc", "when", locationSize},
         ErrCode::Memory,
         true},
        {"the host cannot take the list back", std::nullopt, true, {"Environment", "when", "SLIB"}, ErrCode::Memory},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Other hosts take no list back from the add-on's side: their answer is not looked at.
        if (c.hostFault.size() > 2 && c.hostFault[2] == "SLIB" && !HostKeepsOwnLibraryList)
            continue;
        ASSERT_NO_FATAL_FAILURE(Restart());
        StoreSetting("AddToEmbedded", c.embedded ? "1" : "0");
        if (!c.folderThere)
            fs::remove_all(DownloadFolder());
        if (c.operation)
            IO::Faults::Set(*c.operation, DownloadFolder(), Error::AccessDenied);
        if (!c.hostFault.empty()) {
            ASSERT_EQ(DevHost::AddHostFault(host->Faults(), c.hostFault), "");
        }

        IO::Location* out = nullptr;
        EXPECT_EQ(GetLocation(out, c.embedded), c.located);
        EXPECT_EQ(out, nullptr);
        delete out;

        const TranscriptMark mark = Mark();
        EXPECT_EQ(Install(FileUrl(PartUrl), Part), -1);
        EXPECT_EQ(CountSince(mark, "report alert: There is no folder to install the download into."), 1u);
        EXPECT_EQ(ReadFile(TempFile(Part)), SampleFile(PartUrl));
        EXPECT_FALSE(fs::exists(DownloadFolder() + "/" + Part));
        EXPECT_FALSE(fs::exists(Embedded() + "/" + Part));
        EXPECT_EQ(fs::exists(DownloadFolder()), c.folderThere);
        EXPECT_FALSE(SaidSince(mark, "libraries set"));
        EXPECT_FALSE(SaidSince(mark, "library part registered"));
    }
}

TEST_F(FileFailureTest, EmbeddedSubfolderThatCannotBeMadeIsNotReportedAndThePartGoesIntoTheLibraryItself)
{
    for (const Refusal& r : {Refusal {"no permission", Error::AccessDenied}, Refusal {"disk full", Error::DiskFull},
                             Refusal {"other", Error::Other}}) {
        SCOPED_TRACE(r.what);
        ASSERT_NO_FATAL_FAILURE(Restart());
        const std::string subfolder = Embedded();
        const std::string library = fs::path(subfolder).parent_path().string();
        fs::remove_all(subfolder);
        IO::Faults::Set(Operation::CreateFolder, subfolder, r.error);

        IO::Location* out = nullptr;
        EXPECT_EQ(GetLocation(out, true), NoError);
        const std::unique_ptr<IO::Location> owned(out);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(out->ToUTF8POSIXPath(), library);

        const TranscriptMark mark = Mark();
        EXPECT_EQ(Install(FileUrl(PartUrl), Part), 0);
        EXPECT_FALSE(SaidSince(mark, "report alert"));
        EXPECT_EQ(ReadFile(library + "/" + Part), SampleFile(PartUrl));
        EXPECT_FALSE(fs::exists(subfolder));
        EXPECT_EQ(CountSince(mark, "library part registered"), 1u);
    }
}

// Downloads

TEST_F(FileFailureTest, DownloadThatCannotBeStoredStartsNoTransferAndLeavesNothing)
{
    for (const Refusal& r : {Refusal {"no permission", Error::AccessDenied}, Refusal {"disk full", Error::DiskFull},
                             Refusal {"other", Error::Other}}) {
        SCOPED_TRACE(r.what);
        ASSERT_NO_FATAL_FAILURE(Restart());
        IO::Faults::Set(Operation::Create, Temp(), r.error);
        const TranscriptMark mark = Mark();
        EXPECT_EQ(Install(FileUrl(PartUrl), Part), -1);
        EXPECT_EQ(
            CountSince(mark, "report alert: The download cannot be stored in the temporary folder: <profile>/Temp/" +
                                 std::string(Part)),
            1u);
        EXPECT_EQ(RequestCount("/files/" + std::string(PartUrl)), 0u);
        EXPECT_FALSE(fs::exists(TempFile(Part)));
        EXPECT_FALSE(fs::exists(Embedded() + "/" + Part));
        EXPECT_FALSE(SaidSince(mark, "library part registered"));
    }
}

TEST_F(FileFailureTest, DiskFullWhileDownloadingIsAFailedDownloadAndTheFileIsRemoved)
{
    for (const Refusal& r : {Refusal {"disk full", Error::DiskFull}, Refusal {"other", Error::Other}}) {
        SCOPED_TRACE(r.what);
        ASSERT_NO_FATAL_FAILURE(Restart());
        IO::Faults::Set(Operation::Write, Temp(), r.error);
        const TranscriptMark mark = Mark();
        EXPECT_EQ(Install(FileUrl(PartUrl), Part), -1);
        EXPECT_EQ(CountSince(mark, "report alert: The download failed and nothing was installed: "), 1u);
        EXPECT_FALSE(fs::exists(TempFile(Part))) << "a half-written download stays behind";
        EXPECT_FALSE(fs::exists(Embedded() + "/" + Part));
        EXPECT_FALSE(SaidSince(mark, "library part registered"));
        EXPECT_FALSE(DGHost::IsOpen(ProgressId));
    }
}

// The half-written file that cannot be removed stays, but the failure is told once and the
// next download of that name, written over it, installs.
TEST_F(FileFailureTest, HalfWrittenDownloadThatCannotBeRemovedIsStillAFailedDownload)
{
    ASSERT_NO_FATAL_FAILURE(Restart());
    IO::Faults::Set(Operation::Write, Temp(), Error::DiskFull);
    IO::Faults::Set(Operation::Delete, Temp(), Error::AccessDenied);
    TranscriptMark mark = Mark();
    EXPECT_EQ(Install(FileUrl(PartUrl), Part), -1);
    EXPECT_EQ(CountSince(mark, "report alert: The download failed and nothing was installed: "), 1u);
    EXPECT_TRUE(fs::exists(TempFile(Part)));
    EXPECT_FALSE(fs::exists(Embedded() + "/" + Part));

    IO::Faults::Clear();
    mark = Mark();
    EXPECT_EQ(Install(FileUrl(PartUrl), Part), 0);
    EXPECT_TRUE(SaidSince(mark, "library part registered"));
}

// Installation

TEST_F(FileFailureTest, RefusedCopyTellsWhyReturnsMinusTwoAndKeepsTheDownloadInTheTemporaryFolder)
{
    const struct Case {
        const char* what;
        Error error;
        const char* alert;
    } cases[] = {
        {"target exists", Error::TargetExists, "a file of that name exists already."},
        {"no permission", Error::AccessDenied, "access was denied."},
        {"folder missing", Error::NotFound, "the target folder was not found."},
        {"disk full", Error::DiskFull, "The download could not be copied."},
        {"other", Error::Other, "The download could not be copied."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NO_FATAL_FAILURE(Restart());
        IO::Faults::Set(Operation::Copy, Embedded(), c.error);
        const TranscriptMark mark = Mark();
        EXPECT_EQ(Install(FileUrl(PartUrl), Part), -2);
        const std::vector<std::string> alerts = [&] {
            std::vector<std::string> found;
            for (const std::string& line : LinesSince(mark))
                if (line.starts_with("report alert: "))
                    found.push_back(line);
            return found;
        }();
        ASSERT_EQ(alerts.size(), 1u);
        EXPECT_TRUE(alerts[0].ends_with(c.alert)) << alerts[0];
        EXPECT_EQ(ReadFile(TempFile(Part)), SampleFile(PartUrl));
        EXPECT_FALSE(fs::exists(Embedded() + "/" + Part));
        EXPECT_FALSE(SaidSince(mark, "library part registered"));
        EXPECT_FALSE(SaidSince(mark, "toolbox:"));
    }
}

TEST_F(FileFailureTest, TemporaryCopyThatCannotBeDeletedStillInstalls)
{
    IO::Faults::Set(Operation::Delete, Temp(), Error::AccessDenied);
    const TranscriptMark mark = Mark();
    EXPECT_EQ(Install(FileUrl(PartUrl), Part), 0);
    EXPECT_FALSE(SaidSince(mark, "report alert"));
    EXPECT_EQ(ReadFile(Embedded() + "/" + Part), SampleFile(PartUrl));
    EXPECT_EQ(ReadFile(TempFile(Part)), SampleFile(PartUrl));
    EXPECT_EQ(CountSince(mark, "library part registered"), 1u);
}

TEST_F(FileFailureTest, IconThatCannotBeStoredStillGivesItsPathAndNoFile)
{
    for (const Refusal& r : {Refusal {"no permission", Error::AccessDenied}, Refusal {"disk full", Error::DiskFull}}) {
        SCOPED_TRACE(r.what);
        for (const Operation operation : {Operation::Create, Operation::Write}) {
            IO::Faults::Clear();
            IO::Faults::Set(operation, Temp(), r.error);
            bool unreachable = true;
            EXPECT_EQ(DownloadIcon(FileUrl(PartUrl).c_str(), "icon.png", &unreachable), TempFile("icon.png"));
            EXPECT_FALSE(unreachable);
            EXPECT_FALSE(fs::exists(TempFile("icon.png")) && fs::file_size(TempFile("icon.png")) > 0);
            fs::remove(TempFile("icon.png"));
        }
    }
}

// Self-update

TEST_F(FileFailureTest, InstallerThatCannotBeStoredIsNotMountedAndTheUserIsTold)
{
    for (const StoreFault& c : storeFaults) {
        SCOPED_TRACE(c.what);
        ASSERT_NO_FATAL_FAILURE(Restart());
        PublishVersion("3.3");
        IO::Faults::Set(c.operation, InstallerFile(), c.error);
        host->alertAnswers = {1};
        const TranscriptMark mark = Mark();
        ASSERT_EQ(host->SendMenuCommand(PaletteMenu), "");
        EXPECT_EQ(CountSince(mark, "The installer could not be downloaded."), 1u);
        EXPECT_FALSE(SaidSince(mark, "The installer has been downloaded."));
        EXPECT_FALSE(SaidSince(mark, "command output:"));
        EXPECT_FALSE(fs::exists(InstallerFile()));
    }
}
