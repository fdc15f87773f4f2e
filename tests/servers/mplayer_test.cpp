// mplayer.ini: the meta-server toggle, the known-server listing, the adding of browsed servers
// and the manual editor, in fixture game folders with scripted boxes.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>

#include "client/servers/mplayer_ini.h"
#include "client/servers/mplayer_servers.h"
#include "tests/core_checks/game_folder.h"

namespace vk {
namespace {

using test::GameFolder;

struct IniFixture {
    explicit IniFixture(const std::string& ini) {
        game.file("mplayer.ini", ini);
        state.gameFolder = game.root();
    }
    std::string file() const { return game.read("mplayer.ini"); }
    std::vector<std::string> texts() const {
        std::vector<std::string> t;
        for (const auto& b : dialogs.shown) t.push_back(b.text);
        return t;
    }
    GameFolder game;
    ClientState state;
    MainForm main;
    Tmplayeredit editor;
    ScriptedDialogs dialogs;
    MplayerServers ini{{main, editor}, {dialogs, state}, {"192.0.2.61", "meta2.volkar.example"}};
};

const std::string kMeta1 = "Server=TCP:192.0.2.61:6001\r\n";
const std::string kMeta2 = "Server=TCP:meta2.volkar.example:6001\r\n";

TEST(MetaToggle, TwoTogglesRestoreTheMetaLinesInTheirOrder) {
    // Lines the toggle does not mean to touch: odd bytes, tabs, trailing blanks, an LF-only end.
    const std::string head = "[Game]\r\nName=\xE9t\xE9 \t \r\nudp: in a comment\r\n[metaservers]\r\n";
    const std::string tail = "; after\r\n[KnownServers]\r\nserver= UDP:192.0.2.9:2300 ;  Nine\r\n";
    IniFixture f(head + "server=TCP:old.example:6001\r\nSERVER=TCP:older.example:6001\n" + tail);
    f.ini.StartupState();
    EXPECT_TRUE(f.main.Meta_toggle.checked);
    EXPECT_EQ(f.main.Meta_toggle.caption, "Using KAL meta servers");

    f.ini.Meta_toggleClick();
    EXPECT_FALSE(f.main.Meta_toggle.checked);
    EXPECT_EQ(f.main.Meta_toggle.caption, "Using [Known Servers] of mplayer.ini");
    EXPECT_EQ(f.file(), head + tail);

    f.ini.Meta_toggleClick();
    EXPECT_TRUE(f.main.Meta_toggle.checked);
    EXPECT_EQ(f.main.Meta_toggle.caption, "Using KAL meta servers");
    EXPECT_EQ(f.file(), head + kMeta1 + kMeta2 + tail);

    ASSERT_EQ(f.dialogs.shown.size(), 2u);
    EXPECT_EQ(f.texts(), (std::vector<std::string>{"Using Mplayer.ini [Known Servers] now....", "Using Meta servers now...."}));
    for (const auto& b : f.dialogs.shown) {
        EXPECT_EQ(b.x, 100);
        EXPECT_EQ(b.y, 100);
    }
}

TEST(MetaToggle, HeaderOnTheLastLineAndMissingHeader) {
    IniFixture last("[Game]\r\n[MetaServers]");
    last.ini.StartupState();
    EXPECT_FALSE(last.main.Meta_toggle.checked);
    last.ini.Meta_toggleClick();
    EXPECT_EQ(last.file(), "[Game]\r\n[MetaServers]\r\n" + kMeta1 + kMeta2);

    const std::string none = "[Game]\r\nServer=TCP:x:6001\r\n";
    IniFixture missing(none);
    missing.main.Meta_toggle.checked = true;
    missing.ini.Meta_toggleClick();
    EXPECT_EQ(missing.file(), none);
    EXPECT_TRUE(missing.main.Meta_toggle.checked);
    ASSERT_EQ(missing.texts(), std::vector<std::string>{"[MetaServers] section not found, plz correct.."});
    EXPECT_EQ(missing.dialogs.shown[0].x, 100);
}

TEST(MetaToggle, AFileThatCannotBeWrittenChangesNothing) {
    const std::string ini = "[MetaServers]\r\nServer=TCP:a:6001\r\n" + std::string(200, ';') + "\r\n";
    IniFixture f(ini);
    f.ini.StartupState();
    // A full disk: the file size limit stops the temporary file's write.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    f.ini.Meta_toggleClick();
    setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_EQ(f.file(), ini);
    EXPECT_TRUE(f.main.Meta_toggle.checked);
    ASSERT_EQ(f.dialogs.shown.size(), 1u);
    EXPECT_EQ(f.dialogs.shown[0].text.rfind("Cannot write mplayer.ini", 0), 0u) << f.dialogs.shown[0].text;
    // No temporary file is left behind.
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(f.game.root())) names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"mplayer.ini"});
}

