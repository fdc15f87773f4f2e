#include "client/servers/mplayer_ini.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "client/servers/address_text.h"
#include "common/text.h"

namespace vk {

bool LoadIniLines(const std::string& osPath, std::vector<std::string>& lines, std::string& error) {
    lines.clear();
    std::ifstream in(osPath, std::ios::binary);
    if (!in) {
        error = std::strerror(errno);
        return false;
    }
    std::ostringstream all;
    all << in.rdbuf();
    if (in.bad()) {
        error = "read error";
        return false;
    }
    lines = SplitLines(all.str());
    return true;
}

bool SaveIniLines(const std::string& osPath, const std::vector<std::string>& lines, std::string& error) {
    // A read-only file stays as it is, as writing it in place would: the rename would not ask.
    struct stat old{};
    const bool exists = ::stat(osPath.c_str(), &old) == 0;
    if (exists && (old.st_mode & S_IWUSR) == 0) {
        error = std::strerror(EACCES);
        return false;
    }
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";

    const size_t slash = osPath.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : osPath.substr(0, slash);
    std::string temp = folder + "/.mplayer.ini.XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    auto fail = [&](int e) {
        error = std::strerror(e);
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    };
    ::fchmod(fd, exists ? (old.st_mode & 07777) : 0644);
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) return fail(errno);
    if (::close(fd) != 0) {
        error = std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), osPath.c_str()) != 0) {
        error = std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

int FindMetaHeader(const std::vector<std::string>& lines) {
    for (size_t i = 0; i < lines.size(); ++i)
        if (Contains(LowerAscii(lines[i]), "[metaservers]")) return static_cast<int>(i);
    return -1;
}

int FindKnownHeader(const std::vector<std::string>& lines) {
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].rfind("[KnownServers]", 0) == 0) return static_cast<int>(i);
    return -1;
}

bool UsingMetaServers(const std::vector<std::string>& lines) {
    const int h = FindMetaHeader(lines);
    return h >= 0 && static_cast<size_t>(h) + 1 < lines.size() && StartsWithNoCase(lines[static_cast<size_t>(h) + 1], "server=");
}

void SetMetaServerLines(std::vector<std::string>& lines, int header, bool meta, const std::string& first,
                        const std::string& second) {
    if (header < 0 || static_cast<size_t>(header) >= lines.size()) return;
    const auto at = lines.begin() + header + 1;
    auto end = at;
    while (end != lines.end() && Contains(LowerAscii(*end), "server=")) ++end;
    const auto pos = lines.erase(at, end);
    if (meta) lines.insert(pos, {first, second});
}

std::string MetaServerLine(const std::string& server) { return "Server=TCP:" + server + ":6001"; }

std::vector<std::string> KnownServerEntries(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const auto& line : lines) {
        const std::string lower = LowerAscii(line);
        if (Contains(lower, "udp:")) out.push_back("\xFE" "Known server = " + lower);
    }
    return out;
}

bool SplitServerLine(const std::string& line, std::string& address, std::string& name) {
    static const std::string sep = "|__|";
    const size_t last = line.rfind(sep);
    if (last == std::string::npos) return false;
    address = line.substr(last + sep.size());
    size_t nameStart = 0;
    if (last > 0) {
        const size_t before = line.rfind(sep, last - 1);
        if (before != std::string::npos) nameStart = before + sep.size();
    }
    size_t nameEnd = last;
    if (nameEnd > nameStart && line[nameEnd - 1] == ' ') --nameEnd;
    name = line.substr(nameStart, nameEnd - nameStart);
    return true;
}

bool IsUdpAddressPart(const std::string& address) {
    if (address.rfind(" UDP:", 0) != 0) return false;
    const std::string rest = address.substr(5);
    const size_t colon = rest.rfind(':');
    if (colon == std::string::npos) return false;
    return IsDottedIPv4(rest.substr(0, colon)) && ParsePortText(rest.substr(colon + 1)) > 0;
}

}  // namespace vk
