#include "client/net/sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <new>
#include <stdexcept>

#include "client/net/winsock_errors.h"

namespace vk {

namespace {

std::string DottedText(in_addr address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

bool LocalAddress(int socket, sockaddr_in& out) {
    socklen_t len = sizeof out;
    out = {};
    return getsockname(socket, reinterpret_cast<sockaddr*>(&out), &len) == 0 && out.sin_family == AF_INET;
}

bool PeerAddress(int socket, sockaddr_in& out) {
    socklen_t len = sizeof out;
    out = {};
    return getpeername(socket, reinterpret_cast<sockaddr*>(&out), &len) == 0 && out.sin_family == AF_INET;
}

}  // namespace

TSockets::TSockets(Reactor& reactor, NameResolver& resolver) : reactor_(reactor), resolver_(resolver) {}

TSockets::~TSockets() {
    if (acceptPause_ != 0) reactor_.stopTimer(acceptPause_);
    for (int socket : held_) {
        reactor_.unwatch(socket);
        ::close(socket);
    }
}

uint16_t TSockets::PortNumber(const std::string& port) {
    if (!port.empty() && port.find('\0') == std::string::npos) {
        servent entry{};
        servent* found = nullptr;
        char buf[1024];
        if (getservbyname_r(port.c_str(), "tcp", &entry, buf, sizeof buf, &found) == 0 && found != nullptr)
            return static_cast<uint16_t>(found->s_port);
        // Plain decimal only: a sign, hex or a number past 65535 is not a port.
        if (port.size() <= 5 && port.find_first_not_of("0123456789") == std::string::npos) {
            unsigned long value = std::stoul(port);
            if (value <= 65535) return htons(static_cast<uint16_t>(value));
        }
    }
    WSASetLastError(WSANO_DATA);  // what a failed service lookup leaves behind
    throw std::invalid_argument("not a port: " + port);
}

std::string TSockets::EventName(unsigned event) {
    switch (event) {
    case Reactor::Read: return "FD_READ";
    case Reactor::Write: return "FD_WRITE";
    case Reactor::Accept: return "FD_ACCEPT";
    case Reactor::Connect: return "FD_CONNECT";
    case Reactor::Close: return "FD_CLOSE";
    default: return "";
    }
}

void TSockets::Trace(const std::string& line) {
    if (OnDebugTrace) OnDebugTrace(line);
}

void TSockets::SocketError(int socket, const std::string& step, int error) {
    ErrorOccurred = true;
    Trace(step + " " + std::to_string(error));
    if (OnErrorOccurred) OnErrorOccurred(*this, socket, error, WinsockErrorText(error));
}

void TSockets::Watch(int socket, unsigned mask) {
    int error = reactor_.watch(socket, mask, [this](int s, unsigned event, int err) {
        HandleSocketMessage(s, event, WinsockError(err));
    });
    if (error != 0) WSASetLastError(WinsockError(error));
}

void TSockets::Forget(int socket) {
    if (socket >= 0) reactor_.unwatch(socket);
}

void TSockets::Release(int socket) {
    if (held_.erase(socket) == 0) return;
    reactor_.unwatch(socket);
    ::close(socket);
}

std::chrono::steady_clock::time_point TSockets::BlockingDeadline() const {
    using namespace std::chrono;
    return steady_clock::now() + seconds(Timeout > 0 ? std::min(Timeout, INT_MAX / 1000) : 0);
}

bool TSockets::WaitBlocking(int socket, short events, std::chrono::steady_clock::time_point deadline) {
    using namespace std::chrono;
    const bool limited = Timeout > 0;
    if (deadline == steady_clock::time_point{}) deadline = BlockingDeadline();
    pollfd p{socket, events, 0};
    int n;
    blocking_ = true;
    for (;;) {
        int wait = -1;
        if (limited) wait = static_cast<int>(std::max<long long>(
            0, duration_cast<milliseconds>(deadline - steady_clock::now()).count()));
        n = poll(&p, 1, wait);
        if (n >= 0 || errno != EINTR) break;
    }
    blocking_ = false;
    if (n > 0) return true;
    if (n < 0) {
        WSASetLastErrorFromErrno();
        return false;
    }
    // Time is up: the call is cancelled. The timed-out event comes first and does not count as
    // an error of the component; the cancelled call then fails on its own.
    Trace("Blocking call timed out");
    if (OnErrorOccurred) OnErrorOccurred(*this, FSocket, WSAETIMEDOUT, "Blocking call timed out");
    WSASetLastError(WSAEINTR);
    return false;
}

int TSockets::BlockingConnect() {
    if (::connect(FSocket, reinterpret_cast<const sockaddr*>(&SockAddr), sizeof SockAddr) == 0) return 0;
    if (errno != EINPROGRESS && errno != EINTR) {
        WSASetLastErrorFromErrno();
        return -1;
    }
    if (!WaitBlocking(FSocket, POLLOUT)) return -1;
    int error = 0;
    socklen_t len = sizeof error;
    if (getsockopt(FSocket, SOL_SOCKET, SO_ERROR, &error, &len) < 0) error = errno;
    if (error != 0) {
        WSASetLastError(WinsockError(error));
        return -1;
    }
    return 0;
}

void TSockets::SConnect() {
    if (Port.empty() || IPAddr.empty()) return;
    try {
        uint16_t port = PortNumber(Port);
        in_addr address{};
        if (inet_pton(AF_INET, IPAddr.c_str(), &address) != 1) {
            uint32_t found = 0;
            int error = 0;
            if (!resolver_.hostByName(IPAddr, found, error)) {
                WSASetLastError(error);
                return;  // an unknown host ends the connect quietly
            }
            address.s_addr = found;
        }
        SockAddr = {};
        SockAddr.sin_family = AF_INET;
        SockAddr.sin_port = port;
        SockAddr.sin_addr = address;

        // A socket left over from an earlier connect (a failed blocking attempt, a conversation
        // not closed) would otherwise stay open for the rest of the run.
        if (FSocket >= 0) Release(FSocket);
        FSocket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
        if (FSocket < 0)
            SocketError(-1, "SConnect (socket)", WSASetLastErrorFromErrno());
        else
            held_.insert(FSocket);

        if (NonBlocking) {
            Watch(FSocket, kConnectMask);
            if (!reactor_.watching(FSocket)) SocketError(FSocket, "WSAAsyncSelect", WSAGetLastError());
            if (::connect(FSocket, reinterpret_cast<const sockaddr*>(&SockAddr), sizeof SockAddr) < 0 &&
                errno != EINPROGRESS) {
                int error = errno;
                WSASetLastErrorFromErrno();
                // The outcome of a non-blocking connect always arrives as its notification,
                // even when the system knew it at once.
                if (FSocket >= 0) reactor_.notify(FSocket, Reactor::Connect, error);
            }
        } else if (BlockingConnect() < 0 && WSAGetLastError() != WSAEWOULDBLOCK) {
            SocketError(FSocket, "SConnect", WSAGetLastError());
        }
    } catch (...) {
        ErrorOccurred = true;
        try {
            SocketError(FSocket, "Sconnect Exception", WSAGetLastError());
        } catch (...) {
            try {
                SocketError(FSocket, "==Sconnect exception handling: socketerror failed...", -1);
            } catch (...) {
            }
        }
    }
}

void TSockets::SListen() {
    if (Port.empty()) return;
    try {
        uint16_t port = PortNumber(Port);
        SockAddr = {};
        SockAddr.sin_family = AF_INET;
        SockAddr.sin_port = port;
        SockAddr.sin_addr.s_addr = htonl(INADDR_ANY);

        // Listening again replaces the old listener; left open it would go on accepting
        // connections after CancelListen, which closes only the new one.
        // (The handle 0 left by CancelListen is no listener: descriptor 0 may be our connection.)
        if (listener_ >= 0) Release(listener_);
        listener_ = -1;
        FListenSocket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
        if (FListenSocket < 0) {
            SocketError(-1, "socket", WSASetLastErrorFromErrno());
        } else {
            held_.insert(FListenSocket);
            listener_ = FListenSocket;
            // Rebinding a port whose old connections are still in TIME_WAIT is allowed under
            // Winsock; here it needs SO_REUSEADDR (which still refuses a second listener).
            int on = 1;
            setsockopt(FListenSocket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        }
        bool bound = ::bind(FListenSocket, reinterpret_cast<const sockaddr*>(&SockAddr), sizeof SockAddr) == 0;
        if (!bound) SocketError(FListenSocket, "Bind", WSASetLastErrorFromErrno());
        if (!bound && FListenSocket >= 0) {
            // listen() here would bind an arbitrary port; Winsock refuses an unbound socket.
            WSASetLastError(WSAEINVAL);
            SocketError(FListenSocket, "Listen", WSAEINVAL);
        } else if (::listen(FListenSocket, kListenBacklog) < 0) {
            SocketError(FListenSocket, "Listen", WSASetLastErrorFromErrno());
        }
        if (NonBlocking) {
            Watch(FListenSocket, kListenMask);
            if (!reactor_.watching(FListenSocket)) SocketError(FListenSocket, "WSAASyncSelect", WSAGetLastError());
        }
    } catch (...) {
        Trace("== EXCEPTION in Slisten ");
    }
}

int TSockets::SAccept() {
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    int socket = -1;
    if (listener_ < 0 || FListenSocket != listener_) {
        WSASetLastError(WSAENOTSOCK);  // never listened, or the listener is gone
    } else if (!NonBlocking) {
        if (WaitBlocking(FListenSocket, POLLIN)) {
            socket = accept4(FListenSocket, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (socket < 0) WSASetLastErrorFromErrno();
        }
    } else {
        socket = accept4(FListenSocket, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
        const int error = errno;
        if (socket < 0) WSASetLastErrorFromErrno();
        // Out of descriptors (or memory) the waiting connection stays queued and the listener
        // stays readable: accepting again at once would spin. Wait a little instead.
        if (socket < 0 && (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM))
            PauseAccepting();
        else
            reactor_.reenable(FListenSocket, Reactor::Accept);
    }
    // The new connection takes the connected handle; an earlier one stays open as it was.
    FSocket = socket;
    if (socket < 0) {
        SocketError(socket, "Accept", WSAGetLastError());
        return FSocket;
    }
    SockAddr = peer;
    held_.insert(socket);
    int on = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // The accepted connection reports to the same handlers as its listener.
    if (reactor_.watching(FListenSocket)) Watch(socket, kListenMask);
    return FSocket;
}

void TSockets::SClose() {
    SClose(FSocket);
    FSocket = -1;
}

void TSockets::SClose(int socket) {
    Forget(socket);
    // No blocking call can be waiting here: blocking calls do not run the event loop.
    bool held = socket != listener_ && held_.erase(socket) != 0;
    if (held) {
        // Only the receive side: shutting down the send side would send an orderly end of
        // stream before the reset, and the peer would see that instead of the reset.
        ::shutdown(socket, SHUT_RD);
        linger abortive{1, 0};
        setsockopt(socket, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        if (::close(socket) < 0) SocketError(socket, "Disconnect (closesocket)", WSASetLastErrorFromErrno());
    } else {
        WSASetLastError(WSAENOTSOCK);  // nothing to close; never close a number we do not own
        SocketError(socket, "Disconnect (closesocket)", WSAENOTSOCK);
    }
    if (socket == FSocket) FSocket = -1;
}

void TSockets::PauseAccepting() {
    if (acceptPause_ != 0) return;
    const int listener = listener_;
    acceptPause_ = reactor_.startTimer(kAcceptPauseMs, [this, listener] {
        reactor_.stopTimer(acceptPause_);
        acceptPause_ = 0;
        if (listener_ == listener && listener >= 0) reactor_.reenable(listener, Reactor::Accept);
    });
}

void TSockets::CancelListen() {
    int socket = FListenSocket;
    if (socket >= 0 && socket == listener_) {
        Forget(socket);
        held_.erase(socket);
        listener_ = -1;
        ::shutdown(socket, SHUT_RDWR);
        if (::close(socket) < 0) SocketError(socket, "CancelListen (closesocket)", WSASetLastErrorFromErrno());
    } else {
        // Also after an earlier CancelListen: the handle is then 0, which must not be closed.
        WSASetLastError(WSAENOTSOCK);
        SocketError(socket, "CancelListen (closesocket)", WSAENOTSOCK);
    }
    FListenSocket = 0;
}

void TSockets::SetText(const std::string& text) { SetText(FSocket, text); }

void TSockets::SetText(int socket, const std::string& text) {
    ssize_t sent = -1;
    if (held_.count(socket) == 0) {
        WSASetLastError(WSAENOTSOCK);
    } else if (!NonBlocking) {
        // A blocking send takes all of the text, waiting for room as needed; the time-out is
        // for the whole send, or a slow reader could hold us here for ever.
        const auto deadline = BlockingDeadline();
        size_t done = 0;
        bool failed = false;
        for (;;) {
            ssize_t n = ::send(socket, text.data() + done, text.size() - done, MSG_NOSIGNAL);
            if (n >= 0) {
                done += static_cast<size_t>(n);
                if (done >= text.size()) break;
                continue;
            }
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                if (WaitBlocking(socket, POLLOUT, deadline)) continue;
            } else {
                WSASetLastErrorFromErrno();
            }
            failed = true;
            break;
        }
        sent = failed ? -1 : static_cast<ssize_t>(done);
    } else {
        sent = ::send(socket, text.data(), text.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            WSASetLastErrorFromErrno();
            if (errno == EAGAIN || errno == EWOULDBLOCK) reactor_.reenable(socket, Reactor::Write);
        }
    }
    if (sent < 0) SocketError(socket, "SetText (Send)", WSAGetLastError());
}

int TSockets::Receive(int socket, char* buffer, int size) {
    if (held_.count(socket) == 0) {
        WSASetLastError(WSAENOTSOCK);
        return -1;
    }
    if (!NonBlocking && !WaitBlocking(socket, POLLIN)) return -1;
    ssize_t n;
    do {
        n = ::recv(socket, buffer, static_cast<size_t>(size), 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) WSASetLastErrorFromErrno();
    reactor_.reenable(socket, Reactor::Read);
    return static_cast<int>(n);
}

std::string TSockets::GetText() { return GetText(FSocket); }

std::string TSockets::GetText(int socket) {
    if (socket == -1) return {};
    std::string buffer;
    int size = std::max(0, MaximumReceiveLength);
    try {
        buffer.assign(static_cast<size_t>(size) + 1, '\0');  // one more for the terminator
    } catch (const std::bad_alloc&) {
        WSASetLastError(WinsockError(ENOBUFS));
        SocketError(socket, "GetText (Recv)", WSAGetLastError());
        return {};
    }
    int n = Receive(socket, buffer.data(), size);
    if (n < 0) {
        SocketError(socket, "GetText (Recv)", WSAGetLastError());
        return {};
    }
    buffer.resize(strnlen(buffer.data(), static_cast<size_t>(n)));  // text ends at a zero byte
    return buffer;
}

int TSockets::SReceive(int socket, char* buffer, int size) {
    if (socket == -1) return -1;
    int n;
    if (size < 0 || (buffer == nullptr && size > 0)) {
        WSASetLastError(WSAEFAULT);
        n = -1;
    } else {
        n = Receive(socket, buffer, size);
    }
    if (n < 0) SocketError(FSocket, "SReceive", WSAGetLastError());
    return n;
}

std::string TSockets::GetLocalPort(int socket) {
    sockaddr_in address;
    return std::to_string(LocalAddress(socket, address) ? ntohs(address.sin_port) : 0);
}

std::string TSockets::GetPeerPort(int socket) {
    sockaddr_in address;
    return std::to_string(PeerAddress(socket, address) ? ntohs(address.sin_port) : 0);
}

std::string TSockets::GetPeerIPAddr(int socket) {
    sockaddr_in address;
    if (!PeerAddress(socket, address)) return "0.0.0.0";
    return DottedText(address.sin_addr);
}

std::string TSockets::GetLocalIPAddr() {
    std::string name = resolver_.hostName();
    uint32_t found = 0;
    int error = 0;
    if (name.empty() || !resolver_.hostByName(name, found, error)) return "0.0.0.0";
    in_addr address{};
    address.s_addr = found;
    return DottedText(address);
}

void TSockets::HandleSocketMessage(int socket, unsigned event, int errorWord) {
    if (errorWord > 10000) {
        SocketError(socket, EventName(event), errorWord);
        return;
    }
    const TSocketEvent* handler = nullptr;
    switch (event) {
    case Reactor::Read: handler = &OnDataAvailable; break;
    case Reactor::Write: handler = &OnDataNeeded; break;
    case Reactor::Accept: handler = &OnSessionAvailable; break;
    case Reactor::Connect: handler = &OnSessionConnected; break;
    case Reactor::Close: handler = &OnSessionClosed; break;
    default: return;
    }
    if (*handler) {
        TSocketEvent call = *handler;  // the handler may replace itself
        call(*this, socket);
    }
}

}  // namespace vk
