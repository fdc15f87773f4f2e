#pragma once
// Process and thread priority as nice values: the process value applies to every thread of
// the process (Linux keeps one per thread).
namespace vk {

// Sets the nice value of every thread of this process; false when any of them refused.
bool SetProcessNice(int nice);
// Sets the nice value of the calling thread only.
bool SetThreadNice(int nice);
// The nice value of the calling thread.
int ThreadNice();

}  // namespace vk
