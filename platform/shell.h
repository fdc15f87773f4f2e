#pragma once
// The Shell port, and the shell's "open" on Linux: programs are spawned, batch files run through /bin/sh,
// addresses and documents go to xdg-open. Nothing waits for the child; a reaper collects it.
#include <string>

namespace vk {

// Shell execution of a document or address.
class Shell {
public:
    virtual ~Shell() = default;
    // verb "open"; returns a value above 32 on success, as the platform's call does.
    virtual int ShellExecute(const std::string& verb, const std::string& file,
                             const std::string& params, const std::string& dir) = 0;
};

// file: an address ("scheme://..."), or a path (absolute, or relative to dir); a Windows program
// ("MZ") runs through the first wine of PATH (11, bad format, without one). params are
// split at blanks. dir: the child's working folder ("" = ours). Returns a value above 32 on
// success, 2 when the file does not exist, 5 when it cannot be started, as the platform's
// call does.
int ShellOpen(const std::string& file, const std::string& params, const std::string& dir);

// The real Shell port.
class PosixShell final : public Shell {
public:
    int ShellExecute(const std::string& /*verb*/, const std::string& file, const std::string& params,
                     const std::string& dir) override {
        return ShellOpen(file, params, dir);
    }
};

}  // namespace vk
