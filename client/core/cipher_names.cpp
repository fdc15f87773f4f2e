#include "client/core/cipher_names.h"

#include "cipher_blocks.h"

namespace vk {
namespace {

std::string Decipher16(const unsigned char (&block)[16]) {
    return DecipherText(std::string_view(reinterpret_cast<const char*>(block), 16));
}

}  // namespace

const AesKey& ProgramKey() {
    static const AesKey key = [] {
        AesKey k{};
        for (size_t i = 0; i < k.size(); ++i) k[i] = deployment::kProgramKey[i];
        return k;
    }();
    return key;
}

std::string EncipherText(std::string_view plain) { return EncipherText(plain, ProgramKey()); }
std::string DecipherText(std::string_view cipher) { return DecipherText(cipher, ProgramKey()); }

std::string OwnExecutablePattern() { return Decipher16(deployment::kOwnExecutable); }
std::string CompanionPattern() { return Decipher16(deployment::kCompanion); }
std::string HeldFileName(int index) {
    if (index < 0 || index >= kHeldFileCount) return {};
    return Decipher16(deployment::kHeldFiles[index]);
}
std::string TedPatternList() { return Decipher16(deployment::kTedPatterns); }
std::string VersionAnswer() { return Decipher16(deployment::kVersionAnswer); }

std::string BareName(std::string_view pattern) {
    return std::string(pattern.size() > 2 ? pattern.substr(2) : std::string_view{});
}

}  // namespace vk
