#include "platform/reactor.h"

#include <future>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <utility>

namespace vk {

namespace {

int socketOption(int socket, int option) {
    int value = 0;
    socklen_t len = sizeof value;
    if (getsockopt(socket, SOL_SOCKET, option, &value, &len) < 0) return -1;
    return value;
}

bool readableNow(int socket) {
    pollfd p{socket, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
}

// Bytes wait in the receive queue. Unlike a receive, this leaves a pending socket error alone.
bool dataWaiting(int socket) {
    int n = 0;
    return ioctl(socket, FIONREAD, &n) == 0 && n > 0;
}

bool hasPeer(int socket) {
    sockaddr_storage peer{};
    socklen_t len = sizeof peer;
    return getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &len) == 0;
}

}  // namespace

int Reactor::watch(int socket, unsigned mask, SocketHandler handler) {
    if (mask == 0) {
        if (watches_.erase(socket) != 0) interestChanged(socket, false, false);
        return 0;
    }
    int type = socket < 0 ? -1 : socketOption(socket, SO_TYPE);
    if (type < 0) return ENOTSOCK;

    Watch w;
    w.mask = mask;
    w.handler = std::move(handler);
    w.generation = nextGeneration_++;
    if (type == SOCK_DGRAM)
        w.role = Role::Datagram;
    else if (socketOption(socket, SO_ACCEPTCONN) == 1)
        w.role = Role::Listener;
    else if (hasPeer(socket))
        w.role = Role::Connected;
    else
        w.role = Role::Connecting;
    Watch& stored = watches_[socket] = std::move(w);
    // A socket that can already send says so once, as a fresh connection does.
    if ((stored.role == Role::Connected || stored.role == Role::Datagram) && (mask & Write))
        post(socket, stored, Write, 0);
    update(socket, stored);
    return 0;
}

void Reactor::reenable(int socket, unsigned event) {
    auto it = watches_.find(socket);
    if (it == watches_.end()) return;
    Watch& w = it->second;
    if (event & (Read | Accept)) w.readArmed = true;
    if (event & Write) w.writeArmed = true;
    update(socket, w);
}

void Reactor::notify(int socket, unsigned event, int error) {
    auto it = watches_.find(socket);
    if (it == watches_.end()) return;
    Watch& w = it->second;
    if (event & (Connect | Close)) w.role = Role::Finished;
    if (w.mask & event) post(socket, w, event, error);
    update(socket, w);
}

void Reactor::ready(int socket, bool readable, bool writable, bool failed) {
    auto it = watches_.find(socket);
    if (it == watches_.end()) return;
    Watch& w = it->second;
    switch (w.role) {
    case Role::Listener:
        if ((readable || failed) && w.readArmed) {
            w.readArmed = false;
            if (w.mask & Accept) post(socket, w, Accept, 0);
        }
        break;
    case Role::Connecting:
        // An accepted connection whose peer sent data and reset it before the accept: the data
        // is still there, so it is read first and the reset reported after it.
        if (!(w.mask & Connect) && (readable || writable || failed) && dataWaiting(socket)) {
            w.role = Role::Connected;
            ready(socket, true, writable, failed);
            return;
        }
        if (readable || writable || failed) {
            int error = socketOption(socket, SO_ERROR);
            if (error != 0) {
                w.role = Role::Finished;
                if (error < 0) error = errno;
                // Without Connect in the mask this is an accepted connection that its peer reset
                // before the accept: it ends as a broken connection does.
                if (w.mask & Connect)
                    post(socket, w, Connect, error);
                else if (w.mask & Close)
                    post(socket, w, Close, error);
            } else if (hasPeer(socket)) {
                w.role = Role::Connected;
                if (w.mask & Connect) post(socket, w, Connect, 0);
                if (w.mask & Write) post(socket, w, Write, 0);
            } else {
                w.role = Role::Finished;  // no connect under way: nothing will ever come
            }
        }
        break;
    case Role::Connected:
        if ((readable || failed) && w.readArmed) {
            char byte;
            ssize_t n = recv(socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
            if (n > 0) {
                w.readArmed = false;
                if (w.mask & Read) post(socket, w, Read, 0);
            } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                int error = n == 0 ? 0 : errno;
                w.role = Role::Finished;
                if (w.mask & Close) post(socket, w, Close, error);
            }
        }
        if (w.role == Role::Connected && writable && w.writeArmed) {
            w.writeArmed = false;
            post(socket, w, Write, 0);
        }
        break;
    case Role::Datagram:
        if ((readable || failed) && w.readArmed) {
            w.readArmed = false;
            if (w.mask & Read) post(socket, w, Read, 0);
        }
        if (writable && w.writeArmed) {
            w.writeArmed = false;
            post(socket, w, Write, 0);
        }
        break;
    case Role::Finished:
        break;
    }
    update(socket, w);
}

void Reactor::post(int socket, const Watch& w, unsigned event, int error) {
    uint64_t generation = w.generation;
    enqueue([this, socket, generation, event, error] {
        auto it = watches_.find(socket);
        // A notification for a watch that has ended (or a socket number that was reused) is stale.
        if (it == watches_.end() || it->second.generation != generation) return;
        // Data or a connection taken meanwhile (by a handler earlier in the queue, or a
        // blocking read): a notification now would only make the receive fail with "would
        // block". Stay armed instead, so that the next arrival is announced.
        if ((event & (Read | Accept)) && error == 0 && !readableNow(socket)) {
            it->second.readArmed = true;
            update(socket, it->second);
            return;
        }
        SocketHandler handler = it->second.handler;  // the handler may end its own watch
        if (handler) handler(socket, event, error);
    });
}

bool Reactor::wantsRead(const Watch& w) {
    switch (w.role) {
    case Role::Listener: return w.readArmed && (w.mask & Accept);
    case Role::Connected: return w.readArmed && (w.mask & (Read | Close));
    case Role::Datagram: return w.readArmed && (w.mask & Read);
    default: return false;
    }
}

bool Reactor::wantsWrite(const Watch& w) {
    switch (w.role) {
    case Role::Connecting: return true;  // completion or failure of the connect
    case Role::Connected:
    case Role::Datagram: return w.writeArmed && (w.mask & Write);
    default: return false;
    }
}

void Reactor::update(int socket, const Watch& w) { interestChanged(socket, wantsRead(w), wantsWrite(w)); }

void Reactor::enqueue(std::function<void()> fn) {
    queue_.push_back(std::move(fn));
    wake();
}

size_t Reactor::dispatchQueued() {
    // Only what is queued now: whatever the handlers queue waits for the next round.
    size_t n = queue_.size();
    size_t done = 0;
    while (done < n && !queue_.empty()) {
        std::function<void()> fn = std::move(queue_.front());
        queue_.pop_front();
        ++done;
        fn();
    }
    return done;
}

std::vector<Reactor::Interest> Reactor::interests() const {
    std::vector<Interest> out;
    for (const auto& [socket, w] : watches_) {
        bool r = wantsRead(w), wr = wantsWrite(w);
        if (r || wr) out.push_back({socket, r, wr});
    }
    return out;
}

void Reactor::handOverAndWait(std::function<void()> fn, const std::function<void()>& notifyInbox) {
    if (std::this_thread::get_id() == mainThread_) {
        fn();
        return;
    }
    std::packaged_task<void()> task(std::move(fn));
    std::future<void> done = task.get_future();
    {
        std::lock_guard<std::mutex> lock(inboxMutex_);
        inbox_.push_back([&task] { task(); });
    }
    notifyInbox();
    done.get();
}

void Reactor::takeInbox() {
    std::vector<std::function<void()>> calls;
    {
        std::lock_guard<std::mutex> lock(inboxMutex_);
        calls.swap(inbox_);
    }
    for (auto& call : calls) enqueue(std::move(call));
}

}  // namespace vk
