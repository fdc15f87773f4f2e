#pragma once
// File names as the game and its servers write them (with '\', any case) mapped onto the
// OS file system, and the directory search of the checks.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vk {

// The folder of the running executable (from /proc/self/exe) with a trailing separator.
std::string GameFolderPath();

// Maps name (components separated by '\' or '/') below base (an OS folder path ending in '/')
// to an OS path, resolving every component case-insensitively as Windows would: an exact match
// wins, otherwise the first matching entry in byte order. Components that do not exist are kept
// as written, so the result names where the file would be created. Leading separators are
// taken as relative to base; "." is dropped; ".." is kept as is (refuse such names first).
std::string ResolvePath(const std::string& base, std::string_view name);

// Directory-search attributes, as the checks read them.
enum : uint32_t {
    kAttrReadOnly = 0x01,   // no write bit
    kAttrHidden = 0x02,     // name starts with '.'
    kAttrDirectory = 0x10,
    kAttrArchive = 0x20,    // a regular file
};

struct DirEntry {
    std::string name;   // as stored on disk
    uint64_t size = 0;  // 0 for folders
    uint32_t attributes = 0;
};

// Whether a directory search for pattern finds name, as Windows' directory search decides it
// (the DOS rules it keeps): without regard to case; '*' any run; '?' any one character, but
// before a '.' or at the end of the name it may also match nothing, so "acspecs?.dat" finds
// "acspecs.dat" and "wingj???.dat" finds "wingj1.dat"; a '.' before '?' or '*' may match the
// end of the name ("x.?" finds "x"); a pattern ending in "*." finds names without a dot; "*",
// "*.*" and "" find every name.
bool DirectoryNameMatch(std::string_view pattern, std::string_view name);

// The entries of the folder part of pattern (resolved as above) whose names match its last
// component by DirectoryNameMatch. The entries
// "." and ".." are never returned. Sorted without regard to case, as NTFS lists a folder; empty when the folder does not exist.
std::vector<DirEntry> FindFiles(const std::string& base, std::string_view pattern);

// True when name resolves to an existing entry (file or folder).
bool PathExists(const std::string& base, std::string_view name);

}  // namespace vk