TEST(MetaToggle, AReadOnlyFileIsLeftAlone) {
    const std::string ini = "[MetaServers]\r\nServer=TCP:a:6001\r\n";
    IniFixture f(ini);
    f.ini.StartupState();
    ::chmod(f.game.osPath("mplayer.ini").c_str(), 0444);
    f.ini.Meta_toggleClick();
    EXPECT_EQ(f.file(), ini);
    EXPECT_TRUE(f.main.Meta_toggle.checked);
    ASSERT_EQ(f.dialogs.shown.size(), 1u);
    EXPECT_EQ(f.dialogs.shown[0].text, "Cannot write mplayer.ini (Permission denied), nothing changed....");

    // The editor keeps what was typed when it cannot save.
    f.ini.editmplyr();
    f.editor.Memo1.lines.push_back("typed");
    f.ini.savmplyr();
    EXPECT_TRUE(f.editor.visible);
    EXPECT_EQ(f.editor.Memo1.lines.back(), "typed");
    EXPECT_EQ(f.file(), ini);
}

TEST(MetaToggle, AMissingFileGivesABoxAndCreatesNothing) {
    IniFixture f("x");
    std::remove(f.game.osPath("mplayer.ini").c_str());
    f.ini.Meta_toggleClick();
    EXPECT_FALSE(f.game.exists("mplayer.ini"));
    ASSERT_EQ(f.dialogs.shown.size(), 1u);
    EXPECT_EQ(f.dialogs.shown[0].text.rfind("Cannot read mplayer.ini", 0), 0u);
    EXPECT_THROW(f.ini.KnownServers(), IniReadError);
}

TEST(KnownServers, EveryLineWithUdpInAnyCaseLowered) {
    IniFixture f("[KnownServers]\r\nserver= UDP:192.0.2.9:2300 ;  Nine Squadron\r\n// uDp: in a comment\r\n"
                 "[Other]\r\nTCP:1.2.3.4\r\n");
    EXPECT_EQ(f.ini.KnownServers(), (std::vector<std::string>{"\xFEKnown server = server= udp:192.0.2.9:2300 ;  nine squadron",
                                                              "\xFEKnown server = // udp: in a comment"}));
}

// Browser lines as the meta directory gives them.
std::string Line(const std::string& name, const std::string& address) {
    return name + " |__| " + name + " field |__| UDP:" + address;
}

TEST(AddServers, OffersPublicNewServersAndInsertsNewestFirst) {
    const std::string head = "[Game]\r\n[knownservers]\r\n[KnownServers]\r\n";
    const std::string tail = "server= UDP:192.0.2.9:2300 ;  Old name\r\nPort=27998\r\n";
    IniFixture f(head + tail);
    f.ini.AddServers({
        Line("A", "192.0.2.20:2300"),
        "\xFEKnown server = server= udp:192.0.2.30:2300 ;  k",  // known servers are never offered
        Line("Lan", "192.168.1.5:2300"),
        Line("Ten", "10.0.0.7:2300"),
        Line("Again", "192.0.2.9:2300"),   // already a line, whatever its name
        "Connection refused",              // an error line of the socket
        Line("Junk", "192.0.2.300:2300"),  // not an address
        Line("B", "172.16.0.1:2400"),
    });
    EXPECT_EQ(f.texts(), (std::vector<std::string>{
                             "Add this server ? \r\nserver= UDP:192.0.2.20:2300 ;  A field",
                             "Add this server ? \r\nserver= UDP:172.16.0.1:2400 ;  B field",
                             "Add the selected 2 new servers to mplayer.ini ?",
                         }));
    for (const auto& b : f.dialogs.shown) EXPECT_EQ(b.buttons, (std::vector<BoxButton>{BoxButton::No, BoxButton::Ok}));
    EXPECT_EQ(f.file(), head +
                            "//  B field\r\nserver= UDP:172.16.0.1:2400 ;  B field\r\n"
                            "//  A field\r\nserver= UDP:192.0.2.20:2300 ;  A field\r\n" +
                            tail);
}

