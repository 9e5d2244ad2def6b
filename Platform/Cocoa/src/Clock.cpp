#include "ClockHost.hpp"

#include <thread>

namespace Platform {
namespace {
Clock* current = nullptr;
}

void SetClock(Clock* clock)
{
    current = clock;
}

void SleepFor(std::chrono::milliseconds duration)
{
    if (current != nullptr)
        current->SleepFor(duration);
    else
        std::this_thread::sleep_for(duration);
}

}  // namespace Platform
