// The add-on's answers to host calls that fail: each row names the call made to fail, the
// outcome the add-on owes, and what must be left as it was.
#include "AddOnHarness.hpp"
#include "KDPCUpdateManager.hpp"
#include "LibPart.hpp"
#include "PlacedElements.hpp"
#include "UpdateManager.hpp"
#include "UrlToGuidHandler.hpp"

#include "DevHost/HostFaults.hpp"
#include "DevHost/Project.hpp"

#include <filesystem>
#include <memory>

namespace {

class HostCallFailureTest : public AddOnHarness {
protected:
    void Fail(const std::vector<std::string>& line) { ASSERT_EQ(DevHost::AddHostFault(host->Faults(), line), ""); }

    int32_t PartOfFile(const std::string& file) const
    {
        for (const auto& part : host->GetProject().Parts())
            if (std::filesystem::path(part.file).filename() == file)
                return part.index;
        return 0;
    }
};

}  // namespace

// Entry points: only the menu handler's and the event handler's installation decide
// Initialize's result; the menu registration's result is RegisterInterface's.
TEST_F(HostCallFailureTest, EntryPoints)
{
    struct Case {
        const char* what;
        std::vector<std::string> fault;
        std::string registerResult;
        std::string initializeResult;
        std::vector<std::string> still;       // said all the same
        std::vector<std::string> notSaid {};  // steps that did not happen
    };
    const std::vector<Case> cases = {
        // Without its menu the host refuses the handler too, so Initialize fails as well.
        {"menu registration refused",
         {"RegisterMenu", "-4"},
         "RegisterInterface -> 0xFFFFFFFC",
         "Initialize -> 0x81060001",
         {"setting Kordela/FirstRun"},
         {"project events"}},
        {"menu handler not installed",
         {"InstallMenuHandler", "0x81060001"},
         "RegisterInterface -> 0x00000000",
         "Initialize -> 0x81060001",
         {"setting Kordela/FirstRun", "setting Kordela/AddToEmbedded"},
         {"project events"}},
        {"project events not caught",
         {"CatchProjectEvent", "BadIndex"},
         "RegisterInterface -> 0x00000000",
         "Initialize -> 0x81060067",
         {"setting Kordela/FirstRun", "menu handler installed"}},
        {"no special folders",
         {"Environment", "when", "GSPF"},
         "RegisterInterface -> 0x00000000",
         "Initialize -> 0x00000000",
         {"setting Kordela/FirstRun", "project events 0xFFFFFFFF caught"}},
        {"no preference store",
         {"GSPrefOpenRootKey"},
         "RegisterInterface -> 0x00000000",
         "Initialize -> 0x00000000",
         {"project events 0xFFFFFFFF caught"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.reset();
        host = std::make_unique<DevHost::Host>(DevHost::Options {});
        Fail(c.fault);
        ASSERT_NO_FATAL_FAILURE(StartAddOn());
        EXPECT_EQ(CountLines(c.registerResult), 1u);
        EXPECT_EQ(CountLines(c.initializeResult), 1u);
        for (const auto& text : c.still)
            EXPECT_GE(CountLines(text), 1u) << text;
        for (const auto& text : c.notSaid)
            EXPECT_EQ(CountLines(text), 0u) << text;
    }
}

// Library-part access and tool selection.
TEST_F(HostCallFailureTest, LibraryPartsAndToolSelection)
{
    ASSERT_NO_FATAL_FAILURE(AttachAddOn());
    OpenSampleProject();
    const int32_t chair = PartOfFile("OakChair_1234.gsm");
    ASSERT_GT(chair, 0);
    const std::string chairIndex = std::to_string(chair);
    const auto* part = host->GetProject().Part(chair);

    // A part the host cannot read is no part.
    Fail({"LibPartGet", "when", chairIndex, "count", "1"});
    EXPECT_EQ(AC::LibPartManager::GetInstance().GetLibpart(chair), nullptr);

    struct Search {
        const char* what;
        std::vector<std::string> fault;
        GSErrCode result;
    };
    for (const Search& s :
         {Search {"the only match cannot be read", {"LibPartGet", "when", chairIndex}, ErrCode::BadIndex},
          Search {"no count of parts", {"LibPartGetNum"}, ErrCode::BadIndex},
          Search {"another part cannot be read", {"LibPartGet", "when", "1"}, NoError}}) {
        SCOPED_TRACE(s.what);
        host->Faults().Clear();
        Fail(s.fault);
        API_LibPart wanted {};
        std::strncpy(wanted.ownUnID, part->ownUnID.c_str(), sizeof wanted.ownUnID - 1);
        EXPECT_EQ(MyACAPI_LibPart_Search(&wanted), s.result);
        if (s.result == NoError) {
            EXPECT_EQ(wanted.index, chair);
        }
    }

    struct Tool {
        const char* what;
        std::vector<std::string> fault;
        bool result;
        API_ElemTypeID selected;  // the toolbox afterwards
    };
    for (const Tool& t :
         {Tool {"defaults cannot be read", {"ElementGetDefaults"}, false, API_ZombieElemID},
          Tool {"defaults cannot be changed", {"ElementChangeDefaults"}, true, API_ObjectID},
          Tool {"its parameters cannot be read", {"LibPartGetParams", "when", chairIndex}, true, API_ObjectID},
          Tool {"the tool cannot be selected", {"Environment", "when", "STBX"}, true, API_ZombieElemID}}) {
        SCOPED_TRACE(t.what);
        host.reset();
        host = std::make_unique<DevHost::Host>(DevHost::Options {});
        ASSERT_NO_FATAL_FAILURE(AttachAddOn());
        OpenSampleProject();
        Fail(t.fault);
        API_LibPart record {};
        record.index = chair;
        ASSERT_EQ(ACAPI_LibPart_Get(&record), NoError);
        EXPECT_EQ(SetToolBoxMode(&record), t.result);
        EXPECT_EQ(host->GetProject().ToolboxSelection(), t.selected);
    }
}

// Rewriting a library part: a part is stored only from what was read whole. A call that fails
// before the section update writes nothing (the part would lose its details or be built from
// an empty record), so the part file keeps its bytes and the result is false. Memory that runs
// out is such a failure too: the list the host cannot hand out, or cannot resize once the
// rewrite dropped a record whose cells it released.
TEST_F(HostCallFailureTest, LibraryPartRewrite)
{
    ASSERT_NO_FATAL_FAILURE(AttachAddOn());
    OpenSampleProject();
    const int32_t chair = PartOfFile("OakChair_1234.gsm");
    const std::string file = host->GetProject().Part(chair)->file;
    const std::string index = std::to_string(chair);
    // "KDPC_HNDL", an array, marked obsolete: the record and its cells go.
    UpdateEntries dropsCells;
    dropsCells.Push(std::make_shared<UpdateDataEntry>());
    dropsCells[0]->variableName = "KDPC_HNDL";
    dropsCells[0]->obsolete = true;
    struct Case {
        std::vector<std::string> fault;
        bool result;
        UpdateEntries entries {};
    };
    for (const Case& c :
         {Case {{"LibPartUpdateSection", "when", index}, false}, Case {{"LibPartGetParams", "when", index}, false},
          Case {{"LibPartGetSectParamDef", "when", index}, false}, Case {{"LibPartGetDetails", "when", index}, false},
          Case {{"LibPartGet", "when", index}, false}, Case {{"LibPartSetDetailsParamDef", "when", index}, false},
          Case {{"BMhAllClear", "count", "1"}, false}, Case {{"BMhSetSize"}, false, dropsCells}, Case {{}, true}}) {
        SCOPED_TRACE(c.fault.empty() ? "no fault" : c.fault[0]);
        host->Faults().Clear();
        if (!c.fault.empty())
            Fail(c.fault);
        const std::string before = kordela::test::ReadFile(file);
        const size_t params = host->GetProject().Part(chair)->params.size();
        const TranscriptMark mark = Mark();
        EXPECT_EQ(UpdateManager::getInstance().UpdateALibpart(chair, c.entries), c.result);
        if (!c.fault.empty()) {
            EXPECT_EQ(CountSince(mark, "host call " + c.fault[0]), 1u);
        }
        EXPECT_GE(host->GetProject().Part(chair)->params.size(), params);  // no parameter lost
        if (!c.result) {
            EXPECT_EQ(kordela::test::ReadFile(file), before);
        }
    }
}

// Rewriting placed instances: an element the host cannot get is skipped, a memo that cannot
// be read still runs the change, a failing change or undo step is not counted. Without its
// undo step no element is touched at all.
TEST_F(HostCallFailureTest, PlacedInstanceRewrite)
{
    constexpr const char* Chair = "11111111-1111-4111-8111-111111111111";
    const std::string undo = KORDELA_UNDOES_BY_COMMAND ? "CallUndoableCommand" : "OpenUndoableSession";
    struct Case {
        std::vector<std::string> fault;
        int changed;
        size_t steps;  // undo steps begun
    };
    for (const Case& c :
         {Case {{}, 1, 1}, Case {{"ElementGet", "when", Chair}, 0, 0}, Case {{"ElementGetMemo", "when", Chair}, 1, 1},
          Case {{"ElementChange", "when", Chair}, 0, 1}, Case {{undo}, 0, 0},
          // No memory for the memo's list: as a memo that cannot be read.
          Case {{"BMhAllClear", "count", "1"}, 1, 1}}) {
        SCOPED_TRACE(c.fault.empty() ? "no fault" : c.fault[0]);
        host.reset();
        host = std::make_unique<DevHost::Host>(DevHost::Options {});
        ASSERT_NO_FATAL_FAILURE(AttachAddOn());
        OpenSampleProject();
        if (!c.fault.empty())
            Fail(c.fault);
        UpdateDataTable data;
        data.Add(GS::UniString("6E0F5B7A-1C2D-4E3F-8A9B-0C1D2E3F4A5B"), std::make_shared<UpdateData>());
        ElementsByProduct elements;
        GS::Array<API_Guid> guids;
        guids.Push(APIGuidFromString(Chair));
        elements.Add(GS::UniString("6E0F5B7A-1C2D-4E3F-8A9B-0C1D2E3F4A5B"), guids);
        int changed = -1;
        EXPECT_EQ(UpdateManager::getInstance().UpdateInstances(&data, &elements, &changed), 0);
        EXPECT_EQ(changed, c.changed);
        EXPECT_EQ(CountLines("undo step \"\" " + std::string(KORDELA_UNDOES_BY_COMMAND ? "begins" : "opened")),
                  c.steps);
        EXPECT_EQ(CountLines("changed outside an undoable step"), 0u);
        EXPECT_EQ(CountLines("undo step \"\" closed"), KORDELA_UNDOES_BY_COMMAND ? 0u : c.steps);
    }
}

// The selection: nothing selected is an answer (every placed element then counts), any other
// error is none, and the collections leave their rows alone.
TEST_F(HostCallFailureTest, Selection)
{
    ASSERT_NO_FATAL_FAILURE(AttachAddOn());
    OpenSampleProject();
    ASSERT_EQ(host->GetProject().SelectElements({"11111111-1111-4111-8111-111111111111"}), "");
    struct Case {
        std::vector<std::string> fault;
        std::optional<size_t> selected;
    };
    for (const Case& c :
         {Case {{}, 1u}, Case {{"SelectionGet", "NoSelection"}, 0u}, Case {{"SelectionGet", "General"}, std::nullopt},
          Case {{"SelectionGet", "BadIndex"}, std::nullopt}}) {
        SCOPED_TRACE(c.fault.empty() ? "no fault" : c.fault[1]);
        host->Faults().Clear();
        if (!c.fault.empty())
            Fail(c.fault);
        const auto selection = SelectedElements();
        ASSERT_EQ(selection.has_value(), c.selected.has_value());
        if (selection) {
            EXPECT_EQ(selection->GetSize(), *c.selected);
        }
    }
}

// Page launchers: a selection the host cannot tell ends the launcher without a word; nothing
// selected is told to the user.
TEST_F(HostCallFailureTest, LauncherSelection)
{
    ASSERT_NO_FATAL_FAILURE(OpenPalette());
    OpenSampleProject();
    constexpr short ProductItem = 2;
    struct Case {
        const char* error;
        size_t told;  // "Nothing is selected." reports
    };
    for (const Case& c : {Case {"NoSelection", 1}, Case {"General", 0}, Case {"BadIndex", 0}}) {
        SCOPED_TRACE(c.error);
        host->Faults().Clear();
        Fail({"SelectionGet", c.error});
        const TranscriptMark mark = Mark();
        EXPECT_EQ(DGHost::ClickItem(PaletteId, ProductItem), "");
        EXPECT_EQ(CountSince(mark, "report alert: Nothing is selected."), c.told);
        EXPECT_EQ(CountSince(mark, "report alert:"), c.told);
        EXPECT_EQ(CountSince(mark, " loads "), 0u);
    }
}

// Collecting the placed elements for the object update and the property-cloud update: an
// element or memo the host cannot read is left out without a word, the others still count.
TEST_F(HostCallFailureTest, PlacedElementCollections)
{
    constexpr const char* Chair = "11111111-1111-4111-8111-111111111111";
    constexpr const char* Door = "22222222-2222-4222-8222-222222222222";
    constexpr const char* Lamp = "33333333-3333-4333-8333-333333333333";
    constexpr const char* Window = "44444444-4444-4444-8444-444444444444";
    ASSERT_NO_FATAL_FAILURE(AttachAddOn());
    OpenSampleProject();
    // The door and the lamp hold no product GUID: their URLs are known, no service is asked.
    UrlToGuidHandler::getInstance().Add(GS::UniString("kordela.example/Product/2001"),
                                        GS::UniString("B3A1C9D2-7E44-4F0B-9C1A-5D6E7F809A1B"));
    UrlToGuidHandler::getInstance().Add(GS::UniString("kordela.example/Product/3001"),
                                        GS::UniString("0F9E8D7C-6B5A-4948-8372-615049382716"));
    // The window carries the chair's clouds too, so that the cloud update has two elements.
    DevHost::Project& project = host->GetProject();
    const auto& chairParams = project.Element(APIGuidFromString(Chair))->params;
    const auto clouds = std::find_if(chairParams.begin(), chairParams.end(),
                                     [](const DevHost::Parameter& p) { return p.name == "KDPC_HNDL"; });
    ASSERT_NE(clouds, chairParams.end());
    project.Element(APIGuidFromString(Window))->params.push_back(*clouds);

    auto rows = [](const GS::Array<API_Guid>& guids) {
        std::vector<std::string> texts;
        for (const API_Guid& guid : guids)
            texts.push_back(APIGuidToString(guid).ToUTF8());
        return texts;
    };
    struct Collection {
        const char* what;
        std::function<std::vector<std::string>()> collect;
        std::vector<std::string> all;  // objects, lamps, windows, doors
    };
    const std::vector<Collection> collections = {
        {"object update",
         [&] {
             UpdateInfo& info = UpdateManager::getInstance().updateInfo;
             info.Init();
             return rows(info.elementGuids);
         },
         {Chair, Lamp, Window, Door}},
        {"cloud update",
         [&] {
             KDPCUpdateInfo& info = KDPCUpdateManager::getInstance().updateInfo;
             info.Init();
             return rows(info.elementGuids);
         },
         {Chair, Window}},
    };
    for (const Collection& collection : collections) {
        SCOPED_TRACE(collection.what);
        host->Faults().Clear();
        ASSERT_EQ(collection.collect(), collection.all);
        for (const char* call : {"ElementGet", "ElementGetMemo"}) {
            for (const std::string& unreadable : {std::string(Chair), std::string(Window)}) {
                SCOPED_TRACE(std::string(call) + " " + unreadable);
                host->Faults().Clear();
                Fail({call, "when", unreadable});
                std::vector<std::string> expected = collection.all;
                std::erase(expected, unreadable);
                const TranscriptMark mark = Mark();
                EXPECT_EQ(collection.collect(), expected);
                EXPECT_EQ(CountSince(mark, "host call " + std::string(call)), 1u);
                EXPECT_EQ(CountSince(mark, "report"), 0u);
            }
        }
    }
}
