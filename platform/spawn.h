#pragma once
// Starting other programs without a shell.
#include <string>
#include <vector>

namespace vk {

// Runs argv[0] (searched in PATH) with the arguments, waits for it, and returns its exit
// status, or -1 when it could not be started or did not exit normally. The child's output
// goes to our standard streams.
int runProgram(const std::vector<std::string>& argv);

// "open" as the shell does it: a .bat/.sh file runs through /bin/sh, anything else is executed.
// Does not wait. Returns a value above 32 on success, 2 when the file is missing, 5 when it
// cannot be started. `dir` is the folder the child starts in ("" = ours).
int shellOpen(const std::string& file, const std::string& dir);

}  // namespace vk
