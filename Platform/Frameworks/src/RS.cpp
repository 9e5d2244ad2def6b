#include "RSHost.hpp"

#include <nlohmann/json.hpp>

#include <fstream>
#include <map>

namespace {

struct Module {
    std::string folder;
    std::map<std::string, nlohmann::json> files;  // parsed on first use, by file name
};

std::vector<Module>& Modules()
{
    static std::vector<Module> modules;
    return modules;
}

GSResModule currentModule = 0;

const nlohmann::json* Resource(GSResModule module, const char* file, short resId)
{
    if (module <= 0 || static_cast<size_t>(module) > Modules().size())
        return nullptr;
    Module& m = Modules()[static_cast<size_t>(module) - 1];
    auto found = m.files.find(file);
    if (found == m.files.end()) {
        std::ifstream in(m.folder + "/" + file);
        nlohmann::json json = in ? nlohmann::json::parse(in, nullptr, false) : nlohmann::json();
        found = m.files.emplace(file, json.is_object() ? json : nlohmann::json::object()).first;
    }
    auto item = found->second.find(std::to_string(resId));
    return item == found->second.end() ? nullptr : &*item;
}

}  // namespace

bool RSGetIndString(GS::UniString* text, short resId, short index, GSResModule module)
{
    const nlohmann::json* list = Resource(module, "Strings.json", resId);
    if (text == nullptr || list == nullptr || !list->is_array() || index < 1 ||
        static_cast<size_t>(index) > list->size() || !(*list)[static_cast<size_t>(index) - 1].is_string())
        return false;
    *text = GS::UniString((*list)[static_cast<size_t>(index) - 1].get<std::string>());
    return true;
}

GSResModule RSGetCurrentModule()
{
    return currentModule;
}

void RSSetCurrentModule(GSResModule module)
{
    currentModule = module;
}

namespace RS {

GSResModule RegisterModule(const std::string& folder)
{
    for (size_t i = 0; i < Modules().size(); ++i)
        if (Modules()[i].folder == folder)
            return static_cast<GSResModule>(i + 1);
    Modules().push_back(Module {folder, {}});
    return static_cast<GSResModule>(Modules().size());
}

std::string ModuleFolder(GSResModule module)
{
    if (module <= 0 || static_cast<size_t>(module) > Modules().size())
        return {};
    return Modules()[static_cast<size_t>(module) - 1].folder;
}

std::optional<MenuResource> GetMenu(GSResModule module, short resId)
{
    const nlohmann::json* menu = Resource(module, "Menus.json", resId);
    if (menu == nullptr || !menu->is_object())
        return std::nullopt;
    MenuResource result;
    result.title = menu->value("title", "");
    for (const auto& item : menu->value("items", nlohmann::json::array()))
        if (item.is_string())
            result.items.push_back(item.get<std::string>());
    return result;
}

std::optional<DialogResource> GetDialog(GSResModule module, short resId)
{
    const nlohmann::json* dialog = Resource(module, "Dialogs.json", resId);
    if (dialog == nullptr || !dialog->is_object())
        return std::nullopt;
    DialogResource result;
    result.kind = dialog->value("kind", "modal");
    result.title = dialog->value("title", "");
    result.width = dialog->value("width", short(0));
    result.height = dialog->value("height", short(0));
    for (const auto& item : dialog->value("items", nlohmann::json::array())) {
        ItemResource r;
        r.kind = item.value("kind", "button");
        const auto rect = item.value("rect", std::vector<short> {0, 0, 0, 0});
        if (rect.size() == 4) {
            r.x = rect[0];
            r.y = rect[1];
            r.width = rect[2];
            r.height = rect[3];
        }
        r.icon = item.value("icon", short(0));
        r.text = item.value("text", "");
        r.visible = item.value("visible", true);
        result.items.push_back(r);
    }
    return result;
}

bool HasIcon(GSResModule module, short iconId)
{
    return Resource(module, "Icons.json", iconId) != nullptr;
}

std::string IconDescription(GSResModule module, short iconId)
{
    const nlohmann::json* icon = Resource(module, "Icons.json", iconId);
    return icon != nullptr && icon->is_string() ? icon->get<std::string>() : std::string();
}

}  // namespace RS
