#include <gtest/gtest.h>

#include <fcntl.h>

#include <cstdlib>
#include <cstring>

#include <string>
#include <vector>

#include "client/net/udp_socket.h"
#include "net_test_support.h"
#include "platform/poll_reactor.h"

namespace vk {
namespace {

using test::Fd;

class UdpSocketTest : public ::testing::Test {
protected:
    UdpSocketTest() {
        udp.OnError = [this](const std::string& msg, int num) { errors.push_back({msg, num}); };
        udp.OnReceive = [this](TudpSocket&) { ++received; };
        udp.OnWriteReady = [this](TudpSocket&) { ++writeReady; };
        udp.OnCloseSocket = [this](TudpSocket&) { ++closed; };
    }
    // Opens the component on a free port; returns it.
    uint16_t OpenAnywhere() {
        udp.SetPort(0);
        udp.Open();
        return test::LocalPort(udp.Handle());
    }
    void SendTo(int from, uint16_t port, const std::string& bytes) {
        sockaddr_in to = test::LoopbackAddress(port);
        ASSERT_EQ(sendto(from, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
                  static_cast<ssize_t>(bytes.size()));
    }
    bool WaitReceive(int times = 1) {
        return reactor.runUntil([&] { return received >= times; }, 3000);
    }

    struct Error {
        std::string msg;
        int num;
    };
    PollReactor reactor;
    ScriptedDialogs dialogs;
    test::FakeResolver resolver;
    TudpSocket udp{reactor, dialogs, resolver};
    std::vector<Error> errors;
    int received = 0, writeReady = 0, closed = 0;
};

// --- Open and Close ---------------------------------------------------------------------------

TEST_F(UdpSocketTest, OpenBindsThePortAndAnnouncesThatItCanWrite) {
    EXPECT_EQ(udp.Handle(), 0);
    EXPECT_FALSE(udp.IsOpen());
    Fd probe = test::BoundSocket(SOCK_DGRAM);
    uint16_t port = test::LocalPort(probe);
    probe = Fd();
    udp.SetPort(port);
    udp.Open();
    ASSERT_TRUE(udp.IsOpen());
    EXPECT_EQ(test::LocalPort(udp.Handle()), port);
    EXPECT_EQ(udp.Port(), port);
    EXPECT_TRUE(reactor.runUntil([&] { return writeReady == 1; }, 3000));

    udp.Open();  // on an open socket: closes and opens again
    EXPECT_TRUE(udp.IsOpen());
    EXPECT_TRUE(errors.empty());
}

TEST_F(UdpSocketTest, OpenWithoutASocketReportsInsteadOfThrowing) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto child = [&] {
            rlimit few{64, 64};
            setrlimit(RLIMIT_NOFILE, &few);
            test::ExhaustDescriptors();
            udp.Open();
            bool ok = !udp.IsOpen() && errors.size() == 1 && errors[0].num == 10024 &&
                      errors[0].msg == "Too many open files";
            std::exit(ok ? 0 : 1);
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
}

TEST_F(UdpSocketTest, OpenOnAPortInUseReportsAndStaysClosed) {
    Fd taken = test::BoundSocket(SOCK_DGRAM);
    udp.SetPort(test::LocalPort(taken));
    udp.Open();
    EXPECT_FALSE(udp.IsOpen());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].num, 10048);
    EXPECT_EQ(errors[0].msg, "Address already in use");
}

TEST_F(UdpSocketTest, CloseTwiceReportsAndNeverClosesAnotherDescriptor) {
    OpenAnywhere();
    int handle = udp.Handle();
    udp.Close();
    EXPECT_FALSE(udp.IsOpen());
    EXPECT_EQ(udp.Handle(), handle) << "the handle is kept after Close";
    Fd reused(socket(AF_INET, SOCK_DGRAM, 0));  // likely takes the same number
    udp.Close();
    EXPECT_EQ(fcntl(reused, F_GETFD), 0) << "someone else's descriptor was closed";
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].num, 10038);
}

// --- Sending and receiving --------------------------------------------------------------------

TEST_F(UdpSocketTest, ALongTextLeavesAsA511ByteDatagram) {
    Fd receiver = test::BoundSocket(SOCK_DGRAM);
    OpenAnywhere();
    udp.SetLocation("127.0.0.1");
    udp.SetSendport(test::LocalPort(receiver));
    udp.SendText(std::string(600, 'x'));
    ASSERT_TRUE(test::WaitReadable(receiver));
    char buf[1024];
    EXPECT_EQ(recv(receiver, buf, sizeof buf, 0), 511);

    udp.SendText("areuwdn:?");
    ASSERT_TRUE(test::WaitReadable(receiver));
    EXPECT_EQ(recv(receiver, buf, sizeof buf, 0), 9) << "no terminator is sent";
    EXPECT_TRUE(errors.empty());
}

