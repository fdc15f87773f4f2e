#pragma once
// The capture loop's steps, reachable one by one for tests.
#include "monitor/monitor.h"

namespace vkst {

// The once-a-second block timer and the timed close.
void timerStep(Monitor& m);
// One console key, as the loop reads it.
void handleKey(Monitor& m, int key);
void printPlayerList(Monitor& m);
// Set by SIGINT, SIGTERM and SIGHUP while runMonitor has its handlers installed.
bool stopSignalled();

}  // namespace vkst
