#include "BodySource.hpp"
#include "ServiceTestSupport.hpp"

#include <fstream>
#include <sstream>

namespace kordela::test {
namespace {

class ServiceSite : public ServiceProcessTest {};

std::string SampleFile(const std::string& relative)
{
    std::ifstream in(std::string(KORDELA_SAMPLES_DIR) + "/files/" + relative, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

TEST_F(ServiceSite, AutoLogOnRedirectsToTheDecodedPage)
{
    const std::string logOn = "/Account/AutoLogOn/" + KeyWithThreeMails + "/ArchiCAD/3/3.2/ArchiCAD%2021%20mac/0";
    struct Case {
        std::string target;
        long status;
        std::string location;
    };
    const Case cases[] = {
        {logOn + "?redirecturl=http://127.0.0.1:1/Product", 302, "http://127.0.0.1:1/Product"},
        // The page's own "&" arrives as "%26" and is decoded; a bare "&" ends the address.
        {logOn +
             "?redirecturl=http://h/KDPC/Product?productGuid=G%26addedClouds[0].Id=12%26addedClouds[0].IsLinked=true",
         302, "http://h/KDPC/Product?productGuid=G&addedClouds[0].Id=12&addedClouds[0].IsLinked=true"},
        {logOn + "?redirecturl=http://h/velmail&other=1", 302, "http://h/velmail"},
        {"/Account/AutoLogOn/" + UnknownKey + "/ArchiCAD/3/3.2/ArchiCAD%2015%20mac/0?redirecturl=/velmail", 302,
         "/velmail"},
        {logOn, 302, "/"},
        {"/Account/AutoLogOn/" + KeyWithThreeMails + "/ArchiCAD/3/3.2/ArchiCAD%2021/0?redirecturl=/", 400, ""},
        {"/Account/AutoLogOn/" + KeyWithThreeMails + "?redirecturl=/", 400, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        HttpReply reply = Get(c.target);
        EXPECT_EQ(reply.status, c.status);
        EXPECT_EQ(reply.Header("location"), c.location);
    }

    const HttpReply followed = Get(logOn + "?redirecturl=" + service.Url("/Product"), {.followRedirects = true});
    EXPECT_EQ(followed.status, 200);
    EXPECT_NE(followed.body.find("data-filename1=\"OakChair_1234.gsm\""), std::string::npos);
}

TEST_F(ServiceSite, EveryPageOfTheSiteIsServed)
{
    const std::string pages[] = {
        "/",
        "/Product",
        "/Product/1234",
        "/KDPC/Product?productGuid=" + ChairGuid,
        "/ifc/ifc-landing-page.html",
        "/velmail",
        "/CadApplication/ProgressDialog",
        "/Account/UserPreference",
        "/CadApplication/ProductUpdate",
        "/CadApplication/ProductUpdateResult",
        "/CadApplication/KdpcUpdate",
        "/CadApplication/KDPCUpdateResult",
        "/archicad-help",
        "/Manufacturer/1/nordwood",
        "/Manufacturer/7/broken-logo",
    };
    for (const std::string& page : pages) {
        SCOPED_TRACE(page);
        const HttpReply reply = Get(page);
        EXPECT_EQ(reply.status, 200);
        EXPECT_EQ(reply.Header("content-type"), "text/html; charset=utf-8");
        EXPECT_NE(reply.body.find("<html>"), std::string::npos);
    }
    for (const std::string page :
         {"/Nothing", "/Product/9999", "/files/none.gsm", "/logos/99.png", "/cadapplication/kdpcupdate"}) {
        EXPECT_EQ(Get(page).status, 404) << page;
    }
}

TEST_F(ServiceSite, CloudPageShowsWhatThePartCarries)
{
    const HttpReply reply =
        Get("/KDPC/Product?productGuid=" + ChairGuid + "&addedClouds[0].Id=12&addedClouds[0].IsLinked=false");
    EXPECT_NE(reply.body.find("data-cloud-id=\"12\" data-state=\"unlinked\""), std::string::npos) << reply.body;
    EXPECT_NE(reply.body.find("data-cloud-id=\"15\" data-state=\"not attached\""), std::string::npos);
    EXPECT_EQ(Get("/KDPC/Product?productGuid=unknown").status, 404);
}

TEST_F(ServiceSite, InformationHostPublishesVersionAndInstaller)
{
    for (int host = 15; host <= 21; ++host) {
        const HttpReply reply = Get("/kordela_data/documents/Apps/versionMac" + std::to_string(host) + ".txt");
        EXPECT_EQ(reply.status, 200) << host;
        EXPECT_EQ(reply.body, "3.2") << host;
    }
    EXPECT_EQ(Get("/kordela_data/documents/Apps/versionMac14.txt").status, 404);
    EXPECT_EQ(Get("/kordela_data/documents/Apps/versionMac22.txt").status, 404);

    const HttpReply installer = Get("/kordela_data/documents/Apps/Kordela.dmg");
    EXPECT_EQ(installer.status, 200);
    EXPECT_EQ(installer.body, SampleFile("Kordela.dmg"));
    EXPECT_FALSE(installer.body.empty());
}

TEST_F(ServiceSite, DownloadsServeTheFilesAsTheyAre)
{
    for (const std::string file :
         {"library/OakChair_1234.gsm", "library/KitchenSet_4001.lcf", "projects/SampleHouse_5001.pln"}) {
        const HttpReply reply = Get("/files/" + file);
        EXPECT_EQ(reply.status, 200) << file;
        EXPECT_EQ(reply.body, SampleFile(file)) << file;
        EXPECT_EQ(reply.Header("content-type"), "application/octet-stream");
    }
    // Nothing outside the files folder, however the path is spelt.
    for (const std::string escape :
         {"/files/%2E%2E/catalogue.json", "/files/library/%2E%2E/%2E%2E/catalogue.json", "/files//etc/passwd"}) {
        EXPECT_EQ(Get(escape).status, 404) << escape;
    }
}

TEST_F(ServiceSite, GeneratedFilesAreStreamedWithDeterministicBytes)
{
    const HttpReply reply = Get("/files/generated/3MB.bin");
    ASSERT_EQ(reply.status, 200);
    ASSERT_EQ(reply.body.size(), 3u * 1024 * 1024);
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < reply.body.size(); ++i) {
        wrong += static_cast<unsigned char>(reply.body[i]) != service::GeneratedByte(i);
    }
    EXPECT_EQ(wrong, 0u);

    const HttpReply head = Get("/files/generated/50MB.bin", {.method = "HEAD"});
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.Header("content-length"), std::to_string(50ull * 1024 * 1024));
    EXPECT_TRUE(head.body.empty());
}

TEST_F(ServiceSite, GeneratedFilesComeInAnySizeUpToFourGiB)
{
    const HttpReply odd = Get("/files/generated/1000003B.bin");
    ASSERT_EQ(odd.status, 200);
    ASSERT_EQ(odd.body.size(), 1000003u);
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < odd.body.size(); ++i) {
        wrong += static_cast<unsigned char>(odd.body[i]) != service::GeneratedByte(i);
    }
    EXPECT_EQ(wrong, 0u);

    for (const auto& [path, length] :
         std::vector<std::pair<std::string, std::string>> {{"/files/generated/1GB.bin", "1073741824"},
                                                           {"/files/generated/4GB.bin", "4294967296"},
                                                           {"/files/generated/1024MB.bin", "1073741824"}}) {
        const HttpReply head = Get(path, {.method = "HEAD"});
        EXPECT_EQ(head.status, 200) << path;
        EXPECT_EQ(head.Header("content-length"), length) << path;
    }
    EXPECT_EQ(Get("/files/generated/5GB.bin", {.method = "HEAD"}).status, 404);
}

}  // namespace
}  // namespace kordela::test
