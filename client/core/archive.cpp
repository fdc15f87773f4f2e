#include "client/core/archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/crc32.h"
#include "common/wildcard.h"

namespace vk {
namespace {

constexpr size_t kEntrySize = 14;
constexpr uint32_t kEndOfDirectory = 0xFFFFFFFFu;
constexpr uint32_t kSizeMask = 0x00FFFFFFu;  // of a size word only the low 24 bits count

uint32_t Le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// Reads exactly count bytes at offset or raises: the layout promised them.
void ReadExact(ArchiveSource& src, uint64_t offset, void* buf, size_t count, const char* what) {
    if (offset > src.size() || count > src.size() - offset || src.read(offset, buf, count) != count)
        throw ArchiveError(std::string("archive corrupt: ") + what + " outside the file");
}

}  // namespace

size_t MemoryArchive::read(uint64_t offset, void* buf, size_t count) {
    if (offset >= bytes_.size()) return 0;
    size_t n = std::min<uint64_t>(count, bytes_.size() - offset);
    std::memcpy(buf, bytes_.data() + offset, n);
    return n;
}

FileArchive::FileArchive(const std::string& osPath) {
    fd_ = ::open(osPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw ArchiveError("cannot open archive " + osPath + ": " + std::strerror(errno));
    struct stat st;
    if (fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        throw ArchiveError("cannot read archive " + osPath);
    }
    size_ = static_cast<uint64_t>(st.st_size);
}

FileArchive::~FileArchive() {
    if (fd_ >= 0) ::close(fd_);
}

size_t FileArchive::read(uint64_t offset, void* buf, size_t count) {
    size_t done = 0;
    auto* p = static_cast<char*>(buf);
    while (done < count) {
        ssize_t n = ::pread(fd_, p + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw ArchiveError(std::string("archive read failed: ") + std::strerror(errno));
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

std::vector<ArchiveEntry> ReadArchiveDirectory(ArchiveSource& src) {
    unsigned char head[28];
    ReadExact(src, 0, head, sizeof head, "header");
    const uint64_t nameChunkSize = Le32(head + 20) & kSizeMask;
    const uint64_t nameBlockLength = Le32(head + 24);
    // The name block lies inside its chunk (whose size word has 24 bits), which also bounds
    // the memory a corrupt length can ask for.
    if (nameBlockLength > nameChunkSize) throw ArchiveError("archive corrupt: name block larger than its chunk");
    if (nameBlockLength > src.size() - sizeof head) throw ArchiveError("archive corrupt: name block outside the file");
    std::string names(static_cast<size_t>(nameBlockLength), '\0');
    ReadExact(src, sizeof head, names.data(), names.size(), "name block");

    // Directory: after the name chunk and the directory chunk's tag and size word; at most
    // 10001 entries, fewer when the file ends first.
    const uint64_t dirStart = 24 + nameChunkSize + 8;
    if (dirStart > src.size()) throw ArchiveError("archive corrupt: directory outside the file");
    const size_t dirBytes = static_cast<size_t>(std::min<uint64_t>(kArchiveMaxEntries * kEntrySize, src.size() - dirStart));
    std::string dir(dirBytes, '\0');
    ReadExact(src, dirStart, dir.data(), dir.size(), "directory");

    std::vector<ArchiveEntry> out;
    for (size_t at = 0; at + kEntrySize <= dir.size(); at += kEntrySize) {
        const auto* e = reinterpret_cast<const unsigned char*>(dir.data() + at);
        const uint32_t nameOffset = Le32(e);
        if (nameOffset == kEndOfDirectory) break;
        if (e[13] != 1) continue;
        if (nameOffset >= names.size()) throw ArchiveError("archive corrupt: member name outside the name block");
        const size_t nameEnd = names.find('\0', nameOffset);
        if (nameEnd == std::string::npos) throw ArchiveError("archive corrupt: member name not ended");
        out.push_back({names.substr(nameOffset, nameEnd - nameOffset), Le32(e + 4)});
    }
    return out;
}

ArchiveMember ReadArchiveMember(ArchiveSource& src, const ArchiveEntry& entry) {
    unsigned char blockHead[8];
    ReadExact(src, entry.dataOffset, blockHead, sizeof blockHead, "member block");
    const uint32_t length = Le32(blockHead + 4) & kSizeMask;
    const uint64_t contentStart = entry.dataOffset + sizeof blockHead;
    if (length > src.size() - contentStart) throw ArchiveError("archive corrupt: member data outside the file");
    std::string chunk(std::min<size_t>(length, 1 << 16), '\0');
    uint32_t crc = 0;
    for (uint64_t done = 0; done < length;) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(chunk.size(), length - done));
        ReadExact(src, contentStart + done, chunk.data(), n, "member data");
        crc = Crc32Update(crc, chunk.data(), n);
        done += n;
    }
    return {entry.name, length, crc};
}

std::vector<ArchiveMember> ReadArchiveMembers(ArchiveSource& src, std::string_view pattern) {
    std::vector<ArchiveMember> out;
    for (const auto& entry : ReadArchiveDirectory(src))
        if (WildcardMatch(pattern, entry.name)) out.push_back(ReadArchiveMember(src, entry));
    return out;
}

}  // namespace vk
