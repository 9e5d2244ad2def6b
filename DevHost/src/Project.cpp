#include "DevHost/Project.hpp"

#include "CH.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using nlohmann::json;

namespace DevHost {
namespace {

constexpr const char* PartFormat = "devhost library part 1";

const std::vector<std::pair<std::string, API_AddParID>> ParameterTypes = {
    {"integer", APIParT_Integer}, {"real", APIParT_RealNum}, {"text", APIParT_CString},
    {"separator", APIParT_Separator}, {"title", APIParT_Title}};

const std::vector<std::pair<std::string, API_ElemTypeID>> ElementTypes = {
    {"wall", API_WallID}, {"window", API_WindowID}, {"door", API_DoorID}, {"object", API_ObjectID},
    {"lamp", API_LampID}, {"zone", API_ZoneID}, {"skylight", API_SkylightID}};

template <class T>
std::string NameOf(const std::vector<std::pair<std::string, T>>& table, T value)
{
    for (const auto& [name, v] : table)
        if (v == value)
            return name;
    return std::to_string(value);
}

template <class T>
T ValueOf(const std::vector<std::pair<std::string, T>>& table, const json& j)
{
    if (j.is_number_integer())
        return j.get<T>();
    const std::string name = j.get<std::string>();
    for (const auto& [n, v] : table)
        if (n == name)
            return v;
    throw std::runtime_error("unknown type \"" + name + "\"");
}

std::string Hex(int32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<uint32_t>(value));
    return text;
}

std::string GuidText(const API_Guid& guid)
{
    return APIGuidToString(guid).ToUTF8();
}

// Unique ids are "{main}-{revision}"; a part descends from another by the main GUID.
std::string MainId(const std::string& unID)
{
    std::string main = unID.substr(0, std::min<size_t>(unID.size(), 38));
    std::transform(main.begin(), main.end(), main.begin(), [](unsigned char c) { return std::toupper(c); });
    return main;
}

// Copies UTF-8 text into a fixed UTF-16 field, cut to fit with its NUL.
template <size_t N>
void PutText(char16_t (&field)[N], const std::u16string& text)
{
    const size_t n = std::min(text.size(), N - 1);
    std::copy_n(text.begin(), n, field);
    field[n] = 0;
}

template <size_t N>
size_t TextLength(const char16_t (&field)[N])
{
    size_t n = 0;
    while (n < N && field[n] != 0)
        ++n;
    return n;
}

template <size_t N>
std::u16string GetText(const char16_t (&field)[N])
{
    return std::u16string(field, TextLength(field));
}

template <size_t N>
void AssignText(std::u16string& text, const char16_t (&field)[N])
{
    text.assign(field, TextLength(field));
}

// Letters in lower case, as the host's case-insensitive comparison of C strings sees them.
std::string FoldedId(const std::string& id)
{
    std::string folded(id.c_str());
    for (char& c : folded)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
}

template <size_t N>
std::string GetCText(const char (&field)[N])
{
    return std::string(field, strnlen(field, N));
}

Parameter ParameterFromJson(const json& j)
{
    Parameter p;
    p.name = j.at("name").get<std::string>().substr(0, API_NameLen - 1);
    p.type = ValueOf(ParameterTypes, j.value("type", json("real")));
    p.flags = j.value("flags", 0);
    p.description = GS::UTF8ToUTF16(j.value("description", std::string()));
    if (j.contains("array")) {
        p.isArray = true;
        const auto& rows = j.at("array");
        p.dim1 = static_cast<int32_t>(rows.size());
        p.dim2 = rows.empty() ? 0 : static_cast<int32_t>(rows[0].size());
        for (const auto& row : rows) {
            if (static_cast<int32_t>(row.size()) != p.dim2)
                throw std::runtime_error("array parameter " + p.name + " has rows of different lengths");
            for (const auto& cell : row)
                p.cells.push_back(cell.get<double>());
        }
    } else if (p.type == APIParT_CString) {
        p.text = GS::UTF8ToUTF16(j.value("value", std::string()));
    } else {
        p.real = j.value("value", 0.0);
    }
    return p;
}

json ParameterToJson(const Parameter& p)
{
    json j {{"name", p.name}, {"type", NameOf(ParameterTypes, p.type)}};
    if (p.flags != 0)
        j["flags"] = p.flags;
    if (!p.description.empty())
        j["description"] = GS::UTF16ToUTF8(p.description);
    if (p.isArray) {
        json rows = json::array();
        for (int32_t r = 0; r < p.dim1; ++r) {
            json row = json::array();
            for (int32_t c = 0; c < p.dim2; ++c)
                row.push_back(p.cells[static_cast<size_t>(r * p.dim2 + c)]);
            rows.push_back(row);
        }
        j["array"] = rows;
    } else if (p.type == APIParT_CString) {
        j["value"] = GS::UTF16ToUTF8(p.text);
    } else if (p.type != APIParT_Separator && p.type != APIParT_Title) {
        j["value"] = p.real;
    }
    return j;
}

std::vector<Parameter> ParametersFromJson(const json& list)
{
    std::vector<Parameter> params;
    for (const auto& item : list)
        params.push_back(ParameterFromJson(item));
    return params;
}

json ParametersToJson(const std::vector<Parameter>& params)
{
    json list = json::array();
    for (const auto& p : params)
        list.push_back(ParameterToJson(p));
    return list;
}

// `file` is where the part lies: a path, or a container's path followed by the entry's.
LibraryPartData ReadPartText(const std::string& text, const std::string& file)
{
    const json j = json::parse(text);
    if (j.value("format", std::string()) != PartFormat)
        throw std::runtime_error(file + " is not a library part of this host");
    LibraryPartData part;
    part.typeID = j.at("type").get<API_LibTypeID>();
    part.name = j.value("name", fs::path(file).stem().string());
    part.ownUnID = j.at("ownUnID").get<std::string>();
    part.parents = j.value("parents", std::vector<std::string>());
    part.file = file;
    // Macros and other helper parts say so; every part of a placing type is placeable.
    const bool placingType = part.typeID == APILib_WindowID || part.typeID == APILib_DoorID ||
                             part.typeID == APILib_ObjectID || part.typeID == APILib_LampID ||
                             part.typeID == APILib_SkylightID;
    part.placeable = j.value("placeable", placingType);
    if (j.contains("details")) {
        part.details.a = j["details"].value("a", 0.0);
        part.details.b = j["details"].value("b", 0.0);
        part.details.autoHotspot = j["details"].value("autoHotspot", false);
    }
    part.params = ParametersFromJson(j.value("parameters", json::array()));
    return part;
}

LibraryPartData ReadPartFile(const std::string& file)
{
    std::ifstream in(file);
    if (!in)
        throw std::runtime_error("cannot read " + file);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return ReadPartText(text, file);
}

bool IsContainerName(const fs::path& path)
{
    return path.extension() == ".lcf";
}

// The parts a library container holds, in entry order; entries that are no parts of this
// host are skipped with a note.
std::vector<LibraryPartData> ReadContainer(const std::string& container, const Project::Log& log)
{
    std::vector<LibraryPartData> parts;
    const IO::Location location(container);
    for (const auto& entry : IO::ListContainer(location)) {
        if (fs::path(entry).extension() != ".gsm")
            continue;
        std::string bytes;
        try {
            if (!IO::ReadContainerEntry(location, entry, &bytes))
                throw std::runtime_error("cannot read the entry");
            parts.push_back(ReadPartText(bytes, container + "/" + entry));
        } catch (const std::exception& e) {
            log(std::string("library: skipped ") + fs::path(container).filename().string() + "/" + entry + ": " + e.what());
        }
    }
    return parts;
}

void WritePartFile(const LibraryPartData& part)
{
    json j {{"format", PartFormat}, {"name", part.name}, {"type", part.typeID}, {"ownUnID", part.ownUnID},
            {"parents", part.parents},
            {"details", {{"a", part.details.a}, {"b", part.details.b}, {"autoHotspot", part.details.autoHotspot}}},
            {"parameters", ParametersToJson(part.params)}};
    std::ofstream out(part.file, std::ios::trunc);
    out << j.dump(2) << "\n";
    if (!out)
        throw std::runtime_error("cannot write " + part.file);
}

const std::string& PartName(const LibraryPartData* part)
{
    static const std::string none = "(none)";
    return part != nullptr ? part->name : none;
}

}  // namespace

