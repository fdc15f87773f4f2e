#pragma once
// A file name that a server sends must stay inside the game folder.
#include <string_view>

namespace vk {

// False for names that could reach outside the game folder: an absolute path (leading '\' or
// '/'), a drive letter or any other ':' , a ".." component with either separator, or a zero
// byte. Such names are refused like the outside-folder lists: nothing is checked, read,
// created or deleted. The empty name passes (it names no file).
bool StaysInGameFolder(std::string_view name);

}  // namespace vk
