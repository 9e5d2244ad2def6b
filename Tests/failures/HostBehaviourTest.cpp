// What the simulated host does for a scenario that a user cannot: folders put elsewhere,
// resizes and notifications of its own, unloading without the quit event, and what it
// records of dialogs and alerts.
#include "AddOnHarness.hpp"

#include "DG.hpp"
#include "DevHost/HostFaults.hpp"
#include "GSPref.hpp"

namespace {

class HostBehaviourTest : public AddOnHarness {};

}  // namespace

TEST_F(HostBehaviourTest, SpecialFolderSetElsewhereIsWhatTheAddOnGets)
{
    const API_SpecFolderID temp = DevHost::Host::Version <= 16 ? 6 : 7;
    host->SetSpecialFolder(temp, "/nowhere/Temp");
    IO::Location location;
    ASSERT_EQ(
        host->Table().Environment(APIEnv_GetSpecFolderID, const_cast<API_SpecFolderID*>(&temp), &location, nullptr),
        NoError);
    EXPECT_EQ(location.ToUTF8POSIXPath(), "/nowhere/Temp");
}

TEST_F(HostBehaviourTest, DialogsAndAlertsAreRecordedAsTheAddOnAskedForThem)
{
    struct Case {
        const char* what;
        std::function<void()> act;
        const char* recorded;
    };
    const std::vector<Case> cases = {
        {"a write to a dialog that is not open", [] { DGSetItemValLong(32604, 2, 75); },
         "dialog 32604 is not open: item 2 = 75 not shown"},
        {"a text to a dialog that is not open", [] { DGSetItemText(32604, 3, GS::UniString("late")); },
         "dialog 32604 is not open: item 3 = text \"late\" not shown"},
        {"an alert with its type",
         [] { DGAlert(-3, GS::UniString("T"), GS::UniString("text"), {}, GS::UniString("OK"), {}, {}); },
         "alert \"T\": text [OK] -> 1 (type -3)"},
    };
    for (const Case& c : cases) {
        const TranscriptMark mark = Mark();
        c.act();
        EXPECT_TRUE(SaidSince(mark, c.recorded)) << c.what;
    }
}

TEST_F(HostBehaviourTest, FrameworkCallsFailWhenTheHostMakesThemFail)
{
    ASSERT_EQ(DevHost::AddHostFault(host->Faults(), {"DGAlert", "when", "T", "count", "1"}), "");
    const TranscriptMark mark = Mark();
    EXPECT_EQ(DGAlert(-1, GS::UniString("T"), GS::UniString("text"), {}, GS::UniString("OK"), {}, {}), 0);
    EXPECT_FALSE(SaidSince(mark, "alert \"T\""));
    EXPECT_EQ(DGAlert(-1, GS::UniString("T"), GS::UniString("text"), {}, GS::UniString("OK"), {}, {}), 1);

    ASSERT_EQ(DevHost::AddHostFault(host->Faults(), {"GSPrefGet", "AccessDenied", "when", "FirstRun"}), "");
    StoreSetting("FirstRun", "2");
    GSPref::RootKey* root = nullptr;
    ASSERT_EQ(GSPref::OpenRootKey(GSPref::UserRootKey, &root), NoError);
    GS::UniString value;
    EXPECT_EQ(root->GetStringValue("Kordela", "FirstRun", &value, "1", false), ErrCode::AccessDenied);
    EXPECT_EQ(value.ToUTF8(), "1");
    EXPECT_EQ(root->GetStringValue("Kordela", "FirstRun", &value, "1", false), ErrCode::AccessDenied);
    ASSERT_EQ(DevHost::AddHostFault(host->Faults(), {"GSPrefOpenRootKey", "count", "1"}), "");
    EXPECT_EQ(GSPref::OpenRootKey(GSPref::UserRootKey, &root), ErrCode::General);
    EXPECT_EQ(root, nullptr);
}

TEST_F(HostBehaviourTest, PaletteResizedAndOpenedAgainByTheHost)
{
    ASSERT_NO_FATAL_FAILURE(OpenPalette());
    const size_t before = ProgrammaticResizes();
    const size_t starts = CountLines("dialog 32604 opened");
    EXPECT_EQ(DGHost::HostResize(PaletteId, DG::Point(439, 42)), "");
    EXPECT_GT(ProgrammaticResizes(), before);
    EXPECT_EQ(DGHost::SendOpened(PaletteId), "");
    EXPECT_EQ(CountLines("palette 32600 opened notification"), 1u);
    EXPECT_EQ(CountLines("dialog 32604 opened"), starts + 1);  // the start-up checks ran again
    EXPECT_NE(DGHost::SendOpened(4242), "");
}

TEST_F(HostBehaviourTest, UnloadFreesTheAddOnWithoutTheQuitEvent)
{
    ASSERT_NO_FATAL_FAILURE(StartAddOn());
    const TranscriptMark mark = Mark();
    host->Unload();
    EXPECT_TRUE(SaidSince(mark, "> unload (no quit event)"));
    EXPECT_TRUE(SaidSince(mark, "FreeData -> 0x00000000"));
    EXPECT_FALSE(SaidSince(mark, "(quit)"));
    host->Quit();  // nothing more: the add-on is freed
    EXPECT_EQ(CountLines("FreeData"), 1u);
}
