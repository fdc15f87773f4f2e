#pragma once
// Process and thread priority as nice values: the process value applies to every thread of
// the process (Linux keeps one per thread).
#include <cstdint>
#include <string>

namespace vk {

// The four process priority classes and the operation that sets one.
enum class PriorityClass : uint32_t { Idle = 0x40, Normal = 0x20, High = 0x80, Realtime = 0x100 };

class ProcessPriority {
public:
    virtual ~ProcessPriority() = default;
    // Sets the class of the whole process; returns "Chged priority to High" or
    // "Error chging priority to High" (and so on for the other classes).
    virtual std::string SetPriorityClass(PriorityClass c) = 0;
};

// Priority classes as nice values: Idle 19, Normal 0, High -10, Realtime -20.
int NiceValue(PriorityClass c);
std::string PriorityName(PriorityClass c);

class NicePriority final : public ProcessPriority {
public:
    std::string SetPriorityClass(PriorityClass c) override;
};

// Sets the nice value of every thread of this process; false when any of them refused.
bool SetProcessNice(int nice);
// Sets the nice value of the calling thread only.
bool SetThreadNice(int nice);
// The nice value of the calling thread.
int ThreadNice();

}  // namespace vk
