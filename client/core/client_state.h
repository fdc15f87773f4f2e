#pragma once
// The program-wide state of the client that the main window owns, as far as the conversation
// with the secure server reads and writes it. The application extends it.
#include <string>

#include "client/core/conversation_ports.h"
#include "client/core/file_checks.h"
#include "client/core/sorted_list.h"

namespace vk {

// What the main window's socket is doing.
enum class ConnectionMode { Idle = 0, Client = 1, Listening = 2 };

struct ClientState {
    std::string gameFolder;   // OS path with a trailing '/'
    ConnectionMode connectionMode = ConnectionMode::Idle;
    bool tedCheckDone = false;
    bool foregroundChecks = false;
    bool verboseTrace = true;
    PriorityClass boost = PriorityClass::High;
    PriorityClass restore = PriorityClass::Normal;
    bool firstListen = true;
    bool verdict = false;
    bool selfTestRunning = false;
    SortedList resultList;    // lines of the last server check, answered by snd? and crc?
    CheckParams checkParams;  // of the next file check
    FileCheckState checks;    // folder table, TED results, relevant files, last check time
};

}  // namespace vk
