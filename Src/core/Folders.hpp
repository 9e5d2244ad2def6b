// The temporary folder, the install folder of downloaded library parts, and small helpers
// on file names.
#pragma once

#include "ACAPI.hpp"
#include "IO.hpp"

#include <cstddef>

// Buffer size every caller of GetTempPath passes; a result of TempPathSize + 1 or more
// means there is no usable temporary folder.
constexpr int TempPathSize = 4096;

// Writes the temporary folder's POSIX path and "/" into `out`. Answers the length written;
// `size` + 1 and an empty text when the host gives no usable folder (none, one right below
// the root, or one whose path, "/" and NUL do not fit `size` bytes), in which case nothing
// may be written.
int GetTempPath(int size, char* out);

// The folder a download is installed in: the embedded library's "KordelaLibrary"
// subfolder, or the download folder (added to the project's libraries when new). `out`
// becomes a new location owned by the caller, or stays null.
GSErrCode GetLocation(IO::Location*& out, bool embedded);

bool HasExtension(const char* name, const char* ext);
bool IsGSM(const char* name);

// A copy of `s` with a backslash before every blank; array-new, owned by the caller.
char* escape(const char* s);
