#pragma once
// The wildcard match of file checks, the process scan and the error lookup: a pattern of
// exactly "*" matches everything; '*' matches any run of characters, '?' any one character,
// every other character itself; the whole text must be consumed.
#include <string_view>

namespace vk {

// Case-sensitive, as the archive members and module paths are matched.
bool WildcardMatch(std::string_view pattern, std::string_view text);

// The same with ASCII letters compared without regard to case. (Directory searches follow the
// Windows rules instead: DirectoryNameMatch in platform/paths.h.)
bool WildcardMatchNoCase(std::string_view pattern, std::string_view text);

}  // namespace vk
