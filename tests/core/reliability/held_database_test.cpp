// A database file another program holds locked keeps only its own clients waiting: a client
// that leaves while holding a query it composed there does not make other clients wait, and
// a query that cannot be removed is named for the next start.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "base/sqlite_database.h"
#include "client/event_wait.h"
#include "support/leaving_client.h"
#include "support/sqlite_files.h"
#include "support/test_server.h"

namespace corvane::test {
namespace {

constexpr qint64 kWorstWaitMs = 200;

TEST(HeldDatabaseTest, AClientLeavingAQueryOnALockedFileHoldsUpNoClientOfAnotherFile) {
  QTemporaryDir dir;
  const QString held = dir.filePath("held.db");
  const QString shop = dir.filePath("shop.db");
  for (const QString& file : {held, shop}) {
    ExecOnFile(file, "CREATE TABLE people (id INTEGER PRIMARY KEY, name VARCHAR(10))");
    ExecOnFile(file, "INSERT INTO people VALUES (1, 'Ann'), (2, 'Bob')");
  }
  TestServer server;
  server.catalogue.Replace({{{QStringLiteral("Held"), held}, {QStringLiteral("Shop"), shop}},
                            {{QStringLiteral("people")}, {QStringLiteral("people")}},
                            {{}, {}}});
  ASSERT_TRUE(server.Start());

  auto [browsing, composing] = StartBrowserAndComposer(server.port(), "1", "0");
  const QString views = QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'view'");
  ASSERT_EQ(QueryOnFile(held, views).toInt(), 1);

  // Another program writes to the file: removing the query waits for its lock.
  SqliteDatabase other;
  ASSERT_EQ(other.Open(held, SQLITE_OPEN_READWRITE), SQLITE_OK);
  ASSERT_EQ(other.Execute("BEGIN IMMEDIATE"), SQLITE_OK);
  composing->Close();
  EXPECT_LT(WorstFirstWait(*browsing, 2000), kWorstWaitMs);
  // Once the lock goes, the query is removed all the same.
  ASSERT_EQ(other.Execute("COMMIT"), SQLITE_OK);
  EXPECT_TRUE(WaitUntil([&] { return QueryOnFile(held, views).toInt() == 0; }, 10000));

  // A lock held past the busy wait: the removal fails, and the query is named for the next
  // start to remove.
  bool left = false;
  QObject::connect(&server.slots(), &SlotServer::QueryLeft, [&left] { left = true; });
  auto again = StartBrowserAndComposer(server.port(), "1", "0");
  ASSERT_EQ(other.Execute("BEGIN IMMEDIATE"), SQLITE_OK);
  again.composing->Close();
  EXPECT_TRUE(WaitUntil([&] { return left; }, 15000));
  ASSERT_EQ(other.Execute("COMMIT"), SQLITE_OK);
  EXPECT_EQ(server.slots().LeftQueries(), (std::vector<LeftQuery>{{held, "Mine"}}));
  EXPECT_EQ(QueryOnFile(held, views).toInt(), 1);
}

}  // namespace
}  // namespace corvane::test
