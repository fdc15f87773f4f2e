#pragma once
// Plain list files of the client (one entry a line, CR LF line ends), read and written whole.
#include <string>
#include <vector>

#include "client/core/sorted_list.h"

namespace vk {

// The lines of a text file, each without its LF or CR LF; none when it cannot be read.
std::vector<std::string> ReadLines(const std::string& osPath);

// Adds every line of the file to list (the list sorts and drops duplicates); false when the
// file cannot be read. Lines may end in CR LF or LF alone.
bool LoadListFile(const std::string& osPath, SortedList& list);

// Writes the entries, each followed by CR LF. The new text goes to a temporary file beside the
// old one, which it replaces only once it is complete, so a failed write never costs the list.
bool SaveListFile(const std::string& osPath, const SortedList& list);

}  // namespace vk
