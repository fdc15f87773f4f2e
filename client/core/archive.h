#pragma once
// The game's archive (volume) files as the checks read them: a name chunk and a directory of
// 14-byte entries pointing at member data blocks. Every read is bounded by the file and the
// buffers; a corrupt archive raises ArchiveError.
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vk {

class ArchiveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Random access to the archive's bytes.
class ArchiveSource {
public:
    virtual ~ArchiveSource() = default;
    virtual uint64_t size() const = 0;
    // Reads count bytes at offset; fewer only at the end of the data.
    virtual size_t read(uint64_t offset, void* buf, size_t count) = 0;
};

class MemoryArchive final : public ArchiveSource {
public:
    explicit MemoryArchive(std::string_view bytes) : bytes_(bytes) {}
    uint64_t size() const override { return bytes_.size(); }
    size_t read(uint64_t offset, void* buf, size_t count) override;

private:
    std::string_view bytes_;
};

// An open archive file; throws ArchiveError when it cannot be opened.
class FileArchive final : public ArchiveSource {
public:
    explicit FileArchive(const std::string& osPath);
    ~FileArchive() override;
    FileArchive(const FileArchive&) = delete;
    FileArchive& operator=(const FileArchive&) = delete;
    uint64_t size() const override { return size_; }
    size_t read(uint64_t offset, void* buf, size_t count) override;

private:
    int fd_ = -1;
    uint64_t size_ = 0;
};

struct ArchiveMember {
    std::string name;     // as stored in the archive
    uint32_t length = 0;  // stored length (low 24 bits of the block's size word)
    uint32_t crc = 0;     // CRC-32 of the content
};

constexpr size_t kArchiveMaxEntries = 10001;  // 140014 bytes of directory at most

// A member of the directory with flag 1: its name and where its data block starts.
struct ArchiveEntry {
    std::string name;
    uint64_t dataOffset = 0;
};

// Every member with flag 1, in directory order; raises ArchiveError for a corrupt directory.
std::vector<ArchiveEntry> ReadArchiveDirectory(ArchiveSource& src);

// The stored length of one member and the CRC of its content.
ArchiveMember ReadArchiveMember(ArchiveSource& src, const ArchiveEntry& entry);

// The members with flag 1 whose names match pattern (case-sensitive wildcard match), in
// directory order, each with the CRC of its content.
std::vector<ArchiveMember> ReadArchiveMembers(ArchiveSource& src, std::string_view pattern);

}  // namespace vk
