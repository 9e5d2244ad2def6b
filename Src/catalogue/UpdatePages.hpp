// What the object update and the property-cloud update share with their pages: the page
// opened behind the auto-logon address, and the texts handed over.
#pragma once

#include "ACAPI.hpp"

#include <memory>
#include <string>

// Opens the catalogue page in the browser dialog behind the auto-logon address and waits
// until it closes; 0x81060001 after an alert when no auto-logon address can be made.
GSErrCode OpenUpdatePage(const std::string& pageAddress);

// A new C string holding `text`, zero-filled up to at least `minimumSize` bytes.
std::unique_ptr<char[]> NewCString(const std::string& text, size_t minimumSize = 0);

// JSON string content: a GUID from a part's parameters is not trusted to be plain.
std::string JsonText(const std::string& text);

// Whether a product can stand in a page's list of products: a GUID holding "," or ";" would
// split its record, so such a product is left out and the report window says so.
bool ListableProductGuid(const std::string& guid);