std::string TypeName(API_ElemTypeID type)
{
    return NameOf(ElementTypes, type);
}

std::vector<Parameter> ParametersFromHandle(API_AddParType** handle)
{
    std::vector<Parameter> params;
    AssignParametersFromHandle(handle, params);
    return params;
}

void AssignParametersFromHandle(API_AddParType** handle, std::vector<Parameter>& params)
{
    const size_t count = handle != nullptr ? BMhGetSize(reinterpret_cast<GSHandle>(handle)) / sizeof(API_AddParType) : 0;
    params.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const API_AddParType& r = (*handle)[i];
        Parameter& p = params[i];
        p.name.assign(r.name, strnlen(r.name, sizeof r.name));
        p.type = r.typeID;
        p.flags = r.flags;
        AssignText(p.description, r.uDescname);
        p.real = 0;
        p.text.clear();
        p.isArray = r.typeMod == API_ParArray;
        p.dim1 = 0;
        p.dim2 = 0;
        p.cells.clear();
        if (p.isArray) {
            p.dim1 = std::max(0, r.dim1);
            p.dim2 = std::max(0, r.dim2);
            const size_t cells = static_cast<size_t>(p.dim1) * static_cast<size_t>(p.dim2);
            const size_t held = r.value.array != nullptr ? BMhGetSize(r.value.array) / sizeof(double) : 0;
            p.cells.assign(cells, 0.0);
            if (held > 0)
                std::memcpy(p.cells.data(), *r.value.array, std::min(cells, held) * sizeof(double));
        } else if (r.typeID == APIParT_CString) {
            AssignText(p.text, r.value.uStr);
        } else {
            p.real = r.value.real;
        }
    }
}

