// Library parts on disk: the part file, the containers that hold several, and the
// parameter list in JSON, in host records and as the transcript describes it.
#include "ProjectFiles.hpp"

#include "CH.hpp"

#include <fstream>

namespace fs = std::filesystem;
using nlohmann::json;

namespace DevHost {
namespace {

constexpr const char* PartFormat = "devhost library part 1";

const std::vector<std::pair<std::string, API_AddParID>> ParameterTypes = {{"integer", APIParT_Integer},
                                                                          {"real", APIParT_RealNum},
                                                                          {"text", APIParT_CString},
                                                                          {"separator", APIParT_Separator},
                                                                          {"title", APIParT_Title}};

const std::vector<std::pair<std::string, API_ElemTypeID>> ElementTypes = {
    {"wall", API_WallID}, {"window", API_WindowID}, {"door", API_DoorID},        {"object", API_ObjectID},
    {"lamp", API_LampID}, {"zone", API_ZoneID},     {"skylight", API_SkylightID}};

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

}  // namespace

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

// Letters in lower case, as the host's case-insensitive comparison of C strings sees them.
std::string FoldedId(const std::string& id)
{
    std::string folded(id.c_str());
    for (char& c : folded)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
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
            log(std::string("library: skipped ") + fs::path(container).filename().string() + "/" + entry + ": " +
                e.what());
        }
    }
    return parts;
}

void WritePartFile(const LibraryPartData& part)
{
    json j {{"format", PartFormat},
            {"name", part.name},
            {"type", part.typeID},
            {"ownUnID", part.ownUnID},
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

API_ElemTypeID ElementTypeFromJson(const json& j)
{
    return ValueOf(ElementTypes, j);
}

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
    const size_t count =
        handle != nullptr ? BMhGetSize(reinterpret_cast<GSHandle>(handle)) / sizeof(API_AddParType) : 0;
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
    if (handle == nullptr)
        return nullptr;
    auto** records = reinterpret_cast<API_AddParType**>(handle);
    for (size_t i = 0; i < params.size(); ++i) {
        const Parameter& p = params[i];
        API_AddParType& r = (*records)[i];
        r.typeMod = API_ParSimple;
        // A name that fits (nearly every one) goes as it stands; the field already ends in NULs.
        if (const size_t length = std::strlen(p.name.c_str()); length < sizeof r.name)
            std::memcpy(r.name, p.name.c_str(), length);
        else
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
            if (r.value.array == nullptr) {
                // Out of memory: the list is given whole or not at all.
                for (size_t k = 0; k < i; ++k)
                    BMhKill(&(*records)[k].value.array);
                BMhKill(&handle);
                return nullptr;
            }
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
    std::string line = p.name + " (" + NameOf(ParameterTypes, p.type) +
                       (p.flags != 0 ? ", flags " + std::to_string(p.flags) : "") + ")";
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

}  // namespace DevHost
