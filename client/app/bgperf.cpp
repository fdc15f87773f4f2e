#include "client/app/bgperf.h"

#include <algorithm>
#include <cstdio>
#include <thread>

#include "client/core/app_box.h"
#include "platform/priority.h"

namespace vk {

namespace {

std::string TimeText(Clock& clock) {
    std::tm t = clock.localTime();
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
    return buf;
}

}  // namespace

CheckThreads::CheckThreads(ClientState& state, MainForm& main, Reactor& reactor, Processes& processes)
    : state_(state), main_(main), reactor_(reactor), processes_(processes) {
    setThreadPriority = [](bool timeCritical) {
        // Raising a thread needs the right to; without it the check simply runs at normal.
        // A thread that runs several checks goes back to where it started for a normal one.
        static thread_local const int started = ThreadNice();
        SetThreadNice(timeCritical ? -20 : started);
    };
}

CheckThreads::~CheckThreads() {
    // A thread must never outlive the state it reports into; Stop should have run already.
    std::unique_lock<std::mutex> lock(mutex_);
    stopRequested_ = true;
    if (serverCheck_) serverCheck_->cancel = true;
    nextServer_.reset();
    ended_.wait(lock, [this] { return running_ == 0; });
}

std::shared_ptr<Tbgperf> CheckThreads::Prepare(CheckKind kind) {
    auto t = std::make_shared<Tbgperf>();
    t->kind = kind;
    t->sequence = nextSequence_++;
    t->gameFolder = state_.gameFolder;
    t->params = state_.checkParams;
    t->checks = state_.checks;
    if (kind == CheckKind::Server) t->target = state_.resultList;  // cleared or preloaded by check=
    return t;
}

void CheckThreads::StartServerCheck() {
    auto t = Prepare(CheckKind::Server);
    // Time-critical, but every fourth start at normal priority.
    startCounter_ = (startCounter_ + 1) % 4;
    t->normalPriority = startCounter_ == 0;
    latestServer_ = t->sequence;
    Clock& clock = threadClock ? *threadClock : steady_;
    // Only the start at normal priority is logged.
    if (t->normalPriority) main_.Memo1.Add("starting Check: " + TimeText(clock) + " Normal priority");
    finished_ = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopRequested_) return;  // the program is ending
        if (serverCheck_) {
            // The running check stops at its next file; its thread then runs this one.
            serverCheck_->cancel = true;
            nextServer_ = t;
            return;
        }
        serverCheck_ = t;
    }
    Launch(t);
}

std::shared_ptr<Tbgperf> CheckThreads::Next(const std::shared_ptr<Tbgperf>& t) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (t->kind != CheckKind::Server) return nullptr;
    serverCheck_ = stopRequested_ ? nullptr : std::move(nextServer_);
    nextServer_.reset();
    return serverCheck_;
}

void CheckThreads::StartTerrainCheck(Dialogs& dialogs) {
    auto t = Prepare(CheckKind::Terrain);
    t->normalPriority = true;
    Clock& clock = threadClock ? *threadClock : steady_;
    main_.Memo1.Add("starting Terrain Check: " + TimeText(clock));
    ShowBox(dialogs, BoxKind::Warning,
            "VK3dSecPlayer is NOT yet ready! \rWhen TED files check is finished this Popup returns\r ( check takes approx. 20 seconds)",
            {BoxButton::Ok}, BoxButton::Ok, 20, 20);
    Launch(t);
}

bool CheckThreads::CheckFinished() {
    Adopt();
    return finished_;
}

void CheckThreads::Launch(std::shared_ptr<Tbgperf> t) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++running_;
        mostRunning_ = std::max(mostRunning_, running_);
    }
    try {
        std::thread([this, t] {
            for (auto job = t; job; job = Next(job)) Body(job);
            std::lock_guard<std::mutex> lock(mutex_);
            --running_;
            ended_.notify_all();
        }).detach();
    } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        --running_;
        if (t->kind == CheckKind::Server) serverCheck_.reset();
        ErrorReport("=>exception: Something wrong in tbgperf.execute (or higher)");
    }
}

