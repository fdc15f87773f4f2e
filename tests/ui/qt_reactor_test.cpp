// The Reactor on Qt's loop delivers what the socket components and the check thread rely on.
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "client/ui/qt_reactor.h"
#include "qt_env.h"
#include "tests/net/net_test_support.h"

namespace vk {
namespace {

using test::Fd;
using test::Note;
using test::TcpPair;
using test::RunUntil;
using test::Settle;

class QtReactorTest : public ::testing::Test, protected test::NoteRecorder {
protected:
    bool WaitFor(unsigned event, size_t times = 1) {
        return RunUntil([&] { return Count(event) >= times; }, 3000);
    }

    QtReactor reactor;
};

TEST_F(QtReactorTest, ReadComesOnceUntilTheReceiveReenablesIt) {
    TcpPair pair;
    int rounds = 0;
    reactor.setAfterDispatch([&] { ++rounds; });
    ASSERT_EQ(reactor.watch(pair.server, Reactor::Read | Reactor::Close, Recorder()), 0);
    ASSERT_EQ(send(pair.client, "ab", 2, 0), 2);
    ASSERT_TRUE(WaitFor(Reactor::Read));
    Settle();
    EXPECT_EQ(Count(Reactor::Read), 1u) << "unread data must not flood the handler";
    EXPECT_GE(rounds, 1) << "the front end redraws after a delivery";

    char c;
    ASSERT_EQ(recv(pair.server, &c, 1, 0), 1);
    reactor.reenable(pair.server, Reactor::Read);
    EXPECT_TRUE(WaitFor(Reactor::Read, 2));
}

TEST_F(QtReactorTest, OrderlyEndAndResetGiveOneCloseEach) {
    TcpPair orderly, reset;
    reactor.watch(orderly.server, Reactor::Read | Reactor::Close, Recorder());
    reactor.watch(reset.server, Reactor::Read | Reactor::Close, Recorder());
    shutdown(orderly.client, SHUT_WR);
    linger abortive{1, 0};
    setsockopt(reset.client, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    close(reset.client.fd);
    reset.client.fd = -1;
    ASSERT_TRUE(WaitFor(Reactor::Close, 2));
    Settle();
    ASSERT_EQ(notes.size(), 2u);
    for (const Note& n : notes) EXPECT_EQ(n.error, n.socket == reset.server.fd ? ECONNRESET : 0);
}

TEST_F(QtReactorTest, DataSentBeforeAResetThatCameBeforeTheAcceptIsReadFirst) {
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

TEST_F(QtReactorTest, ConnectCompletesOrIsRefusedOnce) {
    Fd listener = test::BoundSocket(SOCK_STREAM, 0, 5);
    Fd closedPort = test::BoundSocket(SOCK_STREAM);  // bound, not listening: refused
    Fd good(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
    Fd bad(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
    unsigned all = Reactor::Read | Reactor::Write | Reactor::Connect | Reactor::Close;
    reactor.watch(good, all, Recorder());
    reactor.watch(bad, all, Recorder());
    sockaddr_in a = test::LoopbackAddress(test::LocalPort(listener));
    sockaddr_in r = test::LoopbackAddress(test::LocalPort(closedPort));
    connect(good, reinterpret_cast<sockaddr*>(&a), sizeof a);
    connect(bad, reinterpret_cast<sockaddr*>(&r), sizeof r);
    ASSERT_TRUE(WaitFor(Reactor::Connect, 2));
    ASSERT_TRUE(WaitFor(Reactor::Write));
    Settle();
    std::vector<Note> ofGood, ofBad;
    for (const Note& n : notes) (n.socket == good.fd ? ofGood : ofBad).push_back(n);
    ASSERT_EQ(ofGood.size(), 2u);
    EXPECT_EQ(ofGood[0].event, Reactor::Connect);
    EXPECT_EQ(ofGood[0].error, 0);
    EXPECT_EQ(ofGood[1].event, Reactor::Write);
    ASSERT_EQ(ofBad.size(), 1u);
    EXPECT_EQ(ofBad[0].error, ECONNREFUSED);
}

TEST_F(QtReactorTest, ListenerGetsAcceptOncePerAccept) {
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

TEST_F(QtReactorTest, ASocketNumberWatchedAgainGetsOnlyItsOwnNotifications) {
    TcpPair first;
    Fd nextClient = test::ConnectTo(test::LocalPort(first.listener));  // waits in the backlog
    reactor.watch(first.server, Reactor::Read, Recorder());
    send(first.client, "x", 1, 0);
    ASSERT_TRUE(test::WaitReadable(first.server));
    // The socket ends and its number comes back for the next connection before the loop runs.
    int number = first.server.fd;
    reactor.unwatch(number);
    close(first.server.fd);
    first.server.fd = -1;
    Fd next(accept(first.listener, nullptr, nullptr));
    ASSERT_EQ(next.fd, number);
    reactor.watch(next, Reactor::Read, Recorder());
    Settle();
    EXPECT_TRUE(notes.empty()) << "nothing was sent on the new connection";
    send(nextClient, "y", 1, 0);
    ASSERT_TRUE(WaitFor(Reactor::Read));
    EXPECT_EQ(notes[0].socket, number);
}

TEST_F(QtReactorTest, TimerRepeatsUntilStoppedAlsoFromItsOwnCallback) {
    int fired = 0, selfStopped = 0;
    Reactor::TimerId id = reactor.startTimer(5, [&] { ++fired; });
    Reactor::TimerId once = 0;
    once = reactor.startTimer(5, [&] {
        ++selfStopped;
        reactor.stopTimer(once);
    });
    ASSERT_TRUE(RunUntil([&] { return fired >= 3; }, 3000));
    reactor.stopTimer(id);
    int seen = fired;
    Settle();
    EXPECT_EQ(fired, seen);
    EXPECT_EQ(selfStopped, 1);
}

TEST_F(QtReactorTest, RunOnMainAndWaitRunsOnTheMainThread) {
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
    bool finished = RunUntil([&] { return workerDone.load(); }, 3000);
    worker.join();
    ASSERT_TRUE(finished);
    EXPECT_EQ(ranOn, mainId);
    EXPECT_TRUE(caught) << "the worker learns of a failure in its call";

    bool direct = false;
    reactor.runOnMainAndWait([&] { direct = true; });
    EXPECT_TRUE(direct);
}

TEST(QtReactorEnd, AWorkerWaitingWhenTheReactorEndsIsReleased) {
    std::atomic<bool> ran{false}, queued{false};
    std::thread worker;
    {
        QtReactor reactor;
        worker = std::thread([&] {
            queued = true;
            reactor.runOnMainAndWait([&] { ran = true; });
        });
        while (!queued) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    worker.join();
    EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace vk
