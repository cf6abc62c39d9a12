// A server database that goes away and comes back: clients get "ErrorDB" while it is down,
// the activity list says so once each way, a restart costs the clients at work nothing but
// the update it cut off, and a server database withdrawn at the check is offered again by
// itself.
#include <QTimer>
#include <atomic>
#include <thread>

#include "client/event_wait.h"
#include "pg_fixture.h"
#include "support/program_folder.h"
#include "support/sqlite_files.h"
#include "support/test_server.h"
#include "support/wire_text.h"

namespace corvane::test {
namespace {

constexpr int kWaitMs = 20000;

// Brings the cluster's server back however the test ends.
struct ClusterRunning {
  ~ClusterRunning() { PgCluster(QStringLiteral("start")); }
};

class PgFaultTest : public PgTest {
 protected:
  void SetUp() override {
    PgTest::SetUp();
    if (IsSkipped()) return;
    if (qEnvironmentVariableIsEmpty("PGVERSION")) GTEST_SKIP() << "no single cluster version";
    Exec(
        "CREATE TABLE items (id serial PRIMARY KEY, name varchar(10));"
        "INSERT INTO items (name) VALUES ('nut'), ('bolt')");
  }
};

// Served through a text naming two hosts, the first down as after a failover, PostgreSQL
// restarts while one client reads a slow query, one saves a slow update, and one browses: the
// cut-off read is read again unseen, the cut-off update is answered "ErrorUpdate" and not done
// behind the client's back, moves made while the server is down wait for it, and nobody logs on
// again.
TEST_F(PgFaultTest, ARestartRepeatsTheCutOffReadButNeverTheCutOffUpdate) {
  Exec("CREATE VIEW slow AS SELECT i.* FROM items i, (SELECT pg_sleep(2)) s");
  PgSession().Exec(
      "CREATE FUNCTION slowly() RETURNS trigger LANGUAGE plpgsql AS "
      "'BEGIN PERFORM pg_sleep(2); RETURN NEW; END'");
  Exec("CREATE TRIGGER slowly BEFORE UPDATE ON items FOR EACH ROW EXECUTE FUNCTION slowly()");
  const QString hosts =
      QStringLiteral("postgresql://127.0.0.1:%1,%2:%3/%4?target_session_attrs=read-write")
          .arg(QString::number(FreeListenPort()), qEnvironmentVariable("PGHOST"),
               qEnvironmentVariable("PGPORT"), qEnvironmentVariable("PGDATABASE"));
  TestServer server;
  server.catalogue.Replace(
      {{{QStringLiteral("Shop"), hosts}}, {{QStringLiteral("items")}}, {{QStringLiteral("slow")}}});
  ASSERT_TRUE(server.Start());
  auto reader = LoggedOnClient(server.port(), "bob", "secret", 12345678, kWaitMs);
  auto writer = LoggedOnClient(server.port(), "ann", "pw", 23456789, kWaitMs);
  auto browser = LoggedOnClient(server.port(), "bob", "secret", 12345678, kWaitMs);
  ASSERT_EQ(Ask(*writer, "RequestTheTable", {"0", "0"}).word, "Fields");
  ASSERT_EQ(Ask(*browser, "RequestTheTable", {"0", "0"}).word, "Fields");
  reader->Send("RequestTheQuery", {"0", "0"});
  writer->Send("Update", {"1", "washer"});
  ASSERT_TRUE(WaitUntil(
      [] {
        return Value("SELECT count(*) FROM pg_stat_activity WHERE wait_event = 'PgSleep'") == "2";
      },
      kWaitMs));

  const ClusterRunning running;
  std::atomic<int> restarted = -1;
  std::thread restart([&] { restarted = PgFastRestart(); });
  for (int moves = 0; restarted < 0; ++moves) {
    const ClientReply reply = Ask(*browser, moves % 2 ? "Prev" : "Next");
    if (reply.word != "Data") ADD_FAILURE() << reply.text.constData();
  }
  restart.join();
  ASSERT_EQ(restarted, 1);
  EXPECT_EQ(reader->ReadReply(kWaitMs).value_or(ClientReply{}).text,
            Message({"Fields", "2", "id", "name"}));
  // The error, then the record as stored.
  const QList<ClientReply> cutOff = writer->ReadReplies(2, kWaitMs);
  ASSERT_EQ(cutOff.size(), 2);
  EXPECT_TRUE(
      cutOff[0].text.startsWith("\x02"
                                "ErrorUpdate\x04The connection to the server "
                                "database was lost"))
      << cutOff[0].text.constData();
  EXPECT_EQ(cutOff[1].text, Message({"Data", "1", "1", "nut"}));

  EXPECT_EQ(Ask(*reader, "Next").fields.value(2), "bolt");
  EXPECT_EQ(Ask(*writer, "Update", {"1", "washer"}).fields.value(2), "washer");
  EXPECT_EQ(Ask(*browser, "First").fields.value(2), "washer");
}

TEST_F(PgFaultTest, AServerDatabaseThatStopsAnsweringIsReportedOnceEachWay) {
  ProgramFolder folder;
  const quint16 port = FreeListenPort();
  folder.Write({{"Shop", Location()}}, port);
  auto server = folder.NewServer();
  ASSERT_EQ(ProgramFolder::Start(*server), StartupBranch::kReady);
  server->Slots().StartListening();
  // The first open after the stop waits kServerRestartWaitMs for a restart.
  CorvaneClient client(kWaitMs);
  ASSERT_TRUE(client.Connect("127.0.0.1", port));
  // "ErrorDB" ends the logon: each attempt logs on first.
  auto open = [&] {
    EXPECT_EQ(client.Logon("ANN", "PW1", 12345678).value_or(ClientReply{}).word, "Accepted");
    return Ask(client, "RequestTheTable", {"0", "0"});
  };
  EXPECT_EQ(open().word, "Fields");

  const ClusterRunning running;
  ASSERT_TRUE(PgCluster(QStringLiteral("stop")));
  for (int i = 0; i < 3; ++i) {
    const ClientReply reply = open();
    EXPECT_EQ(reply.word, "ErrorDB");
    EXPECT_TRUE(reply.fields.value(0).contains("could not be reached")) << reply.text.constData();
  }
  auto says = [&](const QString& part) {
    return ProgramFolder::Count(ProgramFolder::Events(*server), part);
  };
  EXPECT_TRUE(
      WaitUntil([&] { return says("Server database Shop does not answer: ") == 1; }, kWaitMs));
  EXPECT_EQ(says("Open Error"), 3);

  ASSERT_TRUE(PgCluster(QStringLiteral("start")));
  EXPECT_EQ(open().word, "Fields");
  EXPECT_EQ(Ask(client, "Next").fields.value(2), "bolt");
  EXPECT_TRUE(WaitUntil([&] { return says("Server database Shop answers again") == 1; }, kWaitMs));
  EXPECT_EQ(says("does not answer"), 1);
  client.Disconnect();
  server->Slots().FreeEverySlot(FreeReason::kShutdown);
  server->Slots().CloseListener();
}

// A database of the cluster that does not exist yet stands for a server database that
// does not answer at start-up; creating it brings it back.
class PgComebackTest : public PgFaultTest {
 protected:
  void SetUp() override {
    PgFaultTest::SetUp();
    if (IsSkipped()) return;
    DropLater();
    ExecOnFile(folder_.Path("first.db"), "CREATE TABLE first (id INTEGER PRIMARY KEY)");
    ExecOnFile(folder_.Path("last.db"), "CREATE TABLE last (id INTEGER PRIMARY KEY)");
  }
  void TearDown() override {
    server_.reset();
    if (PgAvailable()) DropLater();
  }
  static void DropLater() {
    Exec(
        "DROP DATABASE IF EXISTS corvane_later WITH (FORCE);"
        "DROP DATABASE IF EXISTS corvane_staging WITH (FORCE)");
  }
  static QString Sibling(const QString& database) {
    QString location = PgLocation();
    location.chop(location.size() - location.lastIndexOf(QLatin1Char('/')) - 1);
    return location + database;
  }
  static QString LaterLocation() { return Sibling(QStringLiteral("corvane_later")); }
  // Starts the server over First, Later (down) and Last, then brings Later up.
  void StartWithLaterDown(quint16 port = 5000) {
    folder_.Write({{"First", folder_.Path("first.db")},
                   {"Later", LaterLocation()},
                   {"Last", folder_.Path("last.db")}},
                  port);
    server_ = folder_.NewServer();
    server_->SetWithdrawnRetryInterval(100);
    ASSERT_EQ(ProgramFolder::Start(*server_), StartupBranch::kReady);
    ASSERT_EQ(Names(), (QStringList{"First", "Last"}));
    ASSERT_EQ(folder_.prompts.boxes.size(), 1u);
    EXPECT_TRUE(folder_.prompts.boxes[0].text.startsWith("Database Error: Later"));
    // Made whole under another name, so that a retry never finds it half made.
    Exec("CREATE DATABASE corvane_staging");
    PgExecOn(Sibling(QStringLiteral("corvane_staging")),
             "CREATE TABLE parts (id serial PRIMARY KEY); CREATE VIEW few AS SELECT id FROM parts");
    Exec("ALTER DATABASE corvane_staging RENAME TO corvane_later");
  }
  QStringList Names() const {
    QStringList names;
    for (const PublishedDatabase& entry : server_->CatalogueLists().published) names << entry.name;
    return names;
  }

