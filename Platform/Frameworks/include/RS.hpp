// Resources of a module: string lists, menus, dialogs and icons, read from the module's
// resource folder (one JSON file per kind: Strings.json, Menus.json, Dialogs.json, Icons.json).
#pragma once

#include "GS.hpp"

#include <optional>
#include <string>
#include <vector>

// Item `index` (1-based) of string list `resId`; false when there is no such item.
bool RSGetIndString(GS::UniString* text, short resId, short index, GSResModule module);

// Hosts before 18 do not pass the module to dialog and icon calls: they use the current one.
GSResModule RSGetCurrentModule();
void RSSetCurrentModule(GSResModule module);

namespace RS {

struct MenuResource {
    std::string title;
    std::vector<std::string> items;
};

struct ItemResource {
    std::string kind;  // "iconbutton", "button", "separator", "icon", "text", "edit", "checkbox", "progress", "webview"
    short x = 0, y = 0, width = 0, height = 0;
    short icon = 0;
    std::string text;
    bool visible = true;
};

struct DialogResource {
    std::string kind;  // "palette", "modeless", "modal"
    std::string title;
    short width = 0, height = 0;
    std::vector<ItemResource> items;  // item n is items[n - 1]
};

std::string ModuleFolder(GSResModule module);

std::optional<MenuResource> GetMenu(GSResModule module, short resId);
std::optional<DialogResource> GetDialog(GSResModule module, short resId);
bool HasIcon(GSResModule module, short iconId);
std::string IconDescription(GSResModule module, short iconId);

}  // namespace RS
