#pragma once
// The main thread's event source: socket notifications, timers and calls handed over by worker
// threads, all delivered on the main thread one at a time, in the order they arrived.
//
// Socket notifications follow the asynchronous-select model the socket components are written
// for: a watched socket gets Read, Write, Accept, Connect and Close notifications, each one at a
// time. After a notification has been delivered it stays quiet until the socket's own operation
// re-enables it (a receive re-enables Read, an accept Accept, a send that would block Write), so
// a handler that does not read is not flooded. Close and Connect come once.
//
// This base class turns raw readiness ("readable", "writable", "failed") into those notifications.
// An implementation only supplies the readiness itself, timers and the hand-over from other
// threads: PollReactor does it with poll(), a Qt one with QSocketNotifier and QTimer.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace vk {

class Reactor {
public:
    // Notification codes; they double as the bits of a watch mask.
    enum Event : unsigned {
        Read = 0x01,
        Write = 0x02,
        Oob = 0x04,  // never raised: out-of-band data is not used
        Accept = 0x08,
        Connect = 0x10,
        Close = 0x20,
    };
    // error is the errno of a failed connect or a broken connection, 0 otherwise.
    using SocketHandler = std::function<void(int socket, unsigned event, int error)>;
    using TimerId = uint64_t;

    Reactor() = default;
    Reactor(const Reactor&) = delete;
    Reactor& operator=(const Reactor&) = delete;
    virtual ~Reactor() = default;

    // Watches a socket for the notifications in mask, replacing an earlier watch of it (mask 0
    // ends the watch). Notifications still queued for an earlier watch are dropped. Returns 0,
    // or ENOTSOCK when socket is not an open socket.
    int watch(int socket, unsigned mask, SocketHandler handler);
    void unwatch(int socket) { watch(socket, 0, {}); }
    bool watching(int socket) const { return watches_.count(socket) != 0; }
    // The socket's operation ran: Read after a receive, Accept after an accept, Write after a
    // send that would block. Delivers the notification again once the socket is ready.
    void reenable(int socket, unsigned event);
    // Queues a notification as if the system had raised it (a connect that failed at once).
    // Connect and Close end the socket's other notifications.
    void notify(int socket, unsigned event, int error);

    // Calls onTimeout every periodMs on the main thread until stopped.
    virtual TimerId startTimer(uint32_t periodMs, std::function<void()> onTimeout) = 0;
    virtual void stopTimer(TimerId id) = 0;
    // From a worker thread: runs fn on the main thread and returns once it has run (exceptions
    // come back to the caller). On the main thread fn runs at once.
    virtual void runOnMainAndWait(std::function<void()> fn) = 0;

protected:
    struct Interest {
        int socket;
        bool read;
        bool write;
    };
    // The readiness the implementation must watch for changed (both false: forget the socket).
    virtual void interestChanged(int socket, bool read, bool write) = 0;
    // Something was queued: the implementation must call dispatchQueued() soon on the main thread.
    virtual void wake() = 0;

    // Raw readiness of a socket, from the implementation on the main thread; the
    // implementation then calls dispatchQueued() to deliver what it turned into.
    void ready(int socket, bool readable, bool writable, bool failed);
    // Appends a call to the delivery queue (timers and handed-over calls go here too, so that
    // everything keeps its order of arrival).
    void enqueue(std::function<void()> fn);
    // Delivers everything queued, in order; returns how many were delivered.
    size_t dispatchQueued();
    bool hasQueued() const { return !queue_.empty(); }
    std::vector<Interest> interests() const;

    // The hand-over of runOnMainAndWait: from a worker, queues fn in the inbox, calls
    // notifyInbox() so that the loop wakes and calls takeInbox(), and waits until fn has run.
    // On the main thread fn runs at once.
    void handOverAndWait(std::function<void()> fn, const std::function<void()>& notifyInbox);
    // On the main thread: moves the handed-over calls into the delivery queue.
    void takeInbox();

private:
    enum class Role { Listener, Connecting, Connected, Datagram, Finished };
    struct Watch {
        unsigned mask = 0;
        SocketHandler handler;
        uint64_t generation = 0;
        Role role = Role::Connecting;
        bool readArmed = true;   // Read (or Accept on a listener) may be raised
        bool writeArmed = false; // Write may be raised
    };
    void post(int socket, const Watch& w, unsigned event, int error);
    void update(int socket, const Watch& w);
    static bool wantsRead(const Watch& w);
    static bool wantsWrite(const Watch& w);

    std::map<int, Watch> watches_;
    std::deque<std::function<void()>> queue_;
    uint64_t nextGeneration_ = 1;
    std::thread::id mainThread_ = std::this_thread::get_id();  // reactors are made on the main thread
    std::mutex inboxMutex_;
    std::vector<std::function<void()>> inbox_;
};

}  // namespace vk
