// The host application's side of dialogs: what it shows and the user events it sends.
#pragma once

#include "DG.hpp"

#include <optional>
#include <string>
#include <vector>

namespace DGHost {

struct ItemInfo {
    short id = 0;
    std::string kind;
    short x = 0, y = 0, width = 0, height = 0;
    bool visible = true;
    bool enabled = true;
    std::string icon;  // described, empty when none
    std::string text;
    long value = 0;
    bool bound = false;  // an item object of the add-on is bound to it
};

struct DialogInfo {
    short id = 0;
    std::string kind;
    std::string title;
    short width = 0, height = 0;
    bool visible = false;
    std::vector<ItemInfo> items;
};

bool IsOpen(short dialogId);
std::optional<DialogInfo> GetDialog(short dialogId);
std::vector<short> OpenDialogs();

// User events. Each answers an empty text when sent, else why it could not be sent.
std::string ClickItem(short dialogId, short item);
std::string CloseBox(short dialogId);
std::string TypeText(short dialogId, short item, const std::string& text);
std::string SetCheck(short dialogId, short item, bool checked);
// A drag through the proposed sizes, ended by releasing the mouse.
std::string UserResize(short dialogId, const std::vector<DG::Point>& proposedSizes);
std::optional<std::string> RequestToolTip(short dialogId, short item);

// A resize the host makes, not the user (the observers hear a resize that is not the user's).
std::string HostResize(short dialogId, const DG::Point& size);
// The panel's opened notification, delivered again as the host may.
std::string SendOpened(short dialogId);

std::vector<std::string> HelpLocations();

// Makes the next icon change fail with an exception, as a broken window system would.
void FailNextIconChange();

// The host's shut-down: disposable panels still open are disposed, the others closed.
void DisposeAll();

}  // namespace DGHost
