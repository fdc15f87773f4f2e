#pragma once
// Time as the client sees it: a millisecond tick count that wraps like a 32-bit counter,
// blocking sleeps and the local wall-clock time. Tests use VirtualClock, whose sleeps
// advance time instantly so fixed waits cost nothing and stay exact.
#include <cstdint>
#include <ctime>

namespace vk {

class Clock {
public:
    virtual ~Clock() = default;
    virtual uint32_t tickCount() = 0;          // milliseconds, wraps at 2^32
    virtual void sleep(uint32_t ms) = 0;       // blocks the calling thread
    virtual std::time_t now() = 0;             // seconds since the epoch
    std::tm localTime();                       // now() in local time
};

// Steady clock for the tick count, the system clock for the wall time.
class SteadyClock final : public Clock {
public:
    uint32_t tickCount() override;
    void sleep(uint32_t ms) override;
    std::time_t now() override;
};

// Test clock: starts at the given tick and wall time; sleep() and advance() move both.
class VirtualClock final : public Clock {
public:
    explicit VirtualClock(uint32_t startTick = 1000, std::time_t startTime = 1700000000)
        : tick_(startTick), startTime_(startTime) {}
    uint32_t tickCount() override { return tick_; }
    void sleep(uint32_t ms) override { advance(ms); }
    std::time_t now() override { return startTime_ + static_cast<std::time_t>(elapsed_ / 1000); }
    void advance(uint64_t ms) { tick_ += static_cast<uint32_t>(ms); elapsed_ += ms; slept_ += ms; }
    void setTick(uint32_t tick) { tick_ = tick; }
    uint64_t totalSlept() const { return slept_; }

private:
    uint32_t tick_;
    std::time_t startTime_;
    uint64_t elapsed_ = 0;
    uint64_t slept_ = 0;
};

}  // namespace vk