API_AddParType** ParametersToHandle(const std::vector<Parameter>& params)
{
    // The block comes cleared, so each record is written once, with its texts only.
    GSHandle handle = BMhAllClear(params.size() * sizeof(API_AddParType));
    auto** records = reinterpret_cast<API_AddParType**>(handle);
    for (size_t i = 0; i < params.size(); ++i) {
        const Parameter& p = params[i];
        API_AddParType& r = (*records)[i];
        r.typeMod = API_ParSimple;
        CHTruncate(p.name.c_str(), r.name, sizeof r.name);
        r.typeID = p.type;
        r.flags = p.flags;
        r.index = static_cast<int32_t>(i);
        PutText(r.uDescname, p.description);
        if (p.isArray) {
            r.typeMod = API_ParArray;
            r.dim1 = p.dim1;
            r.dim2 = p.dim2;
            r.value.array = BMhAllClear(p.cells.size() * sizeof(double));
            if (!p.cells.empty())
                std::memcpy(*r.value.array, p.cells.data(), p.cells.size() * sizeof(double));
        } else if (p.type == APIParT_CString) {
            PutText(r.value.uStr, p.text);
        } else {
            r.value.real = p.real;
        }
    }
    return records;
}

std::string DescribeParameter(const Parameter& p)
{
    std::string line = p.name + " (" + NameOf(ParameterTypes, p.type) + (p.flags != 0 ? ", flags " + std::to_string(p.flags) : "") + ")";
    if (p.isArray) {
        line += " [" + std::to_string(p.dim1) + "x" + std::to_string(p.dim2) + "]";
        for (double cell : p.cells) {
            char text[32];
            std::snprintf(text, sizeof text, " %g", cell);
            line += text;
        }
    } else if (p.type == APIParT_CString) {
        line += " = \"" + GS::UTF16ToUTF8(p.text) + "\"";
    } else if (p.type != APIParT_Separator && p.type != APIParT_Title) {
        char text[32];
        std::snprintf(text, sizeof text, " = %g", p.real);
        line += text;
    }
    return line;
}

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
        libraries_.push_back(Library {ResolvePath(libs.value("embedded", std::string("Embedded Library"))),
                                      "Embedded Library", true});
        fs::create_directories(libraries_.front().folder);
        for (const auto& linked : libs.value("linked", json::array())) {
            const std::string folder = ResolvePath(linked.is_string() ? linked.get<std::string>() : linked.at("folder").get<std::string>());
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
            element.type = ValueOf(ElementTypes, e.at("type"));
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

void Project::LoadLibraries()
{
    std::vector<LibraryPartData> loaded;
    for (const auto& library : libraries_) {
        std::error_code ec;
        if (!fs::is_directory(library.folder, ec))
            continue;
        std::vector<std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(library.folder, ec))
            if (entry.is_regular_file() && (entry.path().extension() == ".gsm" || IsContainerName(entry.path())))
                files.push_back(entry.path().string());
        std::sort(files.begin(), files.end());
        for (const auto& f : files) {
            if (IsContainerName(f)) {
                for (auto& part : ReadContainer(f, log_))
                    loaded.push_back(std::move(part));
                continue;
            }
            try {
                loaded.push_back(ReadPartFile(f));
            } catch (const std::exception& e) {
                log_(std::string("library: skipped ") + fs::path(f).filename().string() + ": " + e.what());
            }
        }
    }
    for (size_t i = 0; i < loaded.size(); ++i)
        loaded[i].index = static_cast<int32_t>(i + 1);
    parts_ = std::move(loaded);
    IndexParts();
    for (auto& e : elements_)
        if (const LibraryPartData* part = PartById(e.partId))
            e.libInd = part->index;
}

