#include "client/app/real_ports.h"

namespace vk {

int NiceValue(PriorityClass c) {
    switch (c) {
    case PriorityClass::Idle: return 19;
    case PriorityClass::High: return -10;
    case PriorityClass::Realtime: return -20;
    case PriorityClass::Normal: break;
    }
    return 0;
}

std::string PriorityName(PriorityClass c) {
    switch (c) {
    case PriorityClass::Idle: return "Idle";
    case PriorityClass::High: return "High";
    case PriorityClass::Realtime: return "Realtime";
    case PriorityClass::Normal: break;
    }
    return "Normal";
}

std::string NicePriority::SetPriorityClass(PriorityClass c) {
    return (SetProcessNice(NiceValue(c)) ? "Chged priority to " : "Error chging priority to ") + PriorityName(c);
}

}  // namespace vk
