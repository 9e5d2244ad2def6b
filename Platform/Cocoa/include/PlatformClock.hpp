// The time source of waits in the add-on. The host application may replace it with a
// virtual clock, so that a wait of seconds costs nothing in its tests.
#pragma once

#include <chrono>

namespace Platform {

class Clock {
public:
    virtual ~Clock() = default;
    virtual void SleepFor(std::chrono::milliseconds duration) = 0;
};

// Null restores the real clock.
void SetClock(Clock* clock);
void SleepFor(std::chrono::milliseconds duration);

}  // namespace Platform