std::string Project::SelectElements(const std::vector<std::string>& guids)
{
    std::vector<API_Guid> selection;
    for (const auto& text : guids) {
        const API_Guid guid = APIGuidFromString(text.c_str());
        if (Element(guid) == nullptr)
            return "no element " + text;
        selection.push_back(guid);
    }
    selection_ = selection;
    log_("selection: " + std::to_string(selection_.size()) + " element(s)");
    return {};
}

const LibraryPartData* Project::Part(int32_t index) const
{
    return index >= 1 && index <= static_cast<int32_t>(parts_.size()) ? &parts_[static_cast<size_t>(index - 1)] : nullptr;
}

const LibraryPartData* Project::PartById(const std::string& ownUnID) const
{
    if (ownUnID.empty())
        return nullptr;
    const auto found = partsById_.find(FoldedId(ownUnID));
    return found != partsById_.end() ? &parts_[found->second] : nullptr;
}

PlacedElement* Project::Element(const API_Guid& guid)
{
    const auto found = elementsByGuid_.find(guid);
    return found != elementsByGuid_.end() ? &elements_[found->second] : nullptr;
}

size_t Project::GuidHash::operator()(const API_Guid& guid) const
{
    uint64_t halves[2];
    std::memcpy(halves, guid.bytes, sizeof halves);
    return std::hash<uint64_t>()(halves[0] ^ (halves[1] * 0x9E3779B97F4A7C15ull));
}

void Project::IndexParts()
{
    partsById_.clear();
    for (size_t i = 0; i < parts_.size(); ++i)
        if (!parts_[i].ownUnID.empty())
            partsById_.emplace(FoldedId(parts_[i].ownUnID), i);
}

void Project::IndexElements()
{
    elementsByGuid_.clear();
    for (size_t i = 0; i < elements_.size(); ++i)
        elementsByGuid_.emplace(elements_[i].guid, i);
}

std::string Project::DescribePart(const std::string& which) const
{
    const LibraryPartData* part = PartById(which);
    if (part == nullptr)
        for (const auto& p : parts_)
            if (p.name == which || std::to_string(p.index) == which)
                part = &p;
    if (part == nullptr)
        return {};
    std::string text = "library part " + std::to_string(part->index) + " \"" + part->name + "\" type " +
                       std::to_string(part->typeID) + " " + part->ownUnID;
    for (const auto& p : part->params)
        text += "\n  " + DescribeParameter(p);
    return text;
}

std::string Project::DescribeElement(const std::string& guid) const
{
    for (const auto& e : elements_) {
        if (!(e.guid == APIGuidFromString(guid.c_str())))
            continue;
        std::string text = "element " + GuidText(e.guid) + " " + TypeName(e.type) + " part " + std::to_string(e.libInd) +
                           " \"" + PartName(Part(e.libInd)) + "\"";
        for (const auto& p : e.params)
            text += "\n  " + DescribeParameter(p);
        return text;
    }
    return {};
}

bool Project::IsSubtypeOf(const std::string& ownUnID, const std::string& parent, int depth) const
{
    const LibraryPartData* part = PartById(ownUnID);
    if (part == nullptr || depth > 32)
        return false;
    for (const auto& p : part->parents)
        if (MainId(p) == MainId(parent) || IsSubtypeOf(p, parent, depth + 1))
            return true;
    return false;
}

