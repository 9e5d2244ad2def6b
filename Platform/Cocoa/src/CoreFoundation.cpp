#include "CoreFoundation.hpp"

#include <uuid/uuid.h>

#include <cstring>
#include <string>

// Both kinds of object carry a tag so that CFRelease knows what it frees.
struct __CFUUID {
    int tag = 1;
    uuid_t bytes {};
};
struct __CFString {
    int tag = 2;
    std::string text;
};

CFUUIDRef CFUUIDCreate(CFAllocatorRef)
{
    auto* uuid = new __CFUUID;
    uuid_generate_random(uuid->bytes);
    return uuid;
}

CFStringRef CFUUIDCreateString(CFAllocatorRef, CFUUIDRef uuid)
{
    if (uuid == nullptr)
        return nullptr;
    char text[37] = {};
    uuid_unparse_upper(uuid->bytes, text);
    auto* string = new __CFString;
    string->text = text;
    return string;
}

Boolean CFStringGetCString(CFStringRef string, char* buffer, CFIndex bufferSize, CFStringEncoding)
{
    if (string == nullptr || buffer == nullptr || bufferSize <= 0 ||
        string->text.size() + 1 > static_cast<size_t>(bufferSize))
        return false;
    std::memcpy(buffer, string->text.c_str(), string->text.size() + 1);
    return true;
}

CFIndex CFStringGetLength(CFStringRef string)
{
    return string != nullptr ? static_cast<CFIndex>(string->text.size()) : 0;
}

void CFRelease(CFTypeRef object)
{
    if (object == nullptr)
        return;
    if (*static_cast<const int*>(object) == 1)
        delete static_cast<const __CFUUID*>(object);
    else
        delete static_cast<const __CFString*>(object);
}
