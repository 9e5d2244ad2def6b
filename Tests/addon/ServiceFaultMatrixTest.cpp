// Every caller of the service API against every misbehaviour of the local service: no crash,
// no hang past the transfer limits, the caller's default (or the right answer where the
// misbehaviour still delivers it), and nothing rewritten from a failed transfer.
#include "AddOnHarness.hpp"
#include "Kordela.hpp"
#include "MainObserver.hpp"
#include "MainPalette.hpp"

#include "DevHost/Project.hpp"
#include "KDPCManager.hpp"
#include "ServiceRequest.hpp"
#include "UpdateManager.hpp"
#include "UrlToGuidHandler.hpp"

#include <chrono>
#include <functional>

namespace {

constexpr const char* ChairUrl = "kordela.example/Product/1234";
constexpr const char* ChairGuid = "6E0F5B7A-1C2D-4E3F-8A9B-0C1D2E3F4A5B";
constexpr const char* ChairId = "{6E0F5B7A-0000-4E3F-8A9B-0C1D2E3F4A5B}-{00000000-0000-0000-0000-000000000001}";
constexpr int UnattachedCloud = 15;  // offered for the chair, not on its part yet
constexpr int FeaturedCount = 6;     // featured manufacturers of the sample catalogue

// What a misbehaviour may leave the caller with.
enum class Expect {
    Default,  // the caller's default: the transfer or its answer failed
    Answer,   // the right answer: the misbehaviour still delivers it whole
    Either,   // a cut answer: the default, the answer or as much of it as came whole
};

struct Misbehaviour {
    const char* what;
    const char* mode;
    nlohmann::json settings;
    Expect expect;
};

// The settings keep every case to about two seconds at most; the transfer limits are
// shortened as well.
const std::vector<Misbehaviour>& Misbehaviours()
{
    static const std::vector<Misbehaviour> list = {
        {"no misbehaviour", "none", {}, Expect::Answer},
        {"error status", "http500", {}, Expect::Default},
        {"error page", "html-error", {}, Expect::Default},
        {"no answer", "no-answer", {{"seconds", 2}}, Expect::Default},
        {"trickle below the low-speed limit",
         "trickle",
         {{"chunk_bytes", 1}, {"interval_ms", 3000}, {"max_seconds", 2}},
         Expect::Default},
        {"trickle cut off", "trickle", {{"chunk_bytes", 8}, {"interval_ms", 50}, {"max_seconds", 1}}, Expect::Either},
        {"truncated", "truncated", {}, Expect::Either},
        {"redirect chain", "redirect-chain", {{"count", 3}}, Expect::Answer},
        {"gzip without being asked", "gzip", {}, Expect::Default},
        {"malformed XML", "malformed-xml", {}, Expect::Either},
        {"unexpected XML", "unexpected-xml", {}, Expect::Default},
        {"<!>", "body", {{"body", "<!>"}}, Expect::Default},
        {"<!xyz>", "body", {{"body", "<!xyz>"}}, Expect::Default},
        {"<![abcd]]>", "body", {{"body", "<![abcd]]>"}}, Expect::Default},
        {"attribute without '='", "body", {{"body", "<Bim UnreadEmails>"}}, Expect::Default},
        {"comment holding '<'", "body", {{"body", "<Bim><!-- a < b --></Bim>"}}, Expect::Default},
        {"byte-order mark alone", "body", {{"body", {0xFF, 0xFE}}}, Expect::Default},
        {"silent past the service's own minute", "no-answer", {{"seconds", 600}}, Expect::Default},
        {"chunked, no length", "chunked", {{"chunk_bytes", 16}}, Expect::Answer},
        {"chunked, cut", "chunked", {{"chunk_bytes", 16}, {"send_bytes", 40}}, Expect::Either},
        {"deflate without being asked", "deflate", {}, Expect::Default},
        {"redirect loop", "redirect-chain", {{"count", 50}}, Expect::Default},
        {"redirect to a missing page", "redirect", {{"to", "/missing"}}, Expect::Default},
        // Asked once: an error is not retried, so the answer queued behind it is never fetched.
        {"error status once, then the answer", "", {{"queue", {{{"mode", "http500"}}}}}, Expect::Default},
    };
    return list;
}

// What one call gave: the default, the whole answer, or something between (a cut answer).
enum class Outcome { Default, Answer, Partial, Wrong };

const char* Name(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Default: return "the default";
    case Outcome::Answer: return "the answer";
    case Outcome::Partial: return "part of the answer";
    default: return "a wrong result";
    }
}

class ServiceFaultMatrix;

struct Caller {
    const char* name;
    const char* path;
    Outcome (*run)(ServiceFaultMatrix& test);
};

void PrintTo(const Caller& caller, std::ostream* out)
{
    *out << caller.name;
}

class ServiceFaultMatrix : public AddOnPaletteHarness, public ::testing::WithParamInterface<Caller> {
protected:
    void SetUp() override
    {
        AddOnPaletteHarness::SetUp();
        ASSERT_EQ(host->GetProject().Open(std::string(KORDELA_SOURCE_DIR) + "/Samples/project/Project.json", true), "");
        OpenPalette();
        // Short windows, so that a silent or stalled service costs about a second.
        SetTransferLimits(TransferLimits {2, 1, 1, 20});
    }

    void TearDown() override
    {
        SetTransferLimits(TransferLimits {});
        AddOnPaletteHarness::TearDown();
    }

