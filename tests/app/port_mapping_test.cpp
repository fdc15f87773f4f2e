// The main window's side of port mapping over a recording mapper: when the router is asked,
// what the log says for each answer, and the player's choice kept in the game folder.
#include <gtest/gtest.h>

#include "client/portmap/port_mapping.h"
#include "platform/poll_reactor.h"
#include "tests/core_checks/game_folder.h"

namespace vk::test {
namespace {

struct RecordingMapper final : PortMapperPort {
    void map(uint16_t tcp, uint16_t udp) override { calls.push_back("map " + std::to_string(tcp) + " " + std::to_string(udp)); }
    void unmap() override { calls.push_back("unmap"); }
    std::vector<PortMapEvent> take() override { return std::exchange(events, {}); }
    void stop() override { calls.push_back("stop"); }
    std::vector<std::string> calls;
    std::vector<PortMapEvent> events;
};

struct Fixture {
    GameFolder g;
    ClientState state;
    MainForm main;
    PollReactor reactor;
    RecordingMapper mapper;
    PortMapping pm{state, main, reactor, mapper};
    Fixture() { state.gameFolder = g.root(); }
};

TEST(PortMapping, AsksTheRouterOnlyWhileListeningAndSwitchedOn) {
    Fixture f;
    f.pm.FormCreate();
    EXPECT_TRUE(f.main.Mportmap.checked) << "on without a settings file";
    f.pm.Listening(50961, 40998);
    f.pm.NotListening();
    f.pm.MportmapClick();  // off: kept in the game folder, nothing asked
    EXPECT_EQ(f.g.read("WDNplyr-settings.txt"), "PortMapping=off\r\n");
    f.pm.Listening(50962, 40998);
    f.pm.MportmapClick();  // on again while listening: asked at once
    f.pm.MportmapClick();  // and off: removed at once
    f.pm.Shutdown();
    EXPECT_EQ(f.mapper.calls, (std::vector<std::string>{"map 50961 40998", "unmap", "map 50962 40998", "unmap", "stop"}));

    Fixture again;
    again.g.file("WDNplyr-settings.txt", "PortMapping=off\r\n");
    again.pm.FormCreate();
    EXPECT_FALSE(again.main.Mportmap.checked);
    again.pm.Listening(50961, 40998);
    EXPECT_TRUE(again.mapper.calls.empty());
}

TEST(PortMapping, EachAnswerOfTheRouterIsOneLogLine) {
    Fixture f;
    f.pm.FormCreate();
    f.pm.Listening(50961, 40998);
    f.mapper.events = {
        {PortMapEvent::Mapped, "UPnP IGD", "203.0.113.7", 50961, 40998, ""},
        {PortMapEvent::Removed, "UPnP IGD", "203.0.113.7", 50961, 40998, ""},
        {PortMapEvent::Refused, "NAT-PMP", "", 50961, 40998, "not authorized"},
        {PortMapEvent::NoRouter, "", "", 50961, 40998, ""},
    };
    f.reactor.runUntil([&] { return f.main.Memo1.lines.size() == 4; }, 2000);
    EXPECT_EQ(f.main.Memo1.lines,
              (std::vector<std::string>{
                  "==> Router opened port 50961/TCP and 40998/UDP for you (UPnP IGD): Internet address 203.0.113.7:50961",
                  "==> Router closed port 50961/TCP and 40998/UDP again (UPnP IGD)",
                  "==> Router refused to open port 50961/TCP and 40998/UDP (NAT-PMP): not authorized",
                  "==> No router that opens ports was found (UPnP IGD, NAT-PMP): forward port 50961 yourself or use "
                  "Kickstart",
              }));
    EXPECT_EQ(f.main.URIP.caption, "Your Internet IP : 203.0.113.7:50961");
    EXPECT_EQ(f.pm.routerAnswer(), "No router that opens ports was found (UPnP IGD, NAT-PMP): forward port 50961 "
                                   "yourself or use Kickstart");
    EXPECT_EQ(f.pm.externalAddress(), "");
}

}  // namespace
}  // namespace vk::test
