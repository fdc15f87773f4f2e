#pragma once
// CRC-32 (reflected polynomial 0xEDB88320, the CRC of zip and Ethernet) and the raw variant
// (preset 0, no final inversion) that the crc? answer uses.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vk {

// Standard CRC-32 of a buffer; 0 for an empty one.
uint32_t Crc32(const void* data, size_t count);
inline uint32_t Crc32(std::string_view s) { return Crc32(s.data(), s.size()); }

// Continues a CRC-32 over the next piece of the same data: start with crc = 0 and pass the
// result of each call to the next, so a file can be checksummed in pieces.
uint32_t Crc32Update(uint32_t crc, const void* data, size_t count);

// The same table step with the register preset to 0 and no final inversion.
uint32_t RawCrc32(const void* data, size_t count);
inline uint32_t RawCrc32(std::string_view s) { return RawCrc32(s.data(), s.size()); }

// Name of the library routine behind Crc32 (for the benchmark line).
const char* Crc32RoutineName();

}  // namespace vk
