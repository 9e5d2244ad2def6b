// Installing what a catalogue page handed over: the download behind the progress page, the
// copy into the install folder, and making the new library part usable at once.
#pragma once

#include "ACAPI.hpp"
#include "IO.hpp"

#include <string>
#include <vector>

// 0 installed (or a project file handed to a new host instance), -1 nothing downloaded, no
// install folder or a part the host cannot load (removed again), -2 the copy into the
// install folder failed. Blanks in `url` become "_".
int DownloadObject(char* url, char* fileName);

// Whether a file name a page offered may be written: not empty, no folders, no way out of
// the temporary folder, no control characters.
bool IsAcceptableFileName(const char* fileName);

// The item of string list 32530 that reports a failed copy into the install folder.
short CopyFailureItem(GSErrCode copyResult);

// What starts a new host instance on a project file: the host application inside the
// application folder, and the file.
std::vector<std::string> NewInstanceArguments(const std::string& applicationFolder, const std::string& target);

// Walks a downloaded library container and selects the tool of the first part in it that
// is loaded and can be placed.
class FolderEnumerator : public IO::TreeEnumerator {
public:
    explicit FolderEnumerator(IO::Folder& folder) : IO::TreeEnumerator(folder) {}
    GSErrCode Do() { return IO::TreeEnumerator::Do(); }

protected:
    bool FileFound(const IO::Name& name) override;
    void FolderEntered(const IO::Name&) override {}
    void FolderExited(const IO::Name&) override {}
};
