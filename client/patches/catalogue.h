#pragma once
// The on-disk model of patches: the four patch areas of the game's data folder, patch folders,
// FM/DM classification, activation markers, the catalogue and the running-game probe. Every
// path is built absolute from the game folder, so nothing here depends on the working directory.
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "client/core/sorted_list.h"
#include "platform/clock.h"
#include "platform/processes.h"

namespace vk {

struct PatchArea {
    const char* item;  // the setdir item
    const char* folder;
    const char* hint;
};
inline constexpr int kAreaCount = 4;
extern const PatchArea kPatchAreas[kAreaCount];

// OS path of a patch area (index 0..3) with a trailing '/', resolved case-insensitively below
// the game folder (OS path ending in '/').
std::string AreaPath(const std::string& gameFolder, int index);
// OS path of the game's data folder with a trailing '/'.
std::string DataPath(const std::string& gameFolder);

// A folder is an FM/DM patch when it holds fmparam?.dat, acspec*.dat, ??damage.dat or wingj*.dat.
bool IsFmDmPatch(const std::string& folderOs);
inline const char* MarkerExtension(bool fmdm) { return fmdm ? ".act" : ".abp"; }

// A patch folder of an area: name not starting with '.', plain directory (no other attribute),
// no notapatch.txt inside.
bool IsPatchFolder(const std::string& areaOs, const std::string& name, uint32_t attributes);

// The patch folders of an area whose classification equals fmdm, sorted, without duplicates.
SortedList BuildCatalogue(const std::string& areaOs, bool fmdm);
// Every patch folder of an area (any classification), sorted, without duplicates.
SortedList PatchFolders(const std::string& areaOs);

// Appends the lower-cased names of the files in folderOs matching pattern (names not starting
// with '.', regular files only), in the order the search returns them.
void GatherNames(const std::string& folderOs, const std::string& pattern, std::vector<std::string>& out);

// The multiplayer game holds data\vk.vol and data\vkshell.vol open while it runs; a missing
// archive reads as running too.
bool VolkarRunning(const std::string& gameFolder, Processes& processes);

// True when the patch folder holds *.vol or *.ted entries.
bool HasVolOrTed(const std::string& folderOs);

// "yyyy-mm-dd_hh-mm-ss." + tick count mod 1000 without leading zeros.
std::string PatchTimestamp(Clock& clock);

// A name from a file list or a marker may only name something below the folder it is joined
// to: no absolute path, drive letter, ".." component or control character.
bool IsSafeListName(const std::string& name);

}  // namespace vk
