#include "platform/poll_reactor.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

namespace vk {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

PollReactor::PollReactor() {
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) < 0) throw std::runtime_error("PollReactor: no wake-up pipe");
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
}

PollReactor::~PollReactor() {
    // A worker still waiting for its call would wait for ever: run what was handed over.
    takeInbox();
    dispatchQueued();
    close(wakeRead_);
    close(wakeWrite_);
}

Reactor::TimerId PollReactor::startTimer(uint32_t periodMs, std::function<void()> onTimeout) {
    milliseconds period(std::max<uint32_t>(periodMs, 1));
    TimerId id = nextTimer_++;
    timers_[id] = Timer{period, steady_clock::now() + period, std::move(onTimeout)};
    return id;
}

void PollReactor::stopTimer(TimerId id) { timers_.erase(id); }

void PollReactor::runOnMainAndWait(std::function<void()> fn) {
    handOverAndWait(std::move(fn), [this] {
        char byte = 1;
        while (write(wakeWrite_, &byte, 1) < 0 && errno == EINTR) {
        }
    });
}

void PollReactor::queueDueTimers(TimePoint now) {
    for (auto& [id, timer] : timers_) {
        if (timer.due > now) continue;
        // A timer that fell behind fires once and keeps its rhythm from now on.
        timer.due = std::max(timer.due + timer.period, now + milliseconds(1));
        TimerId timerId = id;
        enqueue([this, timerId] {
            auto it = timers_.find(timerId);
            if (it == timers_.end()) return;  // stopped meanwhile
            std::function<void()> fn = it->second.onTimeout;
            fn();
        });
    }
}

size_t PollReactor::processEvents(int timeoutMs) {
    int wait = hasQueued() ? 0 : timeoutMs;
    TimePoint now = steady_clock::now();
    for (const auto& [id, timer] : timers_) {
        auto left = std::chrono::duration_cast<milliseconds>(timer.due - now).count();
        left = std::max<decltype(left)>(left, 0);
        if (wait < 0 || left < wait) wait = static_cast<int>(left);
    }

    std::vector<Interest> watched = interests();
    std::vector<pollfd> fds;
    fds.reserve(watched.size() + 1);
    fds.push_back({wakeRead_, POLLIN, 0});
    for (const Interest& in : watched)
        fds.push_back({in.socket, static_cast<short>((in.read ? POLLIN : 0) | (in.write ? POLLOUT : 0)), 0});

    int n = poll(fds.data(), fds.size(), wait);
    if (n > 0) {
        if (fds[0].revents) {
            char buf[64];
            while (read(wakeRead_, buf, sizeof buf) > 0) {
            }
        }
        for (size_t i = 1; i < fds.size(); ++i) {
            short ev = fds[i].revents;
            if (ev == 0) continue;
            if (ev & POLLNVAL) {
                unwatch(fds[i].fd);  // closed behind our back
                continue;
            }
            ready(fds[i].fd, ev & (POLLIN | POLLPRI), ev & POLLOUT, ev & (POLLERR | POLLHUP));
        }
    }
    takeInbox();
    queueDueTimers(steady_clock::now());
    return dispatchQueued();
}

bool PollReactor::runUntil(const std::function<bool()>& done, int timeoutMs) {
    TimePoint deadline = steady_clock::now() + milliseconds(timeoutMs);
    while (!done()) {
        auto left = std::chrono::duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        if (left <= 0) return done();
        processEvents(static_cast<int>(std::min<decltype(left)>(left, 50)));
    }
    return true;
}

}  // namespace vk
