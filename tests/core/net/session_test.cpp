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

QByteArray PlainFrame(const QByteArray& text) { return text + "\x03\x03\x03\x04"; }

class SessionTest : public ::testing::Test {
 protected:
  explicit SessionTest(const ConnectionLimits& limits = WithoutGrace()) : server_(limits) {}

  // The refresh drops a connection without a logon at once.
  static ConnectionLimits WithoutGrace() {
    ConnectionLimits limits;
    limits.logonGraceMs = 0;
    return limits;
  }

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

TEST_F(SessionTest, AcceptedLogonWithEncryptionOff) {
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
  EXPECT_EQ(rows[0].slot, 0);
  // Later traffic is plain.
  const auto list = client->Request("ThankYou");
  ASSERT_TRUE(list);
  EXPECT_FALSE(list->enciphered);
  EXPECT_EQ(list->word, "Databases");
  EXPECT_EQ(list->fields, (QList<QByteArray>{"Orders.mdb", "Stock.mdb"}));
  // An unknown command gets no answer and leaves the connection working.
  client->Send("Frobnicate");
  EXPECT_FALSE(client->ReadReply(150));
  EXPECT_TRUE(client->IsConnected());
  EXPECT_EQ(client->Request("ThankYou").value_or(ClientReply{}).word, "Databases");
}

TEST_F(SessionTest, EncryptionOnHandsOutTheKeySeedAndEnciphersTraffic) {
  server_.settings.EncryptionEnabled = 1;
  EXPECT_EQ(server_.slots().KeySeed(), 157);
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
  EXPECT_EQ(tables->word, "Tables");
  EXPECT_EQ(tables->fields, QList<QByteArray>{"Parts"});
}

TEST_F(SessionTest, RefusedLogons) {
  server_.settings.AllowMultipleLogons = 0;
  auto bob = LoggedOn("bob");
  // The multiple-logon rule compares names exactly; the store does not.
  const struct {
    QByteArray user, password;
    int32_t key;
    QByteArray word;
  } cases[] = {{"carl", "x", 11111111, "UserDenied"},
               {"bob", "secret", 12345678, "MultipleUsers"},
               {"BOB", " SECRET  ", 12345678, "Accepted"},
               {"ann", "nope", 23456789, "PassDenied"}};
  std::vector<std::unique_ptr<CorvaneClient>> clients;
  for (const auto& c : cases) {
    clients.push_back(Connected());
    const auto reply = clients.back()->Logon(c.user, c.password, c.key);
    EXPECT_EQ(reply ? reply->word : QByteArray("<none>"), c.word) << c.user.constData();
  }
}

TEST_F(SessionTest, ConnectionsThatNeverLogOnAreRefusedAndClosedByTheRefresh) {
  auto silent = Connected();
  auto client = Connected();
  const auto reply = client->Request("ThankYou");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->word, "UserDenied");
  EXPECT_TRUE(reply->enciphered);
  auto other = Connected();
  const auto unknown = other->Request("Hello", {"x"});
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->word, "UserDenied");
  EXPECT_EQ(server_.activity.Count("UserDenied"), 2);
  server_.activity.events.clear();
  ASSERT_TRUE(WaitUntil([&] { return server_.slots().ConnectedCount() == 3; }, 3000));
  EXPECT_EQ(server_.slots().RefreshStatus().users, "Users: 0");
  for (auto* dropped : {silent.get(), client.get(), other.get()}) {
    EXPECT_TRUE(dropped->WaitForDisconnected(3000));
  }
  EXPECT_EQ(server_.slots().SlotState(0), kSocketClosed);
  // Dropped without an activity row.
  EXPECT_TRUE(server_.activity.events.empty());
}

TEST_F(SessionTest, FramesSplitAcrossReadsAndPipelined) {
  auto client = LoggedOn();
  const QByteArray frame = PlainFrame(
      "\x02RequestTables\x04"
      "0\x04");
  client->SendRaw(frame.left(5));
  EXPECT_FALSE(client->ReadReply(100));
  client->SendRaw(frame.mid(5, frame.size() - 6));
  // Everything but the trailer's EOT: still waiting.
  EXPECT_FALSE(client->ReadReply(100));
  client->SendRaw(frame.right(1));
  auto reply = client->ReadReply();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->fields, (QList<QByteArray>{"Customers", "Orders"}));

  client->SendRaw(PlainFrame("\x02RequestQuery\x04"
                             "0\x04") +
                  PlainFrame("\x02RequestTables\x04"
                             "1\x04") +
                  PlainFrame("\x02RequestTables\x04"
                             "3\x04"));
  const QList<ClientReply> replies = client->ReadReplies(3);
  ASSERT_EQ(replies.size(), 3);
  EXPECT_EQ(replies[0].word, "Query");
  EXPECT_EQ(replies[0].fields, (QList<QByteArray>{"ByRegion", "Totals"}));
  EXPECT_EQ(replies[1].word, "Tables");
  EXPECT_TRUE(replies[1].fields.isEmpty());
  EXPECT_EQ(replies[2].fields, QList<QByteArray>{"Parts"});
}