std::optional<GSErrCode> Project::Environment(int32_t code, void* par1, void* par2)
{
    if (code == APIEnv_GetLibrariesID) {
        auto* list = static_cast<GS::Array<API_LibraryInfo>*>(par1);
        if (list == nullptr)
            return ErrCode::General;
        list->Clear();
        for (const auto& library : libraries_)
            list->Push(API_LibraryInfo {IO::Location(library.folder), GS::UniString(library.name), false});
        if (par2 != nullptr)
            *static_cast<int32_t*>(par2) = 0;
        return NoError;
    }
    if (code == APIEnv_SetLibrariesID) {
        const auto* list = static_cast<const GS::Array<API_LibraryInfo>*>(par1);
        if (list == nullptr)
            return ErrCode::General;
        std::vector<Library> libraries {libraries_.front()};
        std::string names;
        for (const auto& info : *list) {
            const std::string folder = info.location.ToUTF8POSIXPath();
            if (folder == libraries_.front().folder)
                continue;
            libraries.push_back(Library {folder, info.name.ToUTF8(), false});
            names += " \"" + info.name.ToUTF8() + "\" " + folder;
        }
        libraries_ = libraries;
        log_("libraries set: embedded library" + names);
        LoadLibraries();
        return NoError;
    }
    if (code == APIEnv_ReloadLibrariesID) {
        LoadLibraries();
        log_("libraries reloaded: " + std::to_string(parts_.size()) + " library parts");
        return NoError;
    }
    if (code == APIEnv_SetToolBoxModeID) {
        const auto* item = static_cast<const API_ToolBoxItem*>(par1);
        if (item == nullptr)
            return ErrCode::General;
        toolbox_ = item->typeID;
        log_("toolbox: " + TypeName(item->typeID) + " tool selected");
        return NoError;
    }
    return std::nullopt;
}

std::optional<GSErrCode> Project::Goodies(int32_t code, void* par1, void* par2)
{
    if (code != APIAny_CheckLibPartSubtypeOfID)
        return std::nullopt;
    const auto* child = static_cast<const char*>(par1);
    const auto* parent = static_cast<const char*>(par2);
    if (child == nullptr || parent == nullptr)
        return ErrCode::General;
    return IsSubtypeOf(child, parent) ? NoError : ErrCode::General;
}

GSErrCode Project::LibPartGetNum(int32_t* count) const
{
    if (count == nullptr)
        return ErrCode::General;
    *count = static_cast<int32_t>(parts_.size());
    return NoError;
}

GSErrCode Project::LibPartGet(API_LibPart* libPart) const
{
    if (libPart == nullptr)
        return ErrCode::General;
    const LibraryPartData* part = Part(libPart->index);
    if (part == nullptr)
        return ErrCode::BadIndex;
    IO::Location* location = libPart->location;
    *libPart = API_LibPart {};
    libPart->index = part->index;
    libPart->typeID = part->typeID;
    PutText(libPart->docu_UName, GS::UTF8ToUTF16(part->name));
    CHTruncate(part->ownUnID.c_str(), libPart->ownUnID, sizeof libPart->ownUnID);
    PutText(libPart->file_UName, GS::UTF8ToUTF16(fs::path(part->file).filename().string()));
    libPart->isPlaceable = part->placeable;
    libPart->isMacro = !part->placeable;
    if (!part->parents.empty())
        CHTruncate(part->parents.front().c_str(), libPart->parentUnID, sizeof libPart->parentUnID);
    libPart->location = location;
    if (location != nullptr)
        *location = IO::Location(part->file);
    return NoError;
}

GSErrCode Project::LibPartGetParams(int32_t libInd, double* a, double* b, int32_t* count, API_AddParType*** params) const
{
    const LibraryPartData* part = Part(libInd);
    if (part == nullptr || params == nullptr)
        return ErrCode::BadIndex;
    if (a != nullptr)
        *a = part->details.a;
    if (b != nullptr)
        *b = part->details.b;
    if (count != nullptr)
        *count = static_cast<int32_t>(part->params.size());
    *params = ParametersToHandle(part->params);
    return NoError;
}

GSErrCode Project::LibPartSearch(API_LibPart* libPart, bool wideSearch) const
{
    if (libPart == nullptr)
        return ErrCode::General;
    const LibraryPartData* found = PartById(GetCText(libPart->ownUnID));
    if (found == nullptr) {
        const std::string name = GS::UTF16ToUTF8(GetText(libPart->docu_UName));
        for (const auto& p : parts_)
            if (!name.empty() && p.name == name)
                found = &p;
    }
    if (found == nullptr && wideSearch) {
        // The first loaded part of that file name, wherever it lies.
        const std::string fileName = GS::UTF16ToUTF8(GetText(libPart->file_UName));
        for (const auto& p : parts_)
            if (found == nullptr && !fileName.empty() && fs::path(p.file).filename().string() == fileName)
                found = &p;
    }
    if (found == nullptr)
        return ErrCode::BadIndex;
    libPart->index = found->index;
    return LibPartGet(libPart);
}

