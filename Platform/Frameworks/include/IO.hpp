// Host file system: locations, names, folders and file operations.
#pragma once

#include "GS.hpp"

#include <cstdio>
#include <functional>
#include <new>
#include <string>
#include <vector>

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

    // A location made with new comes from the frameworks' heap (GS_malloc), as the locations
    // handed across the host boundary do; the nothrow form answers null when it runs out.
    static void* operator new(size_t size);
    static void* operator new(size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* block) noexcept;
    static void operator delete(void* block, const std::nothrow_t&) noexcept;

private:
    std::string path_;
};

// A folder of the file system, or a library container (".lcf"), which opens as a folder
// of its own: a container is a zip archive of library parts.
class Folder {
public:
    enum NotFoundTreatment { Ignore = 0, Create = 1 };

    explicit Folder(const Location& location, int notFoundTreatment = Ignore);

    // 0 when the folder exists (or was created) and can be used.
    GSErrCode GetStatus() const { return status_; }
    bool IsWriteable() const;
    bool IsContainer() const { return container_; }
    const Location& GetLocation() const { return location_; }

    // Visits the folder's entries in name order; the visitor answers false to stop.
    GSErrCode Enumerate(const std::function<bool(const Name& name, bool isFolder)>& visitor) const;

private:
    Location location_;
    GSErrCode status_;
    bool container_ = false;
};

// Walks a folder tree (or a container's tree) depth first, in name order.
class TreeEnumerator {
public:
    explicit TreeEnumerator(const Folder& folder) : root_(folder) {}
    virtual ~TreeEnumerator() = default;

    // Answers the folder's status; 0 when the walk ran.
    GSErrCode Do();

protected:
    // Each answers whether the walk goes on.
    virtual bool EntryFound(const Name& name, bool isFolder);
    virtual bool FileFound(const Name&) { return true; }
    virtual bool FolderFound(const Name&) { return true; }
    virtual bool LinkFound(const Name&) { return true; }
    virtual void FolderEntered(const Name&) {}
    virtual void FolderExited(const Name&) {}

private:
    const Folder& root_;
};

// The entries of a library container: paths inside it ("Doors/Door.gsm"), folders excluded.
std::vector<std::string> ListContainer(const Location& container);
// One entry's bytes; false when the container or the entry cannot be read.
bool ReadContainerEntry(const Location& container, const std::string& entry, std::string* bytes);
bool IsContainerFile(const Location& location);

// Opens a file as std::fopen does ("rb", "wb", ...), through the host's file system: null,
// with errno set, when it cannot be opened.
std::FILE* OpenFile(const Location& location, const char* mode);

class FileSystem {
public:
    enum AccessDeniedTreatment { FailOnAccessDenied = 0, OnAccessDeniedIgnore = 2 };
    enum ItemType { NotExisting = 0, File = 1, Directory = 2 };

    // 0 when made, ErrCode::FolderExists when it was there already.
    GSErrCode CreateFolder(const Location& location, int accessDeniedTreatment = FailOnAccessDenied) const;
    GSErrCode Delete(const Location& location, int dataSafety = 0,
                     int accessDeniedTreatment = FailOnAccessDenied) const;
    // ErrCode::TargetExists when the target exists; the target is never overwritten.
    // ErrCode::CopyAccessDenied when it may not be written, ErrCode::CopyTargetFolderMissing
    // when its folder is missing.
    GSErrCode Copy(const Location& source, const Location& target) const;
    ItemType GetItemType(const Location& location) const;
};

extern const FileSystem fileSystem;

}  // namespace IO
