#include "DG.hpp"

#include "Cocoa.hpp"
#include "DGHost.hpp"
#include "HostBackend.hpp"
#include "RS.hpp"

#include <algorithm>
#include <map>
#include <memory>
#include <stdexcept>

namespace {

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

std::map<short, std::unique_ptr<DialogRecord>>& Dialogs()
{
    static std::map<short, std::unique_ptr<DialogRecord>> dialogs;
    return dialogs;
}

unsigned nextSerial = 1;

std::map<std::pair<short, short>, std::string>& HelpFolders()
{
    static std::map<std::pair<short, short>, std::string> folders;
    return folders;
}

DialogRecord* Find(short id)
{
    auto it = Dialogs().find(id);
    return it == Dialogs().end() ? nullptr : it->second.get();
}

// True while the dialog that `serial` named is still the one open under `id`.
bool Alive(short id, unsigned serial)
{
    const DialogRecord* record = Find(id);
    return record != nullptr && record->serial == serial;
}

ItemRecord* FindItem(short id, short item)
{
    DialogRecord* record = Find(id);
    if (record == nullptr || item < 1 || static_cast<size_t>(item) > record->items.size())
        return nullptr;
    return &record->items[static_cast<size_t>(item) - 1];
}

std::string Label(const DialogRecord& record)
{
    return (record.kind == "palette" ? "palette " : "dialog ") + std::to_string(record.id);
}

void Record(const DialogRecord& record, const std::string& what)
{
    Platform::Record(Label(record) + " " + what);
}

DialogRecord& Open(GSResModule module, short resId, const char* kind)
{
    if (Find(resId) != nullptr)
        throw std::runtime_error("dialog " + std::to_string(resId) + " is open already");
    const auto resource = RS::GetDialog(module, resId);
    if (!resource)
        throw std::runtime_error("no dialog resource " + std::to_string(resId));
    auto record = std::make_unique<DialogRecord>();
    record->id = resId;
    record->serial = nextSerial++;
    record->kind = kind;
    record->title = resource->title;
    record->width = resource->width;
    record->height = resource->height;
    record->module = module;
    for (const auto& itemResource : resource->items) {
        ItemRecord item;
        item.resource = itemResource;
        item.x = itemResource.x;
        item.y = itemResource.y;
        item.width = itemResource.width;
        item.height = itemResource.height;
        item.visible = itemResource.visible;
        item.text = GS::UniString(itemResource.text);
        if (itemResource.icon != 0) {
#if KORDELA_HOST_VERSION >= 18
            item.icon = DG::Icon(module, itemResource.icon);
#else
            const GSResModule previous = RSGetCurrentModule();
            RSSetCurrentModule(module);
            item.icon = DG::Icon(itemResource.icon);
            RSSetCurrentModule(previous);
#endif
        }
        record->items.push_back(std::move(item));
    }
    DialogRecord& result = *record;
    Dialogs()[resId] = std::move(record);
    Record(result, std::string("opened") + (result.title.empty() ? "" : " \"" + result.title + "\"") + " (" +
                       std::to_string(result.width) + "x" + std::to_string(result.height) + ")");
    return result;
}

void Remove(short id)
{
    auto it = Dialogs().find(id);
    if (it == Dialogs().end())
        return;
    Record(*it->second, "closed");
    const auto window = std::move(it->second->window);
    Dialogs().erase(it);
    if (window) {
        window->SetCloseObserver(nullptr);
        window->close();
    }
}

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

// Sends a resize that the user did not make, as the host does after any programmatic resize.
void ProgrammaticResize(DialogRecord& record, short width, short height)
{
    const short dx = static_cast<short>(width - record.width);
    const short dy = static_cast<short>(height - record.height);
    record.width = width;
    record.height = height;
    Record(record, "size " + std::to_string(width) + "x" + std::to_string(height));
    if (record.panel == nullptr || !record.processing)
        return;
    DG::PanelResizeEvent event(record.panel, false, dx, dy);
    NotifyPanel(record, [&](DG::PanelObserver& o) { o.PanelResized(event); });
}

// Closes a dialog that runs on a callback: the close message decides the dialog's result.
long CloseWithCallback(DialogRecord& record, short item)
{
    long result = item;
    const short id = record.id;
    if (record.callback != nullptr)
        result = record.callback(DG_MSG_CLOSE, id, item, record.userData, 0);
    Remove(id);
    return result;
}

std::map<short, long>& ModalResults()
{
    static std::map<short, long> results;
    return results;
}

long RunModal(GSResModule module, short resId, DGDialCallBack callback, long long userData)
{
    DialogRecord* record = nullptr;
    try {
        record = &Open(module, resId, "modal");
    } catch (const std::exception& e) {
        Platform::Record(std::string("dialog error: ") + e.what());
        return 0;
    }
    record->callback = callback;
    record->userData = userData;
    record->visible = true;
    const unsigned serial = record->serial;
    if (callback != nullptr)
        callback(DG_MSG_INIT, resId, 0, userData, 0);
    if (Alive(resId, serial))
        Platform::GetHostBackend().RunModalLoop(resId);
    if (Alive(resId, serial))  // the user never closed it: the close box ends it
        ModalResults()[resId] = CloseWithCallback(*Find(resId), DG_CLOSEBOX);
    const long result = ModalResults()[resId];
    ModalResults().erase(resId);
    return result;
}

std::string Describe(const GS::UniString& text)
{
    return "\"" + text.ToUTF8() + "\"";
}

}  // namespace