GSErrCode Project::LibPartRegister(API_LibPart* libPart)
{
    if (libPart == nullptr || libPart->location == nullptr)
        return ErrCode::General;
    const std::string file = libPart->location->ToUTF8POSIXPath();
    for (const auto& p : parts_)
        if (p.file == file || (IsContainerName(file) && p.file.rfind(file + "/", 0) == 0)) {
            libPart->index = p.index;
            return LibPartGet(libPart);
        }
    try {
        if (IsContainerName(file)) {
            // A container registers every part it holds; the record gets the first of them.
            std::vector<LibraryPartData> held = ReadContainer(file, log_);
            if (held.empty())
                throw std::runtime_error(fs::path(file).filename().string() + " holds no library part of this host");
            int32_t first = 0;
            for (auto& part : held) {
                part.index = static_cast<int32_t>(parts_.size() + 1);
                first = first == 0 ? part.index : first;
                log_("library part registered: " + std::to_string(part.index) + " \"" + part.name + "\" from " +
                     fs::path(file).filename().string());
                parts_.push_back(std::move(part));
            }
            IndexParts();
            libPart->index = first;
            return LibPartGet(libPart);
        }
        LibraryPartData part = ReadPartFile(file);
        part.index = static_cast<int32_t>(parts_.size() + 1);
        parts_.push_back(part);
        IndexParts();
        log_("library part registered: " + std::to_string(part.index) + " \"" + part.name + "\"");
        libPart->index = part.index;
        return LibPartGet(libPart);
    } catch (const std::exception& e) {
        log_(std::string("library part not registered: ") + e.what());
        return ErrCode::General;
    }
}

GSErrCode Project::LibPartGetDetails(int32_t libInd, API_LibPartDetails* details) const
{
    const LibraryPartData* part = Part(libInd);
    if (part == nullptr || details == nullptr)
        return ErrCode::BadIndex;
    *details = part->details;
    return NoError;
}

// The parameter section travels as the part file's own text of its parameter list.
GSErrCode Project::LibPartGetSectParamDef(const API_LibPart* libPart, API_AddParType** params, double* a, double* b,
                                          GSHandle* section) const
{
    if (libPart == nullptr || section == nullptr || Part(libPart->index) == nullptr)
        return ErrCode::BadIndex;
    const LibraryPartData* part = Part(libPart->index);
    const std::string text = ParametersToJson(params != nullptr ? ParametersFromHandle(params) : part->params).dump();
    *section = BMhAllClear(text.size());
    if (!text.empty())
        std::memcpy(**section, text.data(), text.size());
    if (a != nullptr)
        *a = part->details.a;
    if (b != nullptr)
        *b = part->details.b;
    return NoError;
}

GSErrCode Project::LibPartSetDetailsParamDef(const API_LibPart* libPart, API_AddParType**, const API_LibPartDetails* details)
{
    if (libPart == nullptr || details == nullptr || Part(libPart->index) == nullptr)
        return ErrCode::BadIndex;
    parts_[static_cast<size_t>(libPart->index - 1)].details = *details;
    return NoError;
}

GSErrCode Project::LibPartUpdateSection(int32_t libInd, const API_LibPartSection* section, GSHandle content)
{
    if (Part(libInd) == nullptr || section == nullptr || content == nullptr)
        return ErrCode::BadIndex;
    if (section->sectType != API_SectParamDef)
        return ErrCode::General;
    LibraryPartData& part = parts_[static_cast<size_t>(libInd - 1)];
    try {
        const std::string text(*content, BMhGetSize(content));
        part.params = ParametersFromJson(json::parse(text));
        WritePartFile(part);
    } catch (const std::exception& e) {
        log_(std::string("library part not rewritten: ") + e.what());
        return ErrCode::General;
    }
    log_("library part rewritten: " + std::to_string(libInd) + " \"" + part.name + "\", " +
         std::to_string(part.params.size()) + " parameters");
    return NoError;
}

GSErrCode Project::ElementGetElemList(API_ElemTypeID typeID, GS::Array<API_Guid>* guids) const
{
    if (guids == nullptr)
        return ErrCode::General;
    guids->Clear();
    for (const auto& e : elements_)
        if (e.type == typeID)
            guids->Push(e.guid);
    return NoError;
}

namespace {
int32_t* LibIndField(API_Element& element, API_ElemTypeID type)
{
    switch (type) {
    case API_WindowID: return &element.window.openingBase.libInd;
    case API_DoorID: return &element.door.openingBase.libInd;
    case API_SkylightID: return &element.skylight.openingBase.libInd;
    case API_ObjectID: return &element.object.libInd;
    case API_LampID: return &element.lamp.libInd;
    default: return nullptr;
    }
}

bool MaskFits(uint64_t mask)
{
    return (mask & ~APIMemoMask_All) == 0;
}
}  // namespace

