#include "HostBackend.hpp"

#include "DGHost.hpp"

namespace Platform {
namespace {

class NoHost final : public HostBackend {
public:
    void Transcript(const std::string&) override {}
    void RunModalLoop(short dialogId) override { DGHost::CloseBox(dialogId); }
    int AnswerAlert(const AlertRequest&) override { return 1; }
    std::optional<std::string> PickFolder(const std::string&, const std::string&) override { return std::nullopt; }
};

NoHost noHost;
HostBackend* current = &noHost;

}  // namespace

void SetHostBackend(HostBackend* backend)
{
    current = backend != nullptr ? backend : &noHost;
}

HostBackend& GetHostBackend()
{
    return *current;
}

void Record(const std::string& line)
{
    current->Transcript(line);
}

std::optional<int> FailCall(const char* name, const std::vector<std::string>& arguments)
{
    return current->FailCall(name, arguments);
}

std::optional<int> FailMemoryCall(const char* name, size_t size, std::optional<size_t> present)
{
    std::vector<std::string> arguments {std::to_string(size)};
    if (present && *present != size)
        arguments.emplace_back(size > *present ? "grow" : "shrink");
    return current->FailCall(name, arguments);
}

}  // namespace Platform
