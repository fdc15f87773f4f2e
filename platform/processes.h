#pragma once
// The Processes port: the running processes, the files each has loaded, and who holds a file
// open. The real one reads /proc; FixedProcesses answers from tables set by a test.
#include <string>
#include <vector>

namespace vk {

struct ProcessInfo {
    int pid = 0;
    std::vector<std::string> modules;  // full OS paths: the executable, then mapped files
};

class Processes {
public:
    virtual ~Processes() = default;
    // A snapshot of the processes whose modules can be read (others are left out).
    virtual std::vector<ProcessInfo> list() = 0;
    // True when a process other than this one has the file open (so Windows would refuse to
    // rename it).
    virtual bool heldByOther(const std::string& osPath) = 0;
};

// /proc/PID/exe and the file-backed mappings of /proc/PID/maps; /proc/PID/fd for heldByOther.
class ProcProcesses final : public Processes {
public:
    std::vector<ProcessInfo> list() override;
    bool heldByOther(const std::string& osPath) override;
};

class FixedProcesses final : public Processes {
public:
    std::vector<ProcessInfo> list() override { return table; }
    bool heldByOther(const std::string& osPath) override {
        for (const auto& h : held)
            if (h == osPath) return true;
        return false;
    }
    std::vector<ProcessInfo> table;
    std::vector<std::string> held;  // OS paths that "another program" holds open
};

}  // namespace vk
