#pragma once
// AES-256 in electronic-codebook mode for the response cipher: every 16-byte block on its own,
// no IV, no chaining, zero padding. Texts are 8-bit bytes in std::string.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vk {

using AesKey = std::array<uint8_t, 32>;

// Pads with zero bytes to the next multiple of 16 (nothing when it already is one, also for
// the empty text), enciphers each block. A fresh key schedule is made on every call.
std::string EncipherText(std::string_view plain, const AesKey& key);

// Extends to a multiple of 16 with zero bytes, deciphers each block and cuts the result
// before its first zero byte.
std::string DecipherText(std::string_view cipher, const AesKey& key);

// Parses 64 hexadecimal digits; false when the text is not exactly that.
bool ParseAesKeyHex(std::string_view hex, AesKey& key);

}  // namespace vk