void CheckThreads::Publish(const std::shared_ptr<Tbgperf>& t) {
    std::lock_guard<std::mutex> lock(mutex_);
    mailbox_.push_back(t);
}

void CheckThreads::Report(const std::function<void()>& fn) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopRequested_) return;
    }
    reactor_.runOnMainAndWait([this, &fn] {
        if (!stopping_) fn();
    });
}

void CheckThreads::ErrorReport(const std::string& message) {
    if (state_.verboseTrace) main_.Memo1.Add(message);
}

void CheckThreads::Body(const std::shared_ptr<Tbgperf>& t) {
    Clock& clock = threadClock ? *threadClock : steady_;
    try {
        setThreadPriority(!t->normalPriority);
        if (t->kind == CheckKind::Server) {
            t->startTick = clock.tickCount();
            bool ok = true;
            try {
                CheckFileSets(t->checks, t->gameFolder, t->params, t->target, clock, processes_, &t->cancel);
            } catch (const CheckCancelled&) {
                return;  // superseded: a newer check answers the server
            } catch (...) {
                ok = false;
            }
            t->duration = clock.tickCount() - t->startTick;
            if (!ok) {
                t->message = "=>error in cfg perf.exec";
                Report([this, t] { ErrorReport(t->message); });
                return;
            }
            Publish(t);
            Report([this, t] {
                Adopt();
                // A superseded check's end is not the end of the check the server waits for.
                if (t->sequence != latestServer_) return;
                finished_ = true;
                main_.Memo1.Add("(bg) finished set to True");
                main_.Memo1.Add(std::to_string(t->duration) + " ms / check (bg)");
            });
        } else {
            clock.sleep(500);
            bool ok = true;
            try {
                CheckFileSets(t->checks, t->gameFolder, t->params, t->target, clock, processes_);
            } catch (...) {
                ok = false;
            }
            if (!ok) {
                t->message = "=>error in fixed relfiles (excpt)";
                Report([this, t] { ErrorReport(t->message); });
                return;
            }
            Publish(t);
            Report([this] {
                Adopt();
                if (onTerrainFinished) onTerrainFinished();
            });
        }
    } catch (...) {
        t->message = "=>exception: Something wrong in tbgperf.execute (or higher)";
        try {
            Report([this, t] { ErrorReport(t->message); });
        } catch (...) {
        }
    }
}

void CheckThreads::Adopt() {
    std::vector<std::shared_ptr<Tbgperf>> done;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        done.swap(mailbox_);
    }
    for (auto& t : done) {
        if (t->kind == CheckKind::Server) {
            if (t->sequence != latestServer_) continue;  // a newer check= has replaced it
            state_.resultList = std::move(t->target);
        } else {
            state_.checks.tedResults = std::move(t->target);
        }
        state_.checks.relevantFiles = std::move(t->checks.relevantFiles);
        state_.checks.folders = t->checks.folders;
        state_.checks.lastCheckMs = t->checks.lastCheckMs;
    }
}

void CheckThreads::Stop(const std::function<void()>& pump) {
    stopping_ = true;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopRequested_ = true;
        // A server check still running stops at its next file, so quitting does not wait for it.
        if (serverCheck_) serverCheck_->cancel = true;
        nextServer_.reset();
    }
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (running_ == 0) return;
            if (!pump) {
                ended_.wait(lock, [this] { return running_ == 0; });
                return;
            }
        }
        pump();
    }
}

int CheckThreads::mostRunning() {
    std::lock_guard<std::mutex> lock(mutex_);
    return mostRunning_;
}

int CheckThreads::running() {
    std::lock_guard<std::mutex> lock(mutex_);
    return running_;
}

}  // namespace vk
