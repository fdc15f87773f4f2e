// The patch switcher as a Qt window: opened from the main window's menu, its widgets found by
// their component names, two patches turned on with its buttons; under Xvfb, a screenshot of it
// with both active.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QEnterEvent>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QTimer>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QWindow>

#include <gtest/gtest.h>

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
using test::Settle;

class SwitcherWindow : public ::testing::Test {
protected:
    void SetUp() override {
        game.file("volkarmmp.exe", "MZ game")
            .file("wdnhelp.exe", "MZ companion")
            .file("wdnplyr", "client")
            .file("mplayer.ini", "[KnownServers]\r\nPort=2983\r\n")
            .file("data\\vk.vol", "original vk.vol")
            .file("data\\vkshell.vol", "original vkshell.vol")
            .file("data\\multi\\fmparam3.dat", "original fmparam3")
            .file("data\\multi\\Camel 1917\\fmparam3.dat", "camel flight model")
            .file("data\\multi\\Camel 1917\\readme.txt", "The Camel as flown in 1917")
            .file("data\\multi\\Fokker DVII\\fmparam3.dat", "fokker flight model")
            .file("data\\multi\\Fokker DVII\\wingj1.dat", "fokker wings")
            .file("data\\multi\\Autumn skins\\plane.bmp", "autumn")
            .file("data\\multi\\Clouds\\sky.bmp", "clouds")
            .file("data\\simpatch\\Sounds\\engine.wav", "engine")
            .file("data\\3dpatch\\Glide textures\\tex.bmp", "glide")
            .folder("data\\shellpat");
        for (int i = 0; i < 5; ++i) game.file("data\\volkar" + std::to_string(i) + ".ted", "terrain");
        processes.table = {{1, {game.root() + "wdnplyr"}}, {2, {game.root() + "wdnhelp.exe"}}};
    }

    std::unique_ptr<ui::WindowedClient> Start() {
        ui::WindowedOptions o;
        o.gameFolder = game.root();
        o.shell = &shell;
        o.processes = &processes;
        o.priority = &priority;
        auto c = std::make_unique<ui::WindowedClient>(o);
        EXPECT_TRUE(c->start());
        // The switcher's menu item comes with the end of the terrain check.
        QAction* item = Menu(*c, "Mfmswitch");
        EXPECT_TRUE(RunUntil([&] { return item && item->isEnabled(); }, 20000));
        return c;
    }
    // Opens the switcher from the menu; the window system activates it.
    QWidget* Open(ui::WindowedClient& c) {
        Menu(c, "Mfmswitch")->trigger();
        QWidget* w = c.ui().window(FormId::PatchSwitcher);
        w->activateWindow();
        RunUntil([&] { return Find<QListWidget>(c, FormId::PatchSwitcher, "patchav")->count() > 0; }, 3000);
        return w;
    }
    static void Choose(QListWidget* list, const std::string& name) {
        const auto found = list->findItems(QString::fromStdString(name), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name;
        list->setCurrentItem(found[0]);
        emit list->itemClicked(found[0]);
    }
    // Turns on two patches: an FM patch and one of the others.
    void TwoActive(ui::WindowedClient& c) {
        auto* list = Find<QListWidget>(c, FormId::PatchSwitcher, "patchav");
        Choose(list, "Camel 1917");
        Settle(100);
        Find<QPushButton>(c, FormId::PatchSwitcher, "turnon")->click();
        Settle(100);
        Find<QCheckBox>(c, FormId::PatchSwitcher, "exclus")->click();
        Settle(100);
        Choose(list, "Autumn skins");
        Settle(100);
        Find<QPushButton>(c, FormId::PatchSwitcher, "turnon")->click();
        Settle(300);
    }

    test::GameFolder game;
    FixedProcesses processes;
    NoShell shell;
    QuietPriority priority;
    BoxAnswerer boxes;
};

TEST_F(SwitcherWindow, OpensFromTheMenuAndSwitchesWithItsButtons) {
    auto c = Start();
    QWidget* w = Open(*c);
    ASSERT_TRUE(w->isVisible());
    EXPECT_FALSE(c->ui().window(FormId::Main)->isVisible());  // hidden while the switcher shows
    EXPECT_TRUE(w->windowTitle().startsWith("VK3d Patch Switcher for MMP + SP "));
    auto* list = Find<QListWidget>(*c, FormId::PatchSwitcher, "patchav");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text().toStdString(), "Camel 1917");
    auto* all = Find<QTableWidget>(*c, FormId::PatchSwitcher, "allpat");
    ASSERT_NE(all, nullptr);
    EXPECT_EQ(all->rowCount(), 6);

    // The status bar shows the hint of the control under the mouse.
    auto* bar = Find<QLabel>(*c, FormId::PatchSwitcher, "StatBar");
    ASSERT_NE(bar, nullptr);
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(list, &enter);
    EXPECT_EQ(bar->text().toStdString(), c->app().patchsw.patchav.hint);
    EXPECT_FALSE(bar->text().isEmpty());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(list, &leave);
    EXPECT_TRUE(bar->text().isEmpty());

    TwoActive(*c);
    EXPECT_EQ(game.read("data/multi/fmparam3.dat"), "camel flight model");
    EXPECT_EQ(game.read("data/multi/plane.bmp"), "autumn");
    auto* active = Find<QTableWidget>(*c, FormId::PatchSwitcher, "actpat");
    ASSERT_NE(active, nullptr);
    ASSERT_NE(active->item(0, 0), nullptr);
    EXPECT_EQ(active->item(0, 0)->text().toStdString(), "camel 1917.act");
    EXPECT_EQ(active->item(1, 0)->text().toStdString(), "autumn skins.abp");
    EXPECT_EQ(Find<QLabel>(*c, FormId::PatchSwitcher, "stat")->text().toStdString(),
              "Patch Autumn skins can be enabled now");

    // The Camel off again from the all-areas grid's jump: the original comes back.
    Find<QPushButton>(*c, FormId::PatchSwitcher, "wrdone")->click();
    Settle(200);
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(c->ui().window(FormId::Main)->isVisible());
    c->shutdown();
}

// Under Xvfb (see CMakeLists.txt): the switcher with two active patches, as a PNG.
TEST_F(SwitcherWindow, ScreenshotWithTwoActivePatches) {
    QByteArray target = qgetenv("VK_UI_SCREENSHOT");
    if (target.isEmpty() || QGuiApplication::platformName() != QStringLiteral("xcb"))
        GTEST_SKIP() << "runs under Xvfb with VK_UI_SCREENSHOT set";
    auto c = Start();
    QWidget* w = Open(*c);
    TwoActive(*c);
    w->raise();
    w->activateWindow();
    Settle(500);
    QPixmap shot = w->screen()->grabWindow(w->winId());
    ASSERT_FALSE(shot.isNull());
    QDir().mkpath(QFileInfo(QString::fromLocal8Bit(target)).absolutePath());
    ASSERT_TRUE(shot.save(QString::fromLocal8Bit(target), "PNG"));
    c->shutdown();
}

}  // namespace
}  // namespace vk
