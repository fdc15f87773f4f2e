#pragma once
// The Reactor on Qt's event loop: socket readiness from QSocketNotifier, timers from QTimer,
// calls from worker threads through a queued invocation. Everything still reaches the
// handlers through the base class's queue, in order of arrival.
#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/reactor.h"

class QSocketNotifier;
class QTimer;

namespace vk {

class QtReactor final : public Reactor {
public:
    QtReactor();
    ~QtReactor() override;

    TimerId startTimer(uint32_t periodMs, std::function<void()> onTimeout) override;
    void stopTimer(TimerId id) override;
    void runOnMainAndWait(std::function<void()> fn) override;

    // Runs after every delivery round (the front end refreshes its widgets there).
    void setAfterDispatch(std::function<void()> fn) { afterDispatch_ = std::move(fn); }

protected:
    void interestChanged(int socket, bool read, bool write) override;
    void wake() override;

private:
    struct Notifiers {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
    };
    void deliver();
    void retire(QSocketNotifier* n);

    QObject context_;  // owns the notifiers and timers, and receives the queued calls
    std::map<int, Notifiers> notifiers_;
    std::map<TimerId, QTimer*> timers_;
    TimerId nextTimer_ = 1;
    bool wakePending_ = false;
    std::function<void()> afterDispatch_;
};

}  // namespace vk
