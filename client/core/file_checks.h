#pragma once
// File integrity checks: file CRCs and byte sums, the folder/pattern check that fills the
// result lists, the two check logs, and the flight-model identification.
//
// Names are relative to the game folder and written with '\' (either separator is accepted);
// the game folder is an OS path with a trailing '/'. Result and log texts keep the names as
// the server and the disk spell them.
#include <array>
#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "client/core/sorted_list.h"
#include "platform/clock.h"
#include "platform/processes.h"

namespace vk {

// Raised by CheckFileSets when an archive cannot be opened or read, or a log cannot be
// written; the caller reports it ("=>Exception in parse()", "=>error in cfg perf.exec").
class CheckError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Raised by CheckFileSets when its cancel flag is set: the check stops before its next file
// or archive member and writes nothing.
class CheckCancelled : public std::runtime_error {
public:
    CheckCancelled() : std::runtime_error("check cancelled") {}
};

struct FileCrc {
    uint32_t crc = 0;
    int status = 0;  // 1 read and checksummed, 0 missing or empty, -1 could not be opened
};

// CRC-32 of a whole file, read in pieces (never the whole file in memory).
FileCrc FileCrc32(const std::string& gameFolder, std::string_view name);

// Sum of all bytes but the last five, as a 32-bit unsigned value (0 for five bytes or less);
// -1 when the file is missing (or is a folder). Throws std::runtime_error when the file is
// there but cannot be read.
int64_t FileByteSum(const std::string& gameFolder, std::string_view name);

// The lines joined, each followed by CR LF; "" for an empty list.
std::string ResultText(const SortedList& list);

// The log name, folder list and pattern list of the next check.
struct CheckParams {
    std::string logName;
    std::string folders;
    std::string patterns;
    bool writeLogs = true;  // false: the check runs, but its two log files are not written
};

constexpr int kFolderEntries = 10;
constexpr size_t kFolderEntryMax = 80;
inline constexpr std::string_view kDefaultPatterns = "fmparam*?.dat|acspecs?.dat|wingj???.dat|foilj???.dat|cntrlj???.dat|";
inline constexpr std::string_view kMissingArchiveTail = "=87237|98328732|1";
inline constexpr std::string_view kNothingFound = "Definitely nothing found.....";

// What the checks keep for the whole run (owned by the client state).
struct FileCheckState {
    std::array<std::string, kFolderEntries> folders{"data\\multi\\", "data\\simpatch\\", "data\\", ".\\"};
    SortedList tedResults;      // lines of the start-up terrain check
    SortedList relevantFiles;   // where each file of the last check was found
    uint32_t lastCheckMs = 0;   // duration of the last check
};

// Runs one check into target (which the caller cleared or preloaded with the TED results),
// fills state.relevantFiles, writes the files logName and "log-" + logName in the game folder.
// Lists (or a log name) that reach outside the game folder check nothing and write nothing;
// the return value is false then. Throws CheckError as above.
// Each folder and archive directory is read once per check, and a name already taken is never
// read again, however many patterns name it. cancel, when given, is looked at before each file.
bool CheckFileSets(FileCheckState& state, const std::string& gameFolder, const CheckParams& params,
                   SortedList& target, Clock& clock, Processes& processes,
                   const std::atomic<bool>* cancel = nullptr);

// Caption for the instldfm panel: callers show kFmChecking first, then the returned caption.
inline constexpr std::string_view kFmChecking = "FM : checking....";
std::string IdentifyFlightModel(const std::string& gameFolder);

}  // namespace vk
