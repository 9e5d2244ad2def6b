#include "DevHost/Project.hpp"

#include "HostCall.hpp"
#include "ProjectFiles.hpp"

#include <fstream>

namespace fs = std::filesystem;
using nlohmann::json;

namespace DevHost {

Project::Project(Log log, const std::string& folder) : log_(std::move(log))
{
    const fs::path embedded = fs::path(folder) / "Embedded Library";
    fs::create_directories(embedded);
    file_ = (fs::path(folder) / "Project.json").string();
    libraries_.push_back(Library {embedded.string(), "Embedded Library", true});
}

std::string Project::ResolvePath(const std::string& path) const
{
    const fs::path p(path);
    return (p.is_absolute() ? p : fs::path(file_).parent_path() / p).lexically_normal().string();
}

std::string Project::Open(const std::string& file, bool workingCopy)
{
    try {
        std::string source = fs::absolute(file).lexically_normal().string();
        if (!fs::exists(source))
            return "no project file " + file;
        if (workingCopy) {
            const fs::path copy = fs::path(libraries_.front().folder).parent_path().parent_path() / "Working copy";
            fs::remove_all(copy);
            fs::copy(fs::path(source).parent_path(), copy, fs::copy_options::recursive);
            source = (copy / fs::path(source).filename()).string();
        }
        std::ifstream in(source);
        const json j = json::parse(in);
        file_ = source;
        libraries_.clear();
        const json& libs = j.value("libraries", json::object());
        libraries_.push_back(
            Library {ResolvePath(libs.value("embedded", std::string("Embedded Library"))), "Embedded Library", true});
        fs::create_directories(libraries_.front().folder);
        for (const auto& linked : libs.value("linked", json::array())) {
            const std::string folder =
                ResolvePath(linked.is_string() ? linked.get<std::string>() : linked.at("folder").get<std::string>());
            const std::string name = linked.is_object() ? linked.value("name", fs::path(folder).filename().string())
                                                        : fs::path(folder).filename().string();
            libraries_.push_back(Library {folder, name, false});
        }
        elements_.clear();
        elementsByGuid_.clear();
        selection_.clear();
        defaults_.clear();
        LoadLibraries();
        for (const auto& e : j.value("elements", json::array())) {
            PlacedElement element;
            element.guid = APIGuidFromString(e.at("guid").get<std::string>().c_str());
            element.type = ElementTypeFromJson(e.at("type"));
            element.partId = e.value("part", std::string());
            element.editable = !e.value("locked", false);
            if (const LibraryPartData* part = PartById(element.partId)) {
                element.libInd = part->index;
                element.params = part->params;
            } else if (!element.partId.empty()) {
                log_("project: element " + GuidText(element.guid) + " names a missing library part " + element.partId);
            }
            if (e.contains("parameters"))
                element.params = ParametersFromJson(e["parameters"]);
            elements_.push_back(std::move(element));
        }
        IndexElements();
        for (const auto& g : j.value("selection", json::array()))
            selection_.push_back(APIGuidFromString(g.get<std::string>().c_str()));
        log_("project opened: " + fs::path(file_).filename().string() + ", " + std::to_string(libraries_.size()) +
             " libraries, " + std::to_string(parts_.size()) + " library parts, " + std::to_string(elements_.size()) +
             " elements, " + std::to_string(selection_.size()) + " selected");
        return {};
    } catch (const std::exception& e) {
        return std::string("cannot open the project ") + file + ": " + e.what();
    }
}

std::string Project::Save(const std::string& file) const
{
    json libs {{"embedded", libraries_.front().folder}, {"linked", json::array()}};
    for (size_t i = 1; i < libraries_.size(); ++i)
        libs["linked"].push_back({{"folder", libraries_[i].folder}, {"name", libraries_[i].name}});
    json elements = json::array();
    for (const auto& e : elements_) {
        json j {{"guid", GuidText(e.guid)}, {"type", TypeName(e.type)}};
        if (!e.partId.empty())
            j["part"] = e.partId;
        if (!e.editable)
            j["locked"] = true;
        j["parameters"] = ParametersToJson(e.params);
        elements.push_back(j);
    }
    json selection = json::array();
    for (const auto& g : selection_)
        selection.push_back(GuidText(g));
    std::ofstream out(file, std::ios::trunc);
    out << json {{"libraries", libs}, {"elements", elements}, {"selection", selection}}.dump(2) << "\n";
    if (!out)
        return "cannot write " + file;
    log_("project saved");
    return {};
}

std::optional<GSErrCode> Project::Environment(int32_t code, void* par1, void* par2)
{
    if (code == APIEnv_SetToolBoxModeID) {
        const auto* item = static_cast<const API_ToolBoxItem*>(par1);
        if (item == nullptr)
            return ErrCode::General;
        toolbox_ = item->typeID;
        log_("toolbox: " + TypeName(item->typeID) + " tool selected");
        return NoError;
    }
    return LibraryEnvironment(code, par1, par2);
}
bool Project::Editing(const PlacedElement& element)
{
    if (openStep_)
        return true;
    log_("refused: element " + GuidText(element.guid) + " changed outside an undoable step");
    return false;
}

GSErrCode Project::CallUndoableCommand(const char* name, GSErrCode (*command)(void*), void* context)
{
    if (command == nullptr || openStep_)
        return ErrCode::General;
    const std::string step = name != nullptr ? name : "";
    log_("undo step \"" + step + "\" begins");
    openStep_ = step;
    const GSErrCode result = command(context);
    openStep_.reset();
    log_("undo step \"" + step + "\" ends -> " + Hex(result));
    return result;
}

GSErrCode Project::OpenUndoableSession(const char* name)
{
    if (openStep_)
        return ErrCode::General;
    openStep_ = name != nullptr ? name : "";
    log_("undo step \"" + *openStep_ + "\" opened");
    return NoError;
}

GSErrCode Project::CloseUndoableSession()
{
    if (!openStep_)
        return ErrCode::General;
    log_("undo step \"" + *openStep_ + "\" closed");
    openStep_.reset();
    return NoError;
}

namespace {
using Args = std::vector<std::string>;

// The project of the running host, through the host's one guard of its table.
template <class F>
GSErrCode OnProject(std::string_view name, const HostFaults::Arguments& arguments, F call)
{
    return HostCall(name, arguments, [&](Host& host) { return call(host.GetProject()); });
}

HostFaults::Arguments Index(int32_t index)
{
    return [index] { return Args {std::to_string(index)}; };
}

HostFaults::Arguments PartOf(const API_LibPart* part)
{
    return [part] { return part != nullptr ? Args {std::to_string(part->index)} : Args {}; };
}

HostFaults::Arguments GuidOf(const API_Guid* guid)
{
    return [guid] { return guid != nullptr ? Args {GuidText(*guid)} : Args {}; };
}

HostFaults::Arguments ElementOf(const API_Element* element)
{
    return [element] {
        return element != nullptr ? Args {GuidText(element->header.guid), TypeName(element->header.typeID)} : Args {};
    };
}

HostFaults::Arguments Text(const char* text)
{
    return [text] { return Args {text != nullptr ? text : ""}; };
}

// A search is picked by the unique id, the name or the file name it asks for.
HostFaults::Arguments Searched(const API_LibPart* part)
{
    return [part] {
        if (part == nullptr)
            return Args {};
        return Args {GetCText(part->ownUnID), GS::UTF16ToUTF8(GetText(part->docu_UName)),
                     GS::UTF16ToUTF8(GetText(part->file_UName))};
    };
}

HostFaults::Arguments Registered(const API_LibPart* part)
{
    return [part] {
        if (part == nullptr || part->location == nullptr)
            return Args {};
        const std::string path = part->location->ToUTF8POSIXPath();
        return Args {path, fs::path(path).filename().string()};
    };
}
}  // namespace

void Project::FillTable(API_HostTable& table)
{
    table.LibPartGetNum = [](int32_t* c) {
        return OnProject("LibPartGetNum", {}, [&](Project& p) { return p.LibPartGetNum(c); });
    };
    table.LibPartGet = [](API_LibPart* l) {
        return OnProject("LibPartGet", PartOf(l), [&](Project& p) { return p.LibPartGet(l); });
    };
    table.LibPartGetParams = [](int32_t i, double* a, double* b, int32_t* n, API_AddParType*** h) {
        return OnProject("LibPartGetParams", Index(i), [&](Project& p) { return p.LibPartGetParams(i, a, b, n, h); });
    };
    table.LibPartSearch = [](API_LibPart* l, bool, bool wide) {
        return OnProject("LibPartSearch", Searched(l), [&](Project& p) { return p.LibPartSearch(l, wide); });
    };
    table.LibPartRegister = [](API_LibPart* l) {
        return OnProject("LibPartRegister", Registered(l), [&](Project& p) { return p.LibPartRegister(l); });
    };
    table.LibPartGetDetails = [](int32_t i, API_LibPartDetails* d) {
        return OnProject("LibPartGetDetails", Index(i), [&](Project& p) { return p.LibPartGetDetails(i, d); });
    };
    table.LibPartGetSectParamDef = [](const API_LibPart* l, API_AddParType** h, double* a, double* b, GSHandle* s) {
        return OnProject("LibPartGetSectParamDef", PartOf(l),
                         [&](Project& p) { return p.LibPartGetSectParamDef(l, h, a, b, s); });
    };
    table.LibPartSetDetailsParamDef = [](const API_LibPart* l, API_AddParType** h, const API_LibPartDetails* d) {
        return OnProject("LibPartSetDetailsParamDef", PartOf(l),
                         [&](Project& p) { return p.LibPartSetDetailsParamDef(l, h, d); });
    };
    table.LibPartUpdateSection = [](int32_t i, const API_LibPartSection* s, GSHandle c) {
        return OnProject("LibPartUpdateSection", Index(i), [&](Project& p) { return p.LibPartUpdateSection(i, s, c); });
    };
    table.ElementGetElemList = [](API_ElemTypeID t, GS::Array<API_Guid>* g) {
        return OnProject(
            "ElementGetElemList", [t] { return Args {TypeName(t)}; },
            [&](Project& p) { return p.ElementGetElemList(t, g); });
    };
    table.ElementGet = [](API_Element* e) {
        return OnProject("ElementGet", ElementOf(e), [&](Project& p) { return p.ElementGet(e); });
    };
    table.ElementGetMemo = [](const API_Guid* g, API_ElementMemo* m, uint64_t k) {
        return OnProject("ElementGetMemo", GuidOf(g), [&](Project& p) { return p.ElementGetMemo(g, m, k); });
    };
    table.ElementChangeMemo = [](const API_Guid* g, uint64_t k, const API_ElementMemo* m) {
        return OnProject("ElementChangeMemo", GuidOf(g), [&](Project& p) { return p.ElementChangeMemo(g, k, m); });
    };
    table.ElementChange = [](API_Element* e, const API_Element* m, const API_ElementMemo* memo, uint64_t k, bool) {
        return OnProject("ElementChange", ElementOf(e), [&](Project& p) { return p.ElementChange(e, m, memo, k); });
    };
    table.ElementGetDefaults = [](API_Element* e, API_ElementMemo* m) {
        return OnProject("ElementGetDefaults", ElementOf(e), [&](Project& p) { return p.ElementGetDefaults(e, m); });
    };
    table.ElementChangeDefaults = [](API_Element* e, API_ElementMemo* m, const API_Element*) {
        return OnProject("ElementChangeDefaults", ElementOf(e),
                         [&](Project& p) { return p.ElementChangeDefaults(e, m); });
    };
    table.ElementFilter = [](const API_Guid* g, uint32_t b) {
        return OnProject("ElementFilter", GuidOf(g), [&](Project& p) { return p.ElementFilter(g, b); });
    };
    table.SelectionGet = [](API_SelectionInfo* i, GS::Array<API_Neig>* n, bool e) {
        return OnProject("SelectionGet", {}, [&](Project& p) { return p.SelectionGet(i, n, e); });
    };
    table.CallUndoableCommand = [](const char* n, GSErrCode (*c)(void*), void* x) {
        return OnProject("CallUndoableCommand", Text(n), [&](Project& p) { return p.CallUndoableCommand(n, c, x); });
    };
    table.OpenUndoableSession = [](const char* n) {
        return OnProject("OpenUndoableSession", Text(n), [&](Project& p) { return p.OpenUndoableSession(n); });
    };
    table.CloseUndoableSession = [] {
        return OnProject("CloseUndoableSession", {}, [&](Project& p) { return p.CloseUndoableSession(); });
    };
}

}  // namespace DevHost
