// What differs between the host versions the add-on is built for, named once. Each property
// is a function of the version, so that one build can check the whole table, and a constant
// of the version being built. Where declarations differ, a macro of the same meaning serves #if.
#pragma once

#ifndef KORDELA_HOST_VERSION
#error "KORDELA_HOST_VERSION names the host version being built"
#endif

namespace HostProperties {
// The browser windows have the modern web view with a script message handler; host 18 has
// only the legacy web view with its window script object.
constexpr bool HasModernWebView(int version)
{
    return version != 18;
}
// Resource and dialog calls take the add-on's resource module; older hosts read the current one.
constexpr bool PassesResourceModule(int version)
{
    return version >= 18;
}
// Changes to the project run as one undoable command instead of an open and closed session.
constexpr bool UndoesByCommand(int version)
{
    return version >= 19;
}
// Reports and the add-on's name and description go to the host as Unicode strings.
constexpr bool ReportsUniStrings(int version)
{
    return version >= 21;
}
// The special folders and the application folder have the numbers of hosts 15 and 16.
constexpr bool HasOldSpecialFolderNumbers(int version)
{
    return version <= 16;
}
// The host keeps the library list in a memory handle of its own and can fail to take it back.
constexpr bool KeepsOwnLibraryList(int version)
{
    return version <= 17;
}
// File copies fail with the older codes for a denied access and a missing location.
constexpr bool HasOldCopyErrorCodes(int version)
{
    return version <= 17;
}
// Pages outside the catalogue site's secure set go over plain http.
constexpr bool UsesHttpForLegacyPages(int version)
{
    return version < 21;
}
// The settings pages open over plain http.
constexpr bool OpensSettingsOverHttp(int version)
{
    return version == 19 || version == 20;
}
// The legacy web view tells its page loads to a frame-load delegate.
constexpr bool HasFrameLoadDelegate(int version)
{
    return version < 21;
}
// The browser window's nib holds a "windowview" object.
constexpr bool HasWindowView(int version)
{
    return version == 18 || version >= 20;
}
}  // namespace HostProperties

constexpr int HostVersion = KORDELA_HOST_VERSION;
constexpr bool HostHasModernWebView = HostProperties::HasModernWebView(HostVersion);
constexpr bool HostPassesResourceModule = HostProperties::PassesResourceModule(HostVersion);
constexpr bool HostUndoesByCommand = HostProperties::UndoesByCommand(HostVersion);
constexpr bool HostReportsUniStrings = HostProperties::ReportsUniStrings(HostVersion);
constexpr bool HostHasOldSpecialFolderNumbers = HostProperties::HasOldSpecialFolderNumbers(HostVersion);
constexpr bool HostKeepsOwnLibraryList = HostProperties::KeepsOwnLibraryList(HostVersion);
constexpr bool HostHasOldCopyErrorCodes = HostProperties::HasOldCopyErrorCodes(HostVersion);
constexpr bool HostUsesHttpForLegacyPages = HostProperties::UsesHttpForLegacyPages(HostVersion);
constexpr bool HostOpensSettingsOverHttp = HostProperties::OpensSettingsOverHttp(HostVersion);
constexpr bool HostHasFrameLoadDelegate = HostProperties::HasFrameLoadDelegate(HostVersion);
constexpr bool HostHasWindowView = HostProperties::HasWindowView(HostVersion);

// The same properties for #if, where the host's types or functions differ.
#define KORDELA_MODERN_WEB_VIEW (KORDELA_HOST_VERSION != 18)
#define KORDELA_PASSES_RESOURCE_MODULE (KORDELA_HOST_VERSION >= 18)
#define KORDELA_UNDOES_BY_COMMAND (KORDELA_HOST_VERSION >= 19)
#define KORDELA_REPORTS_UNI_STRINGS (KORDELA_HOST_VERSION >= 21)
#define KORDELA_KEEPS_OWN_LIBRARY_LIST (KORDELA_HOST_VERSION <= 17)
#define KORDELA_FRAME_LOAD_DELEGATE (KORDELA_HOST_VERSION < 21)
#define KORDELA_WINDOW_VIEW (KORDELA_HOST_VERSION == 18 || KORDELA_HOST_VERSION >= 20)

static_assert(KORDELA_MODERN_WEB_VIEW == HostHasModernWebView);
static_assert(KORDELA_PASSES_RESOURCE_MODULE == HostPassesResourceModule);
static_assert(KORDELA_UNDOES_BY_COMMAND == HostUndoesByCommand);
static_assert(KORDELA_REPORTS_UNI_STRINGS == HostReportsUniStrings);
static_assert(KORDELA_KEEPS_OWN_LIBRARY_LIST == HostKeepsOwnLibraryList);
static_assert(KORDELA_FRAME_LOAD_DELEGATE == HostHasFrameLoadDelegate);
static_assert(KORDELA_WINDOW_VIEW == HostHasWindowView);
