// The windowed client end to end: started in a fixture game folder on the offscreen platform
// (or under Xvfb for the screenshot), it finishes its terrain check, listens on the port that
// its mplayer.ini gives, and the secure-server simulator holds the example conversation with it
// over loopback. The checks read the widgets, not the form models.
#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <QFileInfo>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <deque>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "client/core/getproc.h"
#include "client/ui/front_end.h"
#include "qt_client_fixture.h"
#include "qt_env.h"
#include "tests/core_checks/game_folder.h"
#include "tools/secsim/secsim.h"

namespace vk {
namespace {

using test::BoxAnswerer;
using test::Find;
using test::Menu;
using test::NoShell;
using test::QuietPriority;
using test::RunUntil;

constexpr int kPort = 50947;  // Port=2947 in the fixture's mplayer.ini

class RecordingShell final : public Shell {
public:
    int ShellExecute(const std::string&, const std::string& file, const std::string&, const std::string&) override {
        files.push_back(file);
        return 42;
    }
    std::vector<std::string> files;
};

class UiClient : public ::testing::Test {
protected:
    void SetUp() override {
        game.file("volkarmmp.exe", "MZ game")
            .file("wdnhelp.exe", "MZ companion")
            .file("wdnplyr", "client")
            .file("mplayer.ini", "[MetaServers]\r\nServer=meta.example\r\n[KnownServers]\r\nPort=2947\r\n")
            .file("data\\fmparam3.dat", "FMPARAM3 flight model of the Sopwith Camel, version 1917.2")
            .file("data\\acspecs1.dat", "ACSPECS1 aircraft specifications")
            // The program started by these tests asks no router of the machine's network.
            .file("WDNplyr-settings.txt", "PortMapping=off\r\n");
        for (int i = 0; i < 5; ++i)
            game.file("data\\volkar" + std::to_string(i) + ".ted", "terrain " + std::to_string(i));
        // This client and its companion program are running.
        processes.table = {{1, {game.root() + "wdnplyr"}}, {2, {game.root() + "wdnhelp.exe"}}};
    }

    std::unique_ptr<ui::WindowedClient> Start() {
        ui::WindowedOptions o;
        o.gameFolder = game.root();
        o.shell = &shell;
        o.processes = &processes;
        o.priority = &priority;
        o.portMapper = &noPortMapper;  // no router of the machine's network is asked
        auto c = std::make_unique<ui::WindowedClient>(o);
        c->app().random = [](uint32_t) { return 17u; };
        return c;
    }

    static std::string Text(QLabel* l) { return l ? l->text().toStdString() : "<no widget>"; }
    static std::string Text(QPlainTextEdit* m) { return m ? m->toPlainText().toStdString() : "<no widget>"; }
    static std::string StatusOf(ui::WindowedClient& c) { return Text(Find<QLabel>(c, FormId::Main, "cfgstatus")); }

    // Starts the client and serves events until it listens.
    std::unique_ptr<ui::WindowedClient> StartListening() {
        auto c = Start();
        EXPECT_TRUE(c->start());
        bool ready = RunUntil([&] { return StatusOf(*c) == "Ready to enter Lobby"; }, 20000);
        EXPECT_TRUE(ready) << "status: " << StatusOf(*c);
        return c;
    }

    // Plays a script against the client while its loop runs; returns the simulator's report.
    secsim::Report Converse(const std::string& script, std::string* out = nullptr) {
        secsim::Options o = secsim::DefaultOptions();
        o.port = kPort;
        o.gameFolder = game.root();
        o.gapMs = 1500;
        o.script = script;
        std::ostringstream log;
        secsim::Report report;
        std::atomic<bool> done{false};
        std::thread server([&] {
            report = secsim::Run(o, log);
            done = true;
        });
        RunUntil([&] { return done.load(); }, 60000);
        server.join();
        Settle();
        if (out) *out = log.str();
        return report;
    }
    static void Settle() { test::Settle(300); }

