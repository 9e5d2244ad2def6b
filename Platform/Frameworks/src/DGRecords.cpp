#include "DGRecords.hpp"

#include "HostBackend.hpp"

#include <stdexcept>

namespace DGRecords {

namespace {
unsigned nextSerial = 1;
}  // namespace

bool failNextIconChange = false;

std::map<short, std::unique_ptr<DialogRecord>>& Dialogs()
{
    static std::map<short, std::unique_ptr<DialogRecord>> dialogs;
    return dialogs;
}

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

}  // namespace DGRecords
