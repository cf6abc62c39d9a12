// Client sessions over TCP: logons, frames as they arrive on the socket, and connections
// that end, go quiet or send too much.
#include <gtest/gtest.h>

#include <QThread>

#include "base/text_scramble.h"
#include "client/corvane_client.h"
#include "client/event_wait.h"
#include "protocol/socket_state.h"
#include "support/test_server.h"
#include "wire/cipher.h"

namespace corvane::test {
namespace {

// STX, then each field followed by EOT.
QByteArray Text(const QList<QByteArray>& fields) {
  QByteArray text("\x02");
  for (const QByteArray& field : fields) text += field + '\x04';
  return text;
}
QByteArray PlainFrame(const QList<QByteArray>& fields) { return Text(fields) + "\x03\x03\x03\x04"; }

class SessionTest : public ::testing::Test {
 protected:
  // By default the refresh drops a connection without a logon at once.
  explicit SessionTest(const ConnectionLimits& limits = {.logonGraceMs = 0}) : server_(limits) {}

  void SetUp() override {
    server_.catalogue.published = {{"Orders.mdb", "/data/Orders.mdb"},
                                   {"Stock.mdb", "/data/Stock.mdb"}};
    server_.catalogue.tableLists = {{"Customers", "Orders"}, {}, {}, {"Parts"}};
    server_.catalogue.queryLists = {{"~sq_cByRegion", "Totals"}};
    ASSERT_TRUE(server_.Start());
  }

  // A client with its slot connection open, not logged on.
  std::unique_ptr<CorvaneClient> Connected() {
    auto client = std::make_unique<CorvaneClient>(3000);
    EXPECT_TRUE(client->Connect(server_.host(), server_.port()));
    return client;
  }
  std::unique_ptr<CorvaneClient> LoggedOn(const QByteArray& user = "bob",
                                          const QByteArray& password = "secret",
                                          int32_t key = 12345678) {
    auto client = Connected();
    const auto reply = client->Logon(user, password, key);
    EXPECT_TRUE(reply && reply->word == "Accepted");
    return client;
  }

  TestServer server_;
};

TEST_F(SessionTest, AcceptedLogonWithEncryptionOffIsFollowedByPlainTraffic) {
  auto client = Connected();
  const auto reply = client->Logon("bob", "secret", 12345678, "192.168.1.20");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->word, "Accepted");
  EXPECT_EQ(reply->fields, QList<QByteArray>{"000"});
  EXPECT_TRUE(reply->enciphered);
  const auto& rows = server_.slots().CurrentUsers().Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].user, "bob");
  EXPECT_EQ(rows[0].remoteAddress, "192.168.1.20");
  EXPECT_EQ(rows[0].localPort, QString::number(server_.slots().Slot(0).transport().LocalPort()));
  const auto list = client->Request("ThankYou");
  ASSERT_TRUE(list);
  EXPECT_FALSE(list->enciphered);
  EXPECT_EQ(list->fields, (QList<QByteArray>{"Orders.mdb", "Stock.mdb"}));
  // An unknown command gets no answer and leaves the connection working.
  client->Send("Frobnicate");
  EXPECT_FALSE(client->ReadReply(150));
  EXPECT_EQ(client->Request("ThankYou").value_or(ClientReply{}).word, "Databases");
}

TEST_F(SessionTest, EncryptionOnHandsOutTheKeySeedAndEnciphersTraffic) {
  server_.settings.EncryptionEnabled = 1;
  server_.slots().RenewKeySeed();
  const int16_t seed = server_.slots().KeySeed();
  auto client = Connected();
  const auto reply = client->Logon("bob", "secret", 12345678);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->fields, QList<QByteArray>{QByteArray::number(seed).rightJustified(3, '0')});
  EXPECT_EQ(client->SessionKey(), seed);
  const auto tables = client->Request("RequestTables", {"2.6"});
  ASSERT_TRUE(tables);
  EXPECT_TRUE(tables->enciphered);
  EXPECT_EQ(tables->fields, QList<QByteArray>{"Parts"});
  for (int i = 0; i < 500; ++i) {
    server_.slots().RenewKeySeed();
    ASSERT_GE(server_.slots().KeySeed(), 1);
    ASSERT_LE(server_.slots().KeySeed(), 126);
  }
}

TEST_F(SessionTest, FramesSplitAcrossReadsAndPipelined) {
  auto client = LoggedOn();
  const QByteArray frame = PlainFrame({"RequestTables", "0"});
  client->SendRaw(frame.left(5));
  EXPECT_FALSE(client->ReadReply(100));
  // Everything but the trailer's EOT: still waiting.
  client->SendRaw(frame.mid(5, frame.size() - 6));
  EXPECT_FALSE(client->ReadReply(100));
  client->SendRaw(frame.right(1));
  auto reply = client->ReadReply();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->fields, (QList<QByteArray>{"Customers", "Orders"}));

  client->SendRaw(PlainFrame({"RequestQuery", "0"}) + PlainFrame({"RequestTables", "1"}) +
                  PlainFrame({"RequestTables", "3"}));
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
  const QByteArray logon = Text({"Logon", "bob", MirrorText("secret"), "a"});
  const QByteArray bytes = EncryptPayload(logon, 48, LogonKey) + "\x03\x03\x03" + "abcd" +
                           EncryptPayload(Text({"ThankYou"}), seed, 12345678) + "\x03\x03\x03" +
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
  EXPECT_TRUE(server_.slots().CheckInactivity());
  ASSERT_TRUE(busy->Request("ThankYou"));
  EXPECT_TRUE(server_.slots().CheckInactivity());
  EXPECT_TRUE(idle->WaitForDisconnected(3000));
  EXPECT_EQ(server_.activity.events.back(), std::make_pair(0, QByteArray("Logoff")));
  EXPECT_TRUE(busy->IsConnected());
  server_.settings.InactivityLimit = 0;
  EXPECT_FALSE(server_.slots().CheckInactivity());  // off: the timer may stop

  busy->Disconnect();
  ASSERT_TRUE(WaitUntil([&] { return server_.slots().SlotState(1) == kSocketPeerClosing; }, 3000));
  EXPECT_EQ(server_.slots().RefreshStatus().users, "Users: 0");
  EXPECT_EQ(server_.slots().CurrentUsers().rowCount(), 0);
  EXPECT_EQ(server_.slots().SlotState(1), kSocketClosed);
  EXPECT_EQ(server_.activity.events.back(), std::make_pair(1, QByteArray("Logoff")));
  EXPECT_EQ(server_.slots().Slot(1).session.SlotUserName, "");
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

}  // namespace
}  // namespace corvane::test
