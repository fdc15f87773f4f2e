#pragma once
// The secure-server simulator: connects to a player client's port over TCP, plays a scripted
// conversation, checks every answer and ends with the verdict and "srvinf:EOT:".
//
// Script: one step a line; blank lines and lines starting with '#' are skipped.
//   @time           send "time:" + the simulator's millisecond clock
//   @time +N        send "time:" + the previous value + N (a server clock that runs fast or slow)
//   @wait N         wait N milliseconds
//   @alarm          expect the client's speed alarm "Ok:" + percentage + 0xC8 now
//   @verdict        send "srvinf:URIP:" + the client's address:port + "::" + ">Config OK" when
//                   every answer so far was right, else ">Config ERROR"
//   @raw TEXT       send TEXT as it stands (\xHH escapes; no terminator is added), expect nothing
//   anything else   a request: sent with the terminator 0xC8; the answer it calls for is read
//                   and checked (ver?, id?, snd?, crc?, ecrc?, fmparm?); others expect none.
//                   "srvinf:EOT:" also expects the client to close the connection.
#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace vk::secsim {

struct Options {
    std::string host = "127.0.0.1";
    int port = 50998;
    std::string script;                 // script text; empty = the default conversation
    int gapMs = 30000;                  // wait before the second time: of the default script
    std::string gameFolder;             // when set, CRCs and sums are recomputed from its files
    std::array<uint8_t, 32> key{};      // the program key
    std::string expectedVersion;        // "" = any non-empty version answer
    int timeoutMs = 10000;              // for each answer and for the connect
    // Kickstart: with kickPort set, the simulator waits on that UDP port (on host) for the
    // client's "idport:" kick, sends the datagrams below to the kick's sender, answers
    // "goport:" + goPort, accepts the client's TCP connection on goPort and plays the script
    // over it. Every datagram it receives is printed.
    int kickPort = 0;
    int goPort = 0;                     // 0: a free port
    std::vector<std::string> datagrams; // e.g. "areuwdn:hi", "areuwdn:Yes", "srvinf:..."
    int kickWaitMs = 30000;             // for the kick and for the client's connection
};

// The build's deployment values: key and version answer.
Options DefaultOptions();

// The example conversation: clocks, version, identity, a check, its lines and their CRC, the
// clock again after gapMs, the verdict and the end.
std::string DefaultScript(int gapMs);

struct Report {
    int requests = 0;
    int answersChecked = 0;
    int mismatches = 0;
    bool connected = false;
    std::vector<std::string> datagrams;  // "ADDR:PORT TEXT" of each datagram received
};

// Plays the conversation and prints one line per step and a closing summary to out.
Report Run(const Options& options, std::ostream& out);

// Helpers the checks use, also for tests.
uint32_t Crc32Of(const std::string& bytes);
uint32_t RawCrc32Of(const std::string& bytes);
std::string Printable(const std::string& bytes);
bool ParseKeyHex(const std::string& hex, std::array<uint8_t, 32>& key);

}  // namespace vk::secsim
