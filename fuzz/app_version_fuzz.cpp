// FileVersionOfBytes must stay inside the bytes it is given and return at most 19 characters.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "client/app/file_version.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string v = vk::FileVersionOfBytes(std::string(reinterpret_cast<const char*>(data), size));
    if (v != "No info." && v.size() > 19) std::abort();
    return 0;
}