namespace DG {

#if KORDELA_HOST_VERSION >= 18
Icon::Icon(GSResModule module, short iconId) : module_(module), iconId_(iconId) {}
#else
Icon::Icon(short iconId) : module_(RSGetCurrentModule()), iconId_(iconId) {}
#endif

Icon Icon::FromImageFile(const std::string& path)
{
    Icon icon;
    icon.imageFile_ = path;
    return icon;
}

std::string Icon::Describe() const
{
    if (!imageFile_.empty())
        return "image " + imageFile_;
    if (!image_.empty())
        return "image " + image_;
    if (iconId_ == 0)
        return {};
    if (!RS::HasIcon(module_, iconId_))
        return std::to_string(iconId_) + " (missing)";
    const std::string description = RS::IconDescription(module_, iconId_);
    return std::to_string(iconId_) + (description.empty() ? "" : " (" + description + ")");
}

PanelObserver::~PanelObserver()
{
    for (auto& [id, record] : Dialogs())
        std::erase(record->observers, this);
}

ItemObserver::~ItemObserver()
{
    for (auto& [id, record] : Dialogs())
        for (auto& item : record->items)
            std::erase(item.observers, this);
}

CompoundItemObserver::~CompoundItemObserver() = default;

void CompoundItemObserver::AttachToAllItems(const Panel& panel)
{
    auto* observer = dynamic_cast<ItemObserver*>(this);
    DialogRecord* record = Find(panel.GetId());
    if (observer == nullptr || record == nullptr)
        return;
    for (auto& item : record->items)
        if (item.object != nullptr)
            item.object->Attach(*observer);
}

void CompoundItemObserver::DetachFromAllItems(const Panel& panel)
{
    auto* observer = dynamic_cast<ItemObserver*>(this);
    DialogRecord* record = Find(panel.GetId());
    if (observer == nullptr || record == nullptr)
        return;
    for (auto& item : record->items)
        std::erase(item.observers, observer);
}

Item::Item(const Panel& panel, short item) : panel_(const_cast<Panel*>(&panel)), item_(item)
{
    ItemRecord* record = FindItem(panel.GetId(), item);
    if (record == nullptr)
        throw std::runtime_error("dialog " + std::to_string(panel.GetId()) + " has no item " + std::to_string(item));
    record->object = this;
}

Item::~Item()
{
    if (ItemRecord* record = FindItem(panel_->GetId(), item_); record != nullptr && record->object == this)
        record->object = nullptr;
}

short Item::GetWidth() const
{
    const ItemRecord* r = FindItem(panel_->GetId(), item_);
    return r != nullptr ? r->width : 0;
}

short Item::GetHeight() const
{
    const ItemRecord* r = FindItem(panel_->GetId(), item_);
    return r != nullptr ? r->height : 0;
}

short Item::GetX() const
{
    const ItemRecord* r = FindItem(panel_->GetId(), item_);
    return r != nullptr ? r->x : 0;
}

short Item::GetY() const
{
    const ItemRecord* r = FindItem(panel_->GetId(), item_);
    return r != nullptr ? r->y : 0;
}

void Item::SetPosition(short x, short y)
{
    if (ItemRecord* r = FindItem(panel_->GetId(), item_)) {
        r->x = x;
        r->y = y;
    }
}

void Item::SetSize(short width, short height)
{
    if (ItemRecord* r = FindItem(panel_->GetId(), item_)) {
        r->width = width;
        r->height = height;
    }
}

void Item::SetVisibility(bool visible)
{
    ItemRecord* r = FindItem(panel_->GetId(), item_);
    if (r == nullptr || r->visible == visible)
        return;
    r->visible = visible;
    Record(*Find(panel_->GetId()), "item " + std::to_string(item_) + (visible ? " shown" : " hidden"));
}

bool Item::IsVisible() const
{
    const ItemRecord* r = FindItem(panel_->GetId(), item_);
    return r != nullptr && r->visible;
}

void Item::Enable()
{
    if (ItemRecord* r = FindItem(panel_->GetId(), item_))
        r->enabled = true;
}

void Item::Disable()
{
    if (ItemRecord* r = FindItem(panel_->GetId(), item_))
        r->enabled = false;
}

void Item::Redraw() {}

void Item::Attach(ItemObserver& observer)
{
    ItemRecord* r = FindItem(panel_->GetId(), item_);
    if (r != nullptr && std::find(r->observers.begin(), r->observers.end(), &observer) == r->observers.end())
        r->observers.push_back(&observer);
}

void Item::Detach(ItemObserver& observer)
{
    if (ItemRecord* r = FindItem(panel_->GetId(), item_))
        std::erase(r->observers, &observer);
}

namespace {
bool failNextIconChange = false;

void SetItemIcon(const Panel& panel, short item, const Icon& icon)
{
    if (failNextIconChange) {
        failNextIconChange = false;
        throw std::runtime_error("the window system could not change an icon");
    }
    ItemRecord* r = FindItem(panel.GetId(), item);
    if (r == nullptr)
        return;
    r->icon = icon;
    Record(*Find(panel.GetId()), "item " + std::to_string(item) + " icon " + icon.Describe());
}
}  // namespace

void IconButton::SetIcon(const Icon& icon)
{
    SetItemIcon(*GetPanel(), GetId(), icon);
}

Icon IconButton::GetIcon() const
{
    const ItemRecord* r = FindItem(GetPanel()->GetId(), GetId());
    return r != nullptr ? r->icon : Icon();
}

void IconItem::SetIcon(const Icon& icon)
{
    SetItemIcon(*GetPanel(), GetId(), icon);
}

Panel::Panel(GSResModule module, short resId, const char* kind) : id_(resId)
{
    Open(module, resId, kind).panel = this;
}

Panel::~Panel()
{
    if (DialogRecord* record = Find(id_); record != nullptr && record->panel == this) {
        for (auto& item : record->items)
            item.object = nullptr;
        Remove(id_);
    }
}

short Panel::GetWidth() const
{
    const DialogRecord* r = Find(id_);
    return r != nullptr ? r->width : 0;
}

short Panel::GetHeight() const
{
    const DialogRecord* r = Find(id_);
    return r != nullptr ? r->height : 0;
}

short Panel::GetItemCount() const
{
    const DialogRecord* r = Find(id_);
    return r != nullptr ? static_cast<short>(r->items.size()) : 0;
}

Item* Panel::GetItem(short item) const
{
    const ItemRecord* r = FindItem(id_, item);
    return r != nullptr ? r->object : nullptr;
}

void Panel::RedrawItems() {}

void Panel::DisableItems()
{
    if (DialogRecord* r = Find(id_))
        for (auto& item : r->items)
            item.enabled = false;
}

void Panel::EnableItems()
{
    if (DialogRecord* r = Find(id_))
        for (auto& item : r->items)
            item.enabled = true;
}

void Panel::ClearFocus() {}

void Panel::Attach(PanelObserver& observer)
{
    DialogRecord* r = Find(id_);
    if (r != nullptr && std::find(r->observers.begin(), r->observers.end(), &observer) == r->observers.end())
        r->observers.push_back(&observer);
}

void Panel::Detach(PanelObserver& observer)
{
    if (DialogRecord* r = Find(id_))
        std::erase(r->observers, &observer);
}

void Dialog::Resize(short dx, short dy, short, bool)
{
    if (DialogRecord* r = Find(GetId()))
        ProgrammaticResize(*r, static_cast<short>(r->width + dx), static_cast<short>(r->height + dy));
}

void ModelessBase::Show(short)
{
    DialogRecord* r = Find(GetId());
    if (r == nullptr || r->visible)
        return;
    r->visible = true;
    Record(*r, "shown");
    if (!r->opened && r->processing) {
        r->opened = true;
        PanelOpenEvent event(this);
        NotifyPanel(*r, [&](PanelObserver& o) { o.PanelOpened(event); });
    }
}

void ModelessBase::Hide()
{
    DialogRecord* r = Find(GetId());
    if (r == nullptr || !r->visible)
        return;
    r->visible = false;
    Record(*r, "hidden");
}

bool ModelessBase::IsVisible() const
{
    const DialogRecord* r = Find(GetId());
    return r != nullptr && r->visible;
}

void ModelessBase::SendCloseRequest()
{
    DialogRecord* r = Find(GetId());
    if (r == nullptr)
        return;
    const short id = r->id;
    const unsigned serial = r->serial;
    bool accepted = true;
    if (r->processing) {
        PanelCloseRequestEvent event(this);
        NotifyPanel(*r, [&](PanelObserver& o) { o.PanelCloseRequested(event, &accepted); });
    }
    if (!accepted || !Alive(id, serial))
        return;
    r = Find(id);
    r->visible = false;
    PanelCloseEvent event(this);
    if (r->processing)
        NotifyPanel(*r, [&](PanelObserver& o) { o.PanelClosed(event); });
    if (Alive(id, serial))
        Record(*Find(id), "closed by request");
}

void ModelessBase::BeginEventProcessing()
{
    if (DialogRecord* r = Find(GetId()))
        r->processing = true;
}

void ModelessBase::EndEventProcessing()
{
    if (DialogRecord* r = Find(GetId()))
        r->processing = false;
}

#if KORDELA_HOST_VERSION >= 18
Palette::Palette(GSResModule module, short resId, GSResModule, const GS::Guid& guid)
    : ModelessBase(module, resId, "palette"), guid_(guid)
{
}
#else
Palette::Palette(short resId, const GS::Guid& guid, GSResModule module)
    : ModelessBase(module, resId, "palette"), guid_(guid)
{
}
#endif

void RegisterAdditionalHelpLocation(short key1, short key2, const IO::Location& folder, const void*, const void*,
                                    const void*, const void*)
{
    HelpFolders()[{key1, key2}] = folder.ToUTF8POSIXPath();
    Platform::Record("help location (" + std::to_string(key1) + ", " + std::to_string(key2) +
                     ") registered: " + folder.ToUTF8POSIXPath());
}

void UnregisterAdditionalHelpLocation(short key1, short key2)
{
    if (HelpFolders().erase({key1, key2}) > 0)
        Platform::Record("help location (" + std::to_string(key1) + ", " + std::to_string(key2) + ") unregistered");
}

bool FolderDialog::Invoke()
{
    Platform::Record("folder dialog " + Describe(title_) + " at " + folder_.ToUTF8POSIXPath());
    const auto picked = Platform::GetHostBackend().PickFolder(title_.ToUTF8(), folder_.ToUTF8POSIXPath());
    if (!picked) {
        Platform::Record("folder dialog cancelled");
        return false;
    }
    folder_ = IO::Location(*picked);
    Platform::Record("folder dialog picked " + folder_.ToUTF8POSIXPath());
    return true;
}

}  // namespace DG