    test::GameFolder game;
    FixedProcesses processes;
    RecordingShell shell;
    QuietPriority priority;
    NoPortMapper noPortMapper;
    BoxAnswerer boxes;
};

TEST_F(UiClient, WindowsAreBuiltInTheirOrderWithTheirCaptions) {
    auto c = StartListening();
    const std::vector<std::pair<FormId, std::string>> expected = {
        {FormId::Main, "VK sec Player listening....."},  // the caption Listen gives
        {FormId::About, "About"},
        {FormId::RelConfig, "Relevant config files found by the server"},
        {FormId::LastError, "Last error information"},
        {FormId::MetaBrowser, "Meta Browser"},
        {FormId::ServerInfo, "Server Info"},
        {FormId::BlockedIPs, "Blocked (Bogus?) Servers "},
        {FormId::Hidden, "Hidden list....."},
        {FormId::GetUrl, "get Patch"},
        {FormId::SelfTest, "Self Test "},
        {FormId::PatchSwitcher, "VK3d Patch Switcher for MMP + SP"},
        {FormId::PatchInfo, "Info on patch"},
        {FormId::XpForm, "XP VK3d kickstarter"},
        {FormId::StatusInfo, "Status Information"},
        {FormId::MplayerEdit, "Mplayer edit (manual)"},
    };
    ASSERT_EQ(c->ui().creationOrder().size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(c->ui().creationOrder()[i], expected[i].first) << "window " << i;
        QWidget* w = c->ui().window(expected[i].first);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->windowTitle().toStdString(), expected[i].second);
        EXPECT_EQ(w->isVisible(), i == 0) << expected[i].second << ": only the main window is shown";
    }
    EXPECT_EQ(QApplication::applicationName().toStdString(), "VK3d sec player");

    // The Ready transition as the widgets show it.
    EXPECT_TRUE(boxes.saw("TED files check done.... "));
    for (size_t i = 0; i < boxes.texts.size(); ++i) {
        if (boxes.texts[i] == "TED files check done.... ") {
            EXPECT_EQ(boxes.positions[i], QPoint(110, 110));
        }
    }
    auto* port = Find<QLineEdit>(*c, FormId::Main, "Port");
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->text().toStdString(), std::to_string(kPort));
    EXPECT_FALSE(port->isEnabled());
    EXPECT_FALSE(Menu(*c, "Mlisten")->isEnabled());
    EXPECT_FALSE(Menu(*c, "Mclose")->isEnabled());
    EXPECT_TRUE(Menu(*c, "MCancellisten")->isEnabled());
    for (const char* item : {"Mfmswitch", "Mupdmplyr", "Mxpsound", "Mselftest"})
        EXPECT_TRUE(Menu(*c, item)->isEnabled()) << item;
    EXPECT_EQ(Menu(*c, "Mlisten")->shortcut(), QKeySequence(QStringLiteral("Ctrl+L")));
    EXPECT_TRUE(Find<QAbstractButton>(*c, FormId::Main, "cantforward")->isEnabled());
    // Without rgb.txt the background-check controls are hidden.
    EXPECT_FALSE(Find<QAbstractButton>(*c, FormId::Main, "bgcheck")->isVisible());
    EXPECT_NE(Text(Find<QPlainTextEdit>(*c, FormId::Main, "Memo1")).find("Listening ......."), std::string::npos);
}

TEST_F(UiClient, ExampleConversationEndsWithGoFlyNow) {
    auto c = StartListening();
    std::string simLog;
    secsim::Report r = Converse("", &simLog);
    EXPECT_TRUE(r.connected);
    EXPECT_EQ(r.mismatches, 0) << simLog;

    QLabel* status = Find<QLabel>(*c, FormId::Main, "cfgstatus");
    EXPECT_EQ(Text(status), "Go Fly Now.... Salute!");
    EXPECT_EQ(status->palette().color(QPalette::WindowText), QColor(0, 128, 0));
    std::string log = Text(Find<QPlainTextEdit>(*c, FormId::Main, "Memo1"));
    EXPECT_NE(log.find("Chged priority to Normal"), std::string::npos) << log;
    EXPECT_FALSE(Find<QAbstractButton>(*c, FormId::Main, "prboost")->isChecked()) << "priority restored";
    // The address of the server that connected shows in the blocked-servers window.
    EXPECT_EQ(Find<QLineEdit>(*c, FormId::BlockedIPs, "servip")->text().toStdString(), "127.0.0.1");
    EXPECT_EQ(c->ui().window(FormId::Main)->windowTitle().toStdString(), "VK sec Player listening.....");
}

