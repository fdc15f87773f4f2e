#include "client/core/sync_check_runner.h"

#include <cstdio>

namespace vk {

void SyncCheckRunner::StartServerCheck() {
    // Every fourth check runs at normal priority, the others time-critical; the log says so.
    startCounter_ = (startCounter_ + 1) % 4;
    std::tm t = clock_.localTime();
    char when[16];
    std::snprintf(when, sizeof when, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
    if (startCounter_ == 0) main_.Memo1.Add(std::string("starting Check: ") + when + " Normal priority");
    finished_ = false;

    Report r;
    const uint32_t start = clock_.tickCount();
    try {
        CheckFileSets(state_.checks, state_.gameFolder, state_.checkParams, state_.resultList, clock_, processes_);
    } catch (...) {
        r.failed = true;
    }
    r.durationMs = clock_.tickCount() - start;
    pending_.push_back(r);
}

void SyncCheckRunner::DeliverReports() {
    std::vector<Report> reports;
    reports.swap(pending_);
    for (const Report& r : reports) {
        if (r.failed) {
            if (state_.verboseTrace) main_.Memo1.Add("=>error in cfg perf.exec");
            continue;
        }
        finished_ = true;
        main_.Memo1.Add("(bg) finished set to True");
        main_.Memo1.Add(std::to_string(r.durationMs) + " ms / check (bg)");
    }
}

}  // namespace vk
