#pragma once
// The Reactor over poll(): the event loop of the tests and of the client without a display.
#include <chrono>
#include <functional>
#include <map>
#include <vector>

#include "platform/reactor.h"

namespace vk {

class PollReactor final : public Reactor {
public:
    PollReactor();
    ~PollReactor() override;

    TimerId startTimer(uint32_t periodMs, std::function<void()> onTimeout) override;
    void stopTimer(TimerId id) override;
    void runOnMainAndWait(std::function<void()> fn) override;

    // Waits at most timeoutMs (-1: no limit) until something can be delivered, then delivers
    // what there is. Returns how many notifications, timers and calls were delivered.
    size_t processEvents(int timeoutMs);
    // Delivers events until done() holds or timeoutMs have passed; returns done().
    bool runUntil(const std::function<bool()>& done, int timeoutMs);

protected:
    void interestChanged(int, bool, bool) override {}  // the poll set is rebuilt on every round
    void wake() override {}                            // queued work shortens the next poll to 0

private:
    using TimePoint = std::chrono::steady_clock::time_point;
    struct Timer {
        std::chrono::milliseconds period;
        TimePoint due;
        std::function<void()> onTimeout;
    };
    void queueDueTimers(TimePoint now);

    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::map<TimerId, Timer> timers_;
    TimerId nextTimer_ = 1;
};

}  // namespace vk