TEST_F(SessionTest, EncipheredFramesSplitAndPipelined) {
  server_.settings.EncryptionEnabled = 1;
  server_.slots().RenewKeySeed();
  const int16_t seed = server_.slots().KeySeed();
  auto client = Connected();
  client->SetPrivateKey(12345678);
  client->SetSessionKey(seed);
  // The logon under the logon keys and the next request under the session keys, byte by
  // byte: each frame is read with the keys that hold once the one before it is done.
  const QByteArray logon(
      "\x02Logon\x04"
      "bob\x04" +
      MirrorText("secret") +
      "\x04"
      "a\x04");
  const QByteArray bytes = EncryptPayload(logon, 48, LogonKey) + "\x03\x03\x03" + "abcd" +
                           EncryptPayload("\x02ThankYou\x04", seed, 12345678) + "\x03\x03\x03" +
                           "\x01\x02\x03\x04";
  for (char byte : bytes) client->SendRaw(QByteArray(1, byte));
  const QList<ClientReply> replies = client->ReadReplies(2);
  ASSERT_EQ(replies.size(), 2);
  EXPECT_EQ(replies[0].word, "Accepted");
  EXPECT_EQ(replies[1].word, "Databases");
  EXPECT_TRUE(replies[1].enciphered);
}

TEST_F(SessionTest, DroppedConnectionIsReapedWithLogoff) {
  auto client = LoggedOn();
  server_.slots().RefreshStatus();
  EXPECT_EQ(server_.slots().CurrentUsers().rowCount(), 1);
  client->Disconnect();
  ASSERT_TRUE(WaitUntil([&] { return server_.slots().SlotState(0) == kSocketPeerClosing; }, 3000));
  const StatusTexts status = server_.slots().RefreshStatus();
  EXPECT_EQ(status.users, "Users: 0");
  EXPECT_EQ(server_.slots().CurrentUsers().rowCount(), 0);
  EXPECT_EQ(server_.slots().SlotState(0), kSocketClosed);
  ASSERT_FALSE(server_.activity.events.empty());
  EXPECT_EQ(server_.activity.events.back(), std::make_pair(0, QByteArray("Logoff")));
  EXPECT_EQ(server_.slots().Slot(0).session.SlotUserName, "");
}

TEST_F(SessionTest, InactiveClientIsDisconnected) {
  server_.settings.InactivityLimit = 1;
  auto idle = LoggedOn();
  auto busy = LoggedOn("ann", "pw", 23456789);
  EXPECT_TRUE(server_.slots().CheckInactivity());
  ASSERT_TRUE(busy->Request("ThankYou"));
  EXPECT_TRUE(server_.slots().CheckInactivity());
  EXPECT_TRUE(idle->WaitForDisconnected(3000));
  EXPECT_TRUE(busy->IsConnected());
  EXPECT_EQ(server_.activity.Count("Logoff"), 1);
  EXPECT_EQ(server_.activity.events.back(), std::make_pair(0, QByteArray("Logoff")));
  // Off: the check asks its timer to stop and touches nothing.
  server_.settings.InactivityLimit = 0;
  EXPECT_FALSE(server_.slots().CheckInactivity());
}

TEST_F(SessionTest, KeySeedStaysWithinItsRange) {
  for (int i = 0; i < 500; ++i) {
    server_.slots().RenewKeySeed();
    ASSERT_GE(server_.slots().KeySeed(), 1);
    ASSERT_LE(server_.slots().KeySeed(), 126);
  }
}

TEST_F(SessionTest, DisconnectAllAndShutdown) {
  auto a = LoggedOn();
  auto b = Connected();
  ASSERT_TRUE(WaitUntil([&] { return server_.slots().ConnectedCount() == 2; }, 3000));
  EXPECT_TRUE(server_.slots().AnyClientConnected());
  server_.slots().FreeEverySlot(FreeReason::kDisconnectAll);
  EXPECT_EQ(server_.slots().ConnectedCount(), 0);
  EXPECT_EQ(server_.slots().Slot(0).session.SlotUserName, "");
  EXPECT_TRUE(a->WaitForDisconnected(3000));
  EXPECT_TRUE(b->WaitForDisconnected(3000));
  server_.slots().CloseListener();
  EXPECT_EQ(server_.slots().RefreshStatus().status, "Status: Closed");
  server_.slots().StartListening();
  EXPECT_EQ(server_.slots().ListenerState(), kSocketListening);
}

class GraceSessionTest : public SessionTest {
 protected:
  static ConnectionLimits ShortGrace() {
    ConnectionLimits limits;
    limits.logonGraceMs = 400;
    return limits;
  }
  GraceSessionTest() : SessionTest(ShortGrace()) {}
};

TEST_F(GraceSessionTest, ARefreshRightAfterAClientConnectedLeavesItTimeToLogOn) {
  auto late = Connected();
  ASSERT_TRUE(WaitUntil([&] { return server_.slots().ConnectedCount() == 1; }, 3000));
  server_.slots().RefreshStatus();
  EXPECT_EQ(server_.slots().ConnectedCount(), 1);
  const auto reply = late->Logon("bob", "secret", 12345678);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->word, "Accepted");

  // Past the grace, a connection that never logged on goes at the next refresh.
  auto silent = Connected();
  ASSERT_TRUE(WaitUntil([&] { return server_.slots().ConnectedCount() == 2; }, 3000));
  QThread::msleep(450);
  EXPECT_EQ(server_.slots().RefreshStatus().users, "Users: 1");
  EXPECT_TRUE(silent->WaitForDisconnected(3000));
  EXPECT_EQ(server_.slots().ConnectedCount(), 1);
}

class LimitedSessionTest : public SessionTest {
 protected:
  static ConnectionLimits Small() {
    ConnectionLimits limits;
    limits.receiveLimitBeforeLogon = 64;
    limits.receiveLimitAfterLogon = 256;
    return limits;
  }
  LimitedSessionTest() : SessionTest(Small()) {}
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
  EXPECT_EQ(server_.slots().SlotState(0), kSocketClosed);

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