TEST_F(UiClient, ConfigErrorGroundsThePlayerAndFillsTheLastErrorWindow) {
    auto c = StartListening();
    secsim::Report r = Converse("@time\nver?\n@raw srvinf:URIP:127.0.0.1:4000::>Config ERROR\\xC8\nsrvinf:EOT:\n");
    EXPECT_TRUE(r.connected);
    QLabel* status = Find<QLabel>(*c, FormId::Main, "cfgstatus");
    EXPECT_EQ(Text(status), "Grounded, do NOT fly!!!");
    EXPECT_EQ(status->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_FALSE(Text(Find<QPlainTextEdit>(*c, FormId::LastError, "cfgerrors")).empty());

    // The menu opens the window with what the conversation put there.
    Menu(*c, "Mshowerrors")->trigger();
    EXPECT_TRUE(c->ui().window(FormId::LastError)->isVisible());
}

// Every control of every window definition is a widget (or a menu action) named by its
// component name, and texts from a server are never taken for markup.
TEST_F(UiClient, EveryControlIsFoundByItsComponentNameAndTextsArePlain) {
    auto c = StartListening();
    for (size_t i = 0; i < c->app().windows.size(); ++i) {
        const WindowDef& def = c->app().windows.at(i);
        QWidget* window = c->ui().window(static_cast<FormId>(i));
        ASSERT_TRUE(window) << def.name();
        EXPECT_EQ(window->objectName().toStdString(), def.name());
        for (const ControlDef& control : def.controls()) {
            const QString name = QString::fromStdString(control.name);
            const bool found = window->findChild<QWidget*>(name) || window->findChild<QAction*>(name);
            EXPECT_TRUE(found) << def.name() << "." << control.name;
        }
    }
    auto* status = Find<QLabel>(*c, FormId::Main, "cfgstatus");
    auto* fm = Find<QLabel>(*c, FormId::Main, "instldfm");
    auto* getservinf = Find<QPushButton>(*c, FormId::Main, "getservinf");
    ASSERT_TRUE(status && fm && getservinf);
    c->app().Form1.instldfm.caption = "<b>bold</b> & <a href=x>link</a>";
    c->ui().binder().refresh();
    EXPECT_EQ(fm->textFormat(), Qt::PlainText);
    EXPECT_EQ(status->textFormat(), Qt::PlainText);
    getservinf->click();
    EXPECT_TRUE(c->ui().window(FormId::ServerInfo)->isVisible());
}

TEST_F(UiClient, BlockedServerWindowTogglesAndUnblocksThroughItsButtons) {
    game.file("plyrBlockedIPs.txt", "192.0.2.9\r\n192.0.2.1\r\n192.0.2.9\r\n");
    auto c = StartListening();
    Menu(*c, "Mblockedservers")->trigger();
    QWidget* w = c->ui().window(FormId::BlockedIPs);
    ASSERT_TRUE(w->isVisible());
    auto* list = Find<QListWidget>(*c, FormId::BlockedIPs, "srvlist");
    auto items = [&] {
        std::vector<std::string> v;
        for (int i = 0; i < list->count(); ++i) v.push_back(list->item(i)->text().toStdString());
        return v;
    };
    EXPECT_EQ(items(), (std::vector<std::string>{"192.0.2.1", "192.0.2.9"}));

    auto* servip = Find<QLineEdit>(*c, FormId::BlockedIPs, "servip");
    servip->setText(QStringLiteral("192.0.2.5"));
    emit servip->textEdited(servip->text());  // as typing does
    Find<QPushButton>(*c, FormId::BlockedIPs, "blockserv")->click();
    EXPECT_EQ(items(), (std::vector<std::string>{"192.0.2.1", "192.0.2.5", "192.0.2.9"}));
    EXPECT_EQ(game.read("plyrBlockedIPs.txt"), "192.0.2.1\r\n192.0.2.5\r\n192.0.2.9\r\n");

    list->setCurrentRow(0);
    Find<QPushButton>(*c, FormId::BlockedIPs, "Unblockip")->click();
    EXPECT_EQ(items(), (std::vector<std::string>{"192.0.2.5", "192.0.2.9"}));
    EXPECT_EQ(servip->text().toStdString(), "192.0.2.1");

    // Closing the window only hides it; the program goes on.
    w->close();
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(c->app().terminated);
    c->shutdown();
    EXPECT_EQ(game.read("plyrBlockedIPs.txt"), "192.0.2.5\r\n192.0.2.9\r\n") << "written back at exit";
}

TEST_F(UiClient, QuitAndClosingTheMainWindowAskFirst) {
    auto c = StartListening();
    QWidget* main = c->ui().window(FormId::Main);
    boxes.presses.push_back(QMessageBox::No);
    Menu(*c, "Mquit")->trigger();
    EXPECT_TRUE(boxes.saw("Exit now?"));
    EXPECT_FALSE(c->app().terminated) << "No keeps the program running";

    boxes.presses.push_back(QMessageBox::Cancel);
    main->close();
    EXPECT_TRUE(boxes.saw("Shutdown Secure Player ?"));
    EXPECT_TRUE(main->isVisible());
    EXPECT_FALSE(c->app().terminated);

    main->close();  // the default button (OK) this time
    EXPECT_TRUE(boxes.saw("Shutdown Secure Player ?"));
    EXPECT_TRUE(c->app().terminated);
}

TEST_F(UiClient, ConnectionMenuCancelsAndListensAgain) {
    auto c = StartListening();
    QWidget* main = c->ui().window(FormId::Main);
    auto* log = Find<QPlainTextEdit>(*c, FormId::Main, "Memo1");
    Find<QPushButton>(*c, FormId::Main, "Button4")->click();
    EXPECT_TRUE(Text(log).empty()) << "Clear empties the server message log";

    Menu(*c, "MCancellisten")->trigger();
    EXPECT_EQ(main->windowTitle().toStdString(), "Player mode, NOT listening.....");
    EXPECT_TRUE(Menu(*c, "Mlisten")->isEnabled());
    EXPECT_FALSE(Menu(*c, "MCancellisten")->isEnabled());
    EXPECT_TRUE(Find<QLineEdit>(*c, FormId::Main, "IPAddr")->isEnabled());

    Menu(*c, "Mlisten")->trigger();
    EXPECT_EQ(main->windowTitle().toStdString(), "VK sec Player listening.....");
    EXPECT_FALSE(Menu(*c, "Mlisten")->isEnabled());
    std::string after = Text(log);
    EXPECT_EQ(after.rfind("Listening .......", 0), 0u) << "new lines after the clear: " << after;
    EXPECT_NE(after.find(" Port=" + std::to_string(kPort)), std::string::npos) << after;
}

TEST_F(UiClient, PriorityControlsReachTheClientStateWithRgbTxt) {
    game.file("rgb.txt", "");
    auto c = StartListening();
    auto* bg = Find<QAbstractButton>(*c, FormId::Main, "bgcheck");
    ASSERT_TRUE(bg->isVisible()) << "rgb.txt shows the background-check controls";
    EXPECT_TRUE(bg->isChecked());
    EXPECT_FALSE(c->app().state.foregroundChecks);
    bg->click();
    EXPECT_FALSE(bg->isChecked());
    EXPECT_TRUE(c->app().state.foregroundChecks);

    // The radio buttons exclude each other, and a click survives the redraw that follows it.
    auto* lower = Find<QAbstractButton>(*c, FormId::Main, "plower");
    auto* idle = Find<QAbstractButton>(*c, FormId::Main, "pidle");
    EXPECT_TRUE(idle->isChecked());
    lower->click();
    c->ui().binder().refresh();
    EXPECT_TRUE(lower->isChecked());
    EXPECT_FALSE(idle->isChecked());
    EXPECT_TRUE(c->app().Form1.plower.checked);
    EXPECT_FALSE(c->app().Form1.pidle.checked);

    auto* prio = Find<QComboBox>(*c, FormId::Main, "priolist");
    ASSERT_EQ(prio->count(), 4);
    EXPECT_EQ(prio->currentText().toStdString(), "High priority");
    prio->setCurrentIndex(1);
    emit prio->activated(1);  // as the user's choice does
    EXPECT_EQ(c->app().state.boost, PriorityClass::Realtime);
    EXPECT_EQ(prio->currentText().toStdString(), "Realtime priority");
}

TEST_F(UiClient, TerminationSignalEndsTheLoopAndTheShutdownStillSavesTheBlockedList) {
    game.file("plyrBlockedIPs.txt", "192.0.2.1\r\n192.0.2.9\r\n");
    auto c = StartListening();
    c->endOnSignals();
    // unblock changes only the list in memory; the file follows at the end of the program.
    c->app().blockedIPs.srvlist.itemIndex = 0;
    c->app().blocked.unblock();
    ASSERT_EQ(game.read("plyrBlockedIPs.txt"), "192.0.2.1\r\n192.0.2.9\r\n");
    QTimer::singleShot(100, [] { ::raise(SIGTERM); });
    int code = c->run();
    EXPECT_TRUE(c->app().terminated);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(game.read("plyrBlockedIPs.txt"), "192.0.2.9\r\n");
}

TEST_F(UiClient, AboutAndReportWindowsOpenFromTheMainWindowAndClear) {
    auto c = StartListening();
    QAction* about = c->ui().window(FormId::Main)->findChild<QAction*>(QStringLiteral("mabout"));
    ASSERT_NE(about, nullptr);
    about->trigger();
    QWidget* box = c->ui().window(FormId::About);
    ASSERT_TRUE(box->isVisible());
    EXPECT_EQ(Text(Find<QLabel>(*c, FormId::About, "ProductName")), "VK3D Secure Player");
    EXPECT_EQ(Text(Find<QLabel>(*c, FormId::About, "FileVersion")).rfind("File Version: ", 0), 0u);
    EXPECT_EQ(Text(Find<QLabel>(*c, FormId::About, "VolkarFound")), "VolkarMMP.exe found: Yes");
    Find<QPushButton>(*c, FormId::About, "OKButton")->click();
    EXPECT_FALSE(box->isVisible());

    // Show config files: the file list of the terrain check and the explanatory block.
    Menu(*c, "Mshowconfig")->trigger();
    ASSERT_TRUE(c->ui().window(FormId::RelConfig)->isVisible());
    auto* files = Find<QPlainTextEdit>(*c, FormId::RelConfig, "Memo1");
    std::string shown = Text(files);
    EXPECT_NE(shown.find("volkar0.ted"), std::string::npos) << shown;
    EXPECT_NE(shown.find("==> If Port Forwarding is a problem, you can use Kickstart"), std::string::npos);
    Find<QPushButton>(*c, FormId::RelConfig, "Button1")->click();
    EXPECT_TRUE(Text(files).empty());

    Find<QPushButton>(*c, FormId::Main, "getservinf")->click();
    EXPECT_TRUE(c->ui().window(FormId::ServerInfo)->isVisible());
    EXPECT_FALSE(c->ui().window(FormId::Hidden)->isVisible()) << "the hidden list is never shown";
}

TEST_F(UiClient, StartUpFailureShowsItsMessageAndBuildsNoWindow) {
    std::filesystem::remove(game.osPath("wdnhelp.exe"));
    auto c = Start();
    EXPECT_FALSE(c->start());
    EXPECT_TRUE(boxes.saw("wdnhelp.exe not there... exiting..."))
        << (boxes.texts.empty() ? "no box" : boxes.texts.back());
    EXPECT_EQ(c->ui().window(FormId::Main), nullptr);
    EXPECT_NE(c->exitCode(), 0);
}

// Whatever a start-up step throws, of any type, ends the program with its box instead of
// taking it down.
TEST_F(UiClient, AnExceptionEscapingTheStartEndsTheProgramWithItsBox) {
    struct ThrowingShell final : Shell {
        int ShellExecute(const std::string&, const std::string&, const std::string&, const std::string&) override {
            if (standard) throw std::runtime_error("spawn failed");
            throw 5;
        }
        bool standard = true;
    };
    processes.table.pop_back();  // the companion is not running: the first Listen starts it
    for (bool standard : {true, false}) {
        SCOPED_TRACE(standard ? "std::exception" : "other type");
        ThrowingShell throwing;
        throwing.standard = standard;
        ui::WindowedOptions o;
        o.gameFolder = game.root();
        o.shell = &throwing;
        o.processes = &processes;
        o.priority = &priority;
        o.portMapper = &noPortMapper;
        ui::WindowedClient c(o);
        boxes.texts.clear();
        EXPECT_FALSE(c.start());
        EXPECT_TRUE(boxes.saw("Something definitely wrong...")) << (boxes.texts.empty() ? "no box" : boxes.texts.back());
        EXPECT_NE(c.exitCode(), 0);
        c.shutdown();
    }
}

#ifdef VK_WDNPLYR_BINARY
// The windowed program itself on the offscreen platform: it comes up in its game folder (a
// message box then waits for the player) and a termination signal ends it through its
// shutdown with the exit status of the way it ended.
TEST_F(UiClient, TheWindowedProgramEndsOnSigtermWhileABoxWaits) {
    // The single-instance rule counts every process named wdnplyr on this machine.
    ProcProcesses running;
    if (CountModuleUsers(running, "wdnplyr") > 0)
        GTEST_SKIP() << "another wdnplyr runs on this machine; the program would end as a second instance";
    struct Case {
        const char* name;
        bool gameFolder;
        int status;
    };
    for (const Case& k : {Case{"in its game folder", true, 0}, Case{"in a wrong folder", false, 1}}) {
        SCOPED_TRACE(k.name);
        test::GameFolder folder;
        if (k.gameFolder) {
            for (const char* f : {"volkarmmp.exe", "wdnhelp.exe"}) folder.file(f, "MZ");
            folder.file("mplayer.ini", "[MetaServers]\r\nServer=meta.example\r\nPort=2945\r\n");
            for (int i = 0; i < 5; ++i) folder.file("data\\volkar" + std::to_string(i) + ".ted", "terrain");
        }
        std::string exe = folder.root() + "wdnplyr";
        std::filesystem::copy_file(VK_WDNPLYR_BINARY, exe);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int devnull = ::open("/dev/null", O_RDWR);
            dup2(devnull, 0);
            dup2(devnull, 1);
            dup2(devnull, 2);
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        ASSERT_EQ(::kill(pid, SIGTERM), 0);
        int status = 0;
        pid_t done = 0;
        for (int i = 0; i < 100 && done == 0; ++i) {
            done = waitpid(pid, &status, WNOHANG);
            if (done == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (done == 0) {
            ::kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            FAIL() << "the program did not end on SIGTERM";
        }
        ASSERT_TRUE(WIFEXITED(status)) << "ended by a signal instead of its shutdown";
        EXPECT_EQ(WEXITSTATUS(status), k.status);
    }
}
#endif

// Under Xvfb (see CMakeLists.txt): the main window after a verdict, as a PNG test artifact.
TEST_F(UiClient, ScreenshotOfTheMainWindowAfterAVerdict) {
    QByteArray target = qgetenv("VK_UI_SCREENSHOT");
    if (target.isEmpty() || QGuiApplication::platformName() != QStringLiteral("xcb"))
        GTEST_SKIP() << "runs under Xvfb with VK_UI_SCREENSHOT set";
    auto c = StartListening();
    secsim::Report r = Converse("");
    ASSERT_EQ(r.mismatches, 0);
    ASSERT_EQ(StatusOf(*c), "Go Fly Now.... Salute!");
    QWidget* main = c->ui().window(FormId::Main);
    main->raise();
    main->activateWindow();
    test::Settle(500);
    QPixmap shot = main->screen()->grabWindow(main->winId());
    ASSERT_FALSE(shot.isNull());
    QDir().mkpath(QFileInfo(QString::fromLocal8Bit(target)).absolutePath());
    ASSERT_TRUE(shot.save(QString::fromLocal8Bit(target), "PNG"));
}

}  // namespace
}  // namespace vk
