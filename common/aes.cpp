#include "common/aes.h"

#include <openssl/evp.h>

#include <memory>
#include <stdexcept>

namespace vk {
namespace {

struct CtxFree {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};

// Runs the blocks of buf (a multiple of 16 bytes) through AES-256-ECB in place.
void RunBlocks(std::string& buf, const AesKey& key, bool encipher) {
    std::unique_ptr<EVP_CIPHER_CTX, CtxFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx) throw std::runtime_error("AES: no cipher context");
    if (EVP_CipherInit_ex(ctx.get(), EVP_aes_256_ecb(), nullptr, key.data(), nullptr, encipher ? 1 : 0) != 1)
        throw std::runtime_error("AES: key set-up failed");
    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
    if (buf.empty()) return;
    auto* p = reinterpret_cast<unsigned char*>(buf.data());
    // EVP takes an int length; blocks are independent, so large buffers go in pieces.
    size_t done = 0;
    while (done < buf.size()) {
        size_t n = buf.size() - done;
        if (n > (1u << 30)) n = 1u << 30;
        int out = 0;
        if (EVP_CipherUpdate(ctx.get(), p + done, &out, p + done, static_cast<int>(n)) != 1 ||
            static_cast<size_t>(out) != n)
            throw std::runtime_error("AES: cipher failed");
        done += n;
    }
    int tail = 0;
    unsigned char scratch[32];
    if (EVP_CipherFinal_ex(ctx.get(), scratch, &tail) != 1 || tail != 0)
        throw std::runtime_error("AES: cipher failed");
}

void PadToBlocks(std::string& s) {
    if (s.size() % 16 != 0) s.append(16 - s.size() % 16, '\0');
}

}  // namespace

std::string EncipherText(std::string_view plain, const AesKey& key) {
    std::string buf(plain);
    PadToBlocks(buf);
    RunBlocks(buf, key, true);
    return buf;
}

std::string DecipherText(std::string_view cipher, const AesKey& key) {
    std::string buf(cipher);
    PadToBlocks(buf);
    RunBlocks(buf, key, false);
    auto z = buf.find('\0');
    if (z != std::string::npos) buf.resize(z);
    return buf;
}

bool ParseAesKeyHex(std::string_view hex, AesKey& key) {
    if (hex.size() != 64) return false;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    AesKey k{};
    for (size_t i = 0; i < 32; ++i) {
        int hi = nibble(hex[2 * i]), lo = nibble(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        k[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    key = k;
    return true;
}

}  // namespace vk
