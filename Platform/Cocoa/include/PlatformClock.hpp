// The time source of waits in the add-on. The host application may replace it with a
// virtual clock, so that a wait of seconds costs nothing in its tests.
#pragma once

#include <chrono>

namespace Platform {

void SleepFor(std::chrono::milliseconds duration);

}  // namespace Platform
