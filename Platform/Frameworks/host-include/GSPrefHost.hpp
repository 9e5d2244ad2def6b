// The host application's side of the preference store: where it is kept and what tests may
// look at or break in it.
#pragma once

#include "GSPref.hpp"

#include <string>

namespace GSPref {

// The file that keeps the store between runs (JSON); empty keeps it in memory.
void SetStoreFile(const std::string& path);
// The text a key holds, whatever its kind; empty when missing.
std::string PeekValue(const std::string& domain, const std::string& key);
bool HasValue(const std::string& domain, const std::string& key);
// Makes every later operation on the store throw, as a broken store would.
void SetFailing(bool failing);

}  // namespace GSPref
