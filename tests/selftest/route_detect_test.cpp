// The Internet-address detector over route ping outputs, the rewriting of Linux's record-route
// list into the shape the detector reads, and the ping-target check.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "client/selftest/route_detect.h"

namespace vk {
namespace {

using Lines = std::vector<std::string>;

// ping -n -c 1 -R from 192.168.61.2 behind a masquerading router (outside 203.0.113.1) to
// 203.0.113.2, as iputils prints it.
const Lines kLinuxRoute = {
    "PING 203.0.113.2 (203.0.113.2) 56(124) bytes of data.",
    "64 bytes from 203.0.113.2: icmp_seq=1 ttl=63 time=0.636 ms",
    "RR: \t192.168.61.2",
    "\t203.0.113.1",
    "\t203.0.113.2",
    "\t203.0.113.2",
    "\t192.168.61.1",
    "\t192.168.61.2",
    "",
    "",
    "--- 203.0.113.2 ping statistics ---",
    "1 packets transmitted, 1 received, 0% packet loss, time 0ms",
    "rtt min/avg/max/mdev = 0.636/0.636/0.636/0.000 ms",
};

TEST(RouteDetect, FindsTheAddressInTheFirstRouteLine) {
    struct Case {
        const char* name;
        Lines lines;
        std::optional<std::string> expected;
    } cases[] = {
        {"windows ping -r",
         {"Pinging 198.51.100.7 with 32 bytes of data:", "", "Reply from 198.51.100.7: bytes=32 time=20ms TTL=52",
          "    Route: 203.0.113.1 ->", "           198.51.100.1 ->", "           198.51.100.7", "",
          "Ping statistics for 198.51.100.7:"},
         "203.0.113.1"},
        {"rewritten linux record route", RewriteRecordRoute(kLinuxRoute, {"127.0.0.1", "192.168.61.2"}),
         "203.0.113.1"},
        {"the first matching line wins", {"a: 192.0.2.1 ->", "b: 192.0.2.2 ->", "end"}, "192.0.2.1"},
        {"only the last line matches", {"Reply from 192.0.2.9: bytes=32", "    Route: 192.0.2.1 ->"}, std::nullopt},
        {"no route at all", {"Request timed out.", "Ping statistics for 192.0.2.9:", ""}, std::nullopt},
        {"ping could not resolve the site", {"ping: ping.example: Name or service not known"}, std::nullopt},
        {"raw linux output has no arrow", kLinuxRoute, std::nullopt},
        {"the arrow before the colon does not count", {"-> then: x", "end"}, std::nullopt},
        {"colon next to the arrow gives an empty text", {"x:->", "end"}, ""},
        {"no lines", {}, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(DetectInternetIP(c.lines), c.expected) << c.name;
}

TEST(RouteDetect, RewritesTheRecordRouteFromTheFirstAddressThatIsNotOurs) {
    const Lines own = {"127.0.0.1", "192.168.61.2"};
    EXPECT_EQ(RewriteRecordRoute(kLinuxRoute, own),
              (Lines{"PING 203.0.113.2 (203.0.113.2) 56(124) bytes of data.",
                     "64 bytes from 203.0.113.2: icmp_seq=1 ttl=63 time=0.636 ms",
                     "    Route: 203.0.113.1 ->",
                     "           203.0.113.2 ->",
                     "           203.0.113.2 ->",
                     "           192.168.61.1 ->",
                     "           192.168.61.2 ->",
                     "",
                     "",
                     "--- 203.0.113.2 ping statistics ---",
                     "1 packets transmitted, 1 received, 0% packet loss, time 0ms",
                     "rtt min/avg/max/mdev = 0.636/0.636/0.636/0.000 ms"}));

    struct Case {
        const char* name;
        Lines lines;
        Lines own;
        Lines expected;
    } cases[] = {
        // A ping of our own loopback records only our own addresses: nothing to tell.
        {"only own addresses", {"RR: \t127.0.0.1", "\t127.0.0.1", "", "end"}, {}, {"RR: \t127.0.0.1", "\t127.0.0.1", "", "end"}},
        // A computer with an address of its own on a further interface.
        {"several own addresses", {"RR: \t10.1.0.5", "\t192.168.61.2", "\t198.51.100.1", "end"}, {"10.1.0.5", "192.168.61.2"},
         {"    Route: 198.51.100.1 ->", "end"}},
        {"names looked up", {"RR: \thost.lan (192.168.61.2)", "\trouter.example (203.0.113.1)", "end"}, {"192.168.61.2"},
         {"    Route: 203.0.113.1 ->", "end"}},
        {"unrecorded slots and a truncated list",
         {"RR: \t192.168.61.2", "\t0.0.0.0", "\t203.0.113.1\t(truncated route)", "end"}, {"192.168.61.2"},
         {"    Route: 203.0.113.1 ->", "end"}},
        {"no record-route block", {"PING x", "64 bytes from 192.0.2.1: icmp_seq=1"}, {}, {"PING x", "64 bytes from 192.0.2.1: icmp_seq=1"}},
    };
    for (const auto& c : cases) EXPECT_EQ(RewriteRecordRoute(c.lines, c.own), c.expected) << c.name;
}

TEST(RouteDetect, OnlyHostNamesAndAddressesMayBePinged) {
    for (const char* ok : {"127.0.0.1", "203.0.113.2", "ping.example", "a-b.c9.example", "localhost", "example."})
        EXPECT_TRUE(IsPingTarget(ok)) << ok;
    for (const char* bad : {"", "-f", "-c 100000 192.0.2.1", "192.0.2.1; rm -rf ~", "$(reboot)", "a b", "-host.example",
                            "host-.example", "a..b", ".example", "ping.example/x", "\x01host"})
        EXPECT_FALSE(IsPingTarget(bad)) << bad;
    EXPECT_FALSE(IsPingTarget(std::string(64, 'a') + ".example")) << "a label is at most 63 characters";
    EXPECT_FALSE(IsPingTarget(std::string(127, 'a') + "." + std::string(126, 'b'))) << "a name is at most 253";

    for (const char* ok : {"0.0.0.0", "255.255.255.255", "192.168.0.10"}) EXPECT_TRUE(IsDottedAddress(ok)) << ok;
    for (const char* bad : {"256.1.1.1", "1.2.3", "1.2.3.4.5", "1..2.3", "01234.1.1.1", "a.b.c.d", "1.2.3.4 "})
        EXPECT_FALSE(IsDottedAddress(bad)) << bad;
}

}  // namespace
}  // namespace vk
