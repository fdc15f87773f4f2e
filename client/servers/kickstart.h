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

struct KickstartPorts {
    Clock& clock;
    Dialogs& dialogs;
    ConnectionActions& connection;  // Listen / Cancel listen of the main window
    TudpSocket& udpkick;
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
    // Binds the kick socket's handlers to this object.
    void Attach();

    int kickPort = 40998;              // the local UDP port of udpkick
    std::string expectedServer;        // dotted address of the secure server last kicked
    std::string kickServerPort;        // its UDP port (game port - 1000), decimal text
    uint32_t lastKickTime = 0;
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
