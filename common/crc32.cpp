#include "common/crc32.h"

// The routine was chosen by measuring on the build machine (bench/core_crc): ISA-L's
// crc32_gzip_refl (carry-less multiply) against zlib's crc32. Both compute the standard
// reflected CRC-32 with the preset and final inversion done inside, so a running value
// chains from one call to the next.
#if VK_CRC_ISAL
#include <isa-l/crc.h>
#else
#include <zlib.h>
#endif

namespace vk {

uint32_t Crc32Update(uint32_t crc, const void* data, size_t count) {
    if (count == 0) return crc;
#if VK_CRC_ISAL
    return crc32_gzip_refl(crc, static_cast<const unsigned char*>(data), count);
#else
    // zlib takes a 32-bit length; feed larger buffers in pieces.
    auto p = static_cast<const Bytef*>(data);
    uLong c = crc;
    while (count > 0) {
        uInt n = count > 0x40000000u ? 0x40000000u : static_cast<uInt>(count);
        c = crc32(c, p, n);
        p += n;
        count -= n;
    }
    return static_cast<uint32_t>(c);
#endif
}

uint32_t Crc32(const void* data, size_t count) { return Crc32Update(0, data, count); }

// The library routine inverts the preset on entry and the register on exit; presetting it
// with ~0 therefore starts the register at 0, and inverting its result undoes the final
// inversion: the raw CRC.
uint32_t RawCrc32(const void* data, size_t count) { return ~Crc32Update(0xFFFFFFFFu, data, count); }

const char* Crc32RoutineName() {
#if VK_CRC_ISAL
    return "isa-l crc32_gzip_refl";
#else
    return "zlib crc32";
#endif
}

}  // namespace vk