namespace {
short ModelessOpen(GSResModule module, short resId, DGDialCallBack callback, long long userData)
{
    try {
        DialogRecord& record = Open(module, resId, "modeless");
        record.callback = callback;
        record.userData = userData;
        record.visible = true;
        if (callback != nullptr)
            callback(DG_MSG_INIT, resId, 0, userData, 0);
        return resId;
    } catch (const std::exception& e) {
        Platform::Record(std::string("dialog error: ") + e.what());
        return 0;
    }
}
}  // namespace

#if KORDELA_HOST_VERSION >= 18
short DGModelessInit(GSResModule module, short resId, GSResModule, DGDialCallBack callback, long long userData, short)
{
    return ModelessOpen(module, resId, callback, userData);
}

long DGModalDialog(GSResModule module, short resId, GSResModule, DGDialCallBack callback, long long userData)
{
    return RunModal(module, resId, callback, userData);
}
#else
short DGModelessInit(short resId, DGDialCallBack callback, long long userData, short)
{
    return ModelessOpen(RSGetCurrentModule(), resId, callback, userData);
}

long DGModalDialog(short resId, DGDialCallBack callback, long long userData)
{
    return RunModal(RSGetCurrentModule(), resId, callback, userData);
}
#endif

void DGModelessClose(short dialogId)
{
    DialogRecord* record = Find(dialogId);
    if (record != nullptr && record->panel == nullptr)
        CloseWithCallback(*record, 0);
}

