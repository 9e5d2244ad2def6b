// Host calls made to fail on purpose, and host calls that arrive after the host has gone:
// the mechanism the failure tests stand on, checked through the host's own table.
#include "AddOnHarness.hpp"

#include "DevHost/HostFaults.hpp"
#include "DevHost/Project.hpp"

namespace {

constexpr const char* Chair = "11111111-1111-4111-8111-111111111111";
constexpr const char* Door = "22222222-2222-4222-8222-222222222222";

class HostCallFaultTest : public AddOnHarness {
protected:
    void SetUp() override
    {
        AddOnHarness::SetUp();
        OpenSampleProject();
        table = host->Table();
    }

    GSErrCode GetParams(int32_t index)
    {
        API_AddParType** params = nullptr;
        const GSErrCode result = table.LibPartGetParams(index, nullptr, nullptr, nullptr, &params);
        BMhKill(reinterpret_cast<GSHandle*>(&params));
        return result;
    }
    GSErrCode GetMemo(const char* guid)
    {
        const API_Guid g = APIGuidFromString(guid);
        API_ElementMemo memo;
        const GSErrCode result = table.ElementGetMemo(&g, &memo, APIMemoMask_AddPars);
        ACAPI_DisposeElemMemoHdls(&memo);
        return result;
    }
    // A handle of `size` bytes: Memory when none is given.
    static GSErrCode Allocate(size_t size)
    {
        GSHandle handle = BMhAllClear(size);
        const GSErrCode result = handle != nullptr ? NoError : ErrCode::Memory;
        BMhKill(&handle);
        return result;
    }
    // A handle of 8 bytes resized to `size`; one the resize refuses keeps its size and bytes.
    static GSErrCode Resize(size_t size)
    {
        GSHandle handle = BMhAllClear(8);
        std::memcpy(*handle, "kept it", 8);
        const GSErrCode result = BMhSetSize(handle, size);
        if (result != NoError) {
            EXPECT_EQ(BMhGetSize(handle), 8u);
            EXPECT_STREQ(*handle, "kept it");
        }
        BMhKill(&handle);
        return result;
    }
    GSErrCode Libraries(int32_t code)
    {
        GS::Array<API_LibraryInfo> list;
        if (code == APIEnv_SetLibrariesID &&
            table.Environment(APIEnv_GetLibrariesID, &list, nullptr, nullptr) != NoError)
            return -1;
        return table.Environment(code, &list, nullptr, nullptr);
    }

    API_HostTable table {};
};

}  // namespace

