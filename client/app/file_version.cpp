#include "client/app/file_version.h"

#include <sys/stat.h>

#include <fstream>
#include <vector>

namespace vk {

// The client's own version record, as a Windows version resource holds it: UTF-16 text, so
// that with the zero bytes dropped it reads "FileVersion" and the number.
#define VK_W(c) c, '\0'
[[gnu::used]] extern const char kVersionRecord[] = {
    VK_W('F'), VK_W('i'), VK_W('l'), VK_W('e'), VK_W('V'), VK_W('e'), VK_W('r'), VK_W('s'), VK_W('i'), VK_W('o'),
    VK_W('n'), '\0', '\0',
#ifdef VK_FILE_VERSION_UTF16
    VK_FILE_VERSION_UTF16,
#endif
    '\0', '\0'};
#undef VK_W

std::string FileVersionText(const std::string& osPath) {
    struct stat st {};
    if (::stat(osPath.c_str(), &st) != 0) return "Not found?";
    std::ifstream in(osPath, std::ios::binary);
    if (!in) return "No info.";
    // The key is put together here so that this code's own text is not taken for a version.
    std::string key = "File";
    key += "Version";
    std::string window;  // the bytes read so far with zero bytes dropped, kept short
    std::string value;
    bool found = false;
    std::vector<char> buf(1 << 16);
    while (in) {
        in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
        const std::streamsize n = in.gcount();
        for (std::streamsize i = 0; i < n; ++i) {
            const char c = buf[static_cast<size_t>(i)];
            if (c == '\0') continue;
            if (found) {
                const bool part = (c >= '0' && c <= '9') || c == '.' || c == ',' || c == ' ';
                if (!part || value.size() >= 19) return value;
                value += c;
                continue;
            }
            window += c;
            if (window.size() > key.size()) window.erase(0, window.size() - key.size());
            if (window == key) found = true;
        }
    }
    return found ? value : "No info.";
}

}  // namespace vk
