#pragma once
// The check thread (Tbgperf): one std::thread per check, reporting back on the main thread
// through the Reactor's run-and-wait call. At most one server check runs: a newer check=
// cancels the running one, which stops at its next file, and the same thread then runs the
// newest check asked for; checks asked for meanwhile and superseded never run.
//
// Hand-over instead of shared lists: a thread works on its own copies of the check parameters,
// the check state and the target list, taken on the main thread when it starts. When it ends it
// publishes its lists in a mailbox (under a mutex) and the main thread adopts them at its next
// safe point: each poll of the completion flag during the conversation's wait, the start of each
// data event, and the report itself. The lists the conversation reads are therefore only ever
// touched by the main thread. A server check that a later one has superseded is not adopted,
// so an old result never overwrites the answer to the newest check=.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "client/core/client_state.h"
#include "client/core/conversation_ports.h"
#include "client/core/main_form.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/processes.h"
#include "platform/reactor.h"

namespace vk {

enum class CheckKind { Server, Terrain };

// One check thread's own data.
struct Tbgperf {
    CheckKind kind = CheckKind::Server;
    std::string message;     // text of the last error
    uint32_t startTick = 0;  // server check: tick count at its start
    uint32_t duration = 0;   // server check: milliseconds
    bool normalPriority = false;
    uint64_t sequence = 0;
    std::atomic<bool> cancel{false};  // set when a newer check supersedes this one
    // Copies taken at the start; the thread writes only these.
    std::string gameFolder;
    CheckParams params;
    FileCheckState checks;
    SortedList target;
};

class CheckThreads final : public CheckRunner {
public:
    CheckThreads(ClientState& state, MainForm& main, Reactor& reactor, Processes& processes);
    ~CheckThreads() override;
    CheckThreads(const CheckThreads&) = delete;
    CheckThreads& operator=(const CheckThreads&) = delete;

    // Main thread only.
    void StartServerCheck() override;
    bool CheckFinished() override;
    void ClearCheckFinished() override { finished_ = false; }
    // Shows the "NOT yet ready" box; the thread starts once it is closed.
    void StartTerrainCheck(Dialogs& dialogs);
    // Takes over the lists of the checks that have ended.
    void Adopt();
    // From now on no report runs; returns once every thread has ended. pump serves the main
    // thread's queue once (threads may be waiting in a report).
    void Stop(const std::function<void()>& pump);
    int running();
    // The most check threads that ran at once so far.
    int mostRunning();
    int startCounter() const { return startCounter_; }

    // The Ready transition, run by the terrain check's report.
    std::function<void()> onTerrainFinished;
    // Sets the calling thread's priority: time-critical (true) or normal. Tests replace it.
    std::function<void(bool timeCritical)> setThreadPriority;
    // The clock the threads use for their pause and their durations.
    Clock* threadClock = nullptr;

private:
    void Launch(std::shared_ptr<Tbgperf> t);
    // The server check to run after t on the same thread, or none.
    std::shared_ptr<Tbgperf> Next(const std::shared_ptr<Tbgperf>& t);
    void Body(const std::shared_ptr<Tbgperf>& t);
    void Report(const std::function<void()>& fn);
    void ErrorReport(const std::string& message);
    void Publish(const std::shared_ptr<Tbgperf>& t);
    std::shared_ptr<Tbgperf> Prepare(CheckKind kind);

    ClientState& state_;
    MainForm& main_;
    Reactor& reactor_;
    Processes& processes_;
    SteadyClock steady_;

    bool finished_ = false;  // the check-completion flag
    int startCounter_ = 0;
    uint64_t nextSequence_ = 1;
    uint64_t latestServer_ = 0;
    bool stopping_ = false;  // main thread

    std::mutex mutex_;
    std::condition_variable ended_;
    int running_ = 0;
    int mostRunning_ = 0;
    std::shared_ptr<Tbgperf> serverCheck_;   // the server check running now
    std::shared_ptr<Tbgperf> nextServer_;    // the newest one asked for while it runs
    bool stopRequested_ = false;  // under mutex_: threads no longer report
    std::vector<std::shared_ptr<Tbgperf>> mailbox_;
};

}  // namespace vk
