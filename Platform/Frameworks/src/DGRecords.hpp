// The dialogs, palettes and their items that are open, shared by the add-on's dialog calls
// and the host application's side.
#pragma once

#include "Cocoa.hpp"
#include "DG.hpp"
#include "RS.hpp"

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace DGRecords {

struct ItemRecord {
    RS::ItemResource resource;
    short x = 0, y = 0, width = 0, height = 0;
    bool visible = true;
    bool enabled = true;
    DG::Icon icon;
    GS::UniString text;
    long value = 0;
    DG::Item* object = nullptr;
    std::vector<DG::ItemObserver*> observers;
};

struct DialogRecord {
    short id = 0;
    unsigned serial = 0;
    std::string kind;
    std::string title;
    short width = 0, height = 0;
    std::vector<ItemRecord> items;
    DG::Panel* panel = nullptr;
    std::vector<DG::PanelObserver*> observers;
    bool visible = false;
    bool opened = false;
    bool processing = false;
    DGDialCallBack callback = nullptr;
    long long userData = 0;
    GSResModule module = 0;
    std::shared_ptr<NSWindow> window;  // made when the add-on first asks for it
};

std::map<short, std::unique_ptr<DialogRecord>>& Dialogs();
// Help folders by their two keys.
std::map<std::pair<short, short>, std::string>& HelpFolders();
// The result of each modal dialog closed while its loop runs.
std::map<short, long>& ModalResults();
// The next icon change throws, as a broken window system would.
extern bool failNextIconChange;

DialogRecord* Find(short id);
// True while the dialog that `serial` named is still the one open under `id`.
bool Alive(short id, unsigned serial);
ItemRecord* FindItem(short id, short item);
std::string Label(const DialogRecord& record);
void Record(const DialogRecord& record, const std::string& what);
DialogRecord& Open(GSResModule module, short resId, const char* kind);
void Remove(short id);
// Closes a dialog that runs on a callback: the close message decides the dialog's result.
long CloseWithCallback(DialogRecord& record, short item);

// Calls `notify` for every panel observer while the dialog stays open.
template <class F>
void NotifyPanel(DialogRecord& record, F notify)
{
    const short id = record.id;
    const unsigned serial = record.serial;
    const auto observers = record.observers;
    for (DG::PanelObserver* observer : observers) {
        if (!Alive(id, serial))
            return;
        const auto& current = Find(id)->observers;
        if (std::find(current.begin(), current.end(), observer) != current.end())
            notify(*observer);
    }
}

}  // namespace DGRecords
