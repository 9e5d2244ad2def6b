// Service answers that fail in ways only a misbehaving server produces (held past a minute,
// cut chunked bodies, deflate not asked for, redirect loops, redirects to missing pages),
// against the product-GUID lookup and the property-cloud query: what the caller is left
// with, what it tells the user, and what it asks the next time.
#include "AddOnHarness.hpp"
#include "KDPCManager.hpp"
#include "ServiceRequest.hpp"
#include "UrlToGuidHandler.hpp"

namespace {

using nlohmann::json;

constexpr const char* Key = "3f2504e0-4f89-11d3-9a0c-0305e82c3301";
constexpr const char* ChairGuid = "6E0F5B7A-1C2D-4E3F-8A9B-0C1D2E3F4A5B";

struct Cause {
    const char* what;
    json fault;
};

// Each ends within the shortened transfer limits set below.
const Cause Causes[] = {
    {"error status", {{"mode", "http500"}}},
    {"held silent past the service's own minute", {{"mode", "no-answer"}, {"seconds", 600}}},
    {"chunked and cut before its end", {{"mode", "chunked"}, {"chunk_bytes", 16}, {"send_bytes", 40}}},
    {"deflate not asked for", {{"mode", "deflate"}}},
    {"redirect loop", {{"mode", "redirect-chain"}, {"count", 50}}},
    {"redirect to a missing page", {{"mode", "redirect"}, {"to", "/missing"}}},
};

class ServiceAnswerFailures : public AddOnServiceHarness {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(AddOnServiceHarness::SetUp());
        ASSERT_NO_FATAL_FAILURE(AttachAddOn());
        StoreSetting("APIKey", Key);
        SetTransferLimits(TransferLimits {2, 1, 1, 20});
    }

    // Requests of the path that the add-on made, not counting the hops of redirects.
    size_t AskedFor(const std::string& path) const
    {
        size_t count = 0;
        for (const json& entry : Requests(path))
            count += entry.contains("hop") ? 0 : 1;
        return count;
    }
};

}  // namespace

TEST_F(ServiceAnswerFailures, FailedGuidLookupIsNotKeptAndTheNextLookupAsksAgain)
{
    int n = 0;
    for (const Cause& cause : Causes) {
        SCOPED_TRACE(cause.what);
        ASSERT_TRUE(service.Reset());
        // The cache lives as long as the process: a URL of its own for each case, which the
        // service still finds by its page path.
        const std::string url = "failure-" + std::to_string(++n) + ".kordela.example/Product/1234";
        ASSERT_TRUE(service.SetFault("/GetProductGuids", "", {{"queue", {cause.fault, {{"mode", "pass"}}}}}));
        auto& cache = UrlToGuidHandler::getInstance();
        EXPECT_EQ(cache[GS::UniString(url.c_str())].ToUTF8(), "");
        EXPECT_EQ(cache[GS::UniString(url.c_str())].ToUTF8(), ChairGuid) << "the failure was kept";
        EXPECT_EQ(cache[GS::UniString(url.c_str())].ToUTF8(), ChairGuid);
        EXPECT_EQ(AskedFor("/GetProductGuids"), 2u);
    }
}

TEST_F(ServiceAnswerFailures, FailedCloudQueryLeavesTheRecordEmptyAndTellsNothing)
{
    OpenSampleProject();
    const int32_t chair = IndexOf("Oak dining chair");
    ASSERT_NE(chair, 0);
    for (const Cause& cause : Causes) {
        SCOPED_TRACE(cause.what);
        ASSERT_TRUE(service.Reset());
        ASSERT_TRUE(service.SetFault("/GetKdpcInfoXml2", cause.fault["mode"].get<std::string>(), cause.fault));
        const TranscriptMark mark = Mark();
        KDPCManager::KDPCInfo info;
        EXPECT_EQ(KDPCManager::RetrieveObjectRelatedInformation(chair, 15, &info), 0);
        EXPECT_EQ(info.params.GetSize(), 0u);
        EXPECT_EQ(info.name, "");
        EXPECT_FALSE(SaidSince(mark, "report alert")) << "a failed query is not told";
        EXPECT_EQ(AskedFor("/GetKdpcInfoXml2"), 1u) << "and not repeated";
    }
}

TEST_F(ServiceAnswerFailures, CloudAnswerWithTwoCloudsKeepsBothTitlesAndTheSecondsName)
{
    OpenSampleProject();
    const std::string answer =
        "<Bim><KDPC Id='15' Name='Acoustics' LastModified='2024-01-01' VariableName='KDPC_C0015_Title' />"
        "<KDPCProperty Name='Alpha' VariableName='KDPC_C0015_Alpha' Value='0.5' Visible='true' Editable='false' />"
        "<KDPC Id='16' Name='Acoustics, revised' LastModified='2024-02-02' VariableName='KDPC_C0016_Title' />"
        "<KDPCProperty Name='Class' VariableName='KDPC_C0016_Class' Value='A' Visible='false' Editable='true' /></Bim>";
    ASSERT_TRUE(service.SetFault("/GetKdpcInfoXml2", "body", {{"body", answer}}));
    KDPCManager::KDPCInfo info;
    ASSERT_EQ(KDPCManager::RetrieveObjectRelatedInformation(IndexOf("Oak dining chair"), 15, &info), 0);
    ASSERT_EQ(info.params.GetSize(), 4u);
    EXPECT_EQ(info.name, "Acoustics, revised");
    EXPECT_EQ(info.lastModified, "2024-02-02");
    const std::vector<std::pair<std::string, bool>> entries = {{"KDPC_C0015_Title", true},
                                                               {"KDPC_C0015_Alpha", false},
                                                               {"KDPC_C0016_Title", true},
                                                               {"KDPC_C0016_Class", false}};
    for (UIndex i = 0; i < info.params.GetSize(); ++i) {
        EXPECT_EQ(info.params[i].variableName, entries[i].first) << i;
        EXPECT_EQ(info.params[i].isTitle, entries[i].second) << i;
    }
    EXPECT_EQ(info.params[2].name, "Acoustics, revised");
}
