// While the local service stands in, every transfer the add-on starts goes to the system log
// with the address as this build made it: the scheme and host of each host version's build
// show there, although everything is sent to the local service.
#include "AddOnHarness.hpp"
#include "Endpoints.hpp"
#include "UrlToGuidHandler.hpp"

#include <algorithm>
#include <functional>

namespace {

constexpr const char* Record = "log: transfer: ";
const std::string Rewritten = " (sent to the local service)";

// Host 21's build speaks https everywhere; older builds ask a few addresses over plain http.
const std::string LegacyScheme = HostVersion >= 21 ? "https://" : "http://";

class TransferRecords : public AddOnPaletteHarness {
protected:
    void SetUp() override
    {
        AddOnPaletteHarness::SetUp();
        PlayProgressPage();
    }

    // The addresses of the transfers logged since the mark, in order.
    std::vector<std::string> TransfersSince(TranscriptMark mark) const
    {
        std::vector<std::string> addresses;
        for (const std::string& line : LinesSince(mark))
            if (line.starts_with(Record))
                addresses.push_back(line.substr(std::string_view(Record).size()));
        return addresses;
    }
};

}  // namespace

TEST_F(TransferRecords, EachKindOfTransferIsLoggedWithTheSchemeAndHostThisBuildUses)
{
    const std::string info = "https://info.kordela.com/kordela_data/documents/Apps/";
    const std::string versionFile = info + "versionMac" + std::to_string(HostVersion) + ".txt" + Rewritten;
    const std::string api = "https://api.kordela.com/";
    struct Row {
        const char* kind;
        std::function<void()> start;
        std::vector<std::string> expected;  // among the transfers the step logged
    };
    const std::vector<Row> rows {
        // The palette's requests go over https on every build; logos keep the address the
        // answer gave them.
        {"palette opening",
         [this] { OpenPalette(); },
         {versionFile, api + "GetUnreadEmailsCount2" + Rewritten, api + "GetFeaturedManufacturers2" + Rewritten,
          service.Url("/logos/1.png")}},
        {"product GUID request",
         [] { UrlToGuidHandler::getInstance()[GS::UniString("kordela.example/Product/2001")]; },
         {LegacyScheme + "api.kordela.com/GetProductGuids" + Rewritten}},
        {"version file and installer",
         [this] {
             PublishVersion("3.3");
             host->alertAnswers = {1, 1};
             ObserverCheck();
         },
         {versionFile, info + "Kordela.dmg" + Rewritten}},
        {"download a page asked for",
         [this] { Install(FileUrl("library/OakChair_1234.gsm"), "OakChair_1234.gsm"); },
         {FileUrl("library/OakChair_1234.gsm")}},
        // A page's address cannot add lines of its own to the log.
        {"download of an address with a line break",
         [this] { Install(FileUrl("a\r\nlog:transfer:forged"), "Forged.gsm"); },
         {FileUrl("a??log:transfer:forged")}},
    };
    for (const Row& row : rows) {
        const TranscriptMark mark = Mark();
        row.start();
        const std::vector<std::string> logged = TransfersSince(mark);
        for (const std::string& address : row.expected)
            EXPECT_NE(std::find(logged.begin(), logged.end(), address), logged.end())
                << row.kind << ": no transfer of " << address << "; logged " << ::testing::PrintToString(logged);
    }
}

TEST(TransferAddress, TheBuiltAddressIsReadBackOnlyWhileALocalServiceStandsIn)
{
    using Endpoints::Scheme;
    {
        const kordela::test::ScopedServiceOrigin real(std::nullopt);
        const std::string address = Endpoints::Address(Scheme::Http, Endpoints::SiteHost, "/a");
        EXPECT_EQ(address, "http://www.kordela.com/a");
        EXPECT_EQ(Endpoints::BuiltAddress(address.c_str()), std::nullopt) << "nothing is logged for the real service";
    }
    const kordela::test::ScopedServiceOrigin local("http://127.0.0.1:9//");
    struct Case {
        Scheme scheme;
        const char* host;
        const char* pathAndQuery;
        const char* sent;
        const char* built;
    };
    for (const Case& c :
         {Case {Scheme::Http, Endpoints::SiteHost, "/Search?q=a%20b&x=1", "http://127.0.0.1:9/Search?q=a%20b&x=1",
                "http://www.kordela.com/Search?q=a%20b&x=1"},
          Case {Scheme::Https, Endpoints::ApiHost, "", "http://127.0.0.1:9", "https://api.kordela.com"},
          // The same path on another host: the address built last is the one a transfer starts with.
          Case {Scheme::Https, Endpoints::InfoHost, "/Search?q=a%20b&x=1", "http://127.0.0.1:9/Search?q=a%20b&x=1",
                "https://info.kordela.com/Search?q=a%20b&x=1"}}) {
        const std::string sent = Endpoints::Address(c.scheme, c.host, c.pathAndQuery);
        EXPECT_EQ(sent, c.sent);
        EXPECT_EQ(Endpoints::BuiltAddress(sent.c_str()), c.built) << c.pathAndQuery;
    }
    // An address the add-on did not build (from a page or an answer) stands as it is.
    EXPECT_EQ(Endpoints::BuiltAddress("http://127.0.0.1:9/files/x.gsm"), "http://127.0.0.1:9/files/x.gsm");
    EXPECT_EQ(Endpoints::BuiltAddress(nullptr), "");
}
