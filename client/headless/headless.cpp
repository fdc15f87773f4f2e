#include "client/headless/headless.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "client/app/form1.h"
#include "platform/priority.h"
#include "platform/shell.h"
#include "common/text.h"
#include "platform/poll_reactor.h"

namespace vk {

namespace {

std::atomic<bool> g_closeRequested{false};

void OnSignal(int) { g_closeRequested = true; }

// Wire bytes (0xC8, cipher text) are shown escaped; line breaks inside a text continue the line.
std::string Printable(const std::string& text) { return EscapeBytes(text, "\n    "); }

const char* ButtonName(BoxButton b) {
    switch (b) {
    case BoxButton::Ok: return "OK";
    case BoxButton::Cancel: return "Cancel";
    case BoxButton::Yes: return "Yes";
    case BoxButton::No: return "No";
    case BoxButton::Abort: return "Abort";
    case BoxButton::Retry: return "Retry";
    case BoxButton::Ignore: return "Ignore";
    }
    return "?";
}

class ConsoleDialogs final : public Dialogs {
public:
    BoxButton show(const BoxRequest& box) override {
        if (beforeShow) beforeShow();
        std::cout << "[box] " << Printable(box.text);
        if (box.x >= 0 && box.y >= 0) std::cout << " (at " << box.x << "," << box.y << ")";
        std::cout << " -> " << ButtonName(box.defaultButton) << std::endl;
        return box.defaultButton;
    }
    std::function<void()> beforeShow;
};

// Prints what changed in the windows since the last call.
class Printer {
public:
    explicit Printer(TForm1& app) : app_(app) {}

    // Nothing is printed before the windows are being created.
    bool active = false;

    void print() {
        if (!active) return;
        memo(app_.Form1.Memo1, shownLog_, "  | ");
        memo(app_.Form3.cfgerrors, shownErrors_, "[last errors] ");
        memo(app_.serverinf.servinfo, shownInfo_, "[server info] ");
        memo(app_.relconfigfiles.Memo1, shownConfig_, "[config files] ");
        memo(app_.selftest.Memo, shownSelfTest_, "[self test] ");
        changed(app_.Form1.Caption, caption_, "[caption] ");
        changed(app_.Form1.cfgstatus.caption, status_, "[status] ");
        changed(app_.Form1.Port.text, port_, "[Port] ");
        changed(app_.Form1.URIP.caption, urip_, "[URIP] ");
        window(app_.AboutBox.Caption, app_.AboutBox.visible, about_, [&] {
            std::cout << "  " << app_.AboutBox.ProductName.caption << "\n  " << app_.AboutBox.FileVersion.caption
                      << "\n  " << app_.AboutBox.InstalledIn.caption << "\n  " << app_.AboutBox.VolkarFound.caption
                      << "\n  " << app_.AboutBox.VolkarVersion.caption << "\n";
        });
        window(app_.blockedIPs.Caption, app_.blockedIPs.visible, blocked_, [&] {
            std::cout << "  IP of last server: " << app_.blockedIPs.servip.text << "\n";
            for (size_t i = 0; i < app_.blockedIPs.srvlist.items.size(); ++i)
                std::cout << "  " << i << ": " << app_.blockedIPs.srvlist.items[i] << "\n";
        });
        window(app_.Form3.Caption, app_.Form3.visible, errors_, {});
        window(app_.serverinf.Caption, app_.serverinf.visible, info_, {});
        window(app_.relconfigfiles.Caption, app_.relconfigfiles.visible, config_, {});
        window(app_.geturl.Caption, app_.geturl.visible, geturl_, [&] {
            std::cout << "  " << Printable(app_.geturl.dload.caption) << "\n";
        });
        std::cout.flush();
    }

private:
    static void memo(const Memo& m, size_t& shown, const char* prefix) {
        if (m.lines.size() < shown) shown = 0;  // cleared
        for (; shown < m.lines.size(); ++shown) std::cout << prefix << Printable(m.lines[shown]) << "\n";
    }
    static void changed(const std::string& now, std::string& last, const char* prefix) {
        if (now == last) return;
        last = now;
        std::cout << prefix << Printable(now) << "\n";
    }
    static void window(const std::string& caption, bool visible, bool& last,
                       const std::function<void()>& details) {
        if (visible == last) return;
        last = visible;
        std::cout << "[window] " << caption << (visible ? " shown" : " hidden") << "\n";
        if (visible && details) details();
    }

