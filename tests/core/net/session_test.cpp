// Client sessions over TCP: the handshake that hands out slots, frames as they arrive on
// the socket, and connections that end, go quiet, hold on or send too much.
#include <gtest/gtest.h>

#include <QTcpSocket>
#include <QThread>
#include <memory>
#include <vector>

#include "base/text_scramble.h"
#include "client/corvane_client.h"
#include "client/event_wait.h"
#include "protocol/socket_state.h"
#include "support/test_server.h"
#include "support/wire_text.h"
#include "wire/cipher.h"

namespace corvane::test {
namespace {

class SessionTest : public ::testing::Test {
 protected:
  // By default the refresh drops a connection without a logon at once.
  explicit SessionTest(const ConnectionLimits& limits = {.logonGraceMs = 0}) : server_(limits) {}

  void SetUp() override {
    server_.catalogue.Replace(
        {{{"Orders.mdb", "/data/Orders.mdb"}, {"Stock.mdb", "/data/Stock.mdb"}},
         {{"Customers", "Orders"}, {}, {}, {"Parts"}},
         {{"~sq_cByRegion", "Totals"}}});
    ASSERT_TRUE(server_.Start());
  }

  // A client with its slot connection open, not logged on.
  std::unique_ptr<CorvaneClient> Connected() { return ConnectedClient(server_.port()); }
  std::unique_ptr<CorvaneClient> LoggedOn(const QByteArray& user = "bob",
                                          const QByteArray& password = "secret",
                                          int32_t key = 12345678) {
    return LoggedOnClient(server_.port(), user, password, key);
  }