TEST(AddServers, DecliningLeavesTheFileByteIdentical) {
    const std::string ini = "[KnownServers]\n\xFF odd\r\nlast line without end";
    struct Case {
        const char* name;
        std::deque<BoxButton> answers;
        std::string file;
        std::string question;
    } cases[] = {
        {"final question declined", {BoxButton::Ok, BoxButton::No}, ini, "Add the selected 1 new servers to mplayer.ini ?"},
        // Saved even with nothing added: the whole file comes back with CR LF line ends.
        {"server declined, final accepted", {BoxButton::No, BoxButton::Ok},
         "[KnownServers]\r\n\xFF odd\r\nlast line without end\r\n", "Add the selected 0 new servers to mplayer.ini ?"},
    };
    for (auto& c : cases) {
        IniFixture f(ini);
        f.dialogs.answers = c.answers;
        f.ini.AddServers({Line("A", "192.0.2.20:2300")});
        EXPECT_EQ(f.file(), c.file) << c.name;
        EXPECT_EQ(f.dialogs.shown.back().text, c.question) << c.name;
    }
}

TEST(AddServers, HeaderMustStartALineInItsOwnCase) {
    const std::string ini = "[knownservers]\r\n  [KnownServers]\r\n";
    IniFixture f(ini);
    f.ini.AddServers({Line("A", "192.0.2.20:2300")});
    EXPECT_EQ(f.file(), ini);
    EXPECT_EQ(f.texts(), std::vector<std::string>{
                             "cannot find \"[KnownServers]\" line in your mplayer.ini\r\nplease correct and try again"});
}

TEST(Editor, RoundTripAndSave) {
    const std::string ini = "[Game]\r\nName=x\r\n[KnownServers]\r\n";
    IniFixture f(ini);
    f.ini.editmplyr();
    EXPECT_TRUE(f.editor.visible);
    EXPECT_EQ(f.editor.Memo1.lines, (std::vector<std::string>{"[Game]", "Name=x", "[KnownServers]"}));
    f.ini.savmplyr();
    EXPECT_FALSE(f.editor.visible);
    EXPECT_EQ(f.file(), ini);

    f.ini.editmplyr();
    f.editor.Memo1.lines[1] = "Name=changed";
    f.editor.Memo1.lines.push_back("Port=27961");
    f.ini.savmplyr();
    EXPECT_EQ(f.file(), "[Game]\r\nName=changed\r\n[KnownServers]\r\nPort=27961\r\n");

    // The window's definition binds its button.
    f.ini.editmplyr();
    WindowDef w = f.ini.EditorWindow();
    EXPECT_EQ(w.name(), "mplayeredit");
    ASSERT_NE(w.control("savmplyr"), nullptr);
    EXPECT_TRUE(w.fire("savmplyr", Event::Click));
    EXPECT_FALSE(f.editor.visible);
}

TEST(IniFile, SplitServerLine) {
    struct Case {
        std::string line, address, name;
        bool ok;
    } cases[] = {
        {"A |__| B |__| UDP:1.2.3.4:5", " UDP:1.2.3.4:5", " B", true},
        {"A |__| UDP:1.2.3.4:5", " UDP:1.2.3.4:5", "A", true},
        {"x |__| A |__| B |__| UDP:1.2.3.4:5", " UDP:1.2.3.4:5", " B", true},
        {"no separator", "", "", false},
    };
    for (const auto& c : cases) {
        std::string a, n;
        EXPECT_EQ(SplitServerLine(c.line, a, n), c.ok) << c.line;
        if (c.ok) {
            EXPECT_EQ(a, c.address) << c.line;
            EXPECT_EQ(n, c.name) << c.line;
        }
    }
}

}  // namespace
}  // namespace vk
