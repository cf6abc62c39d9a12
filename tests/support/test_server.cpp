#include "support/test_server.h"

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

TestServer::TestServer(const ConnectionLimits& limits) {
  settings.AllowMultipleLogons = 1;
  users.Add("BOB", "SECRET:12345678");
  users.Add("ANN", "pw:23456789");
  server_ =
      std::make_unique<SlotServer>(settings, catalogue, users, activity, random, &activity, limits);
}

TestServer::~TestServer() {
  server_->CloseEverySlot();
  server_->CloseListener();
}

DatabaseCommands& TestServer::EnableDatabaseCommands(const QLocale& locale) {
  databaseCommands_ = std::make_unique<DatabaseCommands>(catalogue, locale);
  databaseCommands_->Install(server_->Dispatcher(), server_->Sessions());
  return *databaseCommands_;
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
