// Arbitrary bytes as a meta server's reply: the whole-reply reader (zero-filled 64001-byte
// buffer) and the entry reader on the bare bytes, which must stop at their end (the
// sanitizers watch every read).
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "client/servers/meta_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const vk::MetaReply r = vk::ParseMetaReply(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const auto& e : r.entries)
        if (e.size() > 255) __builtin_trap();

    // An exact-size copy, so a read one byte past the end is caught.
    std::vector<unsigned char> bytes(data, data + size);
    size_t pos = 0;
    while (pos < bytes.size()) {
        std::string entry;
        const size_t before = pos;
        if (!vk::ParseMetaEntry(bytes.data(), bytes.size(), pos, entry)) break;
        if (pos <= before || pos > bytes.size() || entry.size() > 255) __builtin_trap();
    }
    return 0;
}
