// Arbitrary bytes as an archive file: the reader either lists members or raises ArchiveError,
// and never reads outside the data (the sanitizers watch).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "client/core/archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (std::string_view pattern : {"*", "fmparam*?.dat"}) {
        vk::MemoryArchive src(bytes);
        try {
            auto members = vk::ReadArchiveMembers(src, pattern);
            for (const auto& m : members)
                if (m.name.size() > size) __builtin_trap();
        } catch (const vk::ArchiveError&) {
        }
    }
    return 0;
}
