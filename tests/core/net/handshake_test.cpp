#include <gtest/gtest.h>

#include <QTcpSocket>
#include <memory>
#include <vector>

#include "client/corvane_client.h"
#include "client/event_wait.h"
#include "protocol/socket_state.h"
#include "support/test_server.h"

namespace corvane::test {
namespace {

const ConnectionLimits kShortLimits{.handshakeHoldLimitMs = 300, .reservationLimitMs = 400};

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
  ASSERT_TRUE(WaitUntil([&] { return server.slots().SlotState(0) == kSocketPeerClosing; }, 3000));
  // The handshake takes slot 0 back at once; the dropped session ends with its "Logoff".
  ASSERT_TRUE(third.Connect(server.host(), server.port()));
  ASSERT_TRUE(WaitUntil([&] { return server.slots().SlotState(0) == kSocketConnected; }, 3000));
  EXPECT_EQ(server.activity.Count("Logoff"), 1);
}

TEST(HandshakeTest, FullServerAnswersPortZeroAndKeepsItsClients) {
  TestServer server({.logonGraceMs = 0});  // the refresh below drops the one without a logon
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

TEST(HandshakeTest, ClientHoldingItsFirstConnectionIsCutAfterTheBound) {
  TestServer server(kShortLimits);
  server.catalogue.published = {{"a.mdb", "/data/a.mdb"}};
  ASSERT_TRUE(server.Start());
  CorvaneClient client(3000);
  ASSERT_TRUE(client.Connect(server.host(), server.port()));
  ASSERT_TRUE(client.Logon("bob", "secret", 12345678));
  QTcpSocket holder;
  holder.connectToHost(server.host(), server.port());
  QByteArray redirect;
  QObject::connect(&holder, &QTcpSocket::readyRead, [&] { redirect += holder.readAll(); });
  ASSERT_TRUE(WaitUntil([&] { return redirect.endsWith("\x03\x03\x03"); }, 3000));
  EXPECT_TRUE(redirect.startsWith("\x04"));
  EXPECT_EQ(server.slots().ListenerState(), kSocketConnected);
  // Connected slots keep working while the handshake waits.
  const auto reply = client.Request("ThankYou");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->word, "Databases");
  // A second client waits for its turn and is served once the holder was cut.
  CorvaneClient next(3000);
  const auto port = next.RequestSlotPort(server.host(), server.port());
  EXPECT_EQ(holder.state(), QAbstractSocket::UnconnectedState);
  ASSERT_TRUE(port);
  EXPECT_NE(*port, 0);
  EXPECT_EQ(server.slots().SlotState(2), kSocketListening);
}

TEST(HandshakeTest, ReservedSlotNobodyConnectsToIsFreed) {
  TestServer server(kShortLimits);
  ASSERT_TRUE(server.Start());
  CorvaneClient client(3000);
  ASSERT_TRUE(client.RequestSlotPort(server.host(), server.port()));
  EXPECT_EQ(server.slots().SlotState(0), kSocketListening);
  EXPECT_TRUE(WaitUntil([&] { return server.slots().SlotState(0) == kSocketClosed; }, 3000));
}

TEST(ListenerTest, StartsOnlyWithUsersAndReportsItsState) {
  TestServer server;
  FakeUserDirectory none;
  SlotServer empty(server.settings, server.catalogue, none, server.activity, server.random,
                   QLocale::c());
  server.settings.ListenPort = static_cast<int16_t>(FreeListenPort());
  empty.StartListening();
  EXPECT_EQ(empty.ListenerState(), kSocketClosed);
  EXPECT_EQ(empty.RefreshStatus().status, "Status: Closed");

  ASSERT_TRUE(server.Start());
  const StatusTexts status = server.slots().RefreshStatus();
  EXPECT_EQ(status.status, "Status: Listening");
  EXPECT_EQ(status.port, QStringLiteral("Port: %1").arg(server.port()));
  EXPECT_EQ(status.users, "Users: 0");
  // A port already taken leaves the listener closed.
  none.Add("X", "x:1");
  empty.StartListening();
  EXPECT_EQ(empty.ListenerState(), kSocketClosed);
}

}  // namespace
}  // namespace corvane::test