    TForm1& app_;
    size_t shownLog_ = 0, shownErrors_ = 0, shownInfo_ = 0, shownConfig_ = 0, shownSelfTest_ = 0;
    std::string caption_, status_, port_, urip_;
    bool about_ = false, blocked_ = false, errors_ = false, info_ = false, config_ = false, geturl_ = false;
};

// One console command.
void Command(TForm1& app, const std::string& line) {
    std::istringstream in(line);
    std::string cmd, arg;
    in >> cmd;
    std::getline(in >> std::ws, arg);
    if (cmd.empty()) return;
    std::cout << "> " << Printable(line) << std::endl;
    if (cmd == "listen") app.ListenClick();
    else if (cmd == "close") app.CloseClick();
    else if (cmd == "cancel") app.CancelListenClick();
    else if (cmd == "connect") {
        if (!arg.empty()) app.Form1.IPAddr.text = arg;
        app.ConnectClick();
    } else if (cmd == "quit") app.QuitClick();
    else if (cmd == "exit") app.FormCloseQuery();
    else if (cmd == "about") {
        app.AboutBox.visible = false;
        app.AboutClick();
    } else if (cmd == "showcfg") {
        app.relconfigfiles.visible = false;
        app.Showcfg();
    } else if (cmd == "errors") app.Showerrlist();
    else if (cmd == "serverinfo") app.getservinfClick();
    else if (cmd == "blocked") {
        app.blockedIPs.visible = false;
        app.blockfakeClick();
    } else if (cmd == "toggle") {
        if (!arg.empty()) app.blockedIPs.servip.text = arg;
        app.toggleip();
        app.blockedIPs.visible = false;
        app.blockfakeClick();
    } else if (cmd == "unblock") {
        app.blockedIPs.srvlist.itemIndex = arg.empty() ? -1 : std::atoi(arg.c_str());
        app.unblock();
        app.blockedIPs.visible = false;
        app.blockfakeClick();
    } else if (cmd == "priority") {
        app.Form1.priolist.itemIndex = std::atoi(arg.c_str());
        app.priolistChange();
    } else if (cmd == "bgcheck") {
        app.Form1.bgcheck.checked = arg != "off";
        app.bgcheckClick();
    } else if (cmd == "clear") app.Button4Click();
    else std::cout << "? unknown command: " << Printable(cmd) << std::endl;
}

// Reads whatever standard input holds now, without waiting, and runs each complete line.
class ConsoleInput {
public:
    void poll(TForm1& app) {
        if (eof_) return;
        pollfd p{0, POLLIN, 0};
        while (::poll(&p, 1, 0) > 0 && (p.revents & (POLLIN | POLLHUP))) {
            char buf[512];
            const ssize_t n = ::read(0, buf, sizeof buf);
            if (n <= 0) {
                eof_ = true;
                break;
            }
            pending_.append(buf, static_cast<size_t>(n));
            if (pending_.size() > 4096 && pending_.find('\n') == std::string::npos) pending_.clear();
        }
        size_t nl;
        while ((nl = pending_.find('\n')) != std::string::npos && !app.terminated) {
            std::string line = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            Command(app, line);
        }
    }

private:
    std::string pending_;
    bool eof_ = false;
};

}  // namespace

int RunHeadless(int /*argc*/, char** /*argv*/) {
    PollReactor reactor;
    ConsoleDialogs dialogs;
    SteadyClock clock;
    PosixShell shell;
    ProcProcesses processes;
    NicePriority priority;
    TForm1 app(AppPorts{reactor, dialogs, clock, shell, processes, priority, NameResolver::system(), ""});
    Printer printer(app);
    dialogs.beforeShow = [&] { printer.print(); };

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

        printer.active = true;
        app.CreateWindows([&](FormId) { printer.print(); });
        if (!app.terminated) app.FormActivate();
        printer.print();
    } catch (...) {
        BoxRequest box;
        box.kind = BoxKind::Error;
        box.caption = app.Title;
        box.text = "Something definitely wrong...";
        dialogs.show(box);
        app.Shutdown([&] { reactor.processEvents(50); });
        std::cout << "WDNplyr: ended (exit status 1)" << std::endl;
        return 1;
    }

    ConsoleInput input;
    const Reactor::TimerId timer = reactor.startTimer(50, [&] {
        if (g_closeRequested.exchange(false)) app.FormCloseQuery();
        if (!app.terminated) input.poll(app);
    });
    while (!app.terminated) {
        reactor.processEvents(200);
        printer.print();
    }
    reactor.stopTimer(timer);
    app.Shutdown([&] { reactor.processEvents(50); });
    printer.print();
    std::cout << "WDNplyr: ended (exit status " << app.exitCode << ")" << std::endl;
    return app.exitCode;
}

}  // namespace vk
