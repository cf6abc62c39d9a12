// Server databases named in database.dat: one that does not answer is reported and
// withdrawn from the clients' list, yet stays in database.dat in its place; one whose
// connection text carries a password is refused and dropped. Waiting for one that does not
// answer never holds the event loop.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTimer>

#include "server/server_instance.h"
#include "support/file_bytes.h"
#include "support/program_folder.h"
#include "support/recording_prompts.h"
#include "support/sqlite_files.h"

namespace corvane::test {
namespace {

// A server database that is down keeps its place in database.dat between the databases
// around it, however often the list is checked and saved (also a second name for the same
// server); a damaged file before it is dropped (a file that cannot be read is not kept)
// without moving it, and so is one whose connection text carries a password.
TEST(ServerDatabasePublish, AWithdrawnServerDatabaseKeepsItsPlaceInDatabaseDat) {
  ProgramFolder folder;
  ExecOnFile(folder.Path("a.db"), "CREATE TABLE a (id INTEGER PRIMARY KEY)");
  ExecOnFile(folder.Path("c.db"), "CREATE TABLE c (id INTEGER PRIMARY KEY)");
  ASSERT_TRUE(WriteFileBytes(folder.Path("damaged.db"), QByteArray(4096, 'x')));
  folder.Write({{"Damaged", folder.Path("damaged.db")},
                {"A", folder.Path("a.db")},
                {"Down", "postgresql://127.0.0.1:1/stock"},
                {"C", folder.Path("c.db")},
                {"Down too", "postgresql://127.0.0.1:1/stock"},
                {"Secret", "postgresql://ann:pw@127.0.0.1:1/stock"}});
  auto server = folder.NewServer();
  ASSERT_EQ(server->RunStartup(), StartupBranch::kReady);
  QStringList boxes;
  for (const auto& box : folder.prompts.boxes) boxes << box.text;
  ASSERT_EQ(boxes.size(), 4) << boxes.join('\n').toStdString();
  EXPECT_TRUE(boxes[0].startsWith("Database Error: Damaged\r\r"));
  EXPECT_TRUE(boxes[1].startsWith("Database Error: Down\r\r"));
  EXPECT_TRUE(boxes[1].contains("could not be reached"));
  EXPECT_TRUE(boxes[3].startsWith("Database Error: Secret\r\r"));
  EXPECT_TRUE(boxes[3].contains(".pgpass"));
  const PublishedList& published = server->CatalogueLists().published;
  ASSERT_EQ(published.size(), 2u);
  EXPECT_EQ(published[0].name, "A");
  EXPECT_EQ(published[1].name, "C");
  server->SaveSettingsFiles();
  EXPECT_EQ(folder.SavedNames(), (QStringList{"A", "Down", "C", "Down too"}));
  server->RunDatabaseCheck();
  server->SaveSettingsFiles();
  EXPECT_EQ(folder.SavedNames(), (QStringList{"A", "Down", "C", "Down too"}));
  EXPECT_EQ(folder.prompts.boxes.size(), 4u + 2u);  // the check tells of the two again
  EXPECT_FALSE(ReadFileBytes(folder.Path("database.dat")).contains("ann:pw"));
  // The activity list says once that it does not answer, not at each check.
  const QStringList events = ProgramFolder::Events(*server);
  EXPECT_EQ(ProgramFolder::Count(events, "Server database Down does not answer"), 1)
      << events.join('\n').toStdString();
}

// A server that accepts the connection and never answers holds the check for the whole
// connect timeout; the event loop goes on meanwhile.
TEST(ServerDatabasePublish, ACheckWaitingOnASilentServerLetsTimersAndSocketsRun) {
  QTcpServer silent;
  ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
  int accepted = 0;
  QObject::connect(&silent, &QTcpServer::newConnection, [&] { ++accepted; });
  ProgramFolder folder;
  const QString location =
      QStringLiteral("postgresql://127.0.0.1:%1/stock?sslmode=disable").arg(silent.serverPort());
  folder.Write({{"Silent", location}});
  auto server = folder.NewServer();
  server->SetServerConnectTimeout(2);
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start(50);
  QElapsedTimer took;
  took.start();
  ASSERT_EQ(server->RunStartup(), StartupBranch::kReady);
  // libpq never waits less than 2 s; ticks are counted generously for a loaded machine.
  EXPECT_GE(took.elapsed(), 1500);
  EXPECT_GE(ticks, 3);
  EXPECT_GE(accepted, 1);
  EXPECT_TRUE(server->CatalogueLists().published.empty());
  ASSERT_EQ(folder.prompts.boxes.size(), 1u);
  EXPECT_TRUE(folder.prompts.boxes[0].text.startsWith("Database Error: Silent"));
}

}  // namespace
}  // namespace corvane::test