bool DGIsDialogOpen(short dialogId)
{
    return Find(dialogId) != nullptr;
}

void DGSetItemValLong(short dialogId, short item, long value)
{
    ItemRecord* r = FindItem(dialogId, item);
    if (r == nullptr)
        return;
    r->value = value;
    Record(*Find(dialogId), "item " + std::to_string(item) + " = " + std::to_string(value));
}

long DGGetItemValLong(short dialogId, short item)
{
    const ItemRecord* r = FindItem(dialogId, item);
    return r != nullptr ? r->value : 0;
}

void DGSetItemText(short dialogId, short item, const GS::UniString& text)
{
    ItemRecord* r = FindItem(dialogId, item);
    if (r == nullptr)
        return;
    r->text = text;
    Record(*Find(dialogId), "item " + std::to_string(item) + " text " + Describe(text));
}

GS::UniString DGGetItemText(short dialogId, short item)
{
    const ItemRecord* r = FindItem(dialogId, item);
    return r != nullptr ? r->text : GS::UniString();
}

void DGRedrawItem(short, short) {}

void DGInvalidateItem(short, short) {}

void DGHideItem(short dialogId, short item)
{
    ItemRecord* r = FindItem(dialogId, item);
    if (r == nullptr || !r->visible)
        return;
    r->visible = false;
    Record(*Find(dialogId), "item " + std::to_string(item) + " hidden");
}

