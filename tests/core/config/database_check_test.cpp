// The check of the published databases that builds the lists clients are offered.
#include "config/database_check.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "support/file_bytes.h"
#include "support/sqlite_files.h"

namespace corvane::test {
namespace {

struct RecordingProgress : DatabaseCheckProgress {
  void ShowHeading(const QString&) override { visible = true; }
  void ShowDatabase(const QString&) override {}
  void ShowObject(const QString& name) override { objects << name; }
  void Close() override { visible = false; }
  bool visible = false;
  QStringList objects;
};

struct RecordingPrompt : DatabaseErrorPrompt {
  void ShowDatabaseError(const QString& text, const QString& title) override {
    texts << text;
    titles << title;
  }
  QStringList texts, titles;
};

class DatabaseCheckTest : public ::testing::Test {
 protected:
  void Publish(const QString& name, const QString& sql) {
    const QString path = dir_.filePath(name);
    if (!sql.isEmpty()) ExecOnFile(path, sql);
    published_.push_back({name, path});
  }
  void Run() { catalogue_ = check_.Run(published_); }

  QTemporaryDir dir_;
  PublishedList published_;
  Catalogue catalogue_;
  RecordingProgress progress_;
  RecordingPrompt prompt_;
  FileDatabaseOpener databases_;
  DatabaseCheck check_{databases_, progress_, prompt_};
};

TEST_F(DatabaseCheckTest, ListsUserTablesAndPlainQueriesThatOpen) {
  Publish("shop.db",
          "CREATE TABLE orders (id INTEGER PRIMARY KEY AUTOINCREMENT, item TEXT);"
          "CREATE TABLE customers (name TEXT);"
          "CREATE TABLE stock (code TEXT PRIMARY KEY) WITHOUT ROWID;"
          "INSERT INTO orders (item) VALUES ('tea');"
          "CREATE VIEW big_orders AS SELECT * FROM orders;"
          "CREATE VIEW \"~sq_hidden\" AS SELECT * FROM orders;"
          "CREATE VIEW ask AS SELECT * FROM orders WHERE id = [Which order];"
          "CREATE VIEW \"~tmp\" AS SELECT 1;"
          "CREATE VIEW by_name AS SELECT name FROM customers ORDER BY name;");
  Run();
  // sqlite_sequence is not offered, nor hidden queries or ones that ask for parameters.
  EXPECT_EQ(catalogue_.tableLists, (std::vector<QStringList>{{"orders", "customers", "stock"}}));
  EXPECT_EQ(catalogue_.queryLists, (std::vector<QStringList>{{"big_orders", "by_name"}}));
  EXPECT_TRUE(progress_.objects.contains("big_orders"));
  EXPECT_FALSE(progress_.objects.contains("~sq_hidden"));
  EXPECT_FALSE(progress_.visible);
  EXPECT_TRUE(prompt_.texts.isEmpty());
  // The same check again gives the same lists.
  const Catalogue before = catalogue_;
  Run();
  EXPECT_EQ(catalogue_.tableLists, before.tableLists);
  EXPECT_EQ(catalogue_.queryLists, before.queryLists);
}

TEST_F(DatabaseCheckTest, CorruptDatabaseIsDroppedWithOneMessageAndListsStayAligned) {
  Publish("a.db", "CREATE TABLE ta (x);CREATE VIEW qa AS SELECT * FROM ta");
  Publish("bad.db", "");
  ASSERT_TRUE(WriteFileBytes(dir_.filePath("bad.db"), QByteArray(8192, 'x')));
  Publish("missing.db", "");
  Publish("c.db", "CREATE TABLE tc (y);CREATE VIEW qc AS SELECT * FROM tc");
  Run();
  ASSERT_EQ(prompt_.texts.size(), 1);
  EXPECT_TRUE(prompt_.texts[0].startsWith("Database Error: bad.db\r\r"));
  EXPECT_GT(prompt_.texts[0].size(), QStringLiteral("Database Error: bad.db\r\r").size());
  EXPECT_EQ(prompt_.titles[0], "Database Error");
  EXPECT_EQ(check_.removeLater(), QStringList({"bad.db"}));
  ASSERT_EQ(catalogue_.published.size(), 3u);
  EXPECT_EQ(catalogue_.published[2].name, "c.db");
  // A missing file is skipped silently.
  EXPECT_EQ(catalogue_.tableLists, (std::vector<QStringList>{{"ta"}, {}, {"tc"}}));
  EXPECT_EQ(catalogue_.queryLists, (std::vector<QStringList>{{"qa"}, {}, {"qc"}}));
  // Of two entries of one name, dropping removes only the first.
  catalogue_.published = {{"x", "/1"}, {"y", "/2"}, {"x", "/3"}};
  catalogue_.tableLists = {{"t1"}, {"t2"}, {"t3"}};
  catalogue_.queryLists = {{}, {}, {"q3"}};
  DatabaseCheck::DropFailedDatabases(catalogue_, {"x"});
  ASSERT_EQ(catalogue_.published.size(), 2u);
  EXPECT_EQ(catalogue_.published[1].location, "/3");
  EXPECT_EQ(catalogue_.tableLists, (std::vector<QStringList>{{"t2"}, {"t3"}}));
  EXPECT_EQ(catalogue_.queryLists, (std::vector<QStringList>{{}, {"q3"}}));
}

TEST_F(DatabaseCheckTest, QueriesAreListedWithoutBeingRun) {
  // Run to completion, the first would never end and the second would build a value of a
  // gigabyte; a stored query is read only when a client opens it.
  Publish("shop.db",
          "CREATE TABLE orders (id INTEGER PRIMARY KEY, item TEXT);"
          "CREATE VIEW endless AS WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
          "SELECT x FROM c;"
          "CREATE VIEW huge AS SELECT printf('%.*c', 1000000000, 'x') AS v;"
          "CREATE TABLE gone (a);"
          "CREATE VIEW lost AS SELECT * FROM gone;"
          "DROP TABLE gone;");
  Run();
  EXPECT_EQ(catalogue_.queryLists, (std::vector<QStringList>{{"endless", "huge"}}));
  EXPECT_TRUE(prompt_.texts.isEmpty());
}

}  // namespace
}  // namespace corvane::test
