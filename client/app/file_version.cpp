#include "client/app/file_version.h"

#include <elf.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace vk {

// The client's own version record, as a Windows version resource holds it: UTF-16 text, so
// that with the zero bytes dropped it reads "FileVersion" and the number. It has a section of
// its own, the program's version resource, so that no other text of the program that happens
// to contain the word is taken for it.
#define VK_W(c) c, '\0'
[[gnu::used, gnu::section(".vkversion")]] extern const char kVersionRecord[] = {
    VK_W('F'), VK_W('i'), VK_W('l'), VK_W('e'), VK_W('V'), VK_W('e'), VK_W('r'), VK_W('s'), VK_W('i'), VK_W('o'),
    VK_W('n'), '\0', '\0',
#ifdef VK_FILE_VERSION_UTF16
    VK_FILE_VERSION_UTF16,
#endif
    '\0', '\0'};
#undef VK_W

namespace {

// The bytes of the ".vkversion" section of a 64-bit ELF file, or "" when there is none.
std::string ElfVersionSection(const std::string& file) {
    if (file.size() < sizeof(Elf64_Ehdr) || std::memcmp(file.data(), ELFMAG, SELFMAG) != 0 ||
        file[EI_CLASS] != ELFCLASS64)
        return {};
    Elf64_Ehdr eh;
    std::memcpy(&eh, file.data(), sizeof eh);
    if (eh.e_shentsize != sizeof(Elf64_Shdr) || eh.e_shoff == 0 || eh.e_shoff > file.size() ||
        eh.e_shnum > (file.size() - eh.e_shoff) / sizeof(Elf64_Shdr) || eh.e_shstrndx >= eh.e_shnum)
        return {};
    auto section = [&](size_t i) {
        Elf64_Shdr sh;
        std::memcpy(&sh, file.data() + eh.e_shoff + i * sizeof(Elf64_Shdr), sizeof sh);
        return sh;
    };
    const Elf64_Shdr names = section(eh.e_shstrndx);
    if (names.sh_offset > file.size() || names.sh_size > file.size() - names.sh_offset) return {};
    static const char kName[] = ".vkversion";
    for (size_t i = 0; i < eh.e_shnum; ++i) {
        const Elf64_Shdr sh = section(i);
        if (sh.sh_name >= names.sh_size || names.sh_size - sh.sh_name < sizeof kName) continue;
        if (std::memcmp(file.data() + names.sh_offset + sh.sh_name, kName, sizeof kName) != 0) continue;
        if (sh.sh_type == SHT_NOBITS || sh.sh_offset > file.size() || sh.sh_size > file.size() - sh.sh_offset) return {};
        return file.substr(sh.sh_offset, sh.sh_size);
    }
    return {};
}

}  // namespace

std::string FileVersionText(const std::string& osPath) {
    struct stat st {};
    if (::stat(osPath.c_str(), &st) != 0) return "Not found?";
    std::ifstream in(osPath, std::ios::binary);
    if (!in) return "No info.";
    return FileVersionOfBytes(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
}

std::string FileVersionOfBytes(std::string file) {
    // A program of this project carries its record in a section of its own; any other file
    // (the game's executable) is searched whole.
    std::string resource = ElfVersionSection(file);
    if (resource.empty()) resource.swap(file);

    std::string text;
    text.reserve(resource.size());
    for (char c : resource)
        if (c != '\0') text += c;
    // The key is put together here so that this code's own text holds no "FileVersion".
    std::string key = "File";
    key += "Version";
    const size_t at = text.find(key);
    if (at == std::string::npos) return "No info.";
    std::string value;
    for (size_t i = at + key.size(); i < text.size() && value.size() < 19; ++i) {
        const char c = text[i];
        if (!((c >= '0' && c <= '9') || c == '.' || c == ',' || c == ' ')) break;
        value += c;
    }
    return value;
}

}  // namespace vk