GSErrCode Project::ElementGet(API_Element* element)
{
    if (element == nullptr)
        return ErrCode::General;
    const PlacedElement* e = Element(element->header.guid);
    if (e == nullptr)
        return ErrCode::BadIndex;
    *element = API_Element {};
    element->header.typeID = e->type;
    element->header.guid = e->guid;
    if (int32_t* field = LibIndField(*element, e->type))
        *field = e->libInd;
    return NoError;
}

GSErrCode Project::ElementGetMemo(const API_Guid* guid, API_ElementMemo* memo, uint64_t mask)
{
    if (guid == nullptr || memo == nullptr)
        return ErrCode::General;
    const PlacedElement* e = Element(*guid);
    if (e == nullptr)
        return ErrCode::BadIndex;
    if (!MaskFits(mask)) {
        log_("element memo refused: mask " + Hex(static_cast<int32_t>(mask >> 32)) + Hex(static_cast<int32_t>(mask)).substr(2));
        return ErrCode::General;
    }
    *memo = API_ElementMemo {};
    if ((mask & APIMemoMask_AddPars) != 0 && e->libInd != 0)
        memo->params = ParametersToHandle(e->params);
    return NoError;
}

GSErrCode Project::ElementChangeMemo(const API_Guid* guid, uint64_t mask, const API_ElementMemo* memo)
{
    if (guid == nullptr || memo == nullptr)
        return ErrCode::General;
    PlacedElement* e = Element(*guid);
    if (e == nullptr)
        return ErrCode::BadIndex;
    if (!MaskFits(mask))
        return ErrCode::General;
    if ((mask & APIMemoMask_AddPars) != 0 && memo->params != nullptr) {
        if (!Editing(*e))
            return ErrCode::General;
        AssignParametersFromHandle(memo->params, e->params);
        log_("element changed: " + GuidText(e->guid) + ", " + std::to_string(e->params.size()) + " parameters");
    }
    return NoError;
}

GSErrCode Project::ElementChange(API_Element* element, const API_Element*, const API_ElementMemo* memo, uint64_t memoMask)
{
    if (element == nullptr)
        return ErrCode::General;
    PlacedElement* e = Element(element->header.guid);
    if (e == nullptr)
        return ErrCode::BadIndex;
    if (!e->editable)
        return ErrCode::General;
    if (!Editing(*e))
        return ErrCode::General;
    if (const int32_t* field = LibIndField(*element, e->type); field != nullptr && Part(*field) != nullptr) {
        e->libInd = *field;
        e->partId = Part(*field)->ownUnID;
    }
    if (memo != nullptr && memo->params != nullptr && (memoMask & APIMemoMask_AddPars) != 0 && MaskFits(memoMask))
        AssignParametersFromHandle(memo->params, e->params);
    log_("element changed: " + GuidText(e->guid) + " part " + std::to_string(e->libInd) + ", " +
         std::to_string(e->params.size()) + " parameters");
    return NoError;
}

GSErrCode Project::ElementGetDefaults(API_Element* element, API_ElementMemo* memo)
{
    if (element == nullptr)
        return ErrCode::General;
    const API_ElemTypeID type = element->header.typeID;
    if (type == API_ZombieElemID)
        return ErrCode::General;
    const Defaults& d = defaults_[type];
    *element = API_Element {};
    element->header.typeID = type;
    if (int32_t* field = LibIndField(*element, type))
        *field = d.libInd;
    if (memo != nullptr) {
        *memo = API_ElementMemo {};
        memo->params = ParametersToHandle(d.params);
    }
    return NoError;
}

GSErrCode Project::ElementChangeDefaults(API_Element* element, API_ElementMemo* memo)
{
    if (element == nullptr || element->header.typeID == API_ZombieElemID)
        return ErrCode::General;
    const API_ElemTypeID type = element->header.typeID;
    Defaults& d = defaults_[type];
    if (int32_t* field = LibIndField(*element, type))
        d.libInd = *field;
    if (memo != nullptr && memo->params != nullptr)
        d.params = ParametersFromHandle(memo->params);
    log_("defaults of the " + TypeName(type) + " tool: part " + std::to_string(d.libInd) + " \"" +
         PartName(Part(d.libInd)) + "\", " + std::to_string(d.params.size()) + " parameters");
    return NoError;
}

