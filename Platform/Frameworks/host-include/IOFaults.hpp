// The host application's side of the file system: faults that the file operations meet, so
// that a test can produce an unwritable folder, a full disk or a refused copy whatever user
// it runs as.
#pragma once

#include "IO.hpp"

#include <optional>
#include <string>

namespace IO::Faults {

enum class Operation {
    Create,        // a file opened for writing (OpenFile "w", "a", "+")
    Open,          // a file opened for reading
    Write,         // the writes to a file opened while the fault is set
    Copy,          // FileSystem::Copy, matched by its target
    Delete,        // FileSystem::Delete
    CreateFolder,  // FileSystem::CreateFolder, also Folder with Create
};

enum class Error {
    TargetExists,  // something of that name is there already
    AccessDenied,  // no permission
    DiskFull,      // no space left on the device
    NotFound,      // the folder it lies in is missing
    Other,         // any other failure of the file system
};

// From now on `operation` fails with `error` on `path` and on everything inside the folder
// `path`; it replaces an earlier fault of the same operation and path.
void Set(Operation operation, const std::string& path, Error error);
// No operation fails any more.
void Clear();

// The error the fault set for `operation` on `path` gives; none when it goes ahead.
std::optional<Error> Find(Operation operation, const std::string& path);
// What an operation the error refused answers: the host's result code, and errno for the
// files opened through OpenFile.
GSErrCode ResultCode(Operation operation, Error error);
int ErrorNumber(Error error);

// Scenario words: "create", "open", "write", "copy", "delete", "folder"; "exists",
// "denied", "full", "missing", "other".
std::optional<Operation> ParseOperation(const std::string& word);
std::optional<Error> ParseError(const std::string& word);
const char* Describe(Error error);

}  // namespace IO::Faults
