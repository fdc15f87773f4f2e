#include "client/servers/meta_reply.h"

#include <cstdint>

namespace vk {

namespace {

void Put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

}  // namespace

std::string MetaRequest(std::string_view directory) {
    std::string body;
    Put32(body, 30);
    Put32(body, 2);
    const size_t n = directory.size();
    body.push_back(static_cast<char>(n & 0xFF));
    body.push_back(static_cast<char>((n >> 8) & 0xFF));
    for (char c : directory) {
        body.push_back(c);
        body.push_back('\0');
    }
    body.push_back('\x01');
    std::string out;
    Put32(out, static_cast<uint32_t>(body.size() + 4));
    return out + body;
}

bool ReadMetaText(const unsigned char* buf, size_t size, size_t& pos, std::string& text) {
    text.clear();
    if (pos >= size || size - pos < 2) return false;
    const size_t units = buf[pos];
    const size_t first = pos + 1;            // the count's high byte, then the units
    const size_t last = pos + 2 + 2 * units;  // one past the text
    if (last > size) return false;
    for (size_t i = first; i < last; ++i)
        if (buf[i] >= 0x20) text.push_back(static_cast<char>(buf[i]));
    pos = last;
    return true;
}

bool ParseMetaEntry(const unsigned char* buf, size_t size, size_t& pos, std::string& entry) {
    entry.clear();
    size_t p = pos + 1;  // past the 'S'
    std::string first, second, third, fourth;
    if (!ReadMetaText(buf, size, p, first) || !ReadMetaText(buf, size, p, second) ||
        !ReadMetaText(buf, size, p, third))
        return false;
    if (size - p < 30) return false;
    p += 30;
    if (!ReadMetaText(buf, size, p, fourth)) return false;
    if (size - p < 2) return false;
    p += 2;

    std::string result;
    std::string previous;
    auto append = [&](const std::string& text) {
        const std::string part = " |__| " + text;
        if (part != previous) result += part;
        previous = part;
    };
    append(first);
    const size_t cut = result.find("II/");
    result.erase(0, cut == std::string::npos ? 2 : cut + 3);
    append(second);
    append(fourth);
    if (result.size() > 255) result.resize(255);
    entry = std::move(result);
    pos = p;
    return true;
}

MetaReply ParseMetaReply(std::string_view reply) {
    MetaReply out;
    // The reply as it sits in the zero-filled read-back buffer.
    std::string buffer(kMetaBufferSize, '\0');
    const size_t fileSize = reply.size() < kMetaBufferSize ? reply.size() : kMetaBufferSize;
    buffer.replace(0, fileSize, reply.substr(0, fileSize));
    const auto* buf = reinterpret_cast<const unsigned char*>(buffer.data());

    size_t pos = 0;
    while (pos < fileSize) {
        while (pos < kMetaSearchLimit && buf[pos] != 'S') ++pos;
        if (pos >= kMetaSearchLimit) break;  // nothing past the limit is read as an entry
        while (pos < kMetaBufferSize && buf[pos] == 'S') {
            std::string entry;
            if (!ParseMetaEntry(buf, kMetaBufferSize, pos, entry)) {
                out.badEntry = true;
                return out;
            }
            out.entries.push_back(std::move(entry));
        }
    }
    return out;
}

}  // namespace vk