void DGShowItem(short dialogId, short item)
{
    ItemRecord* r = FindItem(dialogId, item);
    if (r == nullptr || r->visible)
        return;
    r->visible = true;
    Record(*Find(dialogId), "item " + std::to_string(item) + " shown");
}

void DGSetDialogSize(short dialogId, short, short width, short height, short, short)
{
    if (DialogRecord* r = Find(dialogId))
        ProgrammaticResize(*r, width, height);
}

NSWindow* DGGetDialogWindow(short dialogId)
{
    DialogRecord* r = Find(dialogId);
    if (r == nullptr)
        return nullptr;
    if (!r->window) {
        r->window = std::make_shared<NSWindow>(NSMakeRect(0, 0, r->width, r->height), NSWindowStyleMaskTitled, r->title);
        const unsigned serial = r->serial;
        r->window->SetCloseObserver([dialogId, serial] {
            if (!Alive(dialogId, serial))
                return;
            DialogRecord* record = Find(dialogId);
            Record(*record, "window closed");
            const bool modal = record->kind == "modal";
            const long result = CloseWithCallback(*record, DG_CANCEL);
            if (modal)
                ModalResults()[dialogId] = result;
        });
    }
    return r->window.get();
}

void DGAbortModalDialog(short dialogId)
{
    DialogRecord* r = Find(dialogId);
    if (r == nullptr || r->kind != "modal")
        return;
    Record(*r, "aborted");
    ModalResults()[dialogId] = CloseWithCallback(*r, DG_CANCEL);
}

