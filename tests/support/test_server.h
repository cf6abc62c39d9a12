#pragma once

// A server with its slots on a free loopback port, for tests that talk to it through the
// reference client in the same thread.

#include <QLocale>
#include <QString>
#include <memory>

#include "base/pseudo_random.h"
#include "base/server_settings.h"
#include "base/shared_catalogue.h"
#include "client/corvane_client.h"
#include "postgres/served_databases.h"
#include "server/slot_server.h"
#include "support/protocol_fakes.h"
#include "transport/tcp/connection_limits.h"

namespace corvane::test {

// A port below 32768 (the listening port setting is a 16-bit number) that nothing listens on.
quint16 FreeListenPort();

// A reference client with its slot connection open to the server listening on `port`.
std::unique_ptr<CorvaneClient> ConnectedClient(quint16 port, int timeoutMs = 3000);
// The same, logged on; the logon is expected to be accepted.
std::unique_ptr<CorvaneClient> LoggedOnClient(quint16 port, const QByteArray& user,
                                              const QByteArray& password, int32_t key,
                                              int timeoutMs = 3000);
// One request and its one reply (an empty reply, and a failure, when none came).
ClientReply Ask(CorvaneClient& client, const QByteArray& word,
                const QList<QByteArray>& fields = {});

class TestServer {
 public:
  // `directory` replaces the fake `users` as the store the logon reads.
  explicit TestServer(const ConnectionLimits& limits = {},
                      const QLocale& locale = QLocale(QLocale::English, QLocale::UnitedStates),
                      UserDirectory* directory = nullptr);
  ~TestServer();

  // The regional formats of value texts, before Start.
  void UseLocale(const QLocale& locale);
  // Listens on a free port; false when that failed.
  bool Start();
  SlotServer& slots() { return *server_; }
  quint16 port() const { return static_cast<quint16>(settings.ListenPort); }
  QString host() const { return QStringLiteral("127.0.0.1"); }

  ServerSettings settings;
  SharedCatalogue catalogue;
  FakeUserDirectory users;
  RecordingActivity activity;
  PseudoRandom random;
  ServedDatabases databases;

 private:
  ConnectionLimits limits_;
  UserDirectory& directory_;
  std::unique_ptr<SlotServer> server_;
};

}  // namespace corvane::test
