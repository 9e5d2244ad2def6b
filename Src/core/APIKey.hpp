// The user's key to the service: reading it, checking its form, and reaching the settings
// dialog in which the user enters it.
#pragma once

#include <cstddef>
#include <memory>

// Copies `in` without leading and trailing white space into `out`, cut to fit `size` bytes
// with its NUL. Answers the number of bytes copied (1 for an all-blank input, 0 for size 0).
size_t trimwhitespace(char* out, size_t size, const char* in);

constexpr size_t APIKeyLength = 36;
constexpr const char* APIKeyPlaceholder = "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx";

// The stored key, trimmed and cut to 36 characters, in a zeroed 37-byte buffer. Never opens
// the dialog. A key kept under the empty key name by older versions is moved to "APIKey".
std::unique_ptr<char[]> GetAPIKey();

// True for 36 characters with "-" at positions 9, 14, 19 and 24 and hexadecimal digits elsewhere.
bool IsValidAPIKey(const char* key);

// The settings dialog lies above the key's users, so it registers how it is opened.
void RegisterSettingsOpener(void (*open)());
// Runs the registered settings dialog modally; nothing opens before one is registered.
void OpenRegisteredSettings();

// The key every service request sends: when the stored one is malformed, the settings dialog
// opens once and whatever key is stored afterwards is used, checked or not.
std::unique_ptr<char[]> GetCheckedAPIKey();
