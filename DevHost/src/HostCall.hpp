// How the entries of the host table reach the running host.
#pragma once

#include "DevHost/Host.hpp"

namespace DevHost {

// Calls the running host; a call that arrives when no host runs (after its shut-down) fails.
template <class F>
GSErrCode OnHost(F call)
{
    Host* host = Host::Current();
    return host != nullptr ? call(*host) : ErrCode::General;
}

}  // namespace DevHost