GSErrCode Project::ElementFilter(const API_Guid* guid, uint32_t bits)
{
    const PlacedElement* e = guid != nullptr ? Element(*guid) : nullptr;
    if (e == nullptr)
        return ErrCode::BadIndex;
    return (bits & APIFilt_IsEditable) != 0 && !e->editable ? ErrCode::General : NoError;
}

GSErrCode Project::SelectionGet(API_SelectionInfo* info, GS::Array<API_Neig>* neigs, bool onlyEditable)
{
    if (info == nullptr)
        return ErrCode::General;
    *info = API_SelectionInfo {};
    if (neigs != nullptr)
        neigs->Clear();
    int32_t count = 0;
    int32_t editable = 0;
    for (const auto& guid : selection_) {
        const PlacedElement* e = Element(guid);
        if (e == nullptr)
            continue;
        ++count;
        editable += e->editable ? 1 : 0;
        if (neigs != nullptr && (!onlyEditable || e->editable))
            neigs->Push(API_Neig {guid, e->type, 0});
    }
    info->sel_nElem = count;
    info->sel_nElemEdit = editable;
    if (count == 0)
        return ErrCode::NoSelection;
    info->typeID = API_SelElems;
    return NoError;
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

void Project::FillTable(API_HostTable& table, const std::function<Project&()>& current)
{
    static std::function<Project&()> project;
    project = current;
    table.LibPartGetNum = [](int32_t* c) { return project().LibPartGetNum(c); };
    table.LibPartGet = [](API_LibPart* p) { return project().LibPartGet(p); };
    table.LibPartGetParams = [](int32_t i, double* a, double* b, int32_t* n, API_AddParType*** h) {
        return project().LibPartGetParams(i, a, b, n, h);
    };
    table.LibPartSearch = [](API_LibPart* p, bool, bool wide) { return project().LibPartSearch(p, wide); };
    table.LibPartRegister = [](API_LibPart* p) { return project().LibPartRegister(p); };
    table.LibPartGetDetails = [](int32_t i, API_LibPartDetails* d) { return project().LibPartGetDetails(i, d); };
    table.LibPartGetSectParamDef = [](const API_LibPart* p, API_AddParType** h, double* a, double* b, GSHandle* s) {
        return project().LibPartGetSectParamDef(p, h, a, b, s);
    };
    table.LibPartSetDetailsParamDef = [](const API_LibPart* p, API_AddParType** h, const API_LibPartDetails* d) {
        return project().LibPartSetDetailsParamDef(p, h, d);
    };
    table.LibPartUpdateSection = [](int32_t i, const API_LibPartSection* s, GSHandle c) {
        return project().LibPartUpdateSection(i, s, c);
    };
    table.ElementGetElemList = [](API_ElemTypeID t, GS::Array<API_Guid>* g) { return project().ElementGetElemList(t, g); };
    table.ElementGet = [](API_Element* e) { return project().ElementGet(e); };
    table.ElementGetMemo = [](const API_Guid* g, API_ElementMemo* m, uint64_t k) { return project().ElementGetMemo(g, m, k); };
    table.ElementChangeMemo = [](const API_Guid* g, uint64_t k, const API_ElementMemo* m) {
        return project().ElementChangeMemo(g, k, m);
    };
    table.ElementChange = [](API_Element* e, const API_Element* m, const API_ElementMemo* memo, uint64_t k, bool) {
        return project().ElementChange(e, m, memo, k);
    };
    table.ElementGetDefaults = [](API_Element* e, API_ElementMemo* m) { return project().ElementGetDefaults(e, m); };
    table.ElementChangeDefaults = [](API_Element* e, API_ElementMemo* m, const API_Element*) {
        return project().ElementChangeDefaults(e, m);
    };
    table.ElementFilter = [](const API_Guid* g, uint32_t b) { return project().ElementFilter(g, b); };
    table.SelectionGet = [](API_SelectionInfo* i, GS::Array<API_Neig>* n, bool e) { return project().SelectionGet(i, n, e); };
    table.CallUndoableCommand = [](const char* n, GSErrCode (*c)(void*), void* x) {
        return project().CallUndoableCommand(n, c, x);
    };
    table.OpenUndoableSession = [](const char* n) { return project().OpenUndoableSession(n); };
    table.CloseUndoableSession = [] { return project().CloseUndoableSession(); };
}

}  // namespace DevHost