    const DevHost::LibraryPartData* Chair() const
    {
        for (const auto& part : host->GetProject().Parts())
            if (part.ownUnID == ChairId)
                return &part;
        return nullptr;
    }

    // The chair part's parameters, to see whether anything was written.
    std::string ChairParameters() const
    {
        const DevHost::LibraryPartData* chair = Chair();
        if (chair == nullptr)
            return "(no chair)";
        std::string text;
        for (const DevHost::Parameter& p : chair->params) {
            text += p.name + "=" + std::to_string(p.real) + ":" + std::string(p.text.begin(), p.text.end());
            for (double cell : p.cells)
                text += "," + std::to_string(cell);
            text += ";";
        }
        return text;
    }

    bool ChairHoldsCloud(int cloudId) const
    {
        const DevHost::LibraryPartData* chair = Chair();
        for (const DevHost::Parameter& p : chair != nullptr ? chair->params : std::vector<DevHost::Parameter> {})
            if (p.name == "KDPC_HNDL" && p.dim2 > 0)
                for (size_t row = 0; row < p.cells.size(); row += static_cast<size_t>(p.dim2))
                    if (p.cells[row] == cloudId)
                        return true;
        return false;
    }

public:
    static Outcome LookUpGuid(ServiceFaultMatrix&)
    {
        const std::string guid = UrlToGuidHandler::getInstance().TryToGet(ChairUrl).ToUTF8();
        return guid.empty() ? Outcome::Default : guid == ChairGuid ? Outcome::Answer : Outcome::Wrong;
    }

    static Outcome CountMails(ServiceFaultMatrix&)
    {
        int count = -1;
        mainObserver->AskForNumOfMailsHandler(count);
        return count == 0 ? Outcome::Default : count == 3 ? Outcome::Answer : Outcome::Wrong;
    }

    static Outcome FeatureManufacturers(ServiceFaultMatrix&)
    {
        mainPalette->GetFeaturedManufacturers(PaletteWatch(&mainPalette));
        const UIndex shown = mainPalette->urls.GetSize();
        return shown == 0 ? Outcome::Default : shown == FeaturedCount ? Outcome::Answer : Outcome::Partial;
    }

    static Outcome UpdateChair(ServiceFaultMatrix&)
    {
        UpdateManager& manager = UpdateManager::getInstance();
        manager.updateInfo.Init();
        manager.updatedProductGuids.Clear();
        manager.notUpdatedProductGuids.Clear();
        manager.UpdateProducts((std::string(ChairGuid) + ",4,true;").c_str());
        const bool updated = manager.updatedProductGuids.Contains(GS::UniString(ChairGuid));
        manager.updateInfo.Clear();
        return updated ? Outcome::Answer : Outcome::Default;
    }

    static Outcome AttachCloud(ServiceFaultMatrix& test)
    {
        const DevHost::LibraryPartData* chair = test.Chair();
        if (chair == nullptr)
            return Outcome::Wrong;
        const size_t told = test.CountLines("No dynamic parameters found");
        const int result = KDPCManager::AddKDPCParams(chair->index, UnattachedCloud);
        const bool attached = test.ChairHoldsCloud(UnattachedCloud);
        if (result == 0)
            return attached ? Outcome::Answer : Outcome::Wrong;
        // The user is told that nothing was attached.
        return !attached && test.CountLines("No dynamic parameters found") > told ? Outcome::Default : Outcome::Wrong;
    }
};

}  // namespace

TEST_P(ServiceFaultMatrix, EveryMisbehaviourEndsInTheDefaultOrTheAnswer)
{
    const Caller& caller = GetParam();
    for (const Misbehaviour& m : Misbehaviours()) {
        SCOPED_TRACE(std::string(caller.name) + " against " + m.what);
        // Each case starts from the sample project as it was opened.
        ASSERT_EQ(host->GetProject().Open(std::string(KORDELA_SOURCE_DIR) + "/Samples/project/Project.json", true), "");
        const std::string before = ChairParameters();
        ASSERT_TRUE(service.SetFault(caller.path, m.mode, m.settings));

        const auto start = std::chrono::steady_clock::now();
        const Outcome outcome = caller.run(*this);
        // Generous: the service gives up after two seconds at most.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));

        switch (m.expect) {
        case Expect::Default: EXPECT_EQ(outcome, Outcome::Default) << Name(outcome); break;
        case Expect::Answer: EXPECT_EQ(outcome, Outcome::Answer) << Name(outcome); break;
        case Expect::Either: EXPECT_NE(outcome, Outcome::Wrong); break;
        }
        if (outcome == Outcome::Default) {
            EXPECT_EQ(ChairParameters(), before) << "a failed transfer rewrote the part";
        }
        ASSERT_TRUE(service.Reset());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Callers, ServiceFaultMatrix,
    ::testing::Values(Caller {"ProductGuidLookup", "/GetProductGuids", &ServiceFaultMatrix::LookUpGuid},
                      Caller {"UnreadMailCount", "/GetUnreadEmailsCount2", &ServiceFaultMatrix::CountMails},
                      Caller {"FeaturedManufacturers", "/GetFeaturedManufacturers2",
                              &ServiceFaultMatrix::FeatureManufacturers},
                      Caller {"ObjectUpdateQuery", "/GetKordelaInfoXml3", &ServiceFaultMatrix::UpdateChair},
                      Caller {"PropertyCloudAttach", "/GetKdpcInfoXml2", &ServiceFaultMatrix::AttachCloud}),
    [](const ::testing::TestParamInfo<Caller>& info) { return std::string(info.param.name); });
