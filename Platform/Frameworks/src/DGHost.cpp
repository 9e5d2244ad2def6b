#include "DGHost.hpp"

#include "DGRecords.hpp"

using namespace DGRecords;

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
    // While a modal dialog is open, the window system lets no click reach another window.
    if (r->kind != "modal")
        for (const auto& [id, other] : Dialogs())
            if (other->kind == "modal") {
                Record(*r, "item " + std::to_string(item) + " click refused: modal dialog " + std::to_string(id) +
                               " is open");
                return {};
            }
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

std::string HostResize(short dialogId, const DG::Point& size)
{
    DialogRecord* r = Find(dialogId);
    auto* dialog = r != nullptr ? dynamic_cast<DG::Dialog*>(r->panel) : nullptr;
    if (dialog == nullptr)
        return "no panel " + std::to_string(dialogId) + " is open";
    dialog->Resize(static_cast<short>(size.x - r->width), static_cast<short>(size.y - r->height));
    return {};
}

std::string SendOpened(short dialogId)
{
    DialogRecord* r = Find(dialogId);
    if (r == nullptr || r->panel == nullptr)
        return "no panel " + std::to_string(dialogId) + " is open";
    Record(*r, "opened notification");
    if (r->processing) {
        const DG::PanelOpenEvent event(r->panel);
        NotifyPanel(*r, [&](DG::PanelObserver& o) { o.PanelOpened(event); });
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
    failNextIconChange = true;
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
