// Property clouds when the host fails a call: attaching a further cloud (whose placed
// instances are brought level in an undo step) and the cloud update's rewrite of a part and
// its instances. Each row names the failing call and what the user, the part and the placed
// chairs are left with.
#include "AddOnHarness.hpp"
#include "KDPCUpdateManager.hpp"

#include "DevHost/HostFaults.hpp"

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

constexpr const char* Chair = "11111111-1111-4111-8111-111111111111";
constexpr const char* SecondChair = "77777777-7777-4777-8777-777777777777";
constexpr const char* ChairPartId = "{6E0F5B7A-0000-4E3F-8A9B-0C1D2E3F4A5B}-{00000000-0000-0000-0000-000000000001}";
// The call that opens an undo step on this host version.
constexpr const char* UndoCall = HostUndoesByCommand ? "CallUndoableCommand" : "OpenUndoableSession";

class CloudFailureTest : public AddOnServiceHarness {
protected:
    void SetUp() override
    {
        AddOnServiceHarness::SetUp();
        StoreSetting("APIKey", kordela::test::ServiceKeys::ThreeMails);
        ASSERT_NO_FATAL_FAILURE(AttachAddOn());
    }

    // A fresh working copy of the sample project with a second placed chair after the first;
    // both carry the chair part's cloud 12 (row 12, 1, -1).
    void OpenChairs()
    {
        host->Faults().Clear();
        const std::string file = CopySampleProject();
        nlohmann::json project = nlohmann::json::parse(std::ifstream(file));
        nlohmann::json second = project["elements"][0];
        second["guid"] = SecondChair;
        project["elements"].insert(project["elements"].begin() + 1, second);
        std::ofstream(file) << project.dump(2);
        ASSERT_EQ(host->GetProject().Open(file, false), "");
        const DevHost::LibraryPartData* part = host->GetProject().PartById(ChairPartId);
        ASSERT_NE(part, nullptr);
        chair = part->index;
    }

    void Fail(const std::vector<std::string>& line) { ASSERT_EQ(DevHost::AddHostFault(host->Faults(), line), ""); }

    const DevHost::Parameter* Param(const std::vector<DevHost::Parameter>& params, const std::string& name) const
    {
        for (const auto& p : params)
            if (p.name == name)
                return &p;
        return nullptr;
    }
    const std::vector<DevHost::Parameter>& PartParams() const { return host->GetProject().Part(chair)->params; }
    const std::vector<DevHost::Parameter>& InstanceParams(const char* guid) const
    {
        return host->GetProject().Element(APIGuidFromString(guid))->params;
    }
    std::vector<double> Rows(const std::vector<DevHost::Parameter>& params) const
    {
        const DevHost::Parameter* p = Param(params, "KDPC_HNDL");
        return p != nullptr ? p->cells : std::vector<double> {};
    }
    std::u16string Text(const std::vector<DevHost::Parameter>& params, const std::string& name) const
    {
        const DevHost::Parameter* p = Param(params, name);
        return p != nullptr ? p->text : u"(none)";
    }

    // The alerts since the mark are these, each once; and the host refused no element change
    // (one made outside an undo step).
    void ExpectAlertsSince(TranscriptMark mark, const std::vector<std::string>& alerts) const
    {
        EXPECT_EQ(CountSince(mark, "report alert"), alerts.size());
        for (const std::string& alert : alerts)
            EXPECT_EQ(CountSince(mark, "report alert: " + alert), 1u) << alert;
        EXPECT_EQ(CountSince(mark, "refused"), 0u);
    }

    int32_t chair = 0;
};

}  // namespace

