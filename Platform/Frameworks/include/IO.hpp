// Host file system: locations, names, folders and file operations.
#pragma once

#include "GS.hpp"

#include <functional>
#include <string>

namespace IO {

class Name {
public:
    Name() = default;
    Name(const char* utf8) : text_(utf8 != nullptr ? utf8 : "") {}
    Name(const GS::UniString& text) : text_(text.ToUTF8()) {}
    const std::string& ToUTF8() const { return text_; }
    GS::UniString ToUniString() const { return GS::UniString(text_); }

private:
    std::string text_;
};

// A place in the file system, held as an absolute POSIX path.
class Location {
public:
    Location() = default;
    explicit Location(const char* posixPath);
    explicit Location(const std::string& posixPath) : Location(posixPath.c_str()) {}
    explicit Location(const GS::UniString& posixPath) : Location(posixPath.ToUTF8()) {}

    GSErrCode DeleteLastLocalName();
    GSErrCode AppendToLocal(const Name& name);
    GSErrCode GetLastLocalName(Name* name) const;
    GSErrCode ToPath(GS::UniString* path) const;
    std::string ToUTF8POSIXPath() const { return path_; }
    bool IsEmpty() const { return path_.empty(); }

    friend bool operator==(const Location& a, const Location& b) { return a.path_ == b.path_; }
    friend bool operator!=(const Location& a, const Location& b) { return !(a == b); }

private:
    std::string path_;
};

class Folder {
public:
    enum NotFoundTreatment { Ignore = 0, Create = 1 };

    explicit Folder(const Location& location, int notFoundTreatment = Ignore);

    // 0 when the folder exists (or was created) and can be used.
    GSErrCode GetStatus() const { return status_; }
    bool IsWriteable() const;
    const Location& GetLocation() const { return location_; }

    // Visits the folder's entries in name order; the visitor answers false to stop.
    GSErrCode Enumerate(const std::function<bool(const Name& name, bool isFolder)>& visitor) const;

private:
    Location location_;
    GSErrCode status_;
};

class FileSystem {
public:
    enum AccessDeniedTreatment { FailOnAccessDenied = 0, OnAccessDeniedIgnore = 2 };
    enum ItemType { NotExisting = 0, File = 1, Directory = 2 };

    // 0 when made, ErrCode::FolderExists when it was there already.
    GSErrCode CreateFolder(const Location& location, int accessDeniedTreatment = FailOnAccessDenied) const;
    GSErrCode Delete(const Location& location, int dataSafety = 0, int accessDeniedTreatment = FailOnAccessDenied) const;
    // ErrCode::FileExists when the target exists; the target is never overwritten.
    GSErrCode Copy(const Location& source, const Location& target) const;
    ItemType GetItemType(const Location& location) const;
};

extern const FileSystem fileSystem;

}  // namespace IO
