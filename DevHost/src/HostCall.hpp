// How the entries of the host table reach the running host: one wrapper that every entry
// goes through, answering an error when no host runs (after its shut-down) and letting a
// fault set on the call answer in its place.
#pragma once

#include "DevHost/Host.hpp"

#include <string>
#include <vector>

namespace DevHost {

template <class F>
GSErrCode HostCall(std::string_view name, const HostFaults::Arguments& arguments, F call)
{
    Host* host = Host::Current();
    if (host == nullptr || !host->Running())
        return ErrCode::General;
    if (const auto error = host->Faults().Take(name, arguments))
        return *error;
    return call(*host);
}

template <class F>
GSErrCode HostCall(std::string_view name, F call)
{
    return HostCall(name, HostFaults::Arguments(), call);
}

// A request code as the add-on writes it: 'GLIB' gives "GLIB".
inline std::string CodeText(int32_t code)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8)
        text += static_cast<char>((static_cast<uint32_t>(code) >> shift) & 0xFF);
    return text;
}

}  // namespace DevHost
