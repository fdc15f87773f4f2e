#include "client/headless/headless.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <functional>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "client/app/form1.h"
#include "client/headless/control_language.h"
#include "client/headless/printer.h"
#include "platform/priority.h"
#include "platform/shell.h"
#include "common/text.h"
#include "platform/poll_reactor.h"

namespace vk {

namespace {

std::atomic<bool> g_closeRequested{false};

void OnSignal(int) { g_closeRequested = true; }

class ConsoleDialogs final : public Dialogs {
public:
    BoxButton show(const BoxRequest& box) override {
        if (beforeShow) beforeShow();
        BoxButton answer = box.defaultButton;
        if (!answers.empty()) {
            // A queued answer the box does not offer is used up all the same: the script
            // meant it for this box.
            const BoxButton queued = answers.front();
            answers.pop_front();
            for (BoxButton b : box.buttons)
                if (b == queued) answer = queued;
        }
        std::cout << "[box] " << EscapeLine(box.text) << " -> " << ButtonName(answer) << std::endl;
        return answer;
    }
    std::function<void()> beforeShow;
    std::deque<BoxButton> answers;
};

// The words of the first console, kept as shorthands: each does what its menu item or
// button does (without asking whether the item is enabled, as they always did).
bool Shorthand(TForm1& app, const std::string& cmd, const std::string& arg) {
    auto fire = [&](FormId form, const char* component, Event e) {
        const WindowDef& w = app.window(form);
        if (const auto* h = w.handler(component, e); h && *h) app.windows.run(*h);
    };
    if (cmd == "listen") fire(FormId::Main, "Mlisten", Event::Click);
    else if (cmd == "close") fire(FormId::Main, "Mclose", Event::Click);
    else if (cmd == "cancel") fire(FormId::Main, "MCancellisten", Event::Click);
    else if (cmd == "connect") {
        if (!arg.empty()) app.Form1.IPAddr.text = arg;
        app.windows.run([&] { app.ConnectClick(); });
    } else if (cmd == "quit") fire(FormId::Main, "Mquit", Event::Click);
    else if (cmd == "exit") app.windows.close(app.window(FormId::Main), true);
    else if (cmd == "about") fire(FormId::Main, "mabout", Event::Click);
    else if (cmd == "showcfg") fire(FormId::Main, "Mshowconfig", Event::Click);
    else if (cmd == "errors") fire(FormId::Main, "Mshowerrors", Event::Click);
    else if (cmd == "serverinfo") fire(FormId::Main, "MServerinfo", Event::Click);
    else if (cmd == "blocked") fire(FormId::Main, "Mblockedservers", Event::Click);
    else if (cmd == "toggle") {
        if (!arg.empty()) app.blockedIPs.servip.text = arg;
        fire(FormId::BlockedIPs, "blockserv", Event::Click);
    } else if (cmd == "unblock") {
        app.blockedIPs.srvlist.itemIndex = arg.empty() ? -1 : std::atoi(arg.c_str());
        fire(FormId::BlockedIPs, "Unblockip", Event::Click);
    } else if (cmd == "priority") {
        app.Form1.priolist.itemIndex = std::atoi(arg.c_str());
        fire(FormId::Main, "priolist", Event::Change);
    } else if (cmd == "bgcheck") {
        app.Form1.bgcheck.checked = arg != "off";
        fire(FormId::Main, "bgcheck", Event::Click);
    } else if (cmd == "clear") fire(FormId::Main, "Button4", Event::Click);
    else return false;
    return true;
}

// Reads standard input without waiting and runs each complete line; a `wait` holds the
// following lines back until its time is up, while events go on being served.
class ConsoleInput {
public:
    ConsoleInput(TForm1& app, ControlLanguage& language, Printer& printer, Clock& clock)
        : app_(app), language_(language), printer_(printer), clock_(clock) {}

