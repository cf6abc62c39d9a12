#include "support/test_server.h"

#include <gtest/gtest.h>

#include <QTcpServer>
#include <random>

namespace corvane::test {

quint16 FreeListenPort() {
  std::random_device device;
  std::mt19937 engine(device());
  std::uniform_int_distribution<int> pick(20000, 32000);
  for (int attempt = 0; attempt < 200; ++attempt) {
    const auto port = static_cast<quint16>(pick(engine));
    QTcpServer probe;
    if (probe.listen(QHostAddress::Any, port)) return port;
  }
  return 0;
}

std::unique_ptr<CorvaneClient> ConnectedClient(quint16 port, int timeoutMs) {
  auto client = std::make_unique<CorvaneClient>(timeoutMs);
  EXPECT_TRUE(client->Connect(QStringLiteral("127.0.0.1"), port));
  return client;
}

std::unique_ptr<CorvaneClient> LoggedOnClient(quint16 port, const QByteArray& user,
                                              const QByteArray& password, int32_t key,
                                              int timeoutMs) {
  auto client = ConnectedClient(port, timeoutMs);
  const auto reply = client->Logon(user, password, key);
  EXPECT_TRUE(reply && reply->word == "Accepted") << user.constData();
  return client;
}

ClientReply Ask(CorvaneClient& client, const QByteArray& word, const QList<QByteArray>& fields) {
  const auto reply = client.Request(word, fields);
  EXPECT_TRUE(reply) << "no reply to " << word.constData();
  return reply.value_or(ClientReply{});
}

TestServer::TestServer(const ConnectionLimits& limits, const QLocale& locale,
                       UserDirectory* directory)
    : limits_(limits), directory_(directory ? *directory : users) {
  settings.AllowMultipleLogons = 1;
  users.Add("BOB", "SECRET:12345678");
  users.Add("ANN", "pw:23456789");
  UseLocale(locale);
}

void TestServer::UseLocale(const QLocale& locale) {
  server_.reset();
  server_ = std::make_unique<SlotServer>(settings, catalogue, directory_, activity, random,
                                         databases, locale, limits_);
}

TestServer::~TestServer() {
  server_->FreeEverySlot(FreeReason::kShutdown);
  server_->CloseListener();
}

bool TestServer::Start() {
  for (int attempt = 0; attempt < 5; ++attempt) {
    settings.ListenPort = static_cast<int16_t>(FreeListenPort());
    server_->StartListening();
    if (server_->ListenerState() == 2) return true;
  }
  return false;
}

}  // namespace corvane::test
