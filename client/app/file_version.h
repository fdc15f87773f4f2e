#pragma once
// The version text of a file, as the About box shows it.
#include <string>

namespace vk {

// "Not found?" when the file does not exist; otherwise the characters after the first
// "FileVersion" of the file's bytes (zero bytes dropped) while they are digits, '.', ',' or
// blanks, at most 19; "No info." when the file holds no version.
std::string FileVersionText(const std::string& osPath);

// The same for the bytes of a file that exists: "No info." or the version text. A program of
// this project keeps its record in the ELF section ".vkversion", which is searched alone.
std::string FileVersionOfBytes(std::string bytes);

}  // namespace vk
