// The add-on linked into the simulated host with a local catalogue service, the progress page
// played by script: what the download tests share.
#pragma once

#include "AddOnServiceHost.hpp"
#include "BridgeFunctions.hpp"
#include "DownloadManager.hpp"
#include "DownloadObject.hpp"
#include "LocalService.hpp"
#include "ServiceRequest.hpp"

#include "DGHost.hpp"
#include "DevHost/ScriptedPages.hpp"
#include "GSPref.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

inline constexpr short ProgressDialog = 32591;

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::string SampleFile(const std::string& path)
{
    return ReadFile(std::string(KORDELA_SOURCE_DIR) + "/Samples/files/" + path);
}

class DownloadTest : public AddOnServiceHostTest {
protected:
    void SetUp() override
    {
        AddOnServiceHostTest::SetUp();
        host->modalDriver = [this](short dialogId) {
            if (beforePage)
                beforePage(dialogId);
            if (DGHost::IsOpen(dialogId))
                pageProblem += pages.RunPending();
        };
        pages.userDriver = [this](NSWindow& window) {
            if (beforePage)
                beforePage(ProgressDialog);
            if (!window.isClosed())
                pageProblem += pages.RunPending();
        };
#if KORDELA_HOST_VERSION != 18
        // The legacy page of the host 18 build asks by itself once it has loaded.
        pages.AddStep("/CadApplication/ProgressDialog", {DevHost::PageStep::Kind::Post, R"({"functionName":"downloadProgress"})", {}});
#endif
    }

    void TearDown() override
    {
        if (HasFailure() && getenv("DUMP"))
            for (const auto& line : host->TranscriptLines())
                std::fprintf(stderr, "| %s\n", line.c_str());
        ResetTransferLimits();
        AddOnServiceHostTest::TearDown();
    }

    // Hands the page's two texts to the installation as the opener does: 1024-byte buffers.
    int Install(const std::string& url, const std::string& fileName)
    {
        std::vector<char> urlBuffer(1024, '\0');
        std::vector<char> nameBuffer(1024, '\0');
        std::memcpy(urlBuffer.data(), url.data(), std::min<size_t>(url.size(), 1023));
        std::memcpy(nameBuffer.data(), fileName.data(), std::min<size_t>(fileName.size(), 1023));
        return DownloadObject(urlBuffer.data(), nameBuffer.data());
    }
    std::string FileUrl(const std::string& path) const { return service.Url("/files/" + path); }

    static std::string Embedded()
    {
        GS::Array<API_LibraryInfo> libraries;
        ACAPI_Environment(APIEnv_GetLibrariesID, &libraries);
        return libraries[0].location.ToUTF8POSIXPath() + "/KordelaLibrary";
    }
    std::string DownloadFolder() const { return Profile() + "/Documents/KordelaLibrary"; }
    std::string Temp() const { return Profile() + "/Temp"; }

    std::vector<int> Progress() const
    {
        std::vector<int> values;
        for (const auto& script : pages.Evaluated())
            if (script.rfind("setProgress(", 0) == 0)
                values.push_back(std::stoi(script.substr(12)));
        return values;
    }

    DevHost::ScriptedPages pages;
    std::function<void(short dialogId)> beforePage;
    std::string pageProblem;
};

// One answer on one connection: by default a 200 without a length, whose body ends when
// the connection closes; `head` gives the status line and headers otherwise.
class UnannouncedLengthServer {
public:
    explicit UnannouncedLengthServer(std::string body,
                                     std::string head = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n")
        : body_(std::move(body)), head_(std::move(head))
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 1);
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            const int connection = ::accept(listener_, nullptr, nullptr);
            if (connection < 0)
                return;
            char request[4096];
            std::string received;
            while (received.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = ::recv(connection, request, sizeof request, 0);
                if (n <= 0)
                    break;
                received.append(request, static_cast<size_t>(n));
            }
            const std::string answer = head_ + body_;
            (void)!::send(connection, answer.data(), answer.size(), MSG_NOSIGNAL);
            ::close(connection);
        });
    }
    ~UnannouncedLengthServer()
    {
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        thread_.join();
    }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

private:
    std::string body_;
    std::string head_;
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
};