  ProgramFolder folder_;
  std::unique_ptr<ServerInstance> server_;
};

TEST_F(PgComebackTest, WithNoClientConnectedItIsOfferedAgainInItsPlace) {
  StartWithLaterDown();
  ASSERT_TRUE(WaitUntil([&] { return Names().size() == 3; }, kWaitMs));
  EXPECT_EQ(Names(), (QStringList{"First", "Later", "Last"}));
  const Catalogue& lists = server_->CatalogueLists();
  EXPECT_EQ(lists.tableLists.at(1), QStringList{"parts"});
  EXPECT_EQ(lists.queryLists.at(1), QStringList{"few"});
  EXPECT_EQ(lists.tableLists.at(2), QStringList{"last"});
  const QStringList events = ProgramFolder::Events(*server_);
  EXPECT_EQ(ProgramFolder::Count(events, "Server database Later answers and is offered"), 1);
  EXPECT_EQ(ProgramFolder::Count(events, "Server database Later does not answer"), 1);
}

TEST_F(PgComebackTest, WithAClientConnectedItJoinsTheEndAndDatabaseDatKeepsItsPlace) {
  const quint16 port = FreeListenPort();
  StartWithLaterDown(port);
  server_->Slots().StartListening();
  CorvaneClient client(5000);
  ASSERT_TRUE(client.Connect("127.0.0.1", port));
  ASSERT_EQ(client.Logon("ANN", "PW1", 12345678).value_or(ClientReply{}).word, "Accepted");
  ASSERT_TRUE(WaitUntil([&] { return Names().size() == 3; }, kWaitMs));
  // The index the client holds for Last still names Last.
  EXPECT_EQ(Names(), (QStringList{"First", "Last", "Later"}));
  EXPECT_EQ(Ask(client, "ThankYou").fields, (QList<QByteArray>{"First", "Last", "Later"}));
  EXPECT_EQ(Ask(client, "RequestTheTable", {"2", "0"}).word, "Fields");
  server_->SaveSettingsFiles();
  EXPECT_EQ(folder_.SavedNames(), (QStringList{"First", "Later", "Last"}));
  client.Disconnect();
  server_->Slots().FreeEverySlot(FreeReason::kShutdown);
  server_->Slots().CloseListener();
  // The next check puts it back in its place.
  ProgramFolder::Check(*server_);
  EXPECT_EQ(Names(), (QStringList{"First", "Later", "Last"}));
}

}  // namespace
}  // namespace corvane::test
