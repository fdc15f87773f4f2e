#include "client/core/file_checks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "client/core/archive.h"
#include "client/core/path_guard.h"
#include "common/crc32.h"
#include "common/text.h"
#include "common/wildcard.h"
#include "platform/paths.h"

namespace vk {
namespace {

// Files are read in pieces of this size: large enough for few system calls, small enough to
// stay in the cache while the CRC runs over it, so a large file never sits whole in memory.
constexpr size_t kReadPiece = 256 * 1024;

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Reads the next piece; -1 on a read error, 0 at the end.
ssize_t ReadPiece(int fd, char* buf, size_t count) {
    for (;;) {
        ssize_t n = ::read(fd, buf, count);
        if (n < 0 && errno == EINTR) continue;
        return n;
    }
}

bool HasWildcard(std::string_view name) { return name.find_first_of("*?") != std::string_view::npos; }
bool EndsInSeparator(std::string_view name) { return !name.empty() && (name.back() == '\\' || name.back() == '/'); }

enum class Found { Missing, File, Unopenable };

// What a directory search for name finds: no file (nothing, or a folder: a folder is not a file
// that exists), a file, or a wildcard name, which a search finds but open refuses.
Found Locate(const std::string& gameFolder, std::string_view name, std::string& osPath) {
    if (name.empty() || EndsInSeparator(name)) return Found::Missing;
    if (HasWildcard(name)) return FindFiles(gameFolder, name).empty() ? Found::Missing : Found::Unopenable;
    osPath = ResolvePath(gameFolder, name);
    struct stat st;
    if (stat(osPath.c_str(), &st) != 0) return Found::Missing;
    return S_ISDIR(st.st_mode) ? Found::Missing : Found::File;
}

std::string FolderPart(std::string_view path) {
    auto sep = path.find_last_of("\\/");
    return sep == std::string_view::npos ? std::string() : std::string(path.substr(0, sep + 1));
}

// The items of a list, each ended by sep; an unended last item is not an item (the server
// always ends its lists).
std::vector<std::string> Items(std::string_view list, char sep) {
    std::vector<std::string> items;
    size_t start = 0;
    for (;;) {
        size_t end = list.find(sep, start);
        if (end == std::string_view::npos) break;
        items.emplace_back(list.substr(start, end - start));
        start = end + 1;
    }
    return items;
}

// The archive names of a folder entry's archive list ("&a.vol&b.vol&"), each cut to 80.
std::vector<std::string> ArchiveNames(std::string_view list) {
    std::vector<std::string> names;
    for (auto& n : Items(list, '&')) {
        if (n.empty()) continue;
        if (n.size() > kFolderEntryMax) n.resize(kFolderEntryMax);
        names.push_back(std::move(n));
    }
    return names;
}

// A pattern as the check uses it: leading "..\" and drive prefixes removed; relative when it
// started with '!'.
struct Pattern {
    std::string text;
    bool relative = false;
};

Pattern CleanPattern(std::string p) {
    while (p.rfind("..\\", 0) == 0) p.erase(0, 3);
    while (p.size() >= 3 && p.compare(1, 2, ":\\") == 0) p.erase(0, 2);
    Pattern r;
    if (!p.empty() && p.front() == '!') {
        r.relative = true;
        p.erase(0, 1);
    }
    r.text = std::move(p);
    return r;
}

// The folder table a check would use: the given list or the kept table.
std::array<std::string, kFolderEntries> FolderTableFor(const FileCheckState& state, std::string_view folders) {
    if (folders.empty()) return state.folders;
    std::array<std::string, kFolderEntries> table{};
    auto items = Items(folders, '|');
    for (size_t i = 0; i < table.size() && i < items.size(); ++i) {
        table[i] = items[i];
        if (table[i].size() > kFolderEntryMax) table[i].resize(kFolderEntryMax);
    }
    return table;
}

// Every name the check would touch stays inside the game folder: the log names, each folder
// and archive name (as cut to 80 characters, which could otherwise make a new "..") and each
// pattern as the check uses it.
bool ListsStayInside(const std::array<std::string, kFolderEntries>& table, const std::vector<std::string>& patterns,
                     std::string_view logName) {
    if (!StaysInGameFolder(logName) || !StaysInGameFolder("log-" + std::string(logName))) return false;
    for (const auto& entry : table) {
        if (entry.empty()) break;
        auto amp = entry.find('&');
        if (!StaysInGameFolder(std::string_view(entry).substr(0, amp))) return false;
        if (amp != std::string::npos)
            for (const auto& a : ArchiveNames(std::string_view(entry).substr(amp)))
                if (!StaysInGameFolder(a)) return false;
    }
    for (const auto& p : patterns)
        if (!StaysInGameFolder(CleanPattern(p).text)) return false;
    return true;
}

// Names already checked, without regard to case; also answers "does a name begin with key".
class SeenNames {
public:
    bool contains(const std::string& name) const { return names_.count(LowerAscii(name)) != 0; }
    void add(const std::string& name) { names_.insert(LowerAscii(name)); }
    bool anyBeginsWith(const std::string& key) const {
        auto it = names_.lower_bound(LowerAscii(key));
        return it != names_.end() && it->compare(0, key.size(), LowerAscii(key)) == 0;
    }

private:
    std::set<std::string> names_;
};

void SaveLines(const std::string& osPath, const SortedList& list) {
    std::FILE* f = std::fopen(osPath.c_str(), "wb");
    if (!f) throw CheckError("cannot write " + osPath);
    bool ok = true;
    for (const auto& line : list) {
        ok = ok && std::fwrite(line.data(), 1, line.size(), f) == line.size() && std::fwrite("\r\n", 1, 2, f) == 2;
    }
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) throw CheckError("cannot write " + osPath);
}

// Whether the archive could be renamed, i.e. no other program holds it open. The rename is
// undone at once; on Linux a rename succeeds even while the file is open, so the holders are
// looked up first.
bool CanRename(const std::string& osPath, Processes& processes) {
    if (processes.heldByOther(osPath)) return false;
    const std::string probe = osPath + "_";
    struct stat st;
    if (lstat(probe.c_str(), &st) == 0) return false;  // would replace another file
    if (std::rename(osPath.c_str(), probe.c_str()) != 0) return false;
    if (std::rename(probe.c_str(), osPath.c_str()) != 0 && std::rename(probe.c_str(), osPath.c_str()) != 0)
        throw CheckError("cannot rename " + probe + " back to " + osPath);
    return true;
}

}  // namespace