    void poll() {
        if (!eof_) {
            pollfd p{0, POLLIN, 0};
            while (::poll(&p, 1, 0) > 0 && (p.revents & (POLLIN | POLLHUP))) {
                char buf[512];
                const ssize_t n = ::read(0, buf, sizeof buf);
                if (n <= 0) {
                    eof_ = true;
                    break;
                }
                pending_.append(buf, static_cast<size_t>(n));
                if (pending_.size() > 65536 && pending_.find('\n') == std::string::npos) pending_.clear();
            }
        }
        if (waiting_) {
            if (static_cast<int32_t>(clock_.tickCount() - waitEnd_) < 0) return;
            waiting_ = false;
            complete("= ok");
        }
        size_t nl;
        while (!waiting_ && (nl = pending_.find('\n')) != std::string::npos && !app_.terminated) {
            std::string line = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            run(line);
        }
    }

private:
    void complete(const std::string& line) {
        app_.windows.sync(true);
        printer_.print();
        std::cout << line << std::endl;
    }

    void run(const std::string& line) {
        std::istringstream in(line);
        std::string cmd, arg;
        in >> cmd;
        std::getline(in >> std::ws, arg);
        if (cmd.empty()) return;
        std::cout << "> " << EscapeLine(line) << std::endl;
        if (Shorthand(app_, cmd, arg)) {
            complete("= ok");
            return;
        }
        const ControlLanguage::Result r = language_.run(line);
        if (r.waitMs >= 0) {
            waiting_ = true;
            waitEnd_ = clock_.tickCount() + static_cast<uint32_t>(r.waitMs);
            return;
        }
        complete(r.completion);
    }

    TForm1& app_;
    ControlLanguage& language_;
    Printer& printer_;
    Clock& clock_;
    std::string pending_;
    bool eof_ = false;
    bool waiting_ = false;
    uint32_t waitEnd_ = 0;
};

}  // namespace

int RunHeadless(int /*argc*/, char** /*argv*/) {
    PollReactor reactor;
    ConsoleDialogs dialogs;
    SteadyClock clock;
    PosixShell shell;
    ProcProcesses processes;
    NicePriority priority;
    RouterPortMapper mapper;
    TForm1 app(AppPorts{reactor, dialogs, clock, shell, processes, priority, NameResolver::system(), "", &mapper});
    Printer printer(app.windows, std::cout);
    bool printing = false;  // nothing is printed before the windows are being created
    dialogs.beforeShow = [&] {
        if (printing) printer.print();
    };
    // A handler that fails is reported in a box, as the windowed program does, and the
    // program goes on.
    app.windows.run = [&](const std::function<void()>& h) {
        try {
            h();
        } catch (const std::exception& e) {
            ShowBox(dialogs, BoxKind::Error, e.what());
        } catch (...) {
            ShowBox(dialogs, BoxKind::Error, "unknown failure");
        }
    };

    std::cout << "WDNplyr (headless): game folder " << app.gameFolder() << std::endl;
    try {
        if (!app.Startup()) {
            std::cout << "WDNplyr: ended (exit status " << app.exitCode << ")" << std::endl;
            return app.exitCode;
        }
        struct sigaction sa {};
        sa.sa_handler = OnSignal;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, nullptr);
        sigaction(SIGTERM, &sa, nullptr);
        sigaction(SIGHUP, &sa, nullptr);

        printing = true;
        app.CreateWindows([&](FormId) { printer.print(); });
        if (!app.terminated) app.windows.sync(true);
        printer.print();
    } catch (...) {
        ShowBox(dialogs, BoxKind::Error, "Something definitely wrong...");
        app.Shutdown([&] { reactor.processEvents(50); });
        std::cout << "WDNplyr: ended (exit status 1)" << std::endl;
        return 1;
    }

    ControlLanguage language(app.windows, dialogs.answers);
    ConsoleInput input(app, language, printer, clock);
    const Reactor::TimerId timer = reactor.startTimer(20, [&] {
        if (g_closeRequested.exchange(false)) app.windows.close(app.window(FormId::Main), true);
        if (!app.terminated) input.poll();
    });
    while (!app.terminated) {
        reactor.processEvents(200);
        app.windows.sync(true);
        printer.print();
    }
    reactor.stopTimer(timer);
    app.Shutdown([&] { reactor.processEvents(50); });
    printer.print();
    std::cout << "WDNplyr: ended (exit status " << app.exitCode << ")" << std::endl;
    return app.exitCode;
}

}  // namespace vk
