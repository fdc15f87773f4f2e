#pragma once
// What the conversation calls outside itself. The application adapts the real components to
// these; tests use recording fakes.
#include <cstdint>
#include <string>

#include "platform/priority.h"
#include "platform/shell.h"

namespace vk {

// The operations of the TCP component (TSockets) that the conversation uses, under the
// component's own names. Handles are the component's socket numbers; reads, sends and closes
// address the connection they are for, since several may be open at once.
class SocketsPort {
public:
    virtual ~SocketsPort() = default;
    virtual int SAccept() = 0;                                     // -1 on failure
    virtual void SClose(int socket) = 0;                           // aborts that connection
    virtual std::string GetText(int socket) = 0;                   // one receive, cut at a zero byte
    virtual void SetText(int socket, const std::string& text) = 0; // one send of all bytes
    virtual bool SocketDead(int socket) = 0;                       // not an open connection
    virtual std::string GetLocalPort(int socket) = 0;
    virtual std::string GetPeerIPAddr(int socket) = 0;
    virtual std::string GetPeerPort(int socket) = 0;
    virtual void SetPort(const std::string& port) = 0;             // the component's Port text
};

// Runs a server check with the check parameters into the result list. The completion flag is
// what the main thread sees: a check thread's report lands only when the main thread serves
// its messages again, so it is never set while the conversation waits.
class CheckRunner {
public:
    virtual ~CheckRunner() = default;
    virtual void StartServerCheck() = 0;
    virtual bool CheckFinished() = 0;
    virtual void ClearCheckFinished() = 0;
};

// The main window's connection operations and the kick socket, as far as the conversation
// triggers them (speed alarm, ejection, blocked server, end of session).
class ConnectionActions {
public:
    virtual ~ConnectionActions() = default;
    virtual void ListenClick() = 0;
    virtual void CancelListenClick() = 0;
    virtual void CloseClick() = 0;
    virtual void SetKickPort(int port) = 0;  // port of the UDP kick socket
};

}  // namespace vk
