#pragma once
// Kickstart mode: for players who cannot forward the listening port. The client sends a UDP
// kick to the secure server beside a game server; the secure server answers with a TCP port
// ("goport:") and the client connects out to it, after which the usual conversation runs.
// Everything goes through the main window's kick socket (udpkick) on the main thread.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "client/core/conversation_ports.h"
#include "client/core/main_form.h"
#include "client/net/udp_socket.h"
#include "platform/clock.h"
#include "platform/dialogs.h"

namespace vk {

// The operations of the kick socket (TudpSocket) that kickstart uses, under its own names.
class KickSocket {
public:
    virtual ~KickSocket() = default;
    virtual void Open() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() = 0;
    virtual void SetPort(uint16_t port) = 0;  // local port of the next Open
    virtual void SetLocation(const std::string& address) = 0;
    virtual void SetSendport(int port) = 0;
    virtual void SendText(const std::string& text) = 0;
    virtual std::string ReceiveText(TudpAddress& sender) = 0;  // sender's Port in host order
};

// The main window's udpkick as the kick socket.
class TudpKickSocket final : public KickSocket {
public:
    explicit TudpKickSocket(TudpSocket& s) : s_(s) {}
    void Open() override { s_.Open(); }
    void Close() override { s_.Close(); }
    bool IsOpen() override { return s_.IsOpen(); }
    void SetPort(uint16_t port) override { s_.SetPort(port); }
    void SetLocation(const std::string& address) override { s_.SetLocation(address); }
    void SetSendport(int port) override { s_.SetSendport(port); }
    void SendText(const std::string& text) override { s_.SendText(text); }
    std::string ReceiveText(TudpAddress& sender) override { return s_.ReceiveText(sender); }

private:
    TudpSocket& s_;
};

struct KickstartPorts {
    Clock& clock;
    Dialogs& dialogs;
    ConnectionActions& connection;  // Listen / Cancel listen of the main window
    KickSocket& udpkick;
    // Connects the main window's TCP socket out to address:port (non-blocking) with address as
    // the conversation's current server.
    std::function<void(const std::string& address, const std::string& port)> connectOut;
};

class Kickstart {
public:
    Kickstart(MainForm& main, KickstartPorts ports);

    // OnClick of cantforward, after the front end has set its check.
    void cannotforward();
    // The browser's double-click: the selected entry's text, or none.
    void SendKick(const std::optional<std::string>& entry);
    // Events of udpkick.
    void udpkickReceive();
    void udpkickError(const std::string& msg, int num);
    void udpkickCloseSocket();
    // Binds udpkick's events to the handlers above.
    void Attach(TudpSocket& udpkick);

    int kickPort = 40998;              // the local UDP port of udpkick
    std::string expectedServer;        // dotted address of the secure server last kicked
    std::string kickServerPort;        // its UDP port (game port - 1000), decimal text
    uint32_t lastKickTime = 0;
    bool kicked = false;               // lastKickTime holds an attempt
    bool privateWarningPending = true;

private:
    void Log(const std::string& line) { main_.Memo1.Add(line); }
    void Reopen();
    void Send(const std::string& address, int port, const std::string& text);

    MainForm& main_;
    KickstartPorts p_;
    bool reopening_ = false;
};

// The game server's address and port in a browser entry: the text from its "UDP:" (found in
// any case) on; the address between the first and the last ':' after it, the port the digits
// that start the text after the last ':'. False when the entry has no "UDP:".
bool KickTarget(const std::string& entry, std::string& address, std::string& portDigits);

}  // namespace vk
