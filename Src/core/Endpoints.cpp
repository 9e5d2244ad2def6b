#include "Endpoints.hpp"

#include <cstdlib>

namespace Endpoints {

std::string Address(Scheme scheme, const char* host, const char* pathAndQuery)
{
    const char* origin = std::getenv("KORDELA_SERVICE_ORIGIN");
    std::string address;
    if (origin != nullptr && *origin != '\0') {
        address = origin;
        while (!address.empty() && address.back() == '/')
            address.pop_back();
    } else {
        address = std::string(scheme == Scheme::Https ? "https://" : "http://") + host;
    }
    return address + (pathAndQuery != nullptr ? pathAndQuery : "");
}

}  // namespace Endpoints
