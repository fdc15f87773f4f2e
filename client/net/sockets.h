#pragma once
// TSockets: the client's TCP transport. One listening socket and one connected socket at a
// time; notifications become events on the main thread (through the Reactor), and every failure
// becomes one OnErrorOccurred event with a Winsock number and its fixed text. Nothing is ever
// thrown to the caller.
//
// Non-blocking mode (the default) connects, accepts, sends and receives at once and learns the
// outcome from the events. Blocking mode waits for each call on the calling thread, for at most
// Timeout seconds; when that time is up it raises "Blocking call timed out" (10060) and the call
// fails with "Interrupted system call" (10004), as a cancelled blocking call does, which its
// operation then reports as usual.
#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "client/net/resolver.h"
#include "platform/reactor.h"

namespace vk {

class TSockets;

using TSocketEvent = std::function<void(TSockets& Sender, int Socket)>;
using TDataAvailable = TSocketEvent;
using TDataNeeded = TSocketEvent;
using TSessionClosed = TSocketEvent;
using TSessionAvailable = TSocketEvent;
using TSessionConnected = TSocketEvent;
using TErrorOccurred = std::function<void(TSockets& Sender, int Socket, int Error, const std::string& Msg)>;

// What socket start-up reports; there is nothing to start here, the record says version 1.1.
struct TWSAData {
    uint16_t wVersion = 0x0101;
    uint16_t wHighVersion = 0x0101;
    std::string szDescription = "BSD sockets";
    std::string szSystemStatus = "Running";
};

class TSockets {
public:
    // The notification masks: read, write, connect, close for a connector; read, write,
    // accept, close for a listener (and the connections it accepts).
    static constexpr unsigned kConnectMask = 0x33;
    static constexpr unsigned kListenMask = 0x2B;
    static constexpr int kListenBacklog = 5;
    // After an accept that failed for lack of descriptors or memory, the listener rests this
    // long before it accepts again: long enough not to spin, short enough not to be noticed.
    static constexpr uint32_t kAcceptPauseMs = 100;

    explicit TSockets(Reactor& reactor, NameResolver& resolver = NameResolver::system());
    // Closes what it still holds, so that no notification can reach a destroyed component.
    ~TSockets();
    TSockets(const TSockets&) = delete;
    TSockets& operator=(const TSockets&) = delete;

    // Properties.
    int MaximumReceiveLength = 16384;  // bytes one Text read takes at most
    std::string IPAddr;                // dotted IPv4 text or a host name, for SConnect
    std::string Port;                  // service name or decimal port, for SConnect and SListen
    bool NonBlocking = true;
    int Timeout = 30;                  // seconds a blocking call may take; 0 or less: no limit
    TDataAvailable OnDataAvailable;
    TDataNeeded OnDataNeeded;
    TSessionClosed OnSessionClosed;
    TSessionAvailable OnSessionAvailable;
    TSessionConnected OnSessionConnected;
    TErrorOccurred OnErrorOccurred;
    // Optional debug trace: the name and number of each failing step, and the lines of the
    // swallowed failures of SListen and SClose. Unset: nothing is traced.
    std::function<void(const std::string&)> OnDebugTrace;

    // Public state.
    sockaddr_in SockAddr{};     // address record of the last connect or accept (network order)
    TWSAData WSAData;
    int FSocket = -1;           // connected socket, -1 when none
    int FListenSocket = -1;     // listening socket: -1 at construction, 0 after CancelListen
    bool ErrorOccurred = false; // set by every error report; only the owner clears it

    void SConnect();
    void SListen();
    int SAccept();
    void SClose();
    void CancelListen();
    void SetText(const std::string& text);  // Text write
    std::string GetText();                  // Text read
    // The same on one given connection, for a listener that serves several at once; a
    // socket the component does not hold is reported as "not a socket" and never touched.
    void SClose(int socket);
    void SetText(int socket, const std::string& text);
    std::string GetText(int socket);
    // Whether socket is a connection this component holds open (not its listener).
    bool IsConnection(int socket) const { return socket >= 0 && socket != listener_ && held_.count(socket) != 0; }
    // Whether the component holds a listening socket. The handle cannot tell: CancelListen
    // leaves 0 in it, and descriptor 0 may be a real listener when standard input is closed.
    bool Listening() const { return listener_ >= 0; }
    std::string Text() { return GetText(); }
    void Text(const std::string& text) { SetText(text); }
    int SReceive(int socket, char* buffer, int size);
    std::string GetLocalPort(int socket);
    std::string GetLocalIPAddr();
    std::string GetPeerPort(int socket);
    std::string GetPeerIPAddr(int socket);
    bool SocketDead() const { return ErrorOccurred || FSocket < 0; }

    // One notification: socket, event code (Reactor::Event) and the Winsock error word. The
    // reactor delivers here; an error word above 10000 becomes an error report instead.
    void HandleSocketMessage(int socket, unsigned event, int errorWord);
    // The event name of a notification code ("FD_READ" ...; "" for an unknown code).
    static std::string EventName(unsigned event);
    // Port text -> port in network order: a "tcp" service name, else a decimal number
    // 0..65535. Throws std::invalid_argument for anything else.
    static uint16_t PortNumber(const std::string& port);

private:
    void SocketError(int socket, const std::string& step, int error);
    void Trace(const std::string& line);
    void Watch(int socket, unsigned mask);
    void Forget(int socket);
    void Release(int socket);
    void PauseAccepting();
    // Waits until the socket is ready or the deadline (default: Timeout seconds from now).
    bool WaitBlocking(int socket, short events, std::chrono::steady_clock::time_point deadline = {});
    std::chrono::steady_clock::time_point BlockingDeadline() const;
    int BlockingConnect();
    int Receive(int socket, char* buffer, int size);

    Reactor& reactor_;
    NameResolver& resolver_;
    std::set<int> held_;        // sockets this component opened and has not closed
    int listener_ = -1;         // the listening socket among them, -1 when none
    bool blocking_ = false;     // a blocking call is waiting
    Reactor::TimerId acceptPause_ = 0;  // running while accepting rests
};

}  // namespace vk
