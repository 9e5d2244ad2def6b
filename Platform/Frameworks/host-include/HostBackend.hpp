// The frameworks keep the state of windows, files and preferences themselves but hold no
// policy: what the user answers and where visible effects are recorded is decided by the
// host application through this interface. Without a host, alerts take their first
// button, modal dialogs close at once and nothing is recorded.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace Platform {

struct AlertRequest {
    short type = 0;  // as the add-on asked for it (error, warning, information)
    std::string title;
    std::string text;
    std::string secondaryText;
    std::vector<std::string> buttons;  // in order; the answer is the 1-based position
};

class HostBackend {
public:
    virtual ~HostBackend() = default;

    // One line of what the user can see or what the add-on changed.
    virtual void Transcript(const std::string& line) = 0;

    // Runs the user's side of an open modal dialog until the dialog is closed.
    virtual void RunModalLoop(short dialogId) = 0;

    // Answers an alert with the 1-based position of the button pressed.
    virtual int AnswerAlert(const AlertRequest& alert) = 0;

    // The folder the user picks in the system's folder dialog; none when cancelled.
    virtual std::optional<std::string> PickFolder(const std::string& title, const std::string& startFolder) = 0;

    // An error that the named call of the frameworks answers instead of doing its work, when
    // the host makes it fail on purpose; `arguments` are the texts the call can be picked by.
    virtual std::optional<int> FailCall(const char* /*name*/, const std::vector<std::string>& /*arguments*/)
    {
        return std::nullopt;
    }
};

void SetHostBackend(HostBackend* backend);
HostBackend& GetHostBackend();

// Shorthand for recording a line through the current backend.
void Record(const std::string& line);
// Shorthand for asking the current backend whether the call fails.
std::optional<int> FailCall(const char* name, const std::vector<std::string>& arguments = {});
// The same for the memory calls (BMhAll, GS_malloc, ...): they are picked by the size asked
// for in bytes, and a resizer that knows the block's `present` size also by "grow" or "shrink".
std::optional<int> FailMemoryCall(const char* name, size_t size, std::optional<size_t> present = std::nullopt);

}  // namespace Platform
