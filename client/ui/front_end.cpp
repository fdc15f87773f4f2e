#include "client/ui/front_end.h"

#include <QApplication>
#include <QMainWindow>
#include <QSocketNotifier>
#include <QWidget>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <exception>

#include "client/ui/window_builder.h"

namespace vk::ui {

QtFrontEnd::QtFrontEnd(TForm1& app, QtReactor& reactor, QtDialogs& dialogs)
    : app_(app), reactor_(reactor), dialogs_(dialogs) {
    reactor.setAfterDispatch([this] { binder_.refresh(); });
    dialogs_.beforeShow = [this] { binder_.refresh(); };
    binder_.afterRefresh = [this] {
        if (app_.terminated && onTerminated) onTerminated();
    };
    binder_.onError = [this](const std::string& what) {
        dialogs_.show(BoxRequest{BoxKind::Error, app_.Title, what, {BoxButton::Ok}, BoxButton::Ok});
    };
    // Windows the handlers showed or hid get their events before the redraw; activations come
    // from the window system.
    binder_.beforeRefresh = [this] { app_.windows.sync(false); };
    app_.windows.run = [this](const std::function<void()>& h) { binder_.guarded(h); };
}

QtFrontEnd::~QtFrontEnd() {
    dialogs_.beforeShow = nullptr;
    reactor_.setAfterDispatch(nullptr);
    binder_.afterRefresh = nullptr;
    binder_.beforeRefresh = nullptr;
    app_.windows.run = nullptr;
    // Last created, first destroyed.
    for (auto it = order_.rbegin(); it != order_.rend(); ++it) delete windows_[static_cast<size_t>(*it)];
}

void QtFrontEnd::created(FormId id) {
    if (!window(id)) {
        build(id);
        order_.push_back(id);
    }
    binder_.refresh();
}

void QtFrontEnd::build(FormId id) {
    windows_[static_cast<size_t>(id)] = BuildWindow(binder_, app_.windows, app_.window(id));
}

namespace {

// The signal handler only writes a byte; the loop does the rest.
int gSignalPipe[2] = {-1, -1};
constexpr int kEndSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void OnEndSignal(int) {
    char byte = 1;
    ssize_t n = ::write(gSignalPipe[1], &byte, 1);
    (void)n;
}

}  // namespace

void WindowedClient::endOnSignals() {
    if (signalsTaken_ || gSignalPipe[0] >= 0) return;  // one client per process takes them
    if (::pipe2(gSignalPipe, O_NONBLOCK | O_CLOEXEC) != 0) return;
    auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [this] {
        char buf[16];
        while (::read(gSignalPipe[0], buf, sizeof buf) > 0) {
        }
        app_->terminated = true;
        dialogs_.answerWithDefaults = true;
        // A message box may be waiting for an answer that will not come: close it as Escape does.
        while (QWidget* modal = QApplication::activeModalWidget()) {
            if (!modal->close()) break;
        }
        if (looping_) QCoreApplication::exit(app_->exitCode);
    });
    signalNotifier_.reset(notifier);
    struct sigaction sa {};
    sa.sa_handler = OnEndSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : kEndSignals) sigaction(sig, &sa, nullptr);
    signalsTaken_ = true;
}

WindowedClient::WindowedClient(WindowedOptions o) {
    AppPorts ports{reactor_,
                   dialogs_,
                   o.clock ? *o.clock : steadyClock_,
                   o.shell ? *o.shell : posixShell_,
                   o.processes ? *o.processes : procProcesses_,
                   o.priority ? *o.priority : nicePriority_,
                   NameResolver::system(),
                   o.gameFolder,
                   o.portMapper ? o.portMapper : &noPortMapper_};
    app_ = std::make_unique<TForm1>(ports);
    ui_ = std::make_unique<QtFrontEnd>(*app_, reactor_, dialogs_);
    // Application.Terminate: leave the loop once the handler that asked for it is done. Only
    // a running loop may be told so: Qt would make every later modal loop (message boxes
    // included) return at once.
    ui_->onTerminated = [this] {
        if (looping_) QCoreApplication::exit(app_->exitCode);
    };
    QApplication::setApplicationName(Q(app_->Title));
}

WindowedClient::~WindowedClient() {
    shutdown();
    if (signalsTaken_) {
        for (int sig : kEndSignals) std::signal(sig, SIG_DFL);
        signalNotifier_.reset();
        ::close(gSignalPipe[0]);
        ::close(gSignalPipe[1]);
        gSignalPipe[0] = gSignalPipe[1] = -1;
    }
    ui_.reset();
    app_.reset();
}

void WindowedClient::failed() {
    // Whatever escapes the start ends the program with this box.
    app_->terminated = true;
    if (app_->exitCode == 0) app_->exitCode = 1;
    dialogs_.show(BoxRequest{BoxKind::Error, app_->Title, "Something definitely wrong...", {BoxButton::Ok},
                             BoxButton::Ok});
}

bool WindowedClient::start() {
    try {
        if (!app_->Startup()) return false;
        started_ = true;
        app_->CreateWindows([this](FormId id) { ui_->created(id); });
    } catch (...) {
        failed();
    }
    ui_->binder().refresh();
    return !app_->terminated;
}

int WindowedClient::run() {
    if (!app_->terminated) {
        looping_ = true;
        QApplication::exec();
        looping_ = false;
    }
    shutdown();
    return app_->exitCode;
}

void WindowedClient::shutdown() {
    if (!started_ || shutDown_) return;
    shutDown_ = true;
    app_->Shutdown([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 50); });
    ui_->binder().refresh();
}

}  // namespace vk::ui
