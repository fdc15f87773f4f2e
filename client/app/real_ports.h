#pragma once
// The real shell and priority ports of the client.
#include <string>

#include "client/core/conversation_ports.h"
#include "platform/priority.h"
#include "platform/shell.h"

namespace vk {

class PosixShell final : public Shell {
public:
    int ShellExecute(const std::string& /*verb*/, const std::string& file, const std::string& params,
                     const std::string& dir) override {
        return ShellOpen(file, params, dir);
    }
};

// Priority classes as nice values: Idle 19, Normal 0, High -10, Realtime -20.
int NiceValue(PriorityClass c);
std::string PriorityName(PriorityClass c);

class NicePriority final : public ProcessPriority {
public:
    std::string SetPriorityClass(PriorityClass c) override;
};

}  // namespace vk