TEST_F(UdpSocketTest, SendBufferGivesTheCountSent) {
    Fd receiver = test::BoundSocket(SOCK_DGRAM);
    OpenAnywhere();
    udp.SetLocation("127.0.0.1");
    udp.SetSendport(test::LocalPort(receiver));
    const char bytes[] = {1, 0, 2, 0};
    int length = sizeof bytes;
    udp.SendBuffer(bytes, length);
    EXPECT_EQ(length, 4);
    ASSERT_TRUE(test::WaitReadable(receiver));
    char buf[8];
    EXPECT_EQ(recv(receiver, buf, sizeof buf, 0), 4);
}

TEST_F(UdpSocketTest, ALongDatagramIsReadAsAtMost511Bytes) {
    uint16_t port = OpenAnywhere();
    Fd sender = test::BoundSocket(SOCK_DGRAM);
    SendTo(sender, port, std::string(600, 'y'));
    ASSERT_TRUE(WaitReceive());
    TudpAddress from;
    EXPECT_EQ(udp.ReceiveText(from), std::string(511, 'y'));
}

TEST_F(UdpSocketTest, ReceivedTextKeepsZeroBytesAndNamesTheSender) {
    uint16_t port = OpenAnywhere();
    Fd sender = test::BoundSocket(SOCK_DGRAM, 27000);
    if (sender < 0) GTEST_SKIP() << "port 27000 is taken here";
    SendTo(sender, port, std::string("go\0port:1", 9));
    ASSERT_TRUE(WaitReceive());
    TudpAddress from;
    EXPECT_EQ(udp.ReceiveText(from), std::string("go\0port:1", 9));
    EXPECT_EQ(from.Port, 27000u) << "host order";
    EXPECT_EQ(from.Location, "127.0.0.1");
    EXPECT_EQ(from.IPText, "127.0.0.1");
    EXPECT_EQ(from.Name, "NO REVERSE DNS!");
    EXPECT_EQ(udp.LastSender().Port, 27000u);

    SendTo(sender, port, "again");
    ASSERT_TRUE(WaitReceive(2)) << "reading re-enables the notification";
    char buf[16];
    int length = sizeof buf;
    TudpAddress raw = udp.ReceiveBuffer(buf, length);
    EXPECT_EQ(length, 5);
    EXPECT_EQ(raw.Port, htons(27000)) << "network order from ReceiveBuffer";
    EXPECT_EQ(udp.LastSender().Port, 27000u);
}

TEST_F(UdpSocketTest, ReceiveBufferTakesAtMostLengthMinusOne) {
    uint16_t port = OpenAnywhere();
    Fd sender = test::BoundSocket(SOCK_DGRAM);
    SendTo(sender, port, "abcdef");
    ASSERT_TRUE(WaitReceive());
    char buf[8] = {};
    int length = 4;
    udp.ReceiveBuffer(buf, length);
    EXPECT_EQ(length, 3);
    EXPECT_EQ(std::string(buf, 3), "abc");
}

TEST_F(UdpSocketTest, AFailedReceiveGivesNoTextAndAnErrorSender) {
    OpenAnywhere();
    TudpAddress from;
    EXPECT_EQ(udp.ReceiveText(from), "") << "nothing waiting";
    EXPECT_EQ(from.Location, "error receiving");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].num, 10035);
}

// --- Location and Resolve ---------------------------------------------------------------------

TEST_F(UdpSocketTest, ADottedLocationReadsBackTheSame) {
    udp.SetLocation("192.0.2.7");
    EXPECT_EQ(udp.Location(), "192.0.2.7");
    EXPECT_EQ(udp.Destination().Name, "NO REVERSE DNS!");
    EXPECT_EQ(udp.Destination().Location, "192.0.2.7");
    EXPECT_EQ(resolver.lookups, 0) << "dotted text needs no lookup";
}

TEST_F(UdpSocketTest, ReverseLookupNamesTheAddressOrSaysItFailed) {
    udp.ReverseDNS = true;
    udp.SetLocation("127.0.0.1");
    EXPECT_EQ(udp.Destination().Name, "localhost");
    udp.SetLocation("192.0.2.7");
    EXPECT_EQ(udp.Destination().Name, "reverse dns lookup error");
    EXPECT_EQ(udp.Location(), "192.0.2.7");
}

