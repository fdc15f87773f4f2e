#pragma once
// TudpSocket: the client's datagram transport. One bound UDP socket, one current destination,
// text datagrams of at most 511 bytes, notifications turned into events on the main thread.
// Failures go to OnError, or, when no handler is assigned, into a message box; nothing is
// thrown to the caller.
#include <cstdint>
#include <functional>
#include <string>

#include "client/net/resolver.h"
#include "platform/dialogs.h"
#include "platform/reactor.h"

namespace vk {

// An address as the component hands it around.
struct TudpAddress {
    uint32_t Addr = 0;     // IPv4 address in network order, 0 when unresolved
    std::string Name;      // host name, or "NO REVERSE DNS!" / "reverse dns lookup error"
    std::string IPText;    // dotted text of Addr
    std::string Location;  // the text as given, or "error" / "error receiving"
    uint32_t Port = 0;     // byte order as each operation says
};

class TudpSocket;
using TerrorProc = std::function<void(const std::string& msg, int num)>;
using TeventProc = std::function<void(TudpSocket& sender)>;

class TudpSocket {
public:
    static constexpr unsigned kNotifyMask = 0x23;  // read, write, close
    static constexpr int kMaxText = 511;           // bytes of one text datagram

    explicit TudpSocket(Reactor& reactor, Dialogs& dialogs, NameResolver& resolver = NameResolver::system());
    ~TudpSocket();  // closes the socket if it is open, without reporting
    TudpSocket(const TudpSocket&) = delete;
    TudpSocket& operator=(const TudpSocket&) = delete;

    // Properties.
    TerrorProc OnError;
    TeventProc OnReceive;
    TeventProc OnWriteReady;
    TeventProc OnCloseSocket;
    bool ReverseDNS = false;  // resolving a dotted address also looks up its name
    // Destination port; host order here, kept in network order.
    int sendport() const;
    void SetSendport(int port);
    // Local port bound by the next Open (0: the system chooses); host order here.
    uint16_t Port() const;
    void SetPort(uint16_t port);
    // Reading gives the destination's dotted text; writing resolves a name or dotted text now.
    std::string Location() const { return destination_.IPText; }
    void SetLocation(const std::string& location);

    void Open();
    void Close();
    bool IsOpen() const { return open_; }
    int Handle() const { return socket_; }  // 0 before the first Open; kept after Close
    // Sends the first 511 bytes of text as one datagram to Location:sendport.
    void SendText(const std::string& text);
    // Sends one datagram; on success length becomes the count sent.
    void SendBuffer(const void* buffer, int& length);
    // One datagram of at most 511 bytes (zero bytes kept); sender's Port in host order.
    std::string ReceiveText(TudpAddress& sender);
    // One datagram of at most length - 1 bytes; length becomes the count received. The sender's
    // Port is in network order here (LastSender() keeps it in host order).
    TudpAddress ReceiveBuffer(void* buffer, int& length);
    // Resolves a host name or dotted text without changing the component; Port 0.
    TudpAddress Resolve(const std::string& text);
    // Dotted text of an address, its first byte in memory first.
    static std::string IPToText(uint32_t address);

    const TudpAddress& Destination() const { return destination_; }
    const TudpAddress& LastSender() const { return lastSender_; }

    // One notification (event code, Winsock error word), as the reactor delivers it.
    void HandleSocketMessage(unsigned event, int errorWord);
    // The one error report: no text gives the Winsock text of number; a text starting with
    // "+" is appended to it in brackets; any other text is the message itself.
    void SocketError(int number, const std::string& text = "");

private:
    void ResolveAddress(TudpAddress& address);
    bool Receive(void* buffer, int& length, TudpAddress& sender);

    Reactor& reactor_;
    Dialogs& dialogs_;
    NameResolver& resolver_;
    int socket_ = 0;
    bool held_ = false;  // socket_ is a descriptor this component opened and has not closed
    TudpAddress destination_;
    uint16_t portNet_ = 0;
    uint16_t sendportNet_ = 0;
    bool open_ = false;
    TudpAddress lastSender_;
};

}  // namespace vk
