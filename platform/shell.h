#pragma once
// The shell's "open" on Linux: programs are spawned, batch files run through /bin/sh,
// addresses and documents go to xdg-open. Nothing waits for the child; a reaper collects it.
#include <string>

namespace vk {

// file: an address ("scheme://..."), or a path (absolute, or relative to dir). params are
// split at blanks. dir: the child's working folder ("" = ours). Returns a value above 32 on
// success, 2 when the file does not exist, 5 when it cannot be started, as the platform's
// call does.
int ShellOpen(const std::string& file, const std::string& params, const std::string& dir);

}  // namespace vk