short DGAlert(short, const GS::UniString& title, const GS::UniString& text, const GS::UniString& secondaryText,
              const GS::UniString& button1, const GS::UniString& button2, const GS::UniString& button3)
{
    Platform::AlertRequest alert {title.ToUTF8(), text.ToUTF8(), secondaryText.ToUTF8(), {}};
    for (const GS::UniString* button : {&button1, &button2, &button3})
        if (!button->IsEmpty())
            alert.buttons.push_back(button->ToUTF8());
    if (alert.buttons.empty())
        alert.buttons.push_back("");
    const int answer = Platform::GetHostBackend().AnswerAlert(alert);
    return static_cast<short>(std::clamp<int>(answer, 1, static_cast<int>(alert.buttons.size())));
}

namespace DGHost {

bool IsOpen(short dialogId)
{
    return Find(dialogId) != nullptr;
}

std::optional<DialogInfo> GetDialog(short dialogId)
{
    const DialogRecord* r = Find(dialogId);
    if (r == nullptr)
        return std::nullopt;
    DialogInfo info {r->id, r->kind, r->title, r->width, r->height, r->visible, {}};
    short n = 1;
    for (const auto& item : r->items) {
        info.items.push_back(ItemInfo {n++, item.resource.kind, item.x, item.y, item.width, item.height, item.visible,
                                       item.enabled, item.icon.Describe(), item.text.ToUTF8(), item.value,
                                       item.object != nullptr});
    }
    return info;
}

std::vector<short> OpenDialogs()
{
    std::vector<short> ids;
    for (const auto& [id, record] : Dialogs())
        ids.push_back(id);
    return ids;
}

std::string ClickItem(short dialogId, short item)
{
    DialogRecord* r = Find(dialogId);
    if (r == nullptr)
        return "dialog " + std::to_string(dialogId) + " is not open";
    ItemRecord* itemRecord = FindItem(dialogId, item);
    if (itemRecord == nullptr)
        return Label(*r) + " has no item " + std::to_string(item);
    if (!r->visible || !itemRecord->visible || !itemRecord->enabled)
        return Label(*r) + " item " + std::to_string(item) + " cannot be clicked now";
    Record(*r, "item " + std::to_string(item) + " clicked");
    if (r->callback != nullptr) {
        const unsigned serial = r->serial;
        const short result = r->callback(DG_MSG_CLICK, dialogId, item, r->userData, 0);
        if (result != 0 && Alive(dialogId, serial) && r->kind == "modal")
            ModalResults()[dialogId] = CloseWithCallback(*r, result);
        return {};
    }
    if (r->panel == nullptr || !r->processing || itemRecord->object == nullptr)
        return {};
    const short id = r->id;
    const unsigned serial = r->serial;
    DG::ButtonClickEvent event(itemRecord->object);
    const auto observers = itemRecord->observers;
    for (DG::ItemObserver* observer : observers) {
        if (!Alive(id, serial))
            break;
        if (auto* button = dynamic_cast<DG::ButtonItemObserver*>(observer))
            button->ButtonClicked(event);
    }
    return {};
}

std::string CloseBox(short dialogId)
{
    DialogRecord* r = Find(dialogId);
    if (r == nullptr)
        return "dialog " + std::to_string(dialogId) + " is not open";
    Record(*r, "close box");
    if (r->callback != nullptr) {
        // A modal dialog's callback hears the close box as a click of its own item first.
        const bool modal = r->kind == "modal";
        const unsigned serial = r->serial;
        short clicked = 0;
        if (modal)
            clicked = r->callback(DG_MSG_CLICK, dialogId, DG_CLOSEBOX, r->userData, 0);
        if (!Alive(dialogId, serial))
            return {};
        const long result = CloseWithCallback(*Find(dialogId), clicked != 0 ? clicked : DG_CLOSEBOX);
        if (modal)
            ModalResults()[dialogId] = result;
        return {};
    }
    if (auto* modeless = dynamic_cast<DG::ModelessBase*>(r->panel))
        modeless->SendCloseRequest();
    return {};
}

std::string TypeText(short dialogId, short item, const std::string& text)
{
    if (FindItem(dialogId, item) == nullptr)
        return "dialog " + std::to_string(dialogId) + " has no item " + std::to_string(item);
    DGSetItemText(dialogId, item, GS::UniString(text));
    DialogRecord* r = Find(dialogId);
    if (r->callback != nullptr)
        r->callback(DG_MSG_CHANGE, dialogId, item, r->userData, 0);
    return {};
}

std::string SetCheck(short dialogId, short item, bool checked)
{
    if (FindItem(dialogId, item) == nullptr)
        return "dialog " + std::to_string(dialogId) + " has no item " + std::to_string(item);
    DGSetItemValLong(dialogId, item, checked ? 1 : 0);
    DialogRecord* r = Find(dialogId);
    if (r->callback != nullptr)
        r->callback(DG_MSG_CHANGE, dialogId, item, r->userData, 0);
    return {};
}

std::string UserResize(short dialogId, const std::vector<DG::Point>& proposedSizes)
{
    DialogRecord* r = Find(dialogId);
    if (r == nullptr || r->panel == nullptr)
        return "no panel " + std::to_string(dialogId) + " is open";
    const unsigned serial = r->serial;
    for (const DG::Point& proposed : proposedSizes) {
        if (!Alive(dialogId, serial))
            return "the panel closed during the drag";
        r = Find(dialogId);
        const short width = r->width;
        const short height = r->height;
        DG::Point growth(static_cast<short>(proposed.x - width), static_cast<short>(proposed.y - height));
        Record(*r, "drag to " + std::to_string(proposed.x) + "x" + std::to_string(proposed.y));
        if (r->processing) {
            DG::PanelResizeEvent resizing(r->panel, true, growth.x, growth.y);
            NotifyPanel(*r, [&](DG::PanelObserver& o) { o.PanelResizing(resizing, &growth); });
        }
        if (!Alive(dialogId, serial))
            return "the panel closed during the drag";
        r = Find(dialogId);
        r->width = static_cast<short>(width + growth.x);
        r->height = static_cast<short>(height + growth.y);
        Record(*r, "size " + std::to_string(r->width) + "x" + std::to_string(r->height) + " (user)");
        if (r->processing) {
            DG::PanelResizeEvent resized(r->panel, true, growth.x, growth.y);
            NotifyPanel(*r, [&](DG::PanelObserver& o) { o.PanelResized(resized); });
        }
    }
    if (!Alive(dialogId, serial))
        return "the panel closed during the drag";
    r = Find(dialogId);
    if (r->processing) {
        DG::PanelResizeEvent exited(r->panel, true, 0, 0);
        NotifyPanel(*r, [&](DG::PanelObserver& o) { o.PanelResizeExited(exited); });
    }
    return {};
}

std::optional<std::string> RequestToolTip(short dialogId, short item)
{
    ItemRecord* r = FindItem(dialogId, item);
    if (r == nullptr || r->object == nullptr)
        return std::nullopt;
    DG::ItemHelpEvent event(r->object);
    DG::ToolTipText text;
    const auto observers = r->observers;
    for (DG::ItemObserver* observer : observers)
        observer->ItemToolTipRequested(event, &text);
#if KORDELA_HOST_VERSION == 15
    return text.Std();
#else
    return text.ToUTF8();
#endif
}

std::vector<std::string> HelpLocations()
{
    std::vector<std::string> result;
    for (const auto& [key, folder] : HelpFolders())
        result.push_back("(" + std::to_string(key.first) + ", " + std::to_string(key.second) + ") " + folder);
    return result;
}

void FailNextIconChange()
{
    DG::failNextIconChange = true;
}

void DisposeAll()
{
    for (short id : OpenDialogs()) {
        DialogRecord* r = Find(id);
        if (r == nullptr)
            continue;
        if (auto* disposable = dynamic_cast<GS::DisposableObject*>(r->panel);
            disposable != nullptr && disposable->GetGarbageCollector() != nullptr) {
            disposable->Dispose();
        } else if (r->panel == nullptr) {
            CloseWithCallback(*r, DG_CLOSEBOX);
        }
    }
}

}  // namespace DGHost
