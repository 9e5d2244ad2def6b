// The host application's side of resources: the modules it loads.
#pragma once

#include "RS.hpp"

#include <string>

namespace RS {

// Makes a resource folder known and answers its module handle.
GSResModule RegisterModule(const std::string& folder);

}  // namespace RS
