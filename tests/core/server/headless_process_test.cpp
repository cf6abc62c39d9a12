// The headless server run as a real process: start-up branches, the folder used without
// --dir, one instance per directory, serving a client over the demo's sample database, and the
// shutdown that SIGTERM runs (which leaves the desktop's window placement alone), the log
// rotated under load, the users and databases reread on SIGHUP, what systemd is told, and the
// health and metrics pages.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <csignal>
#include <cstring>
#include <tuple>

#include "client/event_wait.h"
#include "config/autostart_entry.h"
#include "config/default_program_dir.h"
#include "support/file_bytes.h"
#include "support/scoped_environment.h"
#include "support/server_process.h"
#include "support/sqlite_files.h"
#include "support/test_server.h"

namespace corvane::test {
namespace {

using HeadlessServerTest = ServerProcessTest;

struct HttpAnswer {
  int status = 0;
  QByteArray body;
};

// Sends `request` as it stands to the port and reads one answer (its Content-Length, or up
// to the connection's end).
HttpAnswer Http(quint16 port, const QByteArray& request) {
  QTcpSocket socket;
  socket.connectToHost(QHostAddress::LocalHost, port);
  if (!socket.waitForConnected(3000)) return {};
  socket.write(request);
  QByteArray bytes;
  qsizetype headerEnd = -1;
  qsizetype length = -1;
  while (headerEnd < 0 || bytes.size() < headerEnd + 4 + length) {
    if (!socket.waitForReadyRead(3000)) break;
    bytes += socket.readAll();
    headerEnd = bytes.indexOf("\r\n\r\n");
    if (headerEnd < 0) continue;
    const qsizetype at = bytes.toLower().indexOf("content-length:");
    length = at < 0 || at > headerEnd
                 ? 0
                 : bytes.mid(at + 15, headerEnd - at - 15).split('\r')[0].trimmed().toLongLong();
  }
  if (!bytes.startsWith("HTTP/1.1 ") || headerEnd < 0) return {};
  return {bytes.mid(9, 3).toInt(), bytes.mid(headerEnd + 4)};
}

HttpAnswer Get(quint16 port, const QByteArray& path) {
  return Http(port, "GET " + path + " HTTP/1.1\r\nHost: localhost\r\n\r\n");
}

// Reads a metrics page with the Prometheus client library's own parser, checking beyond it
// that every family has HELP and TYPE, no sample comes twice and each histogram's buckets
// add up; one "name{label=value,...} value" line a sample, labels sorted, or nothing when
// the page cannot be read.
QByteArrayList ParsedMetrics(const QByteArray& page) {
  QProcess python;
  python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral(R"(
import sys
from prometheus_client.parser import text_string_to_metric_families
seen = set()
for family in text_string_to_metric_families(sys.stdin.read()):
    assert family.documentation and family.type != "unknown", family.name
    buckets = []
    for s in family.samples:
        labels = ",".join(k + "=" + v for k, v in sorted(s.labels.items()))
        assert (s.name, labels) not in seen, s.name
        seen.add((s.name, labels))
        if s.name.endswith("_bucket"):
            buckets.append(s.value)
        if s.name.endswith("_count") and family.type == "histogram":
            assert buckets == sorted(buckets) and buckets[-1] == s.value, family.name
        print("%s{%s} %g" % (s.name, labels, s.value))
)")});
  python.write(page);
  python.closeWriteChannel();
  if (!python.waitForFinished(10000) || python.exitCode() != 0) {
    ADD_FAILURE() << python.readAllStandardError().constData()
                  << "(the parser is Debian's python3-prometheus-client)";
    return {};
  }
  return python.readAllStandardOutput().split('\n');
}

TEST_F(HeadlessServerTest, IncompleteSetupNamesWhatIsMissingAndExitsWithTwo) {
  EXPECT_EQ(RunServer({"--headless", "--dir", Path("nowhere")}).exitCode, 1);
  // Each start names what is still missing: the port, a usable port, a user, the databases.
  // network.dat as written before it (nullptr: as it is), and whether a user is added first.
  const std::tuple<const char*, bool, const char*> starts[] = {{nullptr, false, "network.dat"},
                                                               {"0", false, "network.dat"},
                                                               {"5123", false, "--add-user"},
                                                               {"5123", true, "database.dat"}};
  for (const auto& [port, addUser, missing] : starts) {
    if (port) WriteFileBytes(Path("network.dat"), QByteArray(port) + "\r\n");
    if (addUser) Run({"--add-user", "bob", "pw"});
    const ServerRun run = Run({"--headless"});
    EXPECT_EQ(run.exitCode, 2) << missing;
    EXPECT_TRUE(run.err.contains(missing)) << run.err.constData();
  }
  // Nothing was written back by a start that could not serve.
  EXPECT_FALSE(QFile::exists(Path("general.dat")));
  EXPECT_FALSE(QFile::exists(Path("User.dat")));
}

// An installed executable's folder cannot be written: without --dir the per-user data folder
// is used, unless the executable's folder is set up as a program directory.
TEST_F(HeadlessServerTest, WithoutDirTheDataFolderIsUsedAndMadeForItsOwner) {
  const ScopedEnvironment dataHome("XDG_DATA_HOME", Path("data").toUtf8());
  const QDir folder(Path("data/corvane-server"));
  // The run-at-startup entry names --dir only for another folder than this one.
  EXPECT_EQ(AutostartPlaces::ForThisProgram().defaultProgramDir, folder.path());
  const ServerRun run = RunServer({"--headless"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_TRUE(run.err.contains(folder.filePath("network.dat").toUtf8())) << run.err.constData();
  EXPECT_EQ(RunServer({"--add-user", "bob", "pw"}).exitCode, 0);
  ASSERT_TRUE(QFileInfo::exists(folder.filePath("registry.db")));
  EXPECT_FALSE(QFileInfo(folder.path()).permissions() & (QFile::ReadGroup | QFile::ReadOther));
  ASSERT_TRUE(WriteFileBytes(Path("registry.db"), ""));
  EXPECT_EQ(DefaultProgramDir(dir_.path()), dir_.path());
}

TEST_F(HeadlessServerTest, ServesKeepsItsLogThroughRotationAndShutsDownOnSigterm) {
  // The demo's sample database, and a published file that is no database: reported and
  // withdrawn at start-up.
  WriteSetup({"broken.db", "sample.db"});
  MakeSampleDatabase(Path("sample.db"));
  WriteFileBytes(Path("broken.db"), QByteArray(4096, 'x'));
  // The desktop program's window placement, which a run without a window leaves alone.
  WriteFileBytes(Path("User.dat"), "1500,2250\r\n11400,8100\r\n");
  // "Keep Log File" on, and a user may log on more than once.
  WriteFileBytes(Path("general.dat"), ",,5,1,0\r\n1,0\r\n");
  StartServer();
  const pid_t pid = static_cast<pid_t>(server_.processId());
  // No metrics.dat, no --metrics: no pages.
  EXPECT_FALSE(output_.contains("metrics")) << output_.constData();

  // A second server on the same directory ends at once.
  const ServerRun second = Run({"--headless"});
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_TRUE(second.err.contains("already running")) << second.err.constData();

  auto client = LoggedOn();
  EXPECT_EQ(client->Request("ThankYou")->fields, QList<QByteArray>{"sample.db"});
  // A newcomer browses and edits the sample database.
  EXPECT_EQ(client->Request("RequestTables", {"0"})->fields,
            (QList<QByteArray>{"Customers", "Products", "Orders"}));
  EXPECT_EQ(client->Request("RequestQuery", {"0"})->fields,
            (QList<QByteArray>{"Products In Stock", "Customers In London"}));
  EXPECT_EQ(client->Request("RequestTheTable", {"0", "0"})->fields.mid(0, 3),
            (QList<QByteArray>{"120", "CustomerID", "CompanyName"}));
  EXPECT_EQ(client->Request("Next")->fields.mid(0, 3),
            (QList<QByteArray>{"2", "2", "Birch Provisions"}));
  auto shown = client->Request("SendTheData")->fields;
  shown[5] = "Mexico City";
  EXPECT_EQ(client->Request("Update", shown.mid(1))->fields.value(5), "Mexico City");
  EXPECT_EQ(client->Request("FindFirst", {"0", "Dogwood"})->fields.mid(0, 4),
            (QList<QByteArray>{"2", "4", "4", "Dogwood Traders"}));
  EXPECT_EQ(client->Request("Sort", {"CompanyName DESC"})->fields.value(0), "1");
  EXPECT_TRUE(WaitForOutput("New User").contains("New User     demo     Remote IP: "));

  // logrotate renames the log and sends SIGHUP while clients are served: the server goes on,
  // and the renamed files and the new one hold every row it prints, once and in order.
  const QString log = Path("CorvaneDB.log");
  std::unique_ptr<CorvaneClient> others[] = {LoggedOn(), LoggedOn(), LoggedOn()};
  for (auto& other : others)
    ASSERT_EQ(other->Request("RequestTheTable", {"0", "0"})->word, "Fields");
  constexpr int kRotations = 5;
  constexpr int kRequests = 25;
  for (int rotation = 1; rotation <= kRotations; ++rotation) {
    for (auto& other : others) {
      for (int i = 0; i < kRequests; ++i) other->Send(i % 2 ? "Next" : "First");
    }
    ASSERT_TRUE(others[0]->ReadReply());  // the server is at work on them
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(log); }, 5000));
    ASSERT_TRUE(QFile::rename(log, log + '.' + QString::number(rotation)));
    ::kill(pid, SIGHUP);
    for (auto& other : others) {
      const int left = kRequests - (&other == others ? 1 : 0);
      ASSERT_EQ(other->ReadReplies(left).size(), left);
    }
  }

