#pragma once
// The meta server's wire format: the directory request the browser sends, and the reader of
// the reply's server entries. The reader takes untrusted bytes: every read stays inside its
// buffer, whatever an entry's character counts claim.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vk {

inline constexpr const char* kMetaDirectory = "/Volkar II";
inline constexpr size_t kMetaBufferSize = 64001;  // the reply is read back into this many bytes
inline constexpr size_t kMetaSearchLimit = 63901; // the search for an entry stops here

// Total length, 30, 2 (32-bit little-endian each), the path's character count (16 bits), the
// path in UTF-16LE, then the byte 1.
std::string MetaRequest(std::string_view directory = kMetaDirectory);

struct MetaReply {
    std::vector<std::string> entries;  // in reply order
    bool badEntry = false;             // an entry ran past the end of the buffer (it is dropped)
};

// One text of an entry at buf[pos]: a 16-bit count (its low byte counts), then that many
// UTF-16LE units. The count's high byte and the units' bytes are taken one by one; bytes below
// 0x20 are dropped. pos moves past the text. False when the text runs past size.
bool ReadMetaText(const unsigned char* buf, size_t size, size_t& pos, std::string& text);

// One entry at buf[pos] (the 'S' byte): first, second and fourth texts joined by " |__| ",
// a part equal to the one before left out, everything up to the first "II/" dropped (the first
// two characters when there is none), at most 255 characters. pos moves past the entry's tail.
bool ParseMetaEntry(const unsigned char* buf, size_t size, size_t& pos, std::string& entry);

// Every entry of a reply, as the browser reads its raw reply file back. Bytes beyond the
// buffer size are not looked at.
MetaReply ParseMetaReply(std::string_view reply);

}  // namespace vk
