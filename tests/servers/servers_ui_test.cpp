// The meta browser and the mplayer.ini editor as Qt windows built from their definitions, in
// the windowed client on the offscreen platform (or under Xvfb for the screenshot), against
// the meta-server stub over loopback. The checks read the widgets, not the form models.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <gtest/gtest.h>

#include "client/ui/front_end.h"
#include "qt_client_fixture.h"
#include "qt_env.h"
#include "tests/core_checks/game_folder.h"
#include "tools/metastub/metastub.h"

namespace vk {
namespace {

using test::BoxAnswerer;
using test::Find;
using test::Menu;
using test::NoShell;
using test::QuietPriority;
using test::RunUntil;

const std::string kIni = "[MetaServers]\r\nServer=TCP:192.0.2.61:6001\r\n[KnownServers]\r\n"
                         "//  Home field\r\nserver= UDP:192.0.2.70:2300 ;  Home Field\r\nPort=2991\r\n";

class ServersUi : public ::testing::Test {
protected:
    void SetUp() override {
        game.file("volkarmmp.exe", "MZ game")
            .file("wdnhelp.exe", "MZ companion")
            .file("wdnplyr", "client")
            .file("mplayer.ini", kIni)
            .file("data\\fmparam3.dat", "FMPARAM3")
            .file("data\\acspecs1.dat", "ACSPECS1")
            .file("WDNplyr-settings.txt", "PortMapping=off\r\n");
        for (int i = 0; i < 5; ++i) game.file("data\\volkar" + std::to_string(i) + ".ted", "terrain");
        processes.table = {{1, {game.root() + "wdnplyr"}}, {2, {game.root() + "wdnhelp.exe"}}};
        metastub::Options o;
        o.entries = stub_entries();
        stub = std::make_unique<metastub::Stub>(o);
        ASSERT_TRUE(stub->start());
    }

    static std::vector<metastub::Entry> stub_entries() {
        return {
            {"Volkar II/Camel Club", "Dawn patrol over Flanders", "t", "UDP:192.0.2.5:2300"},
            {"Volkar II/Jasta 11", "Red flight", "t", "UDP:192.0.2.11:2400"},
            {"Volkar II/Escadrille", "Volkar II/Escadrille", "t", "UDP:192.0.2.12:2500"},
        };
    }

    std::unique_ptr<ui::WindowedClient> Start() {
        ui::WindowedOptions o;
        o.gameFolder = game.root();
        o.shell = &shell;
        o.processes = &processes;
        o.priority = &priority;
        o.portMapper = &noPortMapper;  // no router of the machine's network is asked
        auto c = std::make_unique<ui::WindowedClient>(o);
        EXPECT_TRUE(c->start());
        // The browser's menu entry is enabled once the terrain check is done.
        EXPECT_TRUE(RunUntil([&] { return Menu(*c, "Mupdmplyr") && Menu(*c, "Mupdmplyr")->isEnabled(); }, 20000));
        return c;
    }
    // Opens the browser from the menu and refreshes it against the stub.
    QListWidget* Refresh(ui::WindowedClient& c) {
        Menu(c, "Mupdmplyr")->trigger();
        EXPECT_TRUE(RunUntil([&] { return c.ui().window(FormId::MetaBrowser)->isVisible(); }, 5000));
        auto* server = Find<QLineEdit>(c, FormId::MetaBrowser, "metabrwser");
        EXPECT_NE(server, nullptr);
        // As typed: the edit hands its text to the model on textEdited.
        const QString address = QString::fromStdString("127.0.0.1:" + std::to_string(stub->port()));
        server->setText(address);
        Q_EMIT server->textEdited(address);
        EXPECT_EQ(c.app().metabrws.metabrwser.text, address.toStdString());
        auto* list = Find<QListWidget>(c, FormId::MetaBrowser, "srvrs");
        Find<QPushButton>(c, FormId::MetaBrowser, "getem")->click();
        EXPECT_TRUE(RunUntil([&] { return list->count() == 4; }, 20000)) << list->count();
        return list;
    }

