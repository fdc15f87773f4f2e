#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace vk {

std::tm Clock::localTime() {
    std::time_t t = now();
    std::tm out{};
    localtime_r(&t, &out);
    return out;
}

uint32_t SteadyClock::tickCount() {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<uint32_t>(ms.count());
}

void SteadyClock::sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::time_t SteadyClock::now() { return std::time(nullptr); }

}  // namespace vk
