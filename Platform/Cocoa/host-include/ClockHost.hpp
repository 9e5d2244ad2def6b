// The host application's side of the time source of waits.
#pragma once

#include "PlatformClock.hpp"

namespace Platform {

class Clock {
public:
    virtual ~Clock() = default;
    virtual void SleepFor(std::chrono::milliseconds duration) = 0;
};

// Null restores the real clock.
void SetClock(Clock* clock);

}  // namespace Platform
