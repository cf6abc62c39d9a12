// A server database that goes away and comes back: clients get "ErrorDB" while it is down,
// the activity list says so once each way, an idle connection the restart closed costs no
// request, and a server database withdrawn at the check is offered again by itself.
#include <QTimer>

#include "client/event_wait.h"
#include "pg_fixture.h"
#include "support/program_folder.h"
#include "support/sqlite_files.h"
#include "support/test_server.h"

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

TEST_F(PgFaultTest, AnIdleConnectionClosedByARestartIsReplacedWithoutAnError) {
  TestServer server;
  server.catalogue.Replace(
      {{{QStringLiteral("Shop"), Location()}}, {{QStringLiteral("items")}}, {{}}});
  ASSERT_TRUE(server.Start());
  auto client = LoggedOnClient(server.port(), "bob", "secret", 12345678);
  EXPECT_EQ(Ask(*client, "RequestTheTable", {"0", "0"}).word, "Fields");
  EXPECT_EQ(Ask(*client, "Next").fields.value(2), "bolt");
  const ClusterRunning running;
  ASSERT_TRUE(PgCluster(QStringLiteral("restart")));
  // The pool's connections all belong to the server that stopped.
  EXPECT_EQ(Ask(*client, "First").fields.value(2), "nut");
  EXPECT_EQ(Ask(*client, "Next").fields.value(2), "bolt");
}

TEST_F(PgFaultTest, AServerDatabaseThatStopsAnsweringIsReportedOnceEachWay) {
  ProgramFolder folder;
  const quint16 port = FreeListenPort();
  folder.Write({{"Shop", Location()}}, port);
  auto server = folder.NewServer();
  ASSERT_EQ(ProgramFolder::Start(*server), StartupBranch::kReady);
  server->Slots().StartListening();
  CorvaneClient client(5000);
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
