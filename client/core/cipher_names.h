#pragma once
// The program key and the names the client holds only enciphered. The blocks are made at build
// time from the deployment values (cmake/Deployment.cmake); each accessor deciphers its block
// where it is used, so callers should not keep the plain text longer than they need it.
#include <string>
#include <string_view>

#include "common/aes.h"

namespace vk {

// The 32-byte key shared with the secure server.
const AesKey& ProgramKey();

// EncipherText / DecipherText under the program key.
std::string EncipherText(std::string_view plain);
std::string DecipherText(std::string_view cipher);

constexpr int kHeldFileCount = 5;

std::string OwnExecutablePattern();   // e.g. "*/wdnplyr"
std::string CompanionPattern();       // e.g. "*/wdnhelp.exe"
std::string HeldFileName(int index);  // 0..4, e.g. "data\volkar0.ted"
std::string TedPatternList();         // e.g. "volkar?.ted" (without the closing '|')
std::string VersionAnswer();          // e.g. "2.2.0.1"

// A name pattern without its two-character prefix: the bare file name ("wdnplyr").
std::string BareName(std::string_view pattern);

}  // namespace vk