  // Hundreds of millions of rows: the query runs far longer than the shutdown may take.
  ASSERT_EQ(client->Request("RequestTablesWiz", {"0"})->word, "TablesWiz");
  client->Send("CreateQuery", {"Everything",
                               "SELECT a.CustomerID FROM Customers a, "
                               "Customers b, Customers c, Customers d"});
  EXPECT_FALSE(client->ReadReply(500));
  ::kill(pid, SIGTERM);
  ASSERT_TRUE(server_.waitForFinished(15000));
  EXPECT_EQ(server_.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(server_.exitCode(), 0);
  output_ += server_.readAllStandardOutput();
  EXPECT_TRUE(output_.contains("Server Shutdown"));
  EXPECT_TRUE((output_ + server_.readAllStandardError()).contains("Database Error"));
  QByteArray logged;
  for (int rotation = 1; rotation <= kRotations; ++rotation) {
    logged += ReadFileBytes(log + '.' + QString::number(rotation));
  }
  EXPECT_TRUE(ReadFileBytes(log).contains("Server Shutdown"));
  logged += ReadFileBytes(log);
  EXPECT_EQ(logged.replace("\r\n", "\n"), output_);
  EXPECT_EQ(QueryOnFile(Path("sample.db"), "PRAGMA integrity_check").toString(), "ok");
  // The query the client was storing went with its slot.
  EXPECT_FALSE(
      QueryOnFile(Path("sample.db"), "SELECT 1 FROM sqlite_master WHERE name = 'Everything'")
          .isValid());

  // The shutdown writes the settings files as the confirmed exit does, and no placement.
  EXPECT_EQ(ReadFileBytes(Path("network.dat")), QByteArray::number(port_) + "\r\n");
  EXPECT_EQ(ReadFileBytes(Path("general.dat")), ",,5,1,0\r\n1,0\r\n");
  EXPECT_EQ(ReadFileBytes(Path("database.dat")),
            "\"sample.db\",\"" + Path("sample.db").toUtf8() + "\"\r\n");
  EXPECT_EQ(ReadFileBytes(Path("User.dat")), "1500,2250\r\n11400,8100\r\n");

  // The lock went with the process: the directory can be served again, and a killed
  // server's lock does not block the next start either.
  for (int run = 0; run < 2; ++run) {
    StartServer();
    server_.kill();
    ASSERT_TRUE(server_.waitForFinished(5000));
  }
}

// Health and metrics on a port of their own, from metrics.dat or --metrics (which wins; a
// port that cannot be listened on leaves the clients served): /health from the server's
// state, /metrics read by the Prometheus parser with its counters moving as clients work,
// and requests that are no page's leaving both alone.
TEST_F(HeadlessServerTest, ServesHealthAndMetricsOnTheirOwnPort) {
  // A backslash in a name must survive the label's escaping.
  const QString gone = QStringLiteral("gone\\old.db");
  WriteSetup({"sample.db", gone});
  MakeSampleDatabase(Path("sample.db"));
  MakeSampleDatabase(Path(gone));
  QTcpServer taken;
  ASSERT_TRUE(taken.listen(QHostAddress::LocalHost));
  const quint16 port = FreeListenPort();
  WriteFileBytes(Path("metrics.dat"), QByteArray::number(port) + "\r\n");
  StartServer({"--metrics", "127.0.0.1:" + QString::number(taken.serverPort())});
  EXPECT_TRUE(output_.contains("Metrics not started")) << output_.constData();
  EXPECT_EQ(LoggedOn()->Request("ThankYou")->fields.size(), 2);
  EXPECT_TRUE(server_.readAllStandardError().contains("cannot be listened on"));
  server_.kill();
  ASSERT_TRUE(server_.waitForFinished(5000));

  StartServer();
  EXPECT_TRUE(
      output_.contains("Health and metrics on http://127.0.0.1:" + QByteArray::number(port)));
  HttpAnswer health = Get(port, "/health");
  EXPECT_EQ(health.status, 200) << health.body.constData();
  auto client = LoggedOn();
  ASSERT_EQ(client->Request("RequestTheTable", {"0", "0"})->word, "Fields");
  for (int i = 0; i < 3; ++i) ASSERT_EQ(client->Request("Next")->word, "Data");
  EXPECT_EQ(client->Request("RequestTheTable", {"7", "0"})->word, "ErrorDB");
  auto refused = ConnectedClient(port_);
  ASSERT_TRUE(refused);
  refused->Logon("demo", "wrong", key_);

  // Requests that are no page's: another path, another method, a header over the limit.
  EXPECT_EQ(Get(port, "/").status, 404);
  EXPECT_EQ(Http(port, "POST /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\n\r\nab").status,
            405);
  EXPECT_EQ(
      Http(port, "GET /metrics HTTP/1.1\r\nX: " + QByteArray(64 * 1024, 'a') + "\r\n\r\n").status,
      431);

  const QByteArrayList samples = ParsedMetrics(Get(port, "/metrics").body);
  for (const char* sample :
       {"corvane_build_info{version=" CORVANE_VERSION "} 1", "corvane_clients_connected{} 2",
        "corvane_listening{} 1", "corvane_requests_total{command=Next} 3",
        "corvane_requests_total{command=RequestTheTable} 2",
        "corvane_requests_total{command=Logon} 2", "corvane_errors_total{number=9} 1",
        "corvane_logons_refused_total{} 1", "corvane_request_duration_seconds_count{} 7",
        "corvane_database_offered{database=gone\\old.db} 1", "corvane_pg_connections_in_use{} 0"}) {
    EXPECT_TRUE(samples.contains(sample)) << sample << "\n" << samples.join('\n').constData();
  }

  // A published file gone: unhealthy, with the reason.
  ASSERT_TRUE(QFile::remove(Path(gone)));
  health = Get(port, "/health");
  EXPECT_EQ(health.status, 503);
  EXPECT_TRUE(health.body.contains("Database gone\\old.db is missing")) << health.body.constData();
  // An error ends the logon; the server serves the next one.
  EXPECT_EQ(LoggedOn()->Request("ThankYou")->fields.size(), 2);
}

// SIGHUP while 20 clients browse and save: users added and removed with the admin command
// and a database appended to and one taken out of database.dat take effect, and no client
// loses a request or a number it holds.
TEST_F(HeadlessServerTest, ReloadsUsersAndDatabasesWithoutDroppingClients) {
  WriteSetup({"sample.db", "gone.db"});
  MakeSampleDatabase(Path("sample.db"));
  MakeSampleDatabase(Path("gone.db"));
  MakeSampleDatabase(Path("new.db"));
  WriteFileBytes(Path("general.dat"), ",,5,1,0\r\n1,0\r\n");  // many logons per user
  const ServerRun bob = Run({"--add-user", "bob", "pw"});
  const quint16 metricsPort = FreeListenPort();
  StartServer({"--metrics", QString::number(metricsPort)});
  const pid_t pid = static_cast<pid_t>(server_.processId());
  auto bobs = LoggedOnClient(port_, "bob", "pw", bob.out.trimmed().toInt(), 5000);
  ASSERT_EQ(bobs->Request("RequestTheTable", {"0", "0"})->word, "Fields");

  // Even clients browse; odd ones save their own customer over and over; the reload comes
  // while they are at it. The first browses the database about to be withdrawn.
  constexpr int kClients = 20;
  constexpr int kRequests = 30;
  std::vector<std::unique_ptr<CorvaneClient>> clients;
  std::vector<QList<QByteArray>> shown(kClients);
  for (int i = 0; i < kClients; ++i) {
    clients.push_back(LoggedOn());
    ASSERT_EQ(clients[i]->Request("RequestTheTable", {i == 0 ? "1" : "0", "0"})->word, "Fields");
    if (i % 2 == 0) continue;
    for (int n = 0; n < i / 2; ++n) clients[i]->Request("Next");
    shown[i] = clients[i]->Request("SendTheData")->fields.mid(1);
  }
  const ServerRun carol = Run({"--add-user", "carol", "pw"});
  ASSERT_EQ(Run({"--remove-user", "BOB"}).exitCode, 0);  // stored in capitals
  const QByteArray listed = "\"sample.db\",\"" + Path("sample.db").toUtf8() +
                            "\"\r\n\"new.db\",\"" + Path("new.db").toUtf8() + "\"\r\n";
  WriteFileBytes(Path("database.dat"), listed);
  for (int i = 0; i < kClients; ++i) {
    for (int n = 0; n < kRequests; ++n) {
      if (i % 2 == 0) {
        clients[i]->Send(n % 2 ? "Next" : "First");
      } else if (n % 2) {
        clients[i]->Send("SendTheData");
      } else {
        shown[i][4] = "City " + QByteArray::number(n);
        clients[i]->Send("Update", shown[i]);
      }
    }
  }
  ::kill(pid, SIGHUP);
  for (int i = 0; i < kClients; ++i) {
    const QList<ClientReply> replies = clients[i]->ReadReplies(kRequests);
    ASSERT_EQ(replies.size(), kRequests) << i;
    for (const ClientReply& reply : replies) EXPECT_FALSE(reply.word.startsWith("Error")) << i;
  }
  const QByteArray said = WaitForOutput("Reload: database new.db");
  for (const char* row : {"Reload: user added     CAROL", "Reload: user removed; sessions already",
                          "Reload: database gone.db withdrawn; sets open on it go on",
                          "Reload: database new.db added at the end of the list"}) {
    EXPECT_TRUE(said.contains(row)) << row << '\n' << said.constData();
  }

  // The new user logs on; the removed one cannot, but his session goes on.
  auto carols = LoggedOnClient(port_, "carol", "pw", carol.out.trimmed().toInt(), 5000);
  EXPECT_EQ(ConnectedClient(port_)->Logon("bob", "pw", 0)->word, "UserDenied");
  EXPECT_EQ(bobs->Request("Next")->word, "Data");
  // The withdrawn database keeps its number; the new one is listed last and opens.
  EXPECT_EQ(carols->Request("ThankYou")->fields,
            (QList<QByteArray>{"sample.db", "gone.db", "new.db"}));
  EXPECT_EQ(carols->Request("RequestTheTable", {"1", "0"})->word, "NoDatabase");
  EXPECT_EQ(carols->Request("RequestTheTable", {"2", "0"})->word, "Fields");
  EXPECT_EQ(clients[0]->Request("Next")->word, "Data");
  for (auto& client : clients) EXPECT_EQ(client->Request("ThankYou")->fields.size(), 3);
  // Taken out by the operator, the database is no fault of the server's, even once deleted.
  ASSERT_TRUE(QFile::remove(Path("gone.db")));
  EXPECT_EQ(Get(metricsPort, "/health").status, 200);
  EXPECT_TRUE(ParsedMetrics(Get(metricsPort, "/metrics").body)
                  .contains("corvane_database_offered{database=gone.db} 0"));

  // A reload that cannot read database.dat nor the user store keeps both as they were.
  QFile::rename(Path("database.dat"), Path("database.dat.aside"));
  WriteFileBytes(Path("registry.db"), QByteArray(4096, 'x'));
  ::kill(pid, SIGHUP);
  const QByteArray failed = WaitForOutput("Reload failed: database.dat");
  EXPECT_TRUE(failed.contains("Reload failed: the user store cannot be read"))
      << failed.constData();
  EXPECT_EQ(carols->Request("RequestTheTable", {"2", "0"})->word, "Fields");
  ::kill(pid, SIGTERM);
  ASSERT_TRUE(server_.waitForFinished(15000));
  // The list written back is the one the operator wrote, not the clients' order.
  EXPECT_EQ(ReadFileBytes(Path("database.dat")), listed);
}

// Under systemd (Type=notify) the service says when it listens, pings the watchdog from its
// event loop at half the interval, and says when it stops.
TEST_F(HeadlessServerTest, TellsSystemdWhenReadyAliveAndStopping) {
  WriteSetup({"sample.db"});
  MakeSampleDatabase(Path("sample.db"));
  sockaddr_un address{AF_UNIX, {}};
  const QByteArray socketPath = Path("notify").toUtf8();
  ASSERT_LT(socketPath.size(), static_cast<qsizetype>(sizeof(address.sun_path)));
  std::memcpy(address.sun_path, socketPath.constData(), socketPath.size());
  const int notify = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const auto closeNotify = qScopeGuard([notify] { ::close(notify); });
  ASSERT_EQ(::bind(notify, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  const ScopedEnvironment notifySocket("NOTIFY_SOCKET", socketPath);
  const ScopedEnvironment watchdog("WATCHDOG_USEC", "400000");
  QByteArrayList told;
  // Reads what the server tells until READY=1 and `word` came; false after 5 s of silence.
  const auto hearUntil = [&](const QByteArray& word) {
    while (!told.contains("READY=1") || !told.contains(word)) {
      pollfd ready{notify, POLLIN, 0};
      char text[256] = {};
      if (::poll(&ready, 1, 5000) != 1) return false;
      told += QByteArray(text, static_cast<int>(::recv(notify, text, sizeof(text), 0)));
    }
    return true;
  };

  StartServer();
  ASSERT_TRUE(hearUntil("WATCHDOG=1")) << told.join(' ').constData();
  // A client is served once systemd has heard the server is ready.
  EXPECT_EQ(LoggedOn()->Request("ThankYou")->fields, QList<QByteArray>{"sample.db"});
  ::kill(static_cast<pid_t>(server_.processId()), SIGTERM);
  ASSERT_TRUE(hearUntil("STOPPING=1")) << told.join(' ').constData();
  ASSERT_TRUE(server_.waitForFinished(15000));
  EXPECT_EQ(server_.exitCode(), 0);
  told.removeAll("WATCHDOG=1");
  EXPECT_EQ(told, (QByteArrayList{"READY=1", "STOPPING=1"}));
}

}  // namespace
}  // namespace corvane::test
