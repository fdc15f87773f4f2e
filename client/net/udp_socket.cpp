#include "client/net/udp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "client/net/winsock_errors.h"

namespace vk {

TudpSocket::TudpSocket(Reactor& reactor, Dialogs& dialogs, NameResolver& resolver)
    : reactor_(reactor), dialogs_(dialogs), resolver_(resolver) {}

TudpSocket::~TudpSocket() {
    if (held_) {
        reactor_.unwatch(socket_);
        ::close(socket_);
    }
}

int TudpSocket::sendport() const { return ntohs(sendportNet_); }
void TudpSocket::SetSendport(int port) { sendportNet_ = htons(static_cast<uint16_t>(port)); }
uint16_t TudpSocket::Port() const { return ntohs(portNet_); }
void TudpSocket::SetPort(uint16_t port) { portNet_ = htons(port); }

void TudpSocket::SetLocation(const std::string& location) {
    destination_.Location = location;
    ResolveAddress(destination_);
}

std::string TudpSocket::IPToText(uint32_t address) {
    unsigned char b[4];
    std::memcpy(b, &address, 4);
    return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
           std::to_string(b[3]);
}

void TudpSocket::ResolveAddress(TudpAddress& a) {
    in_addr dotted{};
    bool hasZero = a.Location.find('\0') != std::string::npos;
    if (hasZero || inet_pton(AF_INET, a.Location.c_str(), &dotted) != 1) {
        uint32_t found = 0;
        int error = 0;
        if (!hasZero && !a.Location.empty() && resolver_.hostByName(a.Location, found, error)) {
            a.Name = a.Location;
            a.Addr = found;
            a.IPText = IPToText(found);
        } else {
            a.Addr = 0;
            a.Name.clear();
            a.IPText.clear();
            a.Location = "error";
        }
        return;
    }
    a.Addr = dotted.s_addr;
    a.IPText = IPToText(a.Addr);
    a.Name = "NO REVERSE DNS!";
    if (ReverseDNS) {
        std::string name;
        int error = 0;
        a.Name = resolver_.hostByAddr(a.Addr, name, error) ? name : "reverse dns lookup error";
    }
}

TudpAddress TudpSocket::Resolve(const std::string& text) {
    TudpAddress a;
    a.Location = text;
    ResolveAddress(a);
    a.Port = 0;
    return a;
}

void TudpSocket::Open() {
    if (open_) Close();
    int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
    if (s < 0) {
        // Reported like every other failure rather than thrown: no caller expects an exception.
        SocketError(WSASetLastErrorFromErrno());
        return;
    }
    socket_ = s;
    held_ = true;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = portNet_;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    bool bound = ::bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
    if (!bound) WSASetLastErrorFromErrno();
    int error = reactor_.watch(s, kNotifyMask, [this](int, unsigned event, int err) {
        HandleSocketMessage(event, WinsockError(err));
    });
    if (error != 0) WSASetLastError(WinsockError(error));
    if (bound && error == 0) {
        open_ = true;
        return;
    }
    SocketError(WSAGetLastError());
    Close();
}

void TudpSocket::Close() {
    if (held_) {
        reactor_.unwatch(socket_);
        held_ = false;
        if (::close(socket_) < 0) SocketError(WSASetLastErrorFromErrno());
    } else {
        // Closed already (or never opened): the number may belong to someone else by now.
        WSASetLastError(WSAENOTSOCK);
        SocketError(WSAENOTSOCK);
    }
    open_ = false;
}

void TudpSocket::SendText(const std::string& text) {
    char buffer[kMaxText + 1] = {};
    int length = static_cast<int>(std::min<size_t>(text.size(), kMaxText));
    std::memcpy(buffer, text.data(), static_cast<size_t>(length));
    SendBuffer(buffer, length);
}

void TudpSocket::SendBuffer(const void* buffer, int& length) {
    int error = 0;
    if (length < 0 || (buffer == nullptr && length > 0))
        error = WSAEFAULT;
    else if (!held_)
        error = WSAENOTSOCK;
    else if (destination_.Addr == 0)
        error = WSAEADDRNOTAVAIL;  // the system would take address 0 for this host
    if (error != 0) {
        WSASetLastError(error);
        SocketError(error);
        return;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = sendportNet_;
    to.sin_addr.s_addr = destination_.Addr;
    ssize_t n = ::sendto(socket_, buffer, static_cast<size_t>(length), MSG_NOSIGNAL,
                         reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (n < 0) {
        bool wouldBlock = errno == EAGAIN || errno == EWOULDBLOCK;
        SocketError(WSASetLastErrorFromErrno());
        if (wouldBlock) reactor_.reenable(socket_, Reactor::Write);
        return;
    }
    length = static_cast<int>(n);
}

bool TudpSocket::Receive(void* buffer, int& length, TudpAddress& sender) {
    sender = TudpAddress{};
    sockaddr_in from{};
    socklen_t len = sizeof from;
    ssize_t n = -1;
    size_t room = static_cast<size_t>(std::max(length - 1, 0));
    if (!held_) {
        WSASetLastError(WSAENOTSOCK);
    } else if (buffer == nullptr && room > 0) {
        WSASetLastError(WSAEFAULT);
    } else {
        // A longer datagram is cut to the room there is.
        n = ::recvfrom(socket_, buffer, room, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) WSASetLastErrorFromErrno();
        reactor_.reenable(socket_, Reactor::Read);
    }
    if (n < 0) {
        SocketError(WSAGetLastError());
        sender.Location = "error receiving";
    } else {
        length = static_cast<int>(n);
        sender.Location = IPToText(from.sin_addr.s_addr);
        sender.Port = from.sin_port;
        ResolveAddress(sender);
    }
    lastSender_ = sender;
    lastSender_.Port = ntohs(static_cast<uint16_t>(sender.Port));
    return n >= 0;
}

TudpAddress TudpSocket::ReceiveBuffer(void* buffer, int& length) {
    TudpAddress sender;
    Receive(buffer, length, sender);
    return sender;
}

std::string TudpSocket::ReceiveText(TudpAddress& sender) {
    char buffer[kMaxText + 1];
    int length = sizeof buffer;
    bool ok = Receive(buffer, length, sender);
    sender.Port = lastSender_.Port;
    // A failed receive gives no text (not the untouched buffer).
    return ok ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

void TudpSocket::HandleSocketMessage(unsigned event, int errorWord) {
    if (errorWord != 0) {
        const char* text;
        switch (event) {
        case 1: text = "+Error while receiving."; break;
        case 2: text = "+Error while sending."; break;
        case 4: text = "+Error OOB."; break;
        case 8: text = "+Error while accepting incoming connection."; break;
        case 16: text = "+Error while connecting."; break;
        case 32: text = "+Error while disconnecting."; break;
        default: text = "+Undefined error."; break;
        }
        SocketError(WSAGetLastError(), text);
        return;
    }
    const TeventProc* handler = nullptr;
    switch (event) {
    case Reactor::Read: handler = &OnReceive; break;
    case Reactor::Write: handler = &OnWriteReady; break;
    case Reactor::Close: handler = &OnCloseSocket; break;
    default: return;
    }
    if (*handler) {
        TeventProc call = *handler;
        call(*this);
    }
}

void TudpSocket::SocketError(int number, const std::string& text) {
    std::string message;
    if (text.empty())
        message = WinsockErrorText(number);
    else if (text[0] == '+')
        message = WinsockErrorText(number) + " (" + text.substr(1) + ").";
    else
        message = text;
    if (OnError) {
        OnError(message, number);
        return;
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "%06X", static_cast<unsigned>(number));
    BoxRequest box;
    box.kind = BoxKind::Error;
    box.text = "Ugh I got an Error, and you don't write error handlers\r\nShame on you !!!!. Take a look at it :\r\n" +
               message + " (error number : 0x" + hex + ")." + "\r\n" + "Assign an OnError event handler !!!";
    dialogs_.show(box);
}

}  // namespace vk