FileCrc FileCrc32(const std::string& gameFolder, std::string_view name) {
    std::string osPath;
    switch (Locate(gameFolder, name, osPath)) {
        case Found::Missing: return {0, 0};
        case Found::Unopenable: return {0, -1};
        case Found::File: break;
    }
    Fd fd(::open(osPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return {0, -1};
    struct stat st;
    if (fstat(fd.get(), &st) != 0) return {0, -1};
    if (st.st_size <= 0) return {0, 0};
    posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    std::vector<char> buf(kReadPiece);
    uint32_t crc = 0;
    for (;;) {
        ssize_t n = ReadPiece(fd.get(), buf.data(), buf.size());
        if (n < 0) return {0, -1};
        if (n == 0) break;
        crc = Crc32Update(crc, buf.data(), static_cast<size_t>(n));
    }
    return {crc, 1};
}

int64_t FileByteSum(const std::string& gameFolder, std::string_view name) {
    std::string osPath;
    if (Locate(gameFolder, name, osPath) != Found::File) return -1;
    // A file that is there but cannot be read is not a missing one: that is an error for the
    // caller to report, not a sum.
    Fd fd(::open(osPath.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st;
    if (fd.get() < 0 || fstat(fd.get(), &st) != 0)
        throw std::runtime_error("cannot read " + std::string(name) + ": " + std::strerror(errno));
    // All bytes but the last five of the size the file has now.
    uint64_t remaining = st.st_size > 5 ? static_cast<uint64_t>(st.st_size) - 5 : 0;
    std::vector<char> buf(kReadPiece);
    uint32_t sum = 0;
    while (remaining > 0) {
        ssize_t n = ReadPiece(fd.get(), buf.data(), static_cast<size_t>(std::min<uint64_t>(buf.size(), remaining)));
        if (n < 0) throw std::runtime_error("cannot read " + std::string(name) + ": " + std::strerror(errno));
        if (n == 0) break;  // shrank meanwhile: sum what was there
        for (ssize_t i = 0; i < n; ++i) sum += static_cast<unsigned char>(buf[static_cast<size_t>(i)]);
        remaining -= static_cast<uint64_t>(n);
    }
    return sum;
}

std::string ResultText(const SortedList& list) {
    std::string text;
    for (const auto& line : list) {
        text += line;
        text += "\r\n";
    }
    return text;
}

namespace {

// What one check has read: each folder's entries and each archive's directory, with the ones
// that no pattern has taken yet. A name, once seen, stays seen, so an entry leaves its list for
// good the first time a pattern reaches it; a pattern given again finds nothing left to do.
class CheckCache {
public:
    CheckCache(const std::string& gameFolder, Processes& processes, const std::atomic<bool>* cancel)
        : gameFolder_(gameFolder), processes_(processes), cancel_(cancel) {}

    void checkCancel() const {
        if (cancel_ && cancel_->load(std::memory_order_relaxed)) throw CheckCancelled();
    }

    // The entries a directory search for pattern finds that are still open, in search order.
    struct Folder {
        std::vector<DirEntry> entries;
        std::vector<size_t> open;  // indexes into entries
    };
    Folder* folderOf(const std::string& pattern, std::string& last) {
        const size_t sep = pattern.find_last_of("\\/");
        const std::string dir = sep == std::string::npos ? std::string() : pattern.substr(0, sep + 1);
        last = pattern.substr(dir.size());
        if (last.empty()) return nullptr;
        auto [it, added] = folders_.try_emplace(LowerAscii(dir));
        if (added) {
            it->second.entries = FindFiles(gameFolder_, dir + "*");
            for (size_t i = 0; i < it->second.entries.size(); ++i) it->second.open.push_back(i);
        }
        return &it->second;
    }

    struct Archive {
        bool exists = false;
        std::string osPath;
        std::unique_ptr<FileArchive> file;
        std::vector<ArchiveEntry> entries;
        std::vector<size_t> open;
        bool read = false;
        int renamable = -1;  // -1 not probed yet
    };
    Archive& archive(const std::string& name) {
        auto [it, added] = archives_.try_emplace(LowerAscii(name));
        Archive& a = it->second;
        if (added) a.exists = Locate(gameFolder_, name, a.osPath) == Found::File;
        return a;
    }
    // The archive's directory, read on first use.
    void readDirectory(Archive& a) {
        if (a.read) return;
        a.file = std::make_unique<FileArchive>(a.osPath);
        a.entries = ReadArchiveDirectory(*a.file);
        for (size_t i = 0; i < a.entries.size(); ++i) a.open.push_back(i);
        a.read = true;
    }
    // Each archive is probed once per check, not once per pattern: the probe walks the open
    // files of every process.
    bool renamable(Archive& a) {
        if (a.renamable < 0) a.renamable = CanRename(a.osPath, processes_) ? 1 : 0;
        return a.renamable == 1;
    }

private:
    const std::string& gameFolder_;
    Processes& processes_;
    const std::atomic<bool>* cancel_;
    std::map<std::string, Folder> folders_;
    std::map<std::string, Archive> archives_;
};

}  // namespace

bool CheckFileSets(FileCheckState& state, const std::string& gameFolder, const CheckParams& params,
                   SortedList& target, Clock& clock, Processes& processes, const std::atomic<bool>* cancel) {
    const uint32_t start = clock.tickCount();

    const std::string patternList = params.patterns.empty() ? std::string(kDefaultPatterns) : params.patterns;
    const auto patterns = Items(patternList, '|');
    const std::string both = params.patterns + params.folders;
    auto table = FolderTableFor(state, params.folders);
    // The locations of the previous check go even when this one is refused: they no longer
    // describe the result list that a file in error is looked up for.
    state.relevantFiles.clear();
    if (both.find("..\\") != std::string::npos || both.find(":\\") != std::string::npos ||
        !ListsStayInside(table, patterns, params.writeLogs ? std::string_view(params.logName) : std::string_view()))
        return false;

    SeenNames seen;
    CheckCache cache(gameFolder, processes, cancel);
    for (const auto& line : state.tedResults) seen.add(line.substr(0, line.find('=')));
    if (!params.folders.empty()) state.folders = table;

    for (auto& folderEntry : state.folders) {
        if (folderEntry.empty()) break;
        std::string archiveList;
        if (auto amp = folderEntry.find('&'); amp != std::string::npos) {
            archiveList = folderEntry.substr(amp);
            folderEntry.resize(amp);  // the table keeps the folder without its archives
        }
        const std::string& folder = folderEntry;
        const bool isDot = folder == ".\\";
        const auto archiveNames = ArchiveNames(archiveList);
        std::set<std::string> patternsDone;
        for (const auto& raw : patterns) {
            const Pattern pat = CleanPattern(raw);
            // The same pattern again in the same folder can only find what it found before.
            if (!patternsDone.insert((pat.relative ? "!" : "") + pat.text).second) continue;
            if (pat.relative == isDot) {
                std::string last;
                if (CheckCache::Folder* dir = cache.folderOf(folder + pat.text, last)) {
                    std::vector<size_t> stillOpen;
                    for (size_t i : dir->open) {
                        const DirEntry& e = dir->entries[i];
                        if (!DirectoryNameMatch(last, e.name)) {
                            stillOpen.push_back(i);
                            continue;
                        }
                        std::string name = LowerAscii(e.name);
                        if (seen.contains(name)) continue;
                        seen.add(name);
                        cache.checkCancel();
                        // The file is opened as folder + the name found, even for a pattern with
                        // a folder part: the server compares with what the game's own client
                        // produced that way, and a truer checksum would ground an honest player.
                        const std::string path = pat.relative ? LowerAscii(pat.text) : folder + e.name;
                        FileCrc fc = FileCrc32(gameFolder, path);
                        target.add(name + "=" + std::to_string(e.size) + "|" + std::to_string(fc.crc) + "|" +
                                   std::to_string(fc.status));
                        state.relevantFiles.add(pat.relative ? ".\\" + LowerAscii(FolderPart(pat.text)) + name
                                                             : folder + name);
                    }
                    dir->open.swap(stillOpen);
                }
            }
            for (const auto& a : archiveNames) {
                const std::string archiveName = folder + a;
                CheckCache::Archive& arc = cache.archive(archiveName);
                if (!Contains(a, "low")) {
                    if (arc.exists) {
                        if (cache.renamable(arc)) target.add("_" + archiveName);
                    } else {
                        target.add("!" + archiveName + std::string(kMissingArchiveTail));
                    }
                }
                if (!arc.exists) continue;
                try {
                    cache.readDirectory(arc);
                    std::vector<size_t> stillOpen;
                    for (size_t i : arc.open) {
                        const ArchiveEntry& entry = arc.entries[i];
                        if (!WildcardMatch(pat.text, entry.name)) {
                            stillOpen.push_back(i);
                            continue;
                        }
                        // The result line's name is the text before its first '='.
                        const std::string key = entry.name.substr(0, entry.name.find('='));
                        if (seen.anyBeginsWith(key)) continue;
                        cache.checkCancel();
                        const ArchiveMember m = ReadArchiveMember(*arc.file, entry);
                        seen.add(key);
                        target.add(m.name + "=" + std::to_string(m.length) + "|" + std::to_string(m.crc) + "|1");
                        state.relevantFiles.add(a + ":" + LowerAscii(key));
                    }
                    arc.open.swap(stillOpen);
                } catch (const ArchiveError& err) {
                    throw CheckError(archiveName + ": " + err.what());
                }
            }
        }
    }

    cache.checkCancel();
    if (params.writeLogs) {
        SaveLines(ResolvePath(gameFolder, "log-" + params.logName), state.relevantFiles);
        SaveLines(ResolvePath(gameFolder, params.logName), target);
    }
    if (target.empty()) target.add(std::string(kNothingFound));
    state.lastCheckMs = clock.tickCount() - start;
    return true;
}

std::string IdentifyFlightModel(const std::string& gameFolder) {
    const bool vk2 = Contains(LowerAscii(gameFolder), "volkarii");
    const std::string orvaneCrc = "2577850363";
    auto crcText = [&](const char* name) { return std::to_string(FileCrc32(gameFolder, name).crc); };
    auto isFile = [&](const char* name) {
        std::string osPath;
        return Locate(gameFolder, name, osPath) == Found::File;
    };

    for (const char* pattern : {"data\\multi\\*.act", "data\\simpatch\\*.act"}) {
        for (const auto& e : FindFiles(gameFolder, pattern)) {
            if (e.name.front() == '.' || e.attributes < 32) continue;
            return "FM: " + e.name.substr(0, e.name.size() >= 4 ? e.name.size() - 4 : 0);
        }
    }
    auto holdsFlightModel = [&](const char* folder) {
        for (const char* p : {"fmparam?.dat", "acspec*.dat", "??damage.dat", "wingj*.dat"})
            if (!FindFiles(gameFolder, std::string(folder) + p).empty()) return true;
        return false;
    };
    if (!vk2 && !holdsFlightModel("data\\multi\\") && !holdsFlightModel("data\\simpatch\\"))
        return crcText("data\\fmparam3.dat") == orvaneCrc ? "FM : (in data\\) Orvane " : "FM in data\\ : NOT Orvane !!! ";
    if (isFile("data\\multi\\fmparam3.dat"))
        return crcText("data\\multi\\fmparam3.dat") == orvaneCrc ? "FM in data\\multi : seems to be Orvane "
                                                                 : "FM in data\\multi: Unknown !!";
    if (isFile("data\\simpatch\\fmparam3.dat"))
        return crcText("data\\simpatch\\fmparam3.dat") == orvaneCrc
                   ? std::string("FM in data\\simpatch : seems to be Orvane ") + (vk2 ? "\r\n VKII install" : "")
                   : "FM in data\\simpatch : Unknown !!";
    return "Unknown FM";
}

}  // namespace vk
