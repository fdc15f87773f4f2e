// The self-test window in the windowed client: built from its definition, opened from the main
// menu, driven through its widgets. On the offscreen platform it checks the widgets; under Xvfb
// (VK_SELFTEST_SCREENSHOT set) it saves a picture of the window after a local test. The route
// ping goes to 127.0.0.1 and the test connects to 127.0.0.1 only.
#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "client/ui/front_end.h"
#include "tests/core_checks/game_folder.h"
#include "tests/ui/qt_client_fixture.h"
#include "tests/ui/qt_env.h"

namespace vk {
namespace {

using test::BoxAnswerer;
using test::Find;
using test::Menu;
using test::NoShell;
using test::QuietPriority;
using test::RunUntil;

constexpr int kPort = 50000;  // the self-test's second port; Port=27000 in mplayer.ini

class SelfTestWindow : public ::testing::Test {
protected:
    void SetUp() override {
        game.file("volkarmmp.exe", "MZ game")
            .file("wdnhelp.exe", "MZ companion")
            .file("wdnplyr", "client")
            .file("mplayer.ini", "[MetaServers]\r\nServer=meta.example\r\n[KnownServers]\r\nPort=27000\r\n");
        for (int i = 0; i < 5; ++i) game.file("data\\volkar" + std::to_string(i) + ".ted", "terrain " + std::to_string(i));
        processes.table = {{1, {game.root() + "wdnplyr"}}, {2, {game.root() + "wdnhelp.exe"}}};
        ui::WindowedOptions o;
        o.gameFolder = game.root();
        o.shell = &shell;
        o.processes = &processes;
        o.priority = &priority;
        o.portMapper = &noPortMapper;
        client = std::make_unique<ui::WindowedClient>(o);
        ASSERT_TRUE(client->start());
        ASSERT_TRUE(RunUntil([&] { return Status() == "Ready to enter Lobby"; }, 20000)) << Status();
    }
    void TearDown() override {
        if (client) client->shutdown();
    }

    template <typename W>
    W* Find(const char* name) {
        QWidget* w = client->ui().window(FormId::SelfTest);
        return w ? w->findChild<W*>(QString::fromLatin1(name)) : nullptr;
    }
    std::string Status() {
        auto* l = client->ui().window(FormId::Main)->findChild<QLabel*>("cfgstatus");
        return l ? l->text().toStdString() : "";
    }
    std::string Log() {
        auto* m = Find<QPlainTextEdit>("Memo");
        return m ? m->toPlainText().toStdString() : "<no memo>";
    }
    void Type(const char* edit, const QString& text) {
        auto* e = Find<QLineEdit>(edit);
        ASSERT_NE(e, nullptr) << edit;
        e->setText(text);
        emit e->textEdited(text);  // as the user's typing reports it
    }
    void Click(const char* button) {
        auto* b = Find<QPushButton>(button);
        ASSERT_NE(b, nullptr) << button;
        b->click();
    }

    // Opens the self-test from the menu (the route ping on loopback) and runs the local test.
    void LocalTest() {
        Type("pingsite", "127.0.0.1");
        auto* item = client->ui().window(FormId::Main)->findChild<QAction*>("Mselftest");
        ASSERT_NE(item, nullptr);
        ASSERT_TRUE(item->isEnabled());
        item->trigger();
        ASSERT_TRUE(RunUntil([&] { return Log().find("========Ping route information") != std::string::npos; }, 30000));
        Type("locIP", "127.0.0.1");
        auto* ports = Find<QComboBox>("wdnports");
        ASSERT_NE(ports, nullptr);
        ports->setCurrentIndex(1);
        emit ports->activated(1);
        Click("testLocalnow");
        ASSERT_TRUE(RunUntil([&] { return Log().find("Succes! => Self test string was received") != std::string::npos; },
                             10000))
            << Log();
    }

    test::GameFolder game;
    FixedProcesses processes;
    NoShell shell;
    QuietPriority priority;
    NoPortMapper noPortMapper;
    BoxAnswerer boxes;
    std::unique_ptr<ui::WindowedClient> client;
};

TEST_F(SelfTestWindow, HasEveryControlAndRunsTheLocalTest) {
    QWidget* window = client->ui().window(FormId::SelfTest);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle().toStdString(), "Self Test ");
    EXPECT_FALSE(window->isVisible());
    for (const char* name : {"Label1", "Label2", "Label3", "Label4"}) EXPECT_NE(Find<QLabel>(name), nullptr) << name;
    for (const char* name : {"locIP", "InetIP", "pingsite"}) EXPECT_NE(Find<QLineEdit>(name), nullptr) << name;
    for (const char* name : {"testLocalnow", "testINnow", "cleartest", "savelog"})
        EXPECT_NE(Find<QPushButton>(name), nullptr) << name;
    EXPECT_EQ(Find<QPushButton>("savelog")->text().toStdString(),
              "Save this log window to: WDNplyr-Self-test.txt in the Volkar Folder");
    auto* ports = Find<QComboBox>("wdnports");
    ASSERT_NE(ports, nullptr);
    ASSERT_EQ(ports->count(), 2);
    EXPECT_EQ(ports->currentText().toStdString(), "50998");
    EXPECT_EQ(Find<QLineEdit>("pingsite")->text().toStdString(), "ping.example");

    LocalTest();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(Status(), "Self testing...");
    const std::string log = Log();
    EXPECT_NE(log.find("=========  Sync Mode"), std::string::npos) << log;
    size_t oks = 0;
    for (size_t at = log.find("Local IP test seems to be OK..."); at != std::string::npos;
         at = log.find("Local IP test seems to be OK...", at + 1))
        ++oks;
    EXPECT_EQ(oks, 2u) << log;
    EXPECT_NE(log.find("OK Self-test: session accepted IP=127.0.0.1"), std::string::npos) << log;
    EXPECT_NE(std::find(boxes.texts.begin(), boxes.texts.end(), "About to gather generic TCP/IP info of your PC..."),
              boxes.texts.end());

    Click("savelog");
    EXPECT_TRUE(game.exists("WDNplyr-Self-test.txt"));

    // Closing the window ends the self-test.
    window->close();
    ASSERT_TRUE(RunUntil([&] { return Status() == "Self test ended.."; }, 3000)) << Status();
    EXPECT_EQ(client->ui().window(FormId::Main)->windowTitle().toStdString(), "VK3d Secure Player Listening!!");
}

TEST_F(SelfTestWindow, ScreenshotAfterALocalTest) {
    QByteArray target = qgetenv("VK_SELFTEST_SCREENSHOT");
    if (target.isEmpty() || QGuiApplication::platformName() != QStringLiteral("xcb"))
        GTEST_SKIP() << "runs under Xvfb with VK_SELFTEST_SCREENSHOT set";
    LocalTest();
    QWidget* window = client->ui().window(FormId::SelfTest);
    auto* memo = Find<QPlainTextEdit>("Memo");
    memo->verticalScrollBar()->setValue(memo->verticalScrollBar()->maximum());  // the test's results
    window->raise();
    window->activateWindow();
    test::Settle(500);
    QPixmap shot = window->screen()->grabWindow(window->winId());
    ASSERT_FALSE(shot.isNull());
    QDir().mkpath(QFileInfo(QString::fromLocal8Bit(target)).absolutePath());
    ASSERT_TRUE(shot.save(QString::fromLocal8Bit(target), "PNG"));
}

}  // namespace
}  // namespace vk
