// The meta browser's refresh against the meta-server stub over loopback (ephemeral ports),
// with the virtual clock for its pauses, in fixture game folders.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "client/servers/meta_browser.h"
#include "platform/poll_reactor.h"
#include "tests/core_checks/game_folder.h"
#include "tools/metastub/metastub.h"

namespace vk {
namespace {

using test::GameFolder;

class NoDnsResolver final : public NameResolver {
public:
    bool hostByName(const std::string&, uint32_t&, int& error) override {
        error = 11001;
        return false;
    }
    bool hostByAddr(uint32_t, std::string&, int& error) override {
        error = 11001;
        return false;
    }
    std::string hostName() override { return "testhost"; }
};

const std::string kIni =
    "[MetaServers]\r\nServer=TCP:192.0.2.61:6001\r\n[KnownServers]\r\n"
    "//  Home field\r\nserver= UDP:192.0.2.70:2300 ;  Home Field\r\n";
const std::string kKnown = "\xFEKnown server = server= udp:192.0.2.70:2300 ;  home field";

std::vector<metastub::Entry> Servers() {
    return {
        {"Volkar II/Camel Club", "Dawn patrol", "t", "UDP:127.0.0.1:42998"},
        {"Volkar II/Albatros", "Volkar II/Albatros", "t", "UDP:192.0.2.5:2300"},
        {"Jasta", "Jasta field", "t", "UDP:192.0.2.6:2400"},
    };
}

struct BrowserFixture {
    explicit BrowserFixture(metastub::Options o = {}, NameResolver& r = NameResolver::system()) : resolver(r) {
        game.file("mplayer.ini", kIni);
        state.gameFolder = game.root();
        if (o.entries.empty()) o.entries = Servers();
        stub = std::make_unique<metastub::Stub>(o);
        EXPECT_TRUE(stub->start());
        browser = std::make_unique<MetaBrowser>(form, MetaBrowserPorts{clock, dialogs, reactor, resolver, state, ini},
                                                MetaDefaults{"meta.volkar.example", "127.0.0.1"});
        browser->Sockets1.Timeout = 2;
        form.metabrwser.text = "127.0.0.1:" + std::to_string(stub->port());
    }
    std::vector<std::string> boxes() const {
        std::vector<std::string> t;
        for (const auto& b : dialogs.shown) t.push_back(b.text);
        return t;
    }

