#pragma once
// A server-check runner without a thread: the check runs at once in the calling (main) thread,
// and its report waits, as a check thread's report does, until the main thread serves its
// messages again (DeliverReports). The conversation's 3.5 s wait therefore never sees the
// completion flag set, exactly as with the thread.
#include <cstdint>
#include <string>
#include <vector>

#include "client/core/client_state.h"
#include "client/core/conversation_ports.h"
#include "client/core/main_form.h"
#include "platform/clock.h"
#include "platform/processes.h"

namespace vk {

class SyncCheckRunner final : public CheckRunner {
public:
    SyncCheckRunner(ClientState& state, MainForm& main, Clock& clock, Processes& processes)
        : state_(state), main_(main), clock_(clock), processes_(processes) {}

    void StartServerCheck() override;
    bool CheckFinished() override { return finished_; }
    void ClearCheckFinished() override { finished_ = false; }

    // Runs the reports of the checks that ended since the last call.
    void DeliverReports();

private:
    struct Report {
        bool failed = false;
        uint32_t durationMs = 0;
    };
    ClientState& state_;
    MainForm& main_;
    Clock& clock_;
    Processes& processes_;
    bool finished_ = false;
    int startCounter_ = 0;
    std::vector<Report> pending_;
};

}  // namespace vk