TEST_F(HostCallFaultTest, FaultTakesTheCallsItNamesForItsArgumentAndCount)
{
    struct Case {
        const char* what;
        std::vector<std::string> line;  // the words after "fault host"
        std::function<GSErrCode()> call;
        std::vector<GSErrCode> answers;              // of calls in turn
        std::function<GSErrCode()> other = nullptr;  // untouched by the fault
    };
    const std::vector<Case> cases = {
        {"every call", {"LibPartGetParams"}, [&] { return GetParams(1); }, {ErrCode::General, ErrCode::General}},
        {"the next call only, with its code",
         {"LibPartGetParams", "BadIndex", "count", "1"},
         [&] { return GetParams(1); },
         {ErrCode::BadIndex, NoError}},
        {"one part's index",
         {"LibPartGetParams", "when", "2"},
         [&] { return GetParams(2); },
         {ErrCode::General},
         [&] { return GetParams(1); }},
        {"a GUID without braces or case",
         {"ElementGetMemo", "0x81060002", "when", "{11111111-1111-4111-8111-111111111111}"},
         [&] { return GetMemo(Chair); },
         {ErrCode::Memory},
         [&] { return GetMemo(Door); }},
        {"a request code",
         {"Environment", "-4", "when", "'SLIB'", "count", "2"},
         [&] { return Libraries(APIEnv_SetLibrariesID); },
         {-4, -4, NoError},
         [&] { return Libraries(APIEnv_GetLibrariesID); }},
        {"a handle of one size, which runs out of memory by default",
         {"BMhAllClear", "when", "24"},
         [] { return Allocate(24); },
         {ErrCode::Memory, ErrCode::Memory},
         [] { return Allocate(16); }},
        {"a handle that grows, but not one that shrinks",
         {"BMhSetSize", "-4", "when", "grow", "count", "1"},
         [] { return Resize(64); },
         {-4, NoError},
         [] { return Resize(4); }},
        {"a block of one size",
         {"GS_malloc", "when", "100"},
         [] {
             void* block = GS_malloc(100);
             GS_free(block);
             return block != nullptr ? NoError : ErrCode::Memory;
         },
         {ErrCode::Memory}},
        {"the selection",
         {"SelectionGet", "NoSelection"},
         [&] {
             API_SelectionInfo info;
             return table.SelectionGet(&info, nullptr, false);
         },
         {ErrCode::NoSelection}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host->Faults().Clear();
        const TranscriptMark mark = Mark();
        ASSERT_EQ(DevHost::AddHostFault(host->Faults(), c.line), "");
        for (const GSErrCode answer : c.answers)
            EXPECT_EQ(c.call(), answer);
        if (c.other) {
            EXPECT_EQ(c.other(), NoError);
        }
        const auto failed = std::count_if(c.answers.begin(), c.answers.end(), [](GSErrCode a) { return a != NoError; });
        EXPECT_EQ(CountSince(mark, "host call " + c.line[0]), static_cast<size_t>(failed));
    }
    DevHost::AddHostFault(host->Faults(), {"clear"});
    EXPECT_EQ(GetParams(1), NoError);
}

TEST_F(HostCallFaultTest, UnreadableStringGivesAnEmptyText)
{
    ASSERT_NO_FATAL_FAILURE(AttachAddOn());
    table = host->Table();
    char text[64] = "left over";
    ASSERT_EQ(table.GetLocStr(text, sizeof text, 32000, 1), NoError);
    ASSERT_NE(text[0], '\0');
    ASSERT_EQ(DevHost::AddHostFault(host->Faults(), {"GetLocStr", "when", "32000/1"}), "");
    EXPECT_EQ(table.GetLocStr(text, sizeof text, 32000, 1), ErrCode::General);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(table.GetLocStr(text, sizeof text, 32000, 2), NoError);
}

TEST_F(HostCallFaultTest, FaultLinesThatCannotBeSetSayWhy)
{
    struct Case {
        std::vector<std::string> line;
        const char* says;
    };
    for (const Case& c : {Case {{"LibPartFly"}, "no host call LibPartFly"},
                          Case {{"ElementGet", "Sometimes"}, "unknown error Sometimes"},
                          Case {{"ElementGet", "count", "0"}, "count is a positive number"},
                          Case {{"ElementGet", "when"}, "usage: fault host"}, Case {{}, "usage: fault host"}}) {
        const std::string answer = DevHost::AddHostFault(host->Faults(), c.line);
        EXPECT_NE(answer.find(c.says), std::string::npos) << answer;
    }
    EXPECT_EQ(GetParams(1), NoError);
}

TEST_F(HostCallFaultTest, HostCallsAfterShutDownAnswerAnError)
{
    ASSERT_NO_FATAL_FAILURE(StartAddOn());
    table = host->Table();
    ASSERT_EQ(GetParams(1), NoError);
    host->Quit();
    EXPECT_EQ(GetParams(1), ErrCode::General);
    host.reset();
    // No host at all: every entry answers, none reaches a host that is gone.
    int32_t count = 0;
    EXPECT_EQ(table.LibPartGetNum(&count), ErrCode::General);
    EXPECT_EQ(GetMemo(Chair), ErrCode::General);
    EXPECT_EQ(table.CloseUndoableSession(), ErrCode::General);
    EXPECT_EQ(table.WriteReport("late", false), ErrCode::General);
    host = std::make_unique<DevHost::Host>(DevHost::Options {});
}
