// Library containers: zip archives that the file system opens like folders.
#include "IO.hpp"

#include <zip.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>

namespace IO {
namespace {

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

Archive Open(const Location& container)
{
    int error = 0;
    return Archive(zip_open(container.ToUTF8POSIXPath().c_str(), ZIP_RDONLY, &error));
}

}  // namespace

bool IsContainerFile(const Location& location)
{
    std::error_code ec;
    const std::string path = location.ToUTF8POSIXPath();
    return std::filesystem::is_regular_file(path, ec) && path.size() > 4 &&
           path.compare(path.size() - 4, 4, ".lcf") == 0 && Open(location) != nullptr;
}

std::vector<std::string> ListContainer(const Location& container)
{
    std::vector<std::string> entries;
    const Archive archive = Open(container);
    if (archive == nullptr)
        return entries;
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive.get(), static_cast<zip_uint64_t>(i), 0);
        // Entries that would climb out of the container are not part of it.
        if (name == nullptr || name[0] == '/' || std::strstr(name, "..") != nullptr)
            continue;
        const std::string entry(name);
        if (!entry.empty() && entry.back() != '/')
            entries.push_back(entry);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

bool ReadContainerEntry(const Location& container, const std::string& entry, std::string* bytes)
{
    const Archive archive = Open(container);
    if (archive == nullptr || bytes == nullptr)
        return false;
    zip_stat_t stat;
    if (zip_stat(archive.get(), entry.c_str(), 0, &stat) != 0 || (stat.valid & ZIP_STAT_SIZE) == 0)
        return false;
    zip_file_t* file = zip_fopen(archive.get(), entry.c_str(), 0);
    if (file == nullptr)
        return false;
    bytes->assign(static_cast<size_t>(stat.size), '\0');
    const zip_int64_t read = bytes->empty() ? 0 : zip_fread(file, bytes->data(), stat.size);
    zip_fclose(file);
    return read == static_cast<zip_int64_t>(stat.size);
}

namespace {

// The container's tree: the entries directly below `prefix`, as (name, isFolder).
std::set<std::pair<std::string, bool>> ContainerLevel(const std::vector<std::string>& entries,
                                                      const std::string& prefix)
{
    std::set<std::pair<std::string, bool>> level;
    for (const auto& entry : entries) {
        if (entry.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string rest = entry.substr(prefix.size());
        const auto slash = rest.find('/');
        level.emplace(rest.substr(0, slash), slash != std::string::npos);
    }
    return level;
}

}  // namespace

bool TreeEnumerator::EntryFound(const Name& name, bool isFolder)
{
    return isFolder ? FolderFound(name) : FileFound(name);
}

GSErrCode TreeEnumerator::Do()
{
    if (root_.GetStatus() != NoError)
        return root_.GetStatus();
    bool goOn = true;
    if (root_.IsContainer()) {
        const auto entries = ListContainer(root_.GetLocation());
        std::function<void(const std::string&)> walk = [&](const std::string& prefix) {
            for (const auto& [name, isFolder] : ContainerLevel(entries, prefix)) {
                if (!goOn)
                    return;
                goOn = EntryFound(Name(name.c_str()), isFolder);
                if (goOn && isFolder) {
                    FolderEntered(Name(name.c_str()));
                    walk(prefix + name + "/");
                    FolderExited(Name(name.c_str()));
                }
            }
        };
        walk("");
        return NoError;
    }
    std::function<void(const Location&)> walk = [&](const Location& folder) {
        Folder(folder).Enumerate([&](const Name& name, bool isFolder) {
            goOn = EntryFound(name, isFolder);
            if (goOn && isFolder) {
                Location inner = folder;
                inner.AppendToLocal(name);
                FolderEntered(name);
                walk(inner);
                FolderExited(name);
            }
            return goOn;
        });
    };
    walk(root_.GetLocation());
    return NoError;
}

}  // namespace IO
