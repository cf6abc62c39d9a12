// Logons from a hostile address: refused ones leave no name on the slot and make the address
// wait, over TCP and the web alike (the server never blocks meanwhile), handshakes without
// logons cannot take every slot, and the activity list stays readable and names the real
// address.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpSocket>

#include "client/event_wait.h"
#include "protocol/socket_state.h"
#include "support/test_server.h"
#include "transport/web/web_api.h"

namespace corvane::test {
namespace {

ConnectionLimits ShortLimits(qint64 firstDelayMs = 150, qint64 longestDelayMs = 600,
                             int summaryEveryMs = 60'000) {
  return {.logonGraceMs = 0,
          .mostUnloggedSlotsPerAddress = 3,
          .firstLogonDelayMs = firstDelayMs,
          .longestLogonDelayMs = longestDelayMs,
          .logonSummaryEveryMs = summaryEveryMs};
}

class LogonGuardTest : public ::testing::Test {
 protected:
  explicit LogonGuardTest(const ConnectionLimits& limits = ShortLimits()) : server_(limits) {}
  void SetUp() override {
    // "ThankYou" lists the published databases: a request every logged-on client may send.
    server_.catalogue.Replace(
        {{{QStringLiteral("a.db"), QStringLiteral("/nowhere/a.db")}}, {}, {}});
    ASSERT_TRUE(server_.Start());
  }

  std::unique_ptr<CorvaneClient> Connected() { return ConnectedClient(server_.port(), 5000); }
  // The reply word of a logon and how long it took to come.
  std::pair<QByteArray, qint64> TimedLogon(CorvaneClient& client, const QByteArray& user,
                                           const QByteArray& password, int32_t key) {
    QElapsedTimer timer;
    timer.start();
    const auto reply = client.Logon(user, password, key);
    return {reply ? reply->word : QByteArray(), timer.elapsed()};
  }
  int NotesContaining(const QString& part) const {
    int n = 0;
    for (const auto& note : server_.activity.notes) n += note.second.contains(part) ? 1 : 0;
    return n;
  }

