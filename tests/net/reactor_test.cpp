#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "net_test_support.h"
#include "platform/poll_reactor.h"

namespace vk {
namespace {

using test::Fd;
using test::Note;
using test::TcpPair;

class ReactorTest : public ::testing::Test, protected test::NoteRecorder {
protected:
    // Delivers until `event` has come `times` times (at most 3 s).
    bool WaitFor(unsigned event, size_t times = 1) {
        return reactor.runUntil([&] { return Count(event) >= times; }, 3000);
    }
    // Lets whatever is due arrive; for checking that nothing more comes.
    void Settle() { reactor.runUntil([] { return false; }, 100); }

    PollReactor reactor;
};

TEST_F(ReactorTest, ReadComesOnceUntilTheReceiveReenablesIt) {
    TcpPair pair;
    ASSERT_EQ(reactor.watch(pair.server, Reactor::Read | Reactor::Close, Recorder()), 0);
    ASSERT_EQ(send(pair.client, "ab", 2, 0), 2);
    ASSERT_TRUE(WaitFor(Reactor::Read));
    Settle();
    EXPECT_EQ(Count(Reactor::Read), 1u) << "unread data must not flood the handler";

    char c;
    ASSERT_EQ(recv(pair.server, &c, 1, 0), 1);  // one byte left
    reactor.reenable(pair.server, Reactor::Read);
    EXPECT_TRUE(WaitFor(Reactor::Read, 2));
    EXPECT_EQ(notes.back().socket, pair.server.fd);
}

TEST_F(ReactorTest, ReadIsDroppedWhenTheDataWasTakenBeforeItsTurn) {
    TcpPair a, b;
    int first = std::min(a.server.fd, b.server.fd), second = std::max(a.server.fd, b.server.fd);
    int firstClient = first == a.server.fd ? a.client.fd : b.client.fd;
    int secondClient = first == a.server.fd ? b.client.fd : a.client.fd;
    // The first handler drains the second socket, as a blocking read would.
    reactor.watch(first, Reactor::Read, [&](int s, unsigned e, int err) {
        notes.push_back({s, e, err});
        char buf[16];
        recv(second, buf, sizeof buf, MSG_DONTWAIT);
        recv(first, buf, sizeof buf, MSG_DONTWAIT);
    });
    reactor.watch(second, Reactor::Read, Recorder());
    send(secondClient, "b", 1, 0);
    send(firstClient, "a", 1, 0);
    ASSERT_TRUE(test::WaitReadable(second));
    ASSERT_TRUE(test::WaitReadable(first));
    ASSERT_TRUE(WaitFor(Reactor::Read));
    Settle();
    ASSERT_EQ(notes.size(), 1u) << "a Read for data already gone would make the receive fail";
    EXPECT_EQ(notes[0].socket, first);

    send(secondClient, "c", 1, 0);  // the next arrival is announced
    ASSERT_TRUE(WaitFor(Reactor::Read, 2));
    EXPECT_EQ(notes.back().socket, second);
}

TEST_F(ReactorTest, OrderlyEndGivesOneCloseAfterTheDataIsRead) {
    TcpPair pair;
    reactor.watch(pair.server, Reactor::Read | Reactor::Close, Recorder());
    send(pair.client, "x", 1, 0);
    shutdown(pair.client, SHUT_WR);
    ASSERT_TRUE(WaitFor(Reactor::Read));
    EXPECT_EQ(Count(Reactor::Close), 0u);
    char c;
    recv(pair.server, &c, 1, 0);
    reactor.reenable(pair.server, Reactor::Read);
    ASSERT_TRUE(WaitFor(Reactor::Close));
    EXPECT_EQ(notes.back().error, 0);
    Settle();
    EXPECT_EQ(Count(Reactor::Close), 1u);
}

TEST_F(ReactorTest, ResetGivesCloseWithTheError) {
    TcpPair pair;
    reactor.watch(pair.server, Reactor::Read | Reactor::Close, Recorder());
    linger abortive{1, 0};
    setsockopt(pair.client, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    close(pair.client.fd);
    pair.client.fd = -1;
    ASSERT_TRUE(WaitFor(Reactor::Close));
    EXPECT_EQ(notes.back().error, ECONNRESET);
}

TEST_F(ReactorTest, DataSentBeforeAResetThatCameBeforeTheAcceptIsReadFirst) {
    Fd accepted = test::AcceptedAfterReset("xy");
    ASSERT_GE(accepted.fd, 0);
    reactor.watch(accepted, Reactor::Read | Reactor::Write | Reactor::Accept | Reactor::Close, Recorder());
    ASSERT_TRUE(WaitFor(Reactor::Read)) << "the data must not be lost with the reset";
    EXPECT_EQ(Count(Reactor::Close), 0u);
    char buf[8];
    ASSERT_EQ(recv(accepted, buf, sizeof buf, 0), 2);
    reactor.reenable(accepted, Reactor::Read);
    ASSERT_TRUE(WaitFor(Reactor::Close));
    EXPECT_EQ(notes.back().error, ECONNRESET);
}

TEST_F(ReactorTest, ConnectCompletesWithConnectThenWrite) {
    Fd listener = test::BoundSocket(SOCK_STREAM, 0, 5);
    Fd s(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
    reactor.watch(s, Reactor::Read | Reactor::Write | Reactor::Connect | Reactor::Close, Recorder());
    sockaddr_in a = test::LoopbackAddress(test::LocalPort(listener));
    connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ASSERT_TRUE(WaitFor(Reactor::Write));
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].event, Reactor::Connect);
    EXPECT_EQ(notes[0].error, 0);
    EXPECT_EQ(notes[1].event, Reactor::Write);
}

TEST_F(ReactorTest, RefusedConnectGivesOneConnectWithTheError) {
    Fd closedPort = test::BoundSocket(SOCK_STREAM);  // bound, not listening: connects are refused
    Fd s(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
    reactor.watch(s, Reactor::Read | Reactor::Write | Reactor::Connect | Reactor::Close, Recorder());
    sockaddr_in a = test::LoopbackAddress(test::LocalPort(closedPort));
    connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ASSERT_TRUE(WaitFor(Reactor::Connect));
    Settle();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].error, ECONNREFUSED);
}

TEST_F(ReactorTest, ListenerGetsAcceptOncePerAccept) {
    Fd listener = test::BoundSocket(SOCK_STREAM, 0, 5);
    fcntl(listener, F_SETFL, O_NONBLOCK);
    reactor.watch(listener, Reactor::Accept, Recorder());
    Fd c1 = test::ConnectTo(test::LocalPort(listener));
    Fd c2 = test::ConnectTo(test::LocalPort(listener));
    ASSERT_TRUE(WaitFor(Reactor::Accept));
    Settle();
    EXPECT_EQ(Count(Reactor::Accept), 1u);
    Fd a1(accept(listener, nullptr, nullptr));
    reactor.reenable(listener, Reactor::Accept);
    EXPECT_TRUE(WaitFor(Reactor::Accept, 2));
}

TEST_F(ReactorTest, NotificationsArriveInOrderAndEndedWatchesGetNone) {
    TcpPair a, b;
    reactor.watch(a.server, Reactor::Close, Recorder());
    reactor.watch(b.server, Reactor::Close, Recorder());
    reactor.notify(b.server, Reactor::Close, 0);
    reactor.notify(a.server, Reactor::Close, 0);
    reactor.processEvents(0);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].socket, b.server.fd);
    EXPECT_EQ(notes[1].socket, a.server.fd);

    notes.clear();
    TcpPair c;
    reactor.watch(c.server, Reactor::Close, Recorder());
    reactor.notify(c.server, Reactor::Close, 0);
    reactor.unwatch(c.server);  // e.g. the socket was closed and its number may come back
    reactor.watch(c.server, Reactor::Close, Recorder());
    Settle();
    EXPECT_TRUE(notes.empty()) << "a notification of an ended watch must not reach the new one";
}

