// What the add-on needs of the system's core foundation: fresh UUIDs and their text.
#pragma once

#include <cstddef>

using CFIndex = long;
using Boolean = unsigned char;
using CFStringEncoding = unsigned int;
constexpr CFStringEncoding kCFStringEncodingUTF8 = 0x08000100;

using CFAllocatorRef = const void*;
constexpr CFAllocatorRef kCFAllocatorDefault = nullptr;

struct __CFUUID;
struct __CFString;
using CFUUIDRef = const __CFUUID*;
using CFStringRef = const __CFString*;
using CFTypeRef = const void*;

// A new random UUID; release it with CFRelease.
CFUUIDRef CFUUIDCreate(CFAllocatorRef allocator);
// Its 36-character upper-case text; release it with CFRelease.
CFStringRef CFUUIDCreateString(CFAllocatorRef allocator, CFUUIDRef uuid);
// Copies the text with its NUL into the buffer; false (and nothing written) when it does not fit.
Boolean CFStringGetCString(CFStringRef string, char* buffer, CFIndex bufferSize, CFStringEncoding encoding);
CFIndex CFStringGetLength(CFStringRef string);
void CFRelease(CFTypeRef object);