  TestServer server_;
};

TEST_F(LogonGuardTest, ARefusedLogonLeavesNoNameSoTheRealUserGetsInAndTheSlotIsLetGo) {
  server_.settings.AllowMultipleLogons = 0;
  auto guesser = Connected();
  EXPECT_EQ(guesser->Logon("bob", "nope", 12345678)->word, "PassDenied");
  // The row of the refusal names the user tried.
  ASSERT_FALSE(server_.activity.entries.empty());
  EXPECT_EQ(server_.activity.entries.back().user, "bob");

  auto owner = Connected();
  EXPECT_EQ(owner->Logon("bob", "secret", 12345678)->word, "Accepted");
  server_.slots().RefreshStatus();
  EXPECT_EQ(server_.slots().Status().users, "Users: 1");
  // The refused connection is let go like one that never logged on: without a row.
  EXPECT_TRUE(guesser->WaitForDisconnected(3000));
  EXPECT_EQ(server_.activity.Count("Logoff"), 0);
  EXPECT_EQ(owner->Request("ThankYou")->word, "Databases");
}

TEST_F(LogonGuardTest, HandshakesWithoutLogonsFromOneAddressTakeOnlyTheirShareOfSlots) {
  auto first = Connected();
  auto second = Connected();
  CorvaneClient reserving(3000);
  const auto reserved = reserving.RequestSlotPort(server_.host(), server_.port());
  ASSERT_TRUE(reserved);
  EXPECT_NE(*reserved, 0);
  // Two connected and one reserved: the address holds its three.
  CorvaneClient refused(3000);
  EXPECT_EQ(refused.RequestSlotPort(server_.host(), server_.port()).value_or(1), 0);
  EXPECT_EQ(server_.slots().ConnectedCount(), 2);

  // A logon frees its place in the share.
  EXPECT_EQ(first->Logon("bob", "secret", 12345678)->word, "Accepted");
  auto third = Connected();
  EXPECT_TRUE(third->IsConnected());
  EXPECT_EQ(third->Logon("ann", "pw", 23456789)->word, "Accepted");
}

class ReservationCapTest : public LogonGuardTest {
 protected:
  ReservationCapTest()
      : LogonGuardTest(
            {.logonGraceMs = 0, .mostUnloggedSlotsPerAddress = 3, .mostReservedSlots = 1}) {}
};

TEST_F(ReservationCapTest, SlotsReservedAndNotYetConnectedHaveACapOverAllAddresses) {
  CorvaneClient reserving(3000);
  const quint16 reserved = reserving.RequestSlotPort(server_.host(), server_.port()).value_or(0);
  EXPECT_NE(reserved, 0);
  // The address has used one of its three; all reservations together, their one.
  CorvaneClient refused(3000);
  EXPECT_EQ(refused.RequestSlotPort(server_.host(), server_.port()).value_or(1), 0);

  // Its client connects while the server is busy (its event loop has not run since): the
  // slot is no longer waiting, so the next handshake gets one.
  QTcpSocket arrived;
  arrived.connectToHost(QHostAddress::LocalHost, reserved);
  ASSERT_TRUE(arrived.waitForConnected(3000));
  CorvaneClient next(3000);
  EXPECT_NE(next.RequestSlotPort(server_.host(), server_.port()).value_or(0), 0);
}

TEST_F(LogonGuardTest, RefusalsAreAnsweredLaterEachTimeWhileOthersAreServed) {
  auto bystander = LoggedOnClient(server_.port(), "ann", "pw", 23456789, 5000);
  auto guesser = Connected();
  const qint64 expected[] = {150, 300, 600, 600};
  for (const qint64 least : expected) {
    const auto [word, ms] = TimedLogon(*guesser, "bob", "guess", 12345678);
    // The words are those of every refusal; only their time changed.
    EXPECT_EQ(word, "PassDenied");
    // Timers may fire a little early (coarse timers allow 5 %).
    EXPECT_GE(ms, least * 9 / 10);
  }
  const auto [unknown, unknownMs] = TimedLogon(*guesser, "nobody", "x", 12345678);
  EXPECT_EQ(unknown, "UserDenied");
  EXPECT_GE(unknownMs, 540);

  // While a refusal is held back the server goes on serving everyone else at once, and
  // another connection from the address waits its turn.
  auto other = Connected();
  QElapsedTimer timer;
  timer.start();
  guesser->Send("Logon", {"bob", "guess", "127.0.0.1"});
  // Let the server read the guess first: the sockets are not read in the order written.
  WaitUntil([] { return false; }, 50);
  EXPECT_EQ(bystander->Request("ThankYou")->word, "Databases");
  EXPECT_LT(timer.elapsed(), 400);
  EXPECT_EQ(other->Logon("bob", "secret", 12345678)->word, "Accepted");
  EXPECT_GE(timer.elapsed(), 520);
  EXPECT_EQ(guesser->ReadReply(3000)->word, "PassDenied");
}

TEST_F(LogonGuardTest, RefusalsOverTheWebAndOverTcpCountTogetherForAnAddress) {
  WebApi web(server_.slots(), 8080);
  const auto webLogon = [&web](const QString& user, const QString& password,
                               const QString& address = QStringLiteral("127.0.0.1")) {
    WebAnswer given;
    web.Logon(address, {{"user", user}, {"password", password}},
              [&given](WebAnswer answer) { given = std::move(answer); });
    return given.status;
  };
  // While a refusal over TCP is held back, the web tells the same address to try later.
  auto guesser = Connected();
  guesser->Send("Logon", {"nobody", "x", "127.0.0.1"});
  ASSERT_TRUE(WaitUntil([this] { return server_.slots().LogonWaitMs("127.0.0.1") > 0; }, 3000));
  EXPECT_EQ(webLogon("bob", "secret"), 429);
  EXPECT_EQ(webLogon("ann", "pw", "192.0.2.8"), 200);
  EXPECT_EQ(guesser->ReadReply(3000)->word, "UserDenied");
  // A refusal over the web makes the next TCP logon wait.
  EXPECT_EQ(webLogon("bob", "guess"), 401);
  QElapsedTimer timer;
  timer.start();
  auto owner = Connected();
  EXPECT_EQ(owner->Logon("bob", "secret", 12345678)->word, "Accepted");
  EXPECT_GE(timer.elapsed(), 270);
  // An accepted logon ends the run: the next refusal is carried out at once.
  EXPECT_EQ(webLogon("bob", "guess"), 401);
  EXPECT_EQ(server_.activity.Count("PassDenied"), 2);
}

class LogonSummaryTest : public LogonGuardTest {
 protected:
  LogonSummaryTest() : LogonGuardTest(ShortLimits(300, 300, 500)) {}
};

// The wait between answers bounds the rows an address can cause, so every answered refusal
// has its row, whatever name it tried; one never answered (its connection left while the
// answer was held) is only counted, and summed up now and then.
TEST_F(LogonSummaryTest, EveryAnsweredRefusalHasItsRowAndUnansweredOnesAreSummedUp) {
  auto leaving = Connected();
  leaving->Send("Logon", {"bob", "guess", "127.0.0.1"});
  ASSERT_TRUE(WaitUntil([this] { return server_.slots().LogonWaitMs("127.0.0.1") > 0; }, 3000));
  leaving->Disconnect();
  auto guesser = Connected();
  EXPECT_EQ(guesser->Logon("bob", "guess", 12345678)->word, "PassDenied");
  EXPECT_EQ(guesser->Logon("ann", "guess", 23456789)->word, "PassDenied");
  // An unknown name's refusal comes under the key of the name tried before.
  EXPECT_EQ(guesser->Logon("nobody", "x", 23456789)->word, "UserDenied");
  EXPECT_EQ(server_.activity.Count("PassDenied"), 2);
  EXPECT_EQ(server_.activity.Count("UserDenied"), 1);
  server_.slots().RefreshStatus();
  EXPECT_EQ(NotesContaining("1 more refused logons from 127.0.0.1"), 1);
  server_.slots().RefreshStatus();
  EXPECT_EQ(NotesContaining("more refused logons"), 1);
}

TEST_F(LogonGuardTest, ALogonRowIsFollowedByTheRealAddressWhenTheClientGaveAnother) {
  auto honest = Connected();
  EXPECT_EQ(honest->Logon("ann", "pw", 23456789, "127.0.0.1")->word, "Accepted");
  EXPECT_EQ(NotesContaining("came from"), 0);

  auto spoofing = Connected();
  EXPECT_EQ(spoofing->Logon("bob", "secret", 12345678, "10.1.2.3")->word, "Accepted");
  // The row is as it always was; the note after it names the connection's address.
  const ActivityEntry& row = server_.activity.entries.back();
  EXPECT_EQ(row.code, "Logon");
  EXPECT_EQ(row.remoteAddress, "10.1.2.3");
  ASSERT_GE(server_.activity.timeline.size(), 2u);
  EXPECT_EQ(server_.activity.timeline.end()[-2], "Logon");
  EXPECT_TRUE(server_.activity.timeline.back().startsWith("note: "));
  EXPECT_TRUE(server_.activity.timeline.back().contains("127.0.0.1"));
  EXPECT_TRUE(server_.activity.timeline.back().contains("10.1.2.3"));
  EXPECT_EQ(server_.activity.notes.back().first, "bob");
}

}  // namespace
}  // namespace corvane::test
