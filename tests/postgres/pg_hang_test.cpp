// A server database that stops answering holds up only its own clients: they get their
// error at the request limit, neither they nor a client that leaves while holding a query
// it composed there make the file clients wait, and all go on once it answers again.
#include <signal.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "client/event_wait.h"
#include "pg_fixture.h"
#include "support/leaving_client.h"

namespace corvane::test {
namespace {

constexpr int kHangSeconds = 15;
constexpr qint64 kWorstWaitMs = 200;
constexpr int kRequestLimitMs = 2000;
constexpr int kRemoteClients = 4;

// The cluster's server and every process it started, stopped (SIGSTOP) while one lives and
// resumed when it goes; a detached shell resumes them after the hang in any case, so a test
// that is itself held up cannot leave the cluster stopped.
class PausedCluster {
 public:
  PausedCluster() {
    const qint64 postmaster = PgPostmaster(PgPidFile());
    if (postmaster <= 0) return;
    pids_ << QString::number(postmaster);
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
      QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
      if (!stat.open(QIODevice::ReadOnly)) continue;
      // pid (name) state ppid ...: the name may hold blanks, the parent follows its ")".
      const QByteArray text = stat.readAll();
      const QList<QByteArray> rest = text.mid(text.lastIndexOf(')') + 2).split(' ');
      if (rest.size() > 1 && rest[1].toLongLong() == postmaster) pids_ << entry;
    }
    QProcess::startDetached(
        QStringLiteral("sh"),
        {QStringLiteral("-c"), QStringLiteral("sleep %1; kill -CONT %2 2>/dev/null")
                                   .arg(kHangSeconds)
                                   .arg(pids_.join(QLatin1Char(' ')))});
    for (const QString& pid : pids_) ::kill(pid.toInt(), SIGSTOP);
  }
  ~PausedCluster() {
    for (const QString& pid : pids_) ::kill(pid.toInt(), SIGCONT);
  }
  bool Paused() const { return !pids_.isEmpty(); }

 private:
  QStringList pids_;
};

// Several requests on the server database wait at once, and still none of the file
// client's does.
TEST(PgHangTest, ItsClientsGetTheirErrorAtTheLimitAndNoFileClientIsHeldUp) {
  if (!PgAvailable()) GTEST_SKIP() << kNoCluster;
  QTemporaryDir dir;
  TestServer server;
  // Every move reads, so that the moves below wait on the paused cluster.
  server.databases.SetFreshMs(0);
  PublishPeopleInClusterAndFile(server, dir.filePath("shop.db"));
  ASSERT_TRUE(server.Start());
  server.slots().SetClientWorkLimit(kRequestLimitMs);

  auto [browsing, composing] = StartBrowserAndComposer(server.port(), "1", "0");
  std::vector<std::unique_ptr<CorvaneClient>> remote;
  for (int i = 0; i < kRemoteClients; ++i) {
    remote.push_back(LoggedOnClient(server.port(), "ann", "pw", 23456789, kHangSeconds * 1000));
    ASSERT_EQ(Ask(*remote.back(), "RequestTheTable", {"0", "0"}).word, "Fields");
  }
  const auto queryCount = [] {
    return PgValue("SELECT count(*) FROM pg_views WHERE viewname ILIKE 'mine'");
  };
  ASSERT_EQ(queryCount(), "1");
  {
    PausedCluster paused;
    ASSERT_TRUE(paused.Paused());
    composing->Close();
    QElapsedTimer held;
    held.start();
    for (auto& client : remote) client->Send("Next");
    for (auto& client : remote) {
      EXPECT_EQ(client->ReadReply(kHangSeconds * 1000).value_or(ClientReply{}).word, "ErrorDB");
    }
    // The limit, and the second the server is given to confirm the cancel it is sent.
    EXPECT_LT(held.elapsed(), kRequestLimitMs + 3000);
    // Measured through the rest of the hang, save its last second, when the cluster wakes.
    EXPECT_LT(WorstFirstWait(*browsing, (kHangSeconds - 1) * 1000 - held.elapsed()), kWorstWaitMs);
  }
  // Once the cluster answers again, the query is removed all the same, and the clients
  // whose logons "ErrorDB" ended go on.
  EXPECT_TRUE(WaitUntil([&] { return queryCount() == "0"; }, 20000));
  for (auto& client : remote) {
    EXPECT_EQ(client->Logon("ann", "pw", 23456789).value_or(ClientReply{}).word, "Accepted");
    EXPECT_EQ(Ask(*client, "RequestTheTable", {"0", "0"}).word, "Fields");
    EXPECT_EQ(Ask(*client, "Next").fields.value(2), "Bob");
  }
}

}  // namespace
}  // namespace corvane::test
