#include "IOFaults.hpp"

#include "HostBackend.hpp"

#include <cerrno>
#include <map>
#include <utility>

namespace IO::Faults {
namespace {

std::map<std::pair<Operation, std::string>, Error>& Table()
{
    static std::map<std::pair<Operation, std::string>, Error> faults;
    return faults;
}

// `path` is `folder` or lies inside it.
bool Within(const std::string& path, const std::string& folder)
{
    if (path.compare(0, folder.size(), folder) != 0)
        return false;
    return path.size() == folder.size() || folder.back() == '/' || path[folder.size()] == '/';
}

struct Word {
    const char* text;
    int value;
};

constexpr Word operationWords[] = {
    {"create", static_cast<int>(Operation::Create)}, {"open", static_cast<int>(Operation::Open)},
    {"write", static_cast<int>(Operation::Write)},   {"copy", static_cast<int>(Operation::Copy)},
    {"delete", static_cast<int>(Operation::Delete)}, {"folder", static_cast<int>(Operation::CreateFolder)},
};

constexpr Word errorWords[] = {
    {"exists", static_cast<int>(Error::TargetExists)}, {"denied", static_cast<int>(Error::AccessDenied)},
    {"full", static_cast<int>(Error::DiskFull)},       {"missing", static_cast<int>(Error::NotFound)},
    {"other", static_cast<int>(Error::Other)},
};

template <class T, size_t N>
std::optional<T> Parse(const Word (&words)[N], const std::string& word)
{
    for (const Word& w : words)
        if (word == w.text)
            return static_cast<T>(w.value);
    return std::nullopt;
}

template <size_t N>
const char* WordOf(const Word (&words)[N], int value)
{
    for (const Word& w : words)
        if (w.value == value)
            return w.text;
    return "?";
}

}  // namespace

void Set(Operation operation, const std::string& path, Error error)
{
    Table()[{operation, path}] = error;
}

void Clear()
{
    Table().clear();
}

std::optional<Error> Find(Operation operation, const std::string& path)
{
    for (const auto& [key, error] : Table()) {
        if (key.first == operation && Within(path, key.second)) {
            Platform::Record("file system: " + std::string(WordOf(operationWords, static_cast<int>(operation))) + " " +
                             path + " refused (" + Describe(error) + ")");
            return error;
        }
    }
    return std::nullopt;
}

GSErrCode ResultCode(Operation operation, Error error)
{
    switch (error) {
    case Error::TargetExists:
        return operation == Operation::CreateFolder ? ErrCode::FolderExists
               : operation == Operation::Copy       ? ErrCode::TargetExists
                                                    : ErrCode::FileExists;
    case Error::AccessDenied: return operation == Operation::Copy ? ErrCode::CopyAccessDenied : ErrCode::AccessDenied;
    case Error::NotFound:
        return operation == Operation::Copy ? ErrCode::CopyTargetFolderMissing : ErrCode::TargetNotFound;
    case Error::DiskFull:
    case Error::Other: break;
    }
    return ErrCode::FileSystemError;
}

int ErrorNumber(Error error)
{
    switch (error) {
    case Error::TargetExists: return EEXIST;
    case Error::AccessDenied: return EACCES;
    case Error::DiskFull: return ENOSPC;
    case Error::NotFound: return ENOENT;
    case Error::Other: break;
    }
    return EIO;
}

std::optional<Operation> ParseOperation(const std::string& word)
{
    return Parse<Operation>(operationWords, word);
}

std::optional<Error> ParseError(const std::string& word)
{
    return Parse<Error>(errorWords, word);
}

const char* Describe(Error error)
{
    switch (error) {
    case Error::TargetExists: return "target exists";
    case Error::AccessDenied: return "no permission";
    case Error::DiskFull: return "disk full";
    case Error::NotFound: return "folder missing";
    case Error::Other: break;
    }
    return "file system error";
}

}  // namespace IO::Faults
