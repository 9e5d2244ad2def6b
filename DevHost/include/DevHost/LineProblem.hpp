// Why a scenario fails, and the line it belongs to.
#pragma once

#include <cstddef>
#include <string>

namespace DevHost {

struct LineProblem {
    std::string reason;  // empty: no problem
    size_t line = 0;     // 1-based; 0: the line playing now (or, for a page, no line wrote the step)
};

}  // namespace DevHost