// Attaching a further cloud: the part is written first, then the placed chairs are brought
// level in one undo step whose failure is not reported; the refresh still runs and the attach
// answers 0. Memory that runs out for the new rows stores nothing; for a chair's copy of them
// leaves that chair as it was; for the merge leaves the rows stored and tells the user.
TEST_F(CloudFailureTest, AttachBringingInstancesLevel)
{
    const std::vector<double> grown {12, 1, -1, 15, 1, -1};
    const std::vector<double> old {12, 1, -1};
    const std::string modificationError = ModificationErrorMessage();
    struct Case {
        const char* what;
        std::vector<std::string> fault;
        std::vector<double> chairRows;   // the first placed chair's, afterwards
        std::vector<double> secondRows;  // the second's
        int result = 0;
        std::vector<double> partRows = {12, 1, -1, 15, 1, -1};
        std::vector<std::string> alerts = {};
    };
    const std::vector<Case> cases = {
        {"no fault", {}, grown, grown},
        {"the undo step refused", {UndoCall, "count", "1"}, old, old},
        {"every undo step refused", {UndoCall}, old, old},
        {"the chair cannot be read", {"ElementGet", "when", Chair}, old, grown},
        {"its memo cannot be read", {"ElementGetMemo", "when", Chair}, old, grown},
        {"its memo cannot be changed", {"ElementChangeMemo", "when", Chair}, old, grown},
        {"no memory for the new rows", {"BMhAllClear", "when", "48"}, old, old, -3, old, {modificationError}},
        {"no memory for the chair's copy of them", {"BMhDuplicate", "count", "1"}, old, grown},
        {"no memory to merge the cloud", {"BMhSetSize", "when", "grow"}, grown, grown, -3, grown, {modificationError}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NO_FATAL_FAILURE(OpenChairs());
        if (!c.fault.empty())
            Fail(c.fault);
        const TranscriptMark mark = Mark();
        EXPECT_EQ(KDPCManager::AddKDPCParams(chair, 15), c.result);
        ExpectAlertsSince(mark, c.alerts);
        EXPECT_EQ(Rows(PartParams()), c.partRows);
        EXPECT_EQ(Param(PartParams(), "KDPC_C0015_Alpha") != nullptr, c.result == 0);
        EXPECT_EQ(Rows(InstanceParams(Chair)), c.chairRows);
        EXPECT_EQ(Rows(InstanceParams(SecondChair)), c.secondRows);
    }
}

// The cloud update's rewrite of a part and its placed instances: a part that cannot be read
// or stored keeps its section and its instances are not touched; an instance that cannot be
// read or changed is left as it was, silently, and the next one is still rewritten.
TEST_F(CloudFailureTest, CloudUpdateRewrite)
{
    KDPCInfo record;
    record.cloudId = 12;
    record.editionNumber = 4;
    KDPCUpdateDataEntry title;
    title.variableName = "KDPC_C0012_Title";
    title.name = "Fire safety";
    title.isTitle = true;
    KDPCUpdateDataEntry resistance;
    resistance.variableName = "KDPC_C0012_Resistance";
    resistance.name = "Fire resistance";
    resistance.value = "EI 90";
    resistance.visible = true;
    record.entries.Push(title);
    record.entries.Push(resistance);

    const std::vector<double> updated {12, 1, 4};
    const std::vector<double> old {12, 1, -1};
    const std::string modificationError = ModificationErrorMessage();
    struct Case {
        const char* what;
        std::vector<std::string> fault;  // "#" stands for the part's index
        bool partRewritten;
        std::vector<double> chairRows;  // the first placed chair's; the second's follow the part
        std::vector<std::string> alerts;
    };
    const std::vector<Case> cases = {
        {"no fault", {}, true, updated, {}},
        {"parameters cannot be read", {"LibPartGetParams", "when", "#"}, false, old, {modificationError}},
        // Details that were not read would be written back over the part's own.
        {"details cannot be read", {"LibPartGetDetails", "when", "#"}, false, old, {modificationError}},
        {"section cannot be built", {"LibPartGetSectParamDef", "when", "#"}, false, old, {modificationError}},
        {"section cannot be completed", {"LibPartSetDetailsParamDef", "when", "#"}, false, old, {modificationError}},
        {"section cannot be stored", {"LibPartUpdateSection", "when", "#"}, false, old, {modificationError}},
        {"the chair cannot be read", {"ElementGet", "when", Chair}, true, old, {}},
        {"its memo cannot be read", {"ElementGetMemo", "when", Chair}, true, old, {}},
        {"its memo cannot be changed", {"ElementChangeMemo", "when", Chair}, true, old, {}},
        {"its undo step refused", {UndoCall, "count", "1"}, true, old, {}},
        // Stored unmerged, the part's row would claim the edition and the cloud never come.
        {"no memory to merge the cloud", {"BMhSetSize", "when", "grow"}, false, old, {modificationError}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NO_FATAL_FAILURE(OpenChairs());
        std::vector<std::string> fault = c.fault;
        for (std::string& word : fault)
            if (word == "#")
                word = std::to_string(chair);
        if (!fault.empty())
            Fail(fault);
        const std::string file = host->GetProject().Part(chair)->file;
        const std::string before = kordela::test::ReadFile(file);
        const TranscriptMark mark = Mark();
        EXPECT_EQ(KDPCUpdateManager::getInstance().UpdateALibpart(chair, &record),
                  c.partRewritten ? 0 : KDPCUpdateManager::NotStored);
        ExpectAlertsSince(mark, c.alerts);
        EXPECT_EQ(Rows(PartParams()), c.partRewritten ? updated : old);
        EXPECT_EQ(Text(PartParams(), "KDPC_C0012_Resistance"), c.partRewritten ? u"EI 90" : u"(none)");
        if (!c.partRewritten) {
            EXPECT_EQ(kordela::test::ReadFile(file), before);
        }
        EXPECT_EQ(Rows(InstanceParams(Chair)), c.chairRows);
        EXPECT_EQ(Rows(InstanceParams(SecondChair)), c.partRewritten ? updated : old);
    }
}

// A cloud counts as updated only when its part was stored: one whose rewrite was refused with
// an alert is listed as not updated, like a cloud without an answer; stored once the host
// takes the part again, it is listed as updated.
TEST_F(CloudFailureTest, CloudUpdateCountsOnlyStoredParts)
{
    ASSERT_NO_FATAL_FAILURE(OpenChairs());
    const GS::UniString product("6E0F5B7A-1C2D-4E3F-8A9B-0C1D2E3F4A5B");
    auto record = std::make_shared<KDPCInfo>();
    record->cloudId = 12;
    record->editionNumber = 4;
    KDPCUpdateDataEntry title;
    title.variableName = "KDPC_C0012_Title";
    title.isTitle = true;
    record->entries.Push(title);
    KDPCUpdateDataTable answers;
    answers.Add(product, std::make_shared<KDPCUpdateData>());
    answers.Get(product)->clouds.Add(12, record);
    CloudIdsByProduct clouds;
    clouds.Add(product, GS::Array<int> {12, 15});
    LibPartsByProduct parts;
    parts.Add(product, GS::Array<int> {chair});
    const auto ids = [&](const CloudIdsByProduct& table) {
        return table.ContainsKey(product) ? std::vector<int>(table.Get(product).begin(), table.Get(product).end())
                                          : std::vector<int>();
    };

    Fail({"LibPartUpdateSection", "when", std::to_string(chair)});
    CloudIdsByProduct updated;
    CloudIdsByProduct notUpdated;
    TranscriptMark mark = Mark();
    EXPECT_EQ(KDPCUpdateManager::getInstance().UpdateLibParts(&answers, &clouds, &parts, &updated, &notUpdated), 0);
    ExpectAlertsSince(mark, {ModificationErrorMessage()});
    EXPECT_EQ(Rows(PartParams()), (std::vector<double> {12, 1, -1}));
    EXPECT_EQ(ids(updated), std::vector<int>());
    EXPECT_EQ(ids(notUpdated), (std::vector<int> {12, 15}));

    host->Faults().Clear();
    updated = {};
    notUpdated = {};
    mark = Mark();
    EXPECT_EQ(KDPCUpdateManager::getInstance().UpdateLibParts(&answers, &clouds, &parts, &updated, &notUpdated), 0);
    ExpectAlertsSince(mark, {});
    EXPECT_EQ(Rows(PartParams()), (std::vector<double> {12, 1, 4}));
    EXPECT_EQ(ids(updated), std::vector<int> {12});
    EXPECT_EQ(ids(notUpdated), std::vector<int> {15});
}
