#include "IO.hpp"

#include "HostBackend.hpp"
#include "IOFaults.hpp"

#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <system_error>

namespace fs = std::filesystem;

namespace IO {

const FileSystem fileSystem;

namespace {

using Faults::Operation;

// What an operation the system refused answers.
GSErrCode Failure(Operation operation, const std::error_code& ec)
{
    if (ec == std::errc::permission_denied)
        return Faults::ResultCode(operation, Faults::Error::AccessDenied);
    if (ec == std::errc::no_space_on_device)
        return Faults::ResultCode(operation, Faults::Error::DiskFull);
    if (ec == std::errc::no_such_file_or_directory)
        return Faults::ResultCode(operation, Faults::Error::NotFound);
    return ErrCode::FileSystemError;
}

// A file whose every write fails with `error`, as on a full disk; reads and the close go
// to the real file.
struct RefusingFile {
    std::FILE* real;
    int error;
};

ssize_t RefusingRead(void* cookie, char* buffer, size_t size)
{
    const auto* file = static_cast<RefusingFile*>(cookie);
    const size_t n = std::fread(buffer, 1, size, file->real);
    return n == 0 && std::ferror(file->real) ? -1 : static_cast<ssize_t>(n);
}

ssize_t RefusingWrite(void* cookie, const char*, size_t)
{
    errno = static_cast<RefusingFile*>(cookie)->error;
    return 0;
}

int RefusingClose(void* cookie)
{
    const std::unique_ptr<RefusingFile> file(static_cast<RefusingFile*>(cookie));
    return std::fclose(file->real);
}

std::FILE* RefuseWrites(std::FILE* real, int error)
{
    auto file = std::make_unique<RefusingFile>(RefusingFile {real, error});
    const cookie_io_functions_t functions {RefusingRead, RefusingWrite, nullptr, RefusingClose};
    std::FILE* stream = fopencookie(file.get(), "r+", functions);
    if (stream == nullptr) {
        std::fclose(real);
        return nullptr;
    }
    file.release();
    // Unbuffered, so that the write that meets the full disk is the one that fails.
    std::setvbuf(stream, nullptr, _IONBF, 0);
    return stream;
}

}  // namespace

std::FILE* OpenFile(const Location& location, const char* mode)
{
    const std::string path = location.ToUTF8POSIXPath();
    const std::string how = mode != nullptr ? mode : "";
    const bool writes = how.find_first_of("wa+") != std::string::npos;
    if (const auto error = Faults::Find(writes ? Operation::Create : Operation::Open, path)) {
        errno = Faults::ErrorNumber(*error);
        return nullptr;
    }
    std::FILE* file = std::fopen(path.c_str(), how.c_str());
    if (file == nullptr || !writes)
        return file;
    if (const auto error = Faults::Find(Operation::Write, path))
        return RefuseWrites(file, Faults::ErrorNumber(*error));
    return file;
}

void* Location::operator new(size_t size)
{
    if (void* block = GS_malloc(size))
        return block;
    throw std::bad_alloc();
}

void* Location::operator new(size_t size, const std::nothrow_t&) noexcept
{
    return GS_malloc(size);
}

void Location::operator delete(void* block) noexcept
{
    GS_free(block);
}

void Location::operator delete(void* block, const std::nothrow_t&) noexcept
{
    GS_free(block);
}

Location::Location(const char* posixPath)
{
    path_ = posixPath != nullptr ? posixPath : "";
    while (path_.size() > 1 && path_.back() == '/')
        path_.pop_back();
}

GSErrCode Location::DeleteLastLocalName()
{
    const auto slash = path_.find_last_of('/');
    if (path_.empty() || slash == std::string::npos || path_ == "/")
        return ErrCode::General;
    path_.erase(slash == 0 ? 1 : slash);
    return NoError;
}

GSErrCode Location::AppendToLocal(const Name& name)
{
    const std::string& text = name.ToUTF8();
    if (text.empty() || text.find('/') != std::string::npos)
        return ErrCode::General;
    if (path_.empty() || path_.back() != '/')
        path_ += '/';
    path_ += text;
    return NoError;
}

GSErrCode Location::GetLastLocalName(Name* name) const
{
    const auto slash = path_.find_last_of('/');
    if (name == nullptr || slash == std::string::npos || slash + 1 >= path_.size())
        return ErrCode::General;
    *name = Name(path_.substr(slash + 1).c_str());
    return NoError;
}

GSErrCode Location::ToPath(GS::UniString* path) const
{
    if (path == nullptr)
        return ErrCode::General;
    *path = GS::UniString(path_);
    return NoError;
}

Folder::Folder(const Location& location, int notFoundTreatment) : location_(location)
{
    std::error_code ec;
    const fs::path path(location.ToUTF8POSIXPath());
    if (path.empty()) {
        status_ = ErrCode::TargetNotFound;
    } else if (IsContainerFile(location)) {
        status_ = NoError;
        container_ = true;
    } else if (fs::is_directory(path, ec)) {
        status_ = NoError;
    } else if (notFoundTreatment == Create && !fs::exists(path, ec)) {
        status_ = fileSystem.CreateFolder(location) == NoError ? NoError : ErrCode::FileSystemError;
    } else {
        status_ = ErrCode::TargetNotFound;
    }
}

bool Folder::IsWriteable() const
{
    if (status_ != NoError || container_)
        return false;
    // A folder in which no file may be made is not writable, whoever the host runs as.
    const std::string path = location_.ToUTF8POSIXPath();
    return !Faults::Find(Faults::Operation::Create, path) && ::access(path.c_str(), W_OK) == 0;
}

GSErrCode Folder::Enumerate(const std::function<bool(const Name&, bool)>& visitor) const
{
    if (status_ != NoError)
        return status_;
    std::error_code ec;
    std::set<std::pair<std::string, bool>> entries;
    if (container_) {
        for (const auto& entry : ListContainer(location_)) {
            const auto slash = entry.find('/');
            entries.emplace(entry.substr(0, slash), slash != std::string::npos);
        }
        for (const auto& [name, isFolder] : entries)
            if (!visitor(Name(name.c_str()), isFolder))
                break;
        return NoError;
    }
    for (const auto& entry : fs::directory_iterator(location_.ToUTF8POSIXPath(), ec))
        entries.emplace(entry.path().filename().string(), entry.is_directory(ec));
    if (ec)
        return ErrCode::FileSystemError;
    for (const auto& [name, isFolder] : entries)
        if (!visitor(Name(name.c_str()), isFolder))
            break;
    return NoError;
}

GSErrCode FileSystem::CreateFolder(const Location& location, int) const
{
    const std::string path = location.ToUTF8POSIXPath();
    if (const auto error = Faults::Find(Operation::CreateFolder, path))
        return Faults::ResultCode(Operation::CreateFolder, *error);
    std::error_code ec;
    if (fs::is_directory(path, ec))
        return ErrCode::FolderExists;
    if (fs::exists(path, ec))
        return ErrCode::FileExists;
    if (!fs::create_directories(path, ec) || ec)
        return Failure(Operation::CreateFolder, ec);
    Platform::Record("file system: created folder " + path);
    return NoError;
}

GSErrCode FileSystem::Delete(const Location& location, int, int) const
{
    const std::string path = location.ToUTF8POSIXPath();
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(path, ec)))
        return ErrCode::TargetNotFound;
    if (const auto error = Faults::Find(Operation::Delete, path))
        return Faults::ResultCode(Operation::Delete, *error);
    fs::remove_all(path, ec);
    if (ec)
        return Failure(Operation::Delete, ec);
    Platform::Record("file system: deleted " + path);
    return NoError;
}

GSErrCode FileSystem::Copy(const Location& source, const Location& target) const
{
    const std::string from = source.ToUTF8POSIXPath();
    const std::string to = target.ToUTF8POSIXPath();
    std::error_code ec;
    if (!fs::exists(from, ec))
        return ErrCode::TargetNotFound;
    if (fs::exists(fs::symlink_status(to, ec)))
        return ErrCode::TargetExists;
    if (const auto error = Faults::Find(Operation::Copy, to))
        return Faults::ResultCode(Operation::Copy, *error);
    fs::copy(from, to, fs::copy_options::recursive, ec);
    if (ec)
        return Failure(Operation::Copy, ec);
    Platform::Record("file system: copied " + from + " to " + to);
    return NoError;
}

FileSystem::ItemType FileSystem::GetItemType(const Location& location) const
{
    std::error_code ec;
    const auto status = fs::status(location.ToUTF8POSIXPath(), ec);
    if (ec || !fs::exists(status))
        return NotExisting;
    return fs::is_directory(status) ? Directory : File;
}

}  // namespace IO
