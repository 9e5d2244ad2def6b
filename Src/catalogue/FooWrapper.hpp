// The facade through which browser windows are opened, a file is shown in the file viewer
// and an image file becomes an icon. Every opening answers 42, which callers ignore.
// "Embedded" forms put the page into a host dialog's window and return at once (the
// dialog's callback then loads it); the others run a modal window of their own until it
// closes. The host 18 build has only the modal forms.
#pragma once

#include "HostVersion.hpp"

#include <memory>

class NSWindow;

class FooWrapper {
public:
    FooWrapper();
    ~FooWrapper();
    FooWrapper(const FooWrapper&) = delete;
    FooWrapper& operator=(const FooWrapper&) = delete;

#if KORDELA_MODERN_WEB_VIEW
    int bar(NSWindow* window);
    int bar(NSWindow* window, const char* url);
    int bar(NSWindow* window, const char* url, int libPartIndex);
    int bar(NSWindow* window, const char* url, char* urlBuffer, char* fileNameBuffer);
    // Sets only what is given; the address is loaded by the caller's loadRequest.
    int bar(NSWindow* window, const char* url, char* urlBuffer, char* fileNameBuffer, int libPartIndex);
    int progress(NSWindow* window, const char* title, const char* text, const char* icon);
    // Act on the latest embedded window.
    int loadRequest(const char* url);
    int reloadRequest();
#endif
    int bar(const char* url);
    int bar(const char* url, int libPartIndex);
    int bar(const char* url, char* urlBuffer, char* fileNameBuffer);
    int progress(const char* title, const char* text, const char* icon);
    // Opens the address invisibly; the window closes once the page shows the user signed in.
    int login(char* url);
    int openfolder(char* path);
    // A new image (an NSImage) read from the file, owned by the caller; null when unreadable.
    const void* convertIcon(char* imageFile, char* second);

private:
    std::unique_ptr<char> placeholder_;
};