TEST_F(ReactorTest, WatchRefusesWhatIsNotASocket) {
    EXPECT_EQ(reactor.watch(-1, Reactor::Read, Recorder()), ENOTSOCK);
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    EXPECT_EQ(reactor.watch(p[0], Reactor::Read, Recorder()), ENOTSOCK);
    EXPECT_FALSE(reactor.watching(p[0]));
    close(p[0]);
    close(p[1]);
}

TEST_F(ReactorTest, TimerRepeatsUntilStopped) {
    int fired = 0;
    Reactor::TimerId id = reactor.startTimer(5, [&] { ++fired; });
    ASSERT_TRUE(reactor.runUntil([&] { return fired >= 3; }, 3000));
    reactor.stopTimer(id);
    int seen = fired;
    Settle();
    EXPECT_EQ(fired, seen);
}

TEST_F(ReactorTest, RunOnMainAndWaitRunsOnTheMainThread) {
    std::thread::id mainId = std::this_thread::get_id(), ranOn;
    std::atomic<bool> workerDone{false};
    bool caught = false;
    std::thread worker([&] {
        reactor.runOnMainAndWait([&] { ranOn = std::this_thread::get_id(); });
        try {
            reactor.runOnMainAndWait([] { throw std::runtime_error("in main"); });
        } catch (const std::runtime_error&) {
            caught = true;
        }
        workerDone = true;
    });
    bool finished = reactor.runUntil([&] { return workerDone.load(); }, 3000);
    worker.join();
    ASSERT_TRUE(finished);
    EXPECT_EQ(ranOn, mainId);
    EXPECT_TRUE(caught) << "the worker learns of a failure in its call";

    bool direct = false;
    reactor.runOnMainAndWait([&] { direct = true; });  // on the main thread: at once
    EXPECT_TRUE(direct);
}

}  // namespace
}  // namespace vk
