#include "client/patches/catalogue.h"

#include <cstdio>

#include "common/text.h"
#include "platform/paths.h"

namespace vk {

const PatchArea kPatchAreas[kAreaCount] = {
    {"data\\multi", "multi", "for MMP only"},
    {"data\\simpatch", "simpatch", "for SP and MMP"},
    {"data\\shellpat", "shellpat", "for SP only, but data\\simpatch overrules"},
    {"data\\3dpatch", "3dpatch", "for 3dFX Glide or openGLide only, not for DirectDraw users"},
};

std::string AreaPath(const std::string& gameFolder, int index) {
    if (index < 0 || index >= kAreaCount) index = 0;
    std::string p = ResolvePath(gameFolder, kPatchAreas[index].item);
    if (p.empty() || p.back() != '/') p += '/';
    return p;
}

std::string DataPath(const std::string& gameFolder) {
    std::string p = ResolvePath(gameFolder, "data");
    if (p.empty() || p.back() != '/') p += '/';
    return p;
}

bool IsFmDmPatch(const std::string& folderOs) {
    std::string base = folderOs;
    if (base.empty() || base.back() != '/') base += '/';
    for (const char* pattern : {"fmparam?.dat", "acspec*.dat", "??damage.dat", "wingj*.dat"})
        if (!FindFiles(base, pattern).empty()) return true;
    return false;
}

bool IsPatchFolder(const std::string& areaOs, const std::string& name, uint32_t attributes) {
    if (name.empty() || name[0] == '.') return false;
    if (attributes != kAttrDirectory) return false;
    return !PathExists(areaOs + name + "/", "notapatch.txt");
}

SortedList PatchFolders(const std::string& areaOs) {
    SortedList out;
    for (const auto& e : FindFiles(areaOs, "*"))
        if (IsPatchFolder(areaOs, e.name, e.attributes)) out.add(e.name);
    return out;
}

SortedList BuildCatalogue(const std::string& areaOs, bool fmdm) {
    SortedList out;
    for (const auto& name : PatchFolders(areaOs))
        if (IsFmDmPatch(areaOs + name) == fmdm) out.add(name);
    return out;
}

void GatherNames(const std::string& folderOs, const std::string& pattern, std::vector<std::string>& out) {
    std::string base = folderOs;
    if (base.empty() || base.back() != '/') base += '/';
    for (const auto& e : FindFiles(base, pattern)) {
        if (e.name.empty() || e.name[0] == '.') continue;
        if (e.attributes < kAttrArchive) continue;
        out.push_back(LowerAscii(e.name));
    }
}

bool VolkarRunning(const std::string& gameFolder, Processes& processes) {
    // Windows refuses to rename an archive the game holds open; on Linux the holder is looked
    // up directly, so the probe never renames the game's main archive (a crash between the
    // rename and the rename back would leave the game without it).
    const std::string data = DataPath(gameFolder);
    for (const char* name : {"vk.vol", "vkshell.vol"}) {
        if (!PathExists(data, name)) return true;
        if (processes.heldByOther(ResolvePath(data, name))) return true;
    }
    return false;
}

bool HasVolOrTed(const std::string& folderOs) {
    std::string base = folderOs;
    if (base.empty() || base.back() != '/') base += '/';
    return !FindFiles(base, "*.vol").empty() || !FindFiles(base, "*.ted").empty();
}

std::string PatchTimestamp(Clock& clock) {
    const std::tm t = clock.localTime();
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d_%02d-%02d-%02d.%u", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec, static_cast<unsigned>(clock.tickCount() % 1000));
    return buf;
}

bool IsSafeListName(const std::string& name) {
    if (name.empty()) return false;
    if (name[0] == '\\' || name[0] == '/') return false;
    if (name.size() >= 2 && name[1] == ':') return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("\\/", start);
        if (end == std::string::npos) end = name.size();
        std::string_view part(name.data() + start, end - start);
        // Windows drops trailing dots and blanks, so "..." or ".. " still climbs a level.
        size_t keep = part.find_last_not_of(". ");
        if (!part.empty() && keep == std::string_view::npos && part.find('.') != std::string_view::npos &&
            part != ".")
            return false;
        start = end + 1;
    }
    return true;
}

}  // namespace vk
