#pragma once
// The windowed client: TForm1 with the Qt Reactor, Qt message boxes and the windows built from
// their definitions. The windows are built in their order of creation, each as soon as the logic
// has created its form; every widget event goes to TForm1's handler and every window is redrawn
// after each handler, each round of socket and thread events, and before each message box.
#include <QPointer>
#include <QWidget>

#include <array>
#include <memory>
#include <string>

#include "client/app/form1.h"
#include "platform/priority.h"
#include "platform/shell.h"
#include "client/ui/binder.h"
#include "client/ui/qt_dialogs.h"
#include "client/ui/qt_reactor.h"
#include "platform/processes.h"

class QMainWindow;

namespace vk::ui {

inline constexpr size_t kFormCount = static_cast<size_t>(FormId::Count);

class QtFrontEnd {
public:
    QtFrontEnd(TForm1& app, QtReactor& reactor, QtDialogs& dialogs);
    ~QtFrontEnd();
    QtFrontEnd(const QtFrontEnd&) = delete;
    QtFrontEnd& operator=(const QtFrontEnd&) = delete;

    // The hook for TForm1::CreateWindows: builds the window of the form just created.
    void created(FormId id);
    // The window of a form (nullptr until the logic has created it).
    QWidget* window(FormId id) const { return windows_[static_cast<size_t>(id)]; }
    // Window ids in the order they were built.
    const std::vector<FormId>& creationOrder() const { return order_; }
    Binder& binder() { return binder_; }
    // Runs after a redraw when the logic has ended the program.
    std::function<void()> onTerminated;

private:
    void build(FormId id);

    TForm1& app_;
    QtReactor& reactor_;
    QtDialogs& dialogs_;
    Binder binder_;
    std::array<QPointer<QWidget>, kFormCount> windows_{};
    std::vector<FormId> order_;
};

// Ports that tests may replace; null members are the real ones (but for the port mapping).
struct WindowedOptions {
    std::string gameFolder;  // "" = the folder of this executable
    Shell* shell = nullptr;
    Processes* processes = nullptr;
    ProcessPriority* priority = nullptr;
    Clock* clock = nullptr;
    // The router's port mapping. Null asks no router: the program itself passes the real one,
    // so that no test of the windows can reach a router on the machine's network.
    PortMapperPort* portMapper = nullptr;
};

// The whole program with windows. Needs a QApplication.
class WindowedClient {
public:
    explicit WindowedClient(WindowedOptions options = {});
    ~WindowedClient();

    // Start-up and the windows. False when the program ends here (its message has been shown).
    bool start();
    // Serves events until the program is told to end, then shuts down; returns the exit code.
    int run();
    // The end of the program: check threads, blocked list, held files. Runs once.
    void shutdown();
    // SIGINT, SIGTERM and SIGHUP end the program as Quit does, without asking (nobody may be
    // there to answer), so the shutdown still saves what it saves. Undone by the destructor.
    void endOnSignals();
    int exitCode() const { return app_->exitCode; }

    TForm1& app() { return *app_; }
    QtFrontEnd& ui() { return *ui_; }
    QtReactor& reactor() { return reactor_; }
    QtDialogs& dialogs() { return dialogs_; }

private:
    void failed();

    QtReactor reactor_;
    QtDialogs dialogs_;
    SteadyClock steadyClock_;
    PosixShell posixShell_;
    ProcProcesses procProcesses_;
    NicePriority nicePriority_;
    NoPortMapper noPortMapper_;
    std::unique_ptr<TForm1> app_;
    std::unique_ptr<QtFrontEnd> ui_;
    bool started_ = false;
    bool shutDown_ = false;
    bool looping_ = false;
    std::unique_ptr<QObject> signalNotifier_;
    bool signalsTaken_ = false;
};

}  // namespace vk::ui