    test::GameFolder game;
    FixedProcesses processes;
    QuietPriority priority;
    NoShell shell;
    NoPortMapper noPortMapper;
    BoxAnswerer boxes;
    std::unique_ptr<metastub::Stub> stub;
};

TEST_F(ServersUi, BrowserRefreshShowsTheSortedServers) {
    auto c = Start();
    QListWidget* list = Refresh(*c);
    std::vector<std::string> rows;
    for (int i = 0; i < list->count(); ++i) rows.push_back(list->item(i)->text().toLatin1().toStdString());
    EXPECT_EQ(rows, (std::vector<std::string>{
                        "Camel Club |__| Dawn patrol over Flanders |__| UDP:192.0.2.5:2300",
                        "Escadrille |__| UDP:192.0.2.12:2500",
                        "Jasta 11 |__| Red flight |__| UDP:192.0.2.11:2400",
                        "\xFEKnown server = server= udp:192.0.2.70:2300 ;  home field",
                    }));
    EXPECT_EQ(Find<QLabel>(*c, FormId::MetaBrowser, "metainfo")->text().toStdString(), "Ready.....");
    const std::string bytes = std::to_string(metastub::Directory(stub_entries()).size());
    EXPECT_EQ(Find<QLabel>(*c, FormId::MetaBrowser, "bcount")->text().toStdString(), std::string(5 - bytes.size(), ' ') + bytes);
    EXPECT_EQ(list->toolTip().toStdString(), "Double click to Kickstart this server and check status window....");
    EXPECT_EQ(stub->goodRequests(), 1);

    Find<QPushButton>(*c, FormId::MetaBrowser, "stopit")->click();
    EXPECT_TRUE(RunUntil([&] { return !c->ui().window(FormId::MetaBrowser)->isVisible(); }, 5000));
    c->shutdown();
}

TEST_F(ServersUi, EditorRoundTrip) {
    auto c = Start();
    Menu(*c, "Manualeditmplayerini1")->trigger();
    EXPECT_TRUE(RunUntil([&] { return c->ui().window(FormId::MplayerEdit)->isVisible(); }, 5000));
    auto* memo = Find<QPlainTextEdit>(*c, FormId::MplayerEdit, "Memo1");
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(memo->toPlainText().toStdString(),
              "[MetaServers]\nServer=TCP:192.0.2.61:6001\n[KnownServers]\n//  Home field\n"
              "server= UDP:192.0.2.70:2300 ;  Home Field\nPort=2991");
    memo->setPlainText(memo->toPlainText() + QStringLiteral("\n; edited by hand"));
    Find<QPushButton>(*c, FormId::MplayerEdit, "savmplyr")->click();
    EXPECT_TRUE(RunUntil([&] { return !c->ui().window(FormId::MplayerEdit)->isVisible(); }, 5000));
    EXPECT_EQ(game.read("mplayer.ini"), kIni + "; edited by hand\r\n");
    c->shutdown();
}

TEST_F(ServersUi, ScreenshotOfTheBrowserAfterARefresh) {
    QByteArray target = qgetenv("VK_UI_SCREENSHOT");
    if (target.isEmpty() || QGuiApplication::platformName() != QStringLiteral("xcb"))
        GTEST_SKIP() << "runs under Xvfb with VK_UI_SCREENSHOT set";
    auto c = Start();
    Refresh(*c);
    QWidget* browser = c->ui().window(FormId::MetaBrowser);
    Find<QListWidget>(*c, FormId::MetaBrowser, "srvrs")->setCurrentRow(0);
    browser->raise();
    browser->activateWindow();
    test::Settle(500);
    QPixmap shot = browser->screen()->grabWindow(browser->winId());
    ASSERT_FALSE(shot.isNull());
    QDir().mkpath(QFileInfo(QString::fromLocal8Bit(target)).absolutePath());
    ASSERT_TRUE(shot.save(QString::fromLocal8Bit(target), "PNG"));
    c->shutdown();
}

}  // namespace
}  // namespace vk
