#include "client/ui/qt_reactor.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>

namespace vk {

QtReactor::QtReactor() = default;

QtReactor::~QtReactor() {
    // A worker still waiting for its call would wait for ever: run what was handed over.
    takeInbox();
    dispatchQueued();
    for (auto& [socket, n] : notifiers_) {
        if (n.read) n.read->setEnabled(false);
        if (n.write) n.write->setEnabled(false);
    }
    // context_ deletes the notifiers and timers it parents.
}

Reactor::TimerId QtReactor::startTimer(uint32_t periodMs, std::function<void()> onTimeout) {
    TimerId id = nextTimer_++;
    auto* timer = new QTimer(&context_);
    timer->setInterval(static_cast<int>(std::max<uint32_t>(periodMs, 1)));
    QObject::connect(timer, &QTimer::timeout, &context_, [this, id, fn = std::move(onTimeout)] {
        enqueue([this, id, fn] {
            if (timers_.count(id) == 0) return;  // stopped meanwhile
            fn();
        });
        deliver();
    });
    timers_[id] = timer;
    timer->start();
    return id;
}

void QtReactor::stopTimer(TimerId id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    // The timer may be the one whose timeout is running now: let the loop delete it.
    it->second->stop();
    it->second->deleteLater();
    timers_.erase(it);
}

void QtReactor::runOnMainAndWait(std::function<void()> fn) {
    handOverAndWait(std::move(fn), [this] {
        QMetaObject::invokeMethod(&context_, [this] {
            takeInbox();
            deliver();
        }, Qt::QueuedConnection);
    });
}

void QtReactor::retire(QSocketNotifier* n) {
    if (!n) return;
    // Disabled at once (a new watch of the same number may come before the loop runs again);
    // deleted later, since this may run inside the notifier's own signal.
    n->setEnabled(false);
    n->deleteLater();
}

void QtReactor::interestChanged(int socket, bool read, bool write) {
    if (!read && !write) {
        auto it = notifiers_.find(socket);
        if (it == notifiers_.end()) return;
        retire(it->second.read);
        retire(it->second.write);
        notifiers_.erase(it);
        return;
    }
    Notifiers& n = notifiers_[socket];
    auto arm = [&](QSocketNotifier*& slot, QSocketNotifier::Type type, bool on) {
        if (!slot) {
            if (!on) return;
            slot = new QSocketNotifier(socket, type, &context_);
            QObject::connect(slot, &QSocketNotifier::activated, &context_,
                             [this, socket, type](QSocketDescriptor, QSocketNotifier::Type) {
                                 bool readable = type == QSocketNotifier::Read;
                                 ready(socket, readable, !readable, false);
                                 deliver();
                             });
        }
        if (slot->isEnabled() != on) slot->setEnabled(on);
    };
    arm(n.read, QSocketNotifier::Read, read);
    arm(n.write, QSocketNotifier::Write, write);
}

void QtReactor::wake() {
    if (wakePending_) return;
    wakePending_ = true;
    QMetaObject::invokeMethod(&context_, [this] {
        wakePending_ = false;
        deliver();
    }, Qt::QueuedConnection);
}

void QtReactor::deliver() {
    if (dispatchQueued() > 0 && afterDispatch_) afterDispatch_();
}

}  // namespace vk