  TestServer server_;
};

TEST_F(SessionTest, FramesPipelinedInOneWriteAreAnsweredInOrder) {
  auto client = LoggedOn();
  client->SendRaw(PlainFrame(Message({"RequestQuery", "0"})) +
                  PlainFrame(Message({"RequestTables", "1"})) +
                  PlainFrame(Message({"RequestTables", "3"})));
  const QList<ClientReply> replies = client->ReadReplies(3);
  ASSERT_EQ(replies.size(), 3);
  EXPECT_EQ(replies[0].fields, (QList<QByteArray>{"ByRegion", "Totals"}));
  EXPECT_EQ(replies[1].word, "Tables");
  EXPECT_TRUE(replies[1].fields.isEmpty());
  EXPECT_EQ(replies[2].fields, QList<QByteArray>{"Parts"});
}

TEST_F(SessionTest, EncipheredFramesByteByByteAreReadWithTheKeysThatHoldForEach) {
  server_.settings.EncryptionEnabled = 1;
  server_.slots().RenewKeySeed();
  const int16_t seed = server_.slots().KeySeed();
  auto client = Connected();
  client->SetPrivateKey(12345678);
  client->SetSessionKey(seed);
  // The logon under the logon keys and the next request under the session keys.
  const QByteArray logon = Message({"Logon", "bob", MirrorText("secret"), "a"});
  const QByteArray bytes = EncryptPayload(logon, 48, LogonKey) + "\x03\x03\x03" + "abcd" +
                           EncryptPayload(Message({"ThankYou"}), seed, 12345678) + "\x03\x03\x03" +
                           "\x01\x02\x03\x04";
  for (char byte : bytes) client->SendRaw(QByteArray(1, byte));
  const QList<ClientReply> replies = client->ReadReplies(2);
  ASSERT_EQ(replies.size(), 2);
  EXPECT_EQ(replies[0].word, "Accepted");
  EXPECT_EQ(replies[1].word, "Databases");
  EXPECT_TRUE(replies[1].enciphered);
}

TEST_F(SessionTest, ADroppedConnectionIsReapedWithLogoffAndAnIdleOneIsDisconnected) {
  server_.settings.InactivityLimit = 1;
  auto idle = LoggedOn();
  auto busy = LoggedOn("ann", "pw", 23456789);
  server_.slots().CheckInactivity();
  ASSERT_TRUE(busy->Request("ThankYou"));
  server_.slots().CheckInactivity();
  EXPECT_TRUE(idle->WaitForDisconnected(3000));
  EXPECT_EQ(server_.activity.events.back(), std::make_pair(0, QByteArray("Logoff")));
  EXPECT_TRUE(busy->IsConnected());
  // Off: a client of the port stays however long it idles. A negative limit is off too, not
  // "at once".
  for (int16_t off : {0, -5}) {
    server_.settings.InactivityLimit = off;
    for (int minute = 0; minute < 40; ++minute) server_.slots().CheckInactivity();
  }
  EXPECT_TRUE(busy->IsConnected());

  busy->Disconnect();
  ASSERT_TRUE(WaitUntil([&] { return server_.slots().SlotState(1) == kSocketClosed; }, 3000));
  EXPECT_EQ(server_.slots().RefreshStatus().users, "Users: 0");
  EXPECT_EQ(server_.slots().CurrentUsers().rowCount(), 0);
  EXPECT_EQ(server_.slots().SlotState(1), kSocketClosed);
  EXPECT_EQ(server_.activity.events.back(), std::make_pair(1, QByteArray("Logoff")));
  EXPECT_EQ(server_.slots().Slot(1).session().SlotUserName, "");
}

// A handheld that lost its connection, or logged off, logs on again at once: the closed
// connection's slot is let go when the server sees it end, not at the next refresh, so the
// name is free.
TEST_F(SessionTest, AClientThatClosesAndLogsOnAgainAtOnceIsNeverTakenForASecondUser) {
  server_.settings.AllowMultipleLogons = 0;
  for (int round = 0; round < 30; ++round) {
    auto client = Connected();
    const auto reply = client->Logon("bob", "secret", 12345678);
    ASSERT_TRUE(reply) << "round " << round;
    ASSERT_EQ(reply->word, "Accepted") << "round " << round;
    // Every other round the last request is still on its way when the client leaves; the
    // client drops the connection, or closes it as one that logs off does.
    if (round % 2 == 1) client->SendRaw(PlainFrame(Message({"ThankYou"})));
    if (round % 4 < 2) {
      client->Disconnect();
    } else {
      client->Close();
    }
  }
  ASSERT_TRUE(WaitUntil([&] { return server_.activity.Count("Logoff") == 30; }, 5000));
  EXPECT_EQ(server_.activity.Count("MultipleUsers"), 0);
  EXPECT_EQ(server_.slots().ConnectedCount(), 0);
  // The rule still holds for a connection that stays.
  auto staying = LoggedOn();
  auto second = Connected();
  EXPECT_EQ(second->Logon("bob", "secret", 12345678)->word, "MultipleUsers");
}

// A settings file may hold any number for the encryption switch; only 1 turns it on, for the
// key the logon hands out as for the frames, so a client is never told to encipher what the
// server reads as plain.
TEST_F(SessionTest, OnlyEncryptionSettingOneHandsOutTheKeySeedAndEnciphersTraffic) {
  server_.slots().RenewKeySeed();
  const int16_t seed = server_.slots().KeySeed();
  for (int16_t value : {1, 2, -1}) {
    SCOPED_TRACE(value);
    server_.settings.EncryptionEnabled = value;
    const int16_t key = value == 1 ? seed : 0;
    auto client = Connected();
    const auto reply = client->Logon("bob", "secret", 12345678);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->fields, QList<QByteArray>{QByteArray::number(key).rightJustified(3, '0')});
    EXPECT_EQ(client->SessionKey(), key);
    const auto tables = client->Request("RequestTables", {"0"});
    ASSERT_TRUE(tables);
    EXPECT_EQ(tables->enciphered, value == 1);
    EXPECT_EQ(tables->fields, (QList<QByteArray>{"Customers", "Orders"}));
  }
  for (int i = 0; i < 500; ++i) {
    server_.slots().RenewKeySeed();
    ASSERT_GE(server_.slots().KeySeed(), 1);
    ASSERT_LE(server_.slots().KeySeed(), 126);
  }
}

class GraceSessionTest : public SessionTest {
 protected:
  GraceSessionTest() : SessionTest({.logonGraceMs = 400}) {}
};

TEST_F(GraceSessionTest, ARefreshRightAfterAClientConnectedLeavesItTimeToLogOn) {
  auto late = Connected();
  ASSERT_TRUE(WaitUntil([&] { return server_.slots().ConnectedCount() == 1; }, 3000));
  server_.slots().RefreshStatus();
  EXPECT_EQ(server_.slots().ConnectedCount(), 1);
  EXPECT_EQ(late->Logon("bob", "secret", 12345678).value_or(ClientReply{}).word, "Accepted");

  // Past the grace, a connection that never logged on goes at the next refresh, without
  // an activity row.
  auto silent = Connected();
  ASSERT_TRUE(WaitUntil([&] { return server_.slots().ConnectedCount() == 2; }, 3000));
  QThread::msleep(450);
  server_.activity.events.clear();
  EXPECT_EQ(server_.slots().RefreshStatus().users, "Users: 1");
  EXPECT_TRUE(silent->WaitForDisconnected(3000));
  EXPECT_EQ(server_.slots().ConnectedCount(), 1);
  EXPECT_TRUE(server_.activity.events.empty());
}

class LimitedSessionTest : public SessionTest {
 protected:
  LimitedSessionTest()
      : SessionTest({.receiveLimitBeforeLogon = 64, .receiveLimitAfterLogon = 256}) {}
};

TEST_F(LimitedSessionTest, ClientPastTheReceiveLimitIsCut) {
  auto stranger = Connected();
  stranger->SendRaw(QByteArray(65, 'x'));
  EXPECT_TRUE(stranger->WaitForDisconnected(3000));
  ASSERT_EQ(server_.activity.notes.size(), 1u);
  EXPECT_EQ(server_.activity.notes[0].first, "");  // not logged on: no user
  EXPECT_TRUE(server_.activity.notes[0].second.contains("127.0.0.1"));
  EXPECT_TRUE(server_.activity.notes[0].second.contains("xxxx"));
  EXPECT_EQ(server_.activity.Count("Logoff"), 1);

  // A logged-on client may send more before a frame completes.
  auto member = LoggedOn();
  member->SendRaw(QByteArray(200, 'y'));
  EXPECT_FALSE(member->WaitForDisconnected(200));
  member->SendRaw(QByteArray(100, 'y'));
  EXPECT_TRUE(member->WaitForDisconnected(3000));
  EXPECT_EQ(server_.activity.Count("Logoff"), 2);
}

TEST(HandshakeTest, ClientsGetTheLowestFreeSlotsAndAFreedOneIsHandedOutAgain) {
  TestServer server;
  ASSERT_TRUE(server.Start());
  CorvaneClient first(3000), second(3000), third(3000);
  const auto firstPort = first.RequestSlotPort(server.host(), server.port());
  const auto secondPort = second.RequestSlotPort(server.host(), server.port());
  ASSERT_TRUE(firstPort && secondPort);
  EXPECT_NE(*firstPort, 0);
  EXPECT_NE(*firstPort, *secondPort);
  // Each slot listens on its port before the port is announced.
  EXPECT_EQ(server.slots().SlotState(1), kSocketListening);
  EXPECT_EQ(server.slots().Slot(1).transport().LocalPort(), *secondPort);
  ASSERT_TRUE(first.ConnectToSlot(server.host(), *firstPort));
  ASSERT_TRUE(second.ConnectToSlot(server.host(), *secondPort));
  ASSERT_TRUE(WaitUntil([&] { return server.slots().ConnectedCount() == 2; }, 3000));
  EXPECT_EQ(server.slots().ListenerState(), kSocketListening);
  first.Disconnect();
  // The dropped session ends with its "Logoff" as soon as the server sees it, and the
  // handshake hands slot 0 out again.
  ASSERT_TRUE(WaitUntil([&] { return server.slots().SlotState(0) == kSocketClosed; }, 3000));
  EXPECT_EQ(server.activity.Count("Logoff"), 1);
  ASSERT_TRUE(third.Connect(server.host(), server.port()));
  ASSERT_TRUE(WaitUntil([&] { return server.slots().SlotState(0) == kSocketConnected; }, 3000));
  EXPECT_EQ(server.activity.Count("Logoff"), 1);
}

TEST(HandshakeTest, FullServerAnswersPortZeroAndKeepsItsClients) {
  // The refresh below drops the one without a logon; one address may fill every slot here.
  TestServer server({.logonGraceMs = 0, .mostUnloggedSlotsPerAddress = kSlotCount});
  ASSERT_TRUE(server.Start());
  std::vector<std::unique_ptr<CorvaneClient>> clients;
  for (int i = 0; i < 100; ++i) {
    clients.push_back(std::make_unique<CorvaneClient>(3000));
    ASSERT_TRUE(clients.back()->Connect(server.host(), server.port())) << "client " << i;
  }
  ASSERT_TRUE(WaitUntil([&] { return server.slots().ConnectedCount() == 100; }, 5000));
  CorvaneClient extra(3000);
  EXPECT_EQ(extra.RequestSlotPort(server.host(), server.port()), std::optional<quint16>(0));
  // 99 logged-on users already fill the server as far as the status bar is concerned.
  for (int i = 0; i < 99; ++i) {
    const auto reply = clients[i]->Logon("bob", "secret", 12345678);
    ASSERT_TRUE(reply && reply->word == "Accepted") << "client " << i;
  }
  const StatusTexts status = server.slots().RefreshStatus();
  EXPECT_EQ(status.status, "Status: Listening   Maximum Users Allowed");
  EXPECT_EQ(status.users, "Users: 99");
  EXPECT_EQ(server.slots().CurrentUsers().rowCount(), 99);
  // The one that did not log on was dropped by the refresh.
  EXPECT_TRUE(clients[99]->WaitForDisconnected(3000));
}

// Handshakes are answered side by side: connections one address keeps open after their
// answer hold up nobody else, are cut after the grace, and only so many may stay.
TEST(HandshakeTest, SilentHandshakesOfOneAddressHoldUpNoOtherAndAreCutAfterTheGrace) {
  TestServer server({.handshakeGraceMs = 1500, .mostWaitingHandshakesPerAddress = 6});
  ASSERT_TRUE(server.Start());
  QTcpSocket holders[6];
  for (QTcpSocket& holder : holders) holder.connectToHost(server.host(), server.port());
  // Each is answered at once, without waiting for the others to close.
  for (QTcpSocket& holder : holders)
    ASSERT_TRUE(WaitUntil([&] { return holder.peek(16).endsWith("\x03\x03\x03"); }, 1000));
  EXPECT_EQ(server.slots().ListenerState(), kSocketConnected);
  // Another address is answered within its client's second.
  CorvaneClient elsewhere(1000);
  elsewhere.SetLocalAddress(QHostAddress(QStringLiteral("127.0.0.2")));
  EXPECT_NE(elsewhere.RequestSlotPort(server.host(), server.port()).value_or(0), 0);
  // A seventh from the holders' address is told to try later.
  CorvaneClient seventh(3000);
  EXPECT_EQ(seventh.RequestSlotPort(server.host(), server.port()), std::optional<quint16>(0));
  for (QTcpSocket& holder : holders) EXPECT_EQ(holder.state(), QAbstractSocket::ConnectedState);
  // One holder goes while the server is busy (its event loop has not run since): its place
  // is free for the next.
  holders[0].abort();
  CorvaneClient eighth(3000);
  EXPECT_NE(eighth.RequestSlotPort(server.host(), server.port()).value_or(0), 0);
  for (QTcpSocket& holder : holders)
    EXPECT_TRUE(
        WaitUntil([&] { return holder.state() == QAbstractSocket::UnconnectedState; }, 3000));
  EXPECT_NE(seventh.RequestSlotPort(server.host(), server.port()).value_or(0), 0);
}

TEST(HandshakeTest, ReservedSlotNobodyConnectsToIsFreed) {
  TestServer server({.reservationLimitMs = 400});
  ASSERT_TRUE(server.Start());
  CorvaneClient client(3000);
  ASSERT_TRUE(client.RequestSlotPort(server.host(), server.port()));
  EXPECT_EQ(server.slots().SlotState(0), kSocketListening);
  EXPECT_TRUE(WaitUntil([&] { return server.slots().SlotState(0) == kSocketClosed; }, 3000));
}

}  // namespace
}  // namespace corvane::test