    GameFolder game;
    ClientState state;
    MainForm main;
    Tmplayeredit editor;
    Tmetabrws form;
    PollReactor reactor;
    ScriptedDialogs dialogs;
    VirtualClock clock;
    NameResolver& resolver;
    MplayerServers ini{{main, editor}, {dialogs, state}};
    std::unique_ptr<metastub::Stub> stub;
    std::unique_ptr<MetaBrowser> browser;
};

TEST(MetaBrowser, RefreshListsDirectoryAndKnownServersSorted) {
    BrowserFixture f;
    f.game.file("meta.txt", "last time").file("prev-meta.txt", "older");
    f.browser->getemClick();
    EXPECT_EQ(f.form.srvrs.items, (std::vector<std::string>{
                                      // "__|" before letters, 0xFE after them, as the sorted list orders
                                      "__| Jasta |__| Jasta field |__| UDP:192.0.2.6:2400",
                                      "Albatros |__| UDP:192.0.2.5:2300",
                                      "Camel Club |__| Dawn patrol |__| UDP:127.0.0.1:42998",
                                      kKnown,
                                  }));
    EXPECT_EQ(f.stub->goodRequests(), 1);
    EXPECT_EQ(f.stub->badRequests(), 0);
    const std::string reply = metastub::Directory(Servers());
    EXPECT_EQ(f.game.read("meta100.txt"), reply);
    EXPECT_EQ(f.form.bcount.caption, std::string(5 - std::to_string(reply.size()).size(), ' ') + std::to_string(reply.size()));
    EXPECT_TRUE(f.game.exists("no-0meta.txt"));
    EXPECT_EQ(f.game.read("no-0meta.txt"), "");
    EXPECT_FALSE(f.game.exists("meta.txt"));
    EXPECT_EQ(f.game.read("prev-meta.txt"), "last time");
    EXPECT_EQ(f.form.metainfo.caption, "Ready.....");
    EXPECT_EQ(f.form.Caption, "Meta Browser");
    EXPECT_TRUE(f.dialogs.shown.empty());
    // One connect (500), the request (2000), a 255-byte receive per block and the one that
    // finds the end (200 each), the listing (3 x 200).
    const size_t receives = (reply.size() + 254) / 255 + 1;
    EXPECT_EQ(f.clock.totalSlept(), 500u + 2000u + 200u * receives + 600u);
}

TEST(MetaBrowser, AReplyClosedAfter300BytesAndASlowOne) {
    struct Case {
        const char* name;
        long cut;
        int delay;
        int chunk;
        std::string bcount;
    } cases[] = {
        {"cut after 300", 300, 0, 4096, "  300"},
        {"slow, in small pieces", -1, 20, 40, "  " + std::to_string(metastub::Directory(Servers()).size())},
    };
    for (const auto& c : cases) {
        metastub::Options o;
        o.cutAfter = c.cut;
        o.delayMs = c.delay;
        o.chunk = c.chunk;
        BrowserFixture f(o);
        f.browser->getemClick();
        EXPECT_EQ(f.form.bcount.caption, c.bcount) << c.name;
        EXPECT_EQ(f.form.srvrs.items.back(), kKnown) << c.name;
        EXPECT_GE(f.form.srvrs.items.size(), 2u) << c.name;
        EXPECT_EQ(f.form.Caption, "Meta Browser") << c.name;
    }
}

TEST(MetaBrowser, TheReplyIsReadInAtMost100BlocksOf255Bytes) {
    metastub::Options o;
    for (int i = 0; i < 60; ++i)
        o.entries.push_back({"Volkar II/Server " + std::to_string(100 + i), std::string(150, 'd'), std::string(100, 't'),
                             "UDP:192.0.2." + std::to_string(i + 1) + ":2300"});
    ASSERT_GT(metastub::Directory(o.entries).size(), 25500u);
    BrowserFixture f(o);
    f.browser->getemClick();
    // A receive may return less than 255 bytes when the rest has not arrived yet.
    const size_t stored = f.game.read("meta100.txt").size();
    EXPECT_LE(stored, 25500u);
    EXPECT_EQ(f.form.bcount.caption, std::string(5 - std::to_string(stored).size(), ' ') + std::to_string(stored));
    // The entries that arrived whole are listed; the cut one reads zeros past the reply's end.
    EXPECT_GT(f.form.srvrs.items.size(), 30u);
    EXPECT_EQ(f.clock.totalSlept(), 500u + 2000u + 100u * 200u + 600u);
}

TEST(MetaBrowser, TenFailedConnectsShowTheBoxOnceAndListKnownServers) {
    BrowserFixture f;
    // A loopback port nobody listens on.
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    f.form.metabrwser.text = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    f.browser->getemClick();
    EXPECT_EQ(f.boxes(), std::vector<std::string>{"Meta server did not respond...."});
    EXPECT_EQ(f.form.srvrs.items, std::vector<std::string>{kKnown});
    EXPECT_EQ(f.clock.totalSlept(), 10u * 500u + 600u);
    EXPECT_EQ(f.game.read("meta100.txt"), "");
}

TEST(MetaBrowser, SkipMetaListsOnlyKnownServersAndWritesNoReplyFile) {
    BrowserFixture f;
    f.form.skipmeta.checked = true;
    f.browser->getemClick();
    EXPECT_EQ(f.form.srvrs.items, std::vector<std::string>{kKnown});
    EXPECT_FALSE(f.game.exists("meta100.txt"));
    EXPECT_EQ(f.stub->goodRequests() + f.stub->badRequests(), 0);
}

TEST(MetaBrowser, ASilentMetaServerEndsTheQueryAtTheSocketsTimeout) {
    metastub::Options o;
    o.silent = true;
    BrowserFixture f(o);
    f.browser->Sockets1.Timeout = 1;
    f.browser->getemClick();
    EXPECT_EQ(f.form.Caption, "Exception occurred in getmetas");
    EXPECT_EQ(f.form.srvrs.items, std::vector<std::string>{kKnown});
    EXPECT_EQ(f.form.metainfo.caption, "Ready.....");
}

TEST(MetaBrowser, AnUnresolvedNameAsksTheFallbackAddress) {
    NoDnsResolver noDns;
    BrowserFixture f({}, noDns);
    f.form.metabrwser.text = "meta.volkar.example:" + std::to_string(f.stub->port());
    f.browser->getemClick();
    EXPECT_EQ(f.browser->Sockets1.IPAddr, "127.0.0.1");
    EXPECT_EQ(f.form.srvrs.items.size(), 4u);
}

TEST(MetaBrowser, UnreadableMplayerIniStillListsTheDirectory) {
    BrowserFixture f;
    std::remove(f.game.osPath("mplayer.ini").c_str());
    f.browser->getemClick();
    EXPECT_EQ(f.form.Caption, "Exception Getting Known servers...");
    EXPECT_EQ(f.form.srvrs.items.size(), 3u);
}

TEST(MetaBrowser, DoubleClickAddAndExit) {
    BrowserFixture f;
    std::vector<std::optional<std::string>> kicks;
    f.browser->onKick = [&](const std::optional<std::string>& e) { kicks.push_back(e); };
    f.browser->modMPiniClick();
    EXPECT_EQ(f.boxes(), std::vector<std::string>{"No servers listed.... You must click \"Refresh\" first...."});

    f.browser->getemClick();
    f.form.srvrs.itemIndex = 2;
    f.browser->srvrsDblClick();
    f.form.srvrs.itemIndex = -1;
    f.browser->srvrsDblClick();
    ASSERT_EQ(kicks.size(), 2u);
    EXPECT_EQ(kicks[0], std::optional<std::string>("Camel Club |__| Dawn patrol |__| UDP:127.0.0.1:42998"));
    EXPECT_EQ(kicks[1], std::nullopt);

    // The add button offers the public directory servers not yet in the file.
    f.dialogs.shown.clear();
    f.dialogs.answers = {BoxButton::No, BoxButton::No, BoxButton::No, BoxButton::No};
    f.browser->modMPiniClick();
    // The three directory servers (the add rule counts only 192.168. and 10. as private), then
    // the final question.
    EXPECT_EQ(f.boxes().size(), 4u);
    EXPECT_EQ(f.game.read("mplayer.ini"), kIni);

    f.form.visible = true;
    WindowDef w = f.browser->Window();
    for (const char* name : {"metabrwser", "skipmeta", "getem", "stopit", "modMPini", "srvrs", "metainfo", "bcount"})
        EXPECT_NE(w.control(name), nullptr) << name;
    EXPECT_TRUE(w.fire("stopit", Event::Click));
    EXPECT_FALSE(f.form.visible);
}

}  // namespace
}  // namespace vk
