#include "platform/paths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "common/text.h"

namespace vk {

std::string GameFolderPath() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    std::string exe(buf, static_cast<size_t>(n));
    auto slash = exe.rfind('/');
    return slash == std::string::npos ? std::string("./") : exe.substr(0, slash + 1);
}

namespace {

std::vector<std::string_view> SplitComponents(std::string_view name) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = name.size();
        auto part = name.substr(start, end - start);
        if (!part.empty() && part != ".") parts.push_back(part);
        start = end + 1;
    }
    return parts;
}

// The on-disk spelling of component in folder dir: the exact name when it exists, else the
// first entry in byte order equal without regard to case; empty when there is none.
std::string MatchComponent(const std::string& dir, std::string_view component) {
    std::string exact = dir + std::string(component);
    struct stat st;
    if (lstat(exact.c_str(), &st) == 0) return std::string(component);
    DIR* d = opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return {};
    std::string best;
    while (dirent* e = readdir(d)) {
        std::string_view n(e->d_name);
        if (n == "." || n == "..") continue;
        if (EqualsNoCase(n, component) && (best.empty() || n < best)) best = std::string(n);
    }
    closedir(d);
    return best;
}

struct Split {
    std::string folder;   // OS path ending in '/'
    std::string last;     // the last component as written
};

Split ResolveFolderPart(const std::string& base, std::string_view name) {
    auto parts = SplitComponents(name);
    Split s;
    s.folder = base;
    if (!s.folder.empty() && s.folder.back() != '/') s.folder += '/';
    bool missing = false;
    // A name ending in a separator names a folder: no last component.
    bool endsInSep = !name.empty() && (name.back() == '\\' || name.back() == '/');
    size_t folderCount = endsInSep ? parts.size() : (parts.empty() ? 0 : parts.size() - 1);
    for (size_t i = 0; i < folderCount; ++i) {
        std::string on = missing || parts[i] == ".." ? std::string() : MatchComponent(s.folder, parts[i]);
        if (on.empty()) {
            missing = true;
            on = std::string(parts[i]);
        }
        s.folder += on + "/";
    }
    if (!endsInSep && !parts.empty()) s.last = std::string(parts.back());
    return s;
}

// The pattern as Windows' directory search matches it: '?' becomes DOS_QM ('>'), a '.' before
// '?' or '*' becomes DOS_DOT ('"'), and a closing "*." becomes DOS_STAR ('<').
std::string DosExpression(std::string_view p) {
    std::string q;
    for (size_t i = 0; i < p.size(); ++i) {
        const char c = p[i];
        if (c == '?') {
            q += '>';
        } else if (c == '.' && i >= 1 && i + 1 == p.size() && p[i - 1] == '*') {
            q.back() = '<';
        } else if (c == '.' && i + 1 < p.size() && (p[i + 1] == '?' || p[i + 1] == '*')) {
            q += '"';
        } else {
            q += c;
        }
    }
    return q;
}

}  // namespace

bool DirectoryNameMatch(std::string_view pattern, std::string_view name) {
    if (pattern.empty() || pattern == "*" || pattern == "*.*") return true;
    const std::string q = DosExpression(pattern);
    const size_t P = q.size();
    const size_t lastDot = name.rfind('.');
    // The set of pattern positions reached so far, run over the name once (no back-tracking, so
    // a hostile pattern costs at most pattern x name steps).
    std::vector<char> now(P + 1, 0), next(P + 1, 0);
    auto close = [&](std::vector<char>& set, size_t at) {
        const bool end = at == name.size();
        for (size_t i = 0; i < P; ++i) {
            if (!set[i]) continue;
            const char e = q[i];
            if (e == '*' || e == '<' || (e == '>' && (end || name[at] == '.')) || (e == '"' && end)) set[i + 1] = 1;
        }
    };
    now[0] = 1;
    close(now, 0);
    for (size_t at = 0; at < name.size(); ++at) {
        const char c = name[at];
        std::fill(next.begin(), next.end(), 0);
        bool any = false;
        for (size_t i = 0; i < P; ++i) {
            if (!now[i]) continue;
            const char e = q[i];
            size_t to = std::string::npos;
            if (e == '*') {
                to = i;
            } else if (e == '<') {
                to = (c == '.' && at == lastDot) ? i + 1 : i;  // runs up to and over the last '.'
            } else if (e == '>') {
                if (c != '.') to = i + 1;
            } else if (e == '"') {
                if (c == '.') to = i + 1;
            } else if (LowerAscii(e) == LowerAscii(c)) {
                to = i + 1;
            }
            if (to != std::string::npos) {
                next[to] = 1;
                any = true;
            }
        }
        if (!any) return false;
        now.swap(next);
        close(now, at + 1);
    }
    return now[P] != 0;
}

std::string ResolvePath(const std::string& base, std::string_view name) {
    Split s = ResolveFolderPart(base, name);
    if (s.last.empty()) return s.folder;
    std::string on = s.last == ".." ? std::string() : MatchComponent(s.folder, s.last);
    return s.folder + (on.empty() ? s.last : on);
}

bool PathExists(const std::string& base, std::string_view name) {
    struct stat st;
    return stat(ResolvePath(base, name).c_str(), &st) == 0;
}

std::vector<DirEntry> FindFiles(const std::string& base, std::string_view pattern) {
    std::vector<DirEntry> out;
    Split s = ResolveFolderPart(base, pattern);
    if (s.last.empty()) return out;
    const std::string& pat = s.last;
    DIR* d = opendir(s.folder.c_str());
    if (!d) return out;
    while (dirent* e = readdir(d)) {
        std::string_view n(e->d_name);
        if (n == "." || n == "..") continue;
        if (!DirectoryNameMatch(pat, n)) continue;
        struct stat st;
        std::string full = s.folder + std::string(n);
        if (stat(full.c_str(), &st) != 0) continue;  // dangling link or gone meanwhile
        DirEntry de;
        de.name = std::string(n);
        if (S_ISDIR(st.st_mode)) {
            de.attributes |= kAttrDirectory;
        } else {
            de.attributes |= kAttrArchive;
            de.size = static_cast<uint64_t>(st.st_size);
        }
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) de.attributes |= kAttrReadOnly;
        if (n.front() == '.') de.attributes |= kAttrHidden;
        out.push_back(std::move(de));
    }
    closedir(d);
    // NTFS lists a folder in upper-cased ordinal order; follow it so "the first found" agrees.
    std::sort(out.begin(), out.end(), [](const DirEntry& a, const DirEntry& b) {
        auto upper = [](std::string s) {
            for (char& c : s) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
            return s;
        };
        std::string ua = upper(a.name), ub = upper(b.name);
        return ua != ub ? ua < ub : a.name < b.name;
    });
    return out;
}

}  // namespace vk