TEST_F(UdpSocketTest, ANameThatDoesNotResolveReadsBackEmpty) {
    udp.SetLocation("wdn.nowhere.invalid");
    EXPECT_EQ(udp.Location(), "");
    EXPECT_EQ(udp.Destination().Addr, 0u);
    EXPECT_EQ(udp.Destination().Location, "error");
    EXPECT_EQ(udp.Destination().Name, "");

    udp.SetLocation("localhost");
    EXPECT_EQ(udp.Location(), "127.0.0.1");
    EXPECT_EQ(udp.Destination().Name, "localhost");
}

TEST_F(UdpSocketTest, SendingToAnUnresolvedDestinationFailsInsteadOfReachingThisHost) {
    Fd receiver = test::BoundSocket(SOCK_DGRAM);
    OpenAnywhere();
    udp.SetLocation("wdn.nowhere.invalid");
    udp.SetSendport(test::LocalPort(receiver));
    udp.SendText("idport:40998");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].num, 10049);
    EXPECT_FALSE(test::WaitReadable(receiver, 100)) << "address 0 would mean this host";
}

TEST_F(UdpSocketTest, ResolveLeavesTheComponentAlone) {
    udp.SetLocation("192.0.2.1");
    TudpAddress a = udp.Resolve("localhost");
    EXPECT_EQ(a.IPText, "127.0.0.1");
    EXPECT_EQ(a.Addr, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(a.Port, 0u);
    EXPECT_EQ(udp.Location(), "192.0.2.1");
    EXPECT_EQ(udp.Resolve("").Location, "error");
}

TEST_F(UdpSocketTest, IPToTextTakesTheBytesInMemoryOrder) {
    const unsigned char bytes[4] = {10, 0, 255, 7};
    uint32_t address;
    std::memcpy(&address, bytes, 4);
    EXPECT_EQ(TudpSocket::IPToText(address), "10.0.255.7");
    EXPECT_EQ(TudpSocket::IPToText(0), "0.0.0.0");
}

// --- Notifications and error reports ----------------------------------------------------------

TEST_F(UdpSocketTest, NotificationsRaiseTheirEventsAndErrorsGetTheirTexts) {
    udp.HandleSocketMessage(1, 0);
    udp.HandleSocketMessage(2, 0);
    udp.HandleSocketMessage(32, 0);
    udp.HandleSocketMessage(8, 0);  // no event for it
    EXPECT_EQ(received, 1);
    EXPECT_EQ(writeReady, 1);
    EXPECT_EQ(closed, 1);

    const struct {
        unsigned code;
        const char* text;
    } cases[] = {
        {1, "Connection refused (Error while receiving.)."},
        {2, "Connection refused (Error while sending.)."},
        {4, "Connection refused (Error OOB.)."},
        {8, "Connection refused (Error while accepting incoming connection.)."},
        {16, "Connection refused (Error while connecting.)."},
        {32, "Connection refused (Error while disconnecting.)."},
        {64, "Connection refused (Undefined error.)."},
    };
    for (const auto& c : cases) {
        errors.clear();
        WSASetLastError(10061);  // the current error is reported, not the error word
        udp.HandleSocketMessage(c.code, 10054);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].msg, c.text);
        EXPECT_EQ(errors[0].num, 10061);
    }
}

TEST_F(UdpSocketTest, ErrorTextRules) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"", "Connection refused"},
        {"+Ooppz No Winsock, this app ll be boring without it.",
         "Connection refused (Ooppz No Winsock, this app ll be boring without it.)."},
        {"plain words", "plain words"},
    };
    for (const auto& c : cases) {
        errors.clear();
        udp.SocketError(10061, c.text);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].msg, c.message);
        EXPECT_EQ(errors[0].num, 10061);
    }
}

TEST_F(UdpSocketTest, WithoutAnErrorHandlerAMessageBoxShowsTheNumberInHex) {
    udp.OnError = nullptr;
    udp.SocketError(10061);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              "Ugh I got an Error, and you don't write error handlers\r\nShame on you !!!!. Take a look at it :\r\n"
              "Connection refused (error number : 0x00274D).\r\nAssign an OnError event handler !!!");
    EXPECT_TRUE(errors.empty());
}

}  // namespace
}  // namespace vk
