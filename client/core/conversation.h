#pragma once
// The client's side of the secure-server conversation: the TCP events of the main window's
// Sockets1, the framing of requests (each ended by 0xC8), ParseRequest with its handlers, and
// the patch-download dialog that a url= offer opens.
#include <cstdint>
#include <functional>
#include <string>

#include "client/core/blockedips_form.h"
#include "client/core/client_state.h"
#include "client/core/clock_check.h"
#include "client/core/connections.h"
#include "client/core/conversation_ports.h"
#include "client/core/errors_form.h"
#include "client/core/geturl_form.h"
#include "client/core/main_form.h"
#include "client/core/serverinf_form.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/processes.h"

namespace vk {

inline constexpr char kTerminator = '\xC8';

struct ConversationWindows {
    MainForm& main;
    TForm3& errors;
    Tserverinf& serverInfo;
    Memo& selfTestLog;  // the self-test window's log
    Tgeturl& getUrl;
    TblockedIPs& blocked;
};

struct ConversationPorts {
    SocketsPort& sockets;
    CheckRunner& checks;
    ConnectionActions& connection;
    Clock& clock;
    Dialogs& dialogs;
    Shell& shell;
    ProcessPriority& priority;
    Processes& processes;
};

class Conversation {
public:
    Conversation(ClientState& state, ConversationWindows windows, ConversationPorts ports);

    // Events of Sockets1; socket is the handle that raised the event.
    void Sockets1SessionAvailable(int socket);
    void Sockets1SessionConnected(int socket);
    void Sockets1DataAvailable(int socket);
    void Sockets1SessionClosed(int socket);
    void Sockets1ErrorOccurred(int socket, int error, const std::string& msg);

    // Closes one connection (nothing when it is not open) and forgets it.
    void CloseConnection(int socket);
    // Closes the connections whose time is up: a request begun and not ended, no request since
    // the accept, or none for long. The main window calls it every kSweepMs.
    void CloseStaleConnections();
    static constexpr uint32_t kSweepMs = 500;
    const ConnectionTable& connections() const { return connections_; }

    // One request without its terminator -> the answer to send ("" = nothing); sets handled().
    std::string ParseRequest(const std::string& request);
    bool handled() const { return handled_; }

    // The patch-download dialog's buttons.
    void BitBtn1Click();  // OK: open the offered address
    void BitBtn2Click();  // Cancel

    // "yyyy-mm-dd_hh-mm-ss.ms" with the tick count modulo 1000, as the trace lines carry it.
    std::string TraceTimestamp();

    // Conversation variables.
    std::string currentServerAddress;
    int conversationSocket = -1;
    ClockCheck clockCheck;
    int fileStatus = 0;
    std::string downloadAddress;

    // Random number 0..n-1 for the ports chosen on a speed alarm; tests replace it.
    std::function<uint32_t(uint32_t n)> random;

private:
    void Log(const std::string& line);
    void Trace(const std::string& line);
    std::string Elapsed(uint32_t startTick);
    void Restore();
    bool Refuse(const std::string& name, const std::string& request);
    void DropPartialRequest(int socket, const std::string& buf, uint32_t since);
    void RefuseConnection(int socket);

    void HandleUrl(const std::string& s);
    void HandleTime(const std::string& s);
    void HandleSrvinf(std::string s);
    std::string HandleId(const std::string& s);
    void HandleCheck(const std::string& s);
    std::string HandleEcrc(const std::string& s);
    std::string HandleFmparm(const std::string& s);

    ClientState& state_;
    ConversationWindows w_;
    ConversationPorts p_;
    bool handled_ = false;
    ConnectionTable connections_;
    bool refusing_ = false;  // the table is full and new connections are refused
    int refused_ = 0;        // how many since
};

// True for the addresses a url= offer may open: http://, https:// and ftp:// (any case), with
// no control characters.
bool IsOpenableAddress(const std::string& address);

// A name that check= may delete and write its logs under: a ".txt" file (any case) in the game
// folder itself, such as "plyr-cfg.txt", but none of the client's own (the blocked-server list,
// the debug switches rgb.txt and duh.txt).
bool IsCheckLogName(const std::string& name);

// A name that id? may create in the game folder and answer from: a bare file name of the game
// folder itself that Windows could hold (no folder part, none of < > : " / \ | ? * or control
// characters, no trailing dot or blank, no device name such as CON or LPT1), not a program or
// library the game or Windows would load, and none of the client's own switch, list, marker or
// log files. No extension is required: servers choose their own names.
bool IsIdentityFileName(const std::string& name);

// An identity line as id? writes it: an unsigned 32-bit CRC, '|', and a file status (1, 0, -1).
// An existing identity file is read back only when its first line is one.
bool IsIdentityLine(const std::string& line);

// Overwrites a text that carried checksums with zero bytes, then empties it.
void WipeText(std::string& s);

}  // namespace vk
