// The project's libraries and the library parts loaded from them: the library list,
// looking parts up, registering and rewriting them.
#include "ProjectFiles.hpp"

#include "CH.hpp"

namespace fs = std::filesystem;
using nlohmann::json;

namespace DevHost {

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

const LibraryPartData* Project::Part(int32_t index) const
{
    return index >= 1 && index <= static_cast<int32_t>(parts_.size()) ? &parts_[static_cast<size_t>(index - 1)]
                                                                      : nullptr;
}

const LibraryPartData* Project::PartById(const std::string& ownUnID) const
{
    if (ownUnID.empty())
        return nullptr;
    const auto found = partsById_.find(FoldedId(ownUnID));
    return found != partsById_.end() ? &parts_[found->second] : nullptr;
}

void Project::IndexParts()
{
    partsById_.clear();
    for (size_t i = 0; i < parts_.size(); ++i)
        if (!parts_[i].ownUnID.empty())
            partsById_.emplace(FoldedId(parts_[i].ownUnID), i);
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

std::optional<GSErrCode> Project::LibraryEnvironment(int32_t code, void* par1, void* par2)
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

GSErrCode Project::LibPartGetParams(int32_t libInd, double* a, double* b, int32_t* count,
                                    API_AddParType*** params) const
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
    return *params != nullptr ? NoError : ErrCode::Memory;
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
    if (*section == nullptr)
        return ErrCode::Memory;
    if (!text.empty())
        std::memcpy(**section, text.data(), text.size());
    if (a != nullptr)
        *a = part->details.a;
    if (b != nullptr)
        *b = part->details.b;
    return NoError;
}

GSErrCode Project::LibPartSetDetailsParamDef(const API_LibPart* libPart, API_AddParType**,
                                             const API_LibPartDetails* details)
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

}  // namespace DevHost
