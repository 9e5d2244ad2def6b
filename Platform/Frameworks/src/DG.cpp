#include "DG.hpp"

#include "DGRecords.hpp"
#include "HostBackend.hpp"

#include <stdexcept>

using namespace DGRecords;

namespace {

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

long RunModal(GSResModule module, short resId, DGDialCallBack callback, long long userData)
{
    if (Platform::FailCall("DGModalDialog", {std::to_string(resId)}))
        return 0;
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

// A write to an item of a dialog that is not open reaches nothing; the transcript says so.
void RecordLostWrite(short dialogId, short item, const std::string& what)
{
    Platform::Record("dialog " + std::to_string(dialogId) +
                     (Find(dialogId) == nullptr ? " is not open" : " has no item") + ": item " + std::to_string(item) +
                     " = " + what + " not shown");
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
{}
#else
Palette::Palette(short resId, const GS::Guid& guid, GSResModule module)
    : ModelessBase(module, resId, "palette"), guid_(guid)
{}
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
    if (Platform::FailCall("FolderDialog", {title_.ToUTF8()}))
        return false;
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
    if (Platform::FailCall("DGModelessInit", {std::to_string(resId)}))
        return 0;
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
    if (r == nullptr) {
        RecordLostWrite(dialogId, item, std::to_string(value));
        return;
    }
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
    if (r == nullptr) {
        RecordLostWrite(dialogId, item, "text " + Describe(text));
        return;
    }
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
        r->window =
            std::make_shared<NSWindow>(NSMakeRect(0, 0, r->width, r->height), NSWindowStyleMaskTitled, r->title);
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

short DGAlert(short type, const GS::UniString& title, const GS::UniString& text, const GS::UniString& secondaryText,
              const GS::UniString& button1, const GS::UniString& button2, const GS::UniString& button3)
{
    // An alert that cannot be shown has no button pressed.
    if (Platform::FailCall("DGAlert", {title.ToUTF8(), std::to_string(type)}))
        return 0;
    Platform::AlertRequest alert {type, title.ToUTF8(), text.ToUTF8(), secondaryText.ToUTF8(), {}};
    for (const GS::UniString* button : {&button1, &button2, &button3})
        if (!button->IsEmpty())
            alert.buttons.push_back(button->ToUTF8());
    if (alert.buttons.empty())
        alert.buttons.push_back("");
    const int answer = Platform::GetHostBackend().AnswerAlert(alert);
    return static_cast<short>(std::clamp<int>(answer, 1, static_cast<int>(alert.buttons.size())));
}
