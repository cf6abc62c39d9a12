#include "config/database_check.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "support/file_bytes.h"
#include "support/sqlite_files.h"

namespace corvane::test {
namespace {

struct RecordingProgress : DatabaseCheckProgress {
  void ShowHeading(const QString& heading) override {
    visible = true;
    headings << heading;
  }
  void ShowDatabase(const QString& name) override { databases << name; }
  void ShowObject(const QString& name) override { objects << name; }
  void LetEventsRun() override { ++pauses; }
  void Close() override {
    visible = false;
    ++closes;
  }
  bool visible = false;
  QStringList headings, databases, objects;
  int pauses = 0;
  int closes = 0;
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
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

  QString Publish(const QString& name, const QString& sql) {
    const QString path = dir_.filePath(name);
    if (!sql.isEmpty()) ExecOnFile(path, sql);
    catalogue_.published.push_back({name, path});
    return path;
  }
  QString PublishCorrupt(const QString& name) {
    const QString path = dir_.filePath(name);
    EXPECT_TRUE(WriteFileBytes(path, QByteArray(8192, 'x')));
    catalogue_.published.push_back({name, path});
    return path;
  }

  QTemporaryDir dir_;
  Catalogue catalogue_;
  RecordingProgress progress_;
  RecordingPrompt prompt_;
  DatabaseCheck check_{catalogue_, progress_, prompt_};
};

TEST_F(DatabaseCheckTest, ListsUserTablesAndPlainQueriesThatOpen) {
  Publish(QStringLiteral("shop.db"),
          QStringLiteral("CREATE TABLE orders (id INTEGER PRIMARY KEY AUTOINCREMENT, item TEXT);"
                         "CREATE TABLE customers (name TEXT);"
                         "CREATE TABLE stock (code TEXT PRIMARY KEY) WITHOUT ROWID;"
                         "INSERT INTO orders (item) VALUES ('tea');"
                         "CREATE VIEW big_orders AS SELECT * FROM orders;"
                         "CREATE VIEW \"~sq_hidden\" AS SELECT * FROM orders;"
                         "CREATE VIEW ask AS SELECT * FROM orders WHERE id = [Which order];"
                         "CREATE VIEW \"~tmp\" AS SELECT 1;"
                         "CREATE VIEW by_name AS SELECT name FROM customers ORDER BY name;"));
  check_.Run();
  ASSERT_EQ(catalogue_.tableLists.size(), 1u);
  EXPECT_EQ(catalogue_.tableLists[0],
            QStringList({QStringLiteral("orders"), QStringLiteral("customers"),
                         QStringLiteral("stock")}));  // sqlite_sequence is not offered
  EXPECT_EQ(catalogue_.queryLists[0],
            QStringList({QStringLiteral("big_orders"), QStringLiteral("by_name")}));
  EXPECT_EQ(progress_.headings,
            QStringList({QStringLiteral("Table: "), QStringLiteral("Query: ")}));
  EXPECT_EQ(progress_.databases,
            QStringList({QStringLiteral("shop.db"), QStringLiteral("shop.db")}));
  EXPECT_TRUE(progress_.objects.contains(QStringLiteral("big_orders")));
  EXPECT_FALSE(progress_.objects.contains(QStringLiteral("~sq_hidden")));
  EXPECT_FALSE(progress_.visible);
  EXPECT_TRUE(prompt_.texts.isEmpty());

  // The same check again gives the same lists.
  const Catalogue before = catalogue_;
  check_.Run();
  EXPECT_EQ(catalogue_.tableLists, before.tableLists);
  EXPECT_EQ(catalogue_.queryLists, before.queryLists);
}

TEST_F(DatabaseCheckTest, CorruptDatabaseIsDroppedWithOneMessageAndListsStayAligned) {
  Publish(QStringLiteral("a.db"),
          QStringLiteral("CREATE TABLE ta (x);CREATE VIEW qa AS SELECT * FROM ta"));
  PublishCorrupt(QStringLiteral("bad.db"));
  Publish(QStringLiteral("missing.db"), QString());
  Publish(QStringLiteral("c.db"),
          QStringLiteral("CREATE TABLE tc (y);CREATE VIEW qc AS SELECT * FROM tc"));
  // Lists of an earlier check, to be replaced.
  catalogue_.tableLists = {{QStringLiteral("old")}, {QStringLiteral("old")}, {}, {}};

  check_.Run();
  ASSERT_EQ(prompt_.texts.size(), 1);
  EXPECT_TRUE(prompt_.texts[0].startsWith(QStringLiteral("Database Error: bad.db\r\r")));
  EXPECT_GT(prompt_.texts[0].size(), QStringLiteral("Database Error: bad.db\r\r").size());
  EXPECT_EQ(prompt_.titles[0], QStringLiteral("Database Error"));
  EXPECT_EQ(check_.removeLater(), QStringList({QStringLiteral("bad.db")}));
  EXPECT_TRUE(check_.removeQueryLater().isEmpty());

  ASSERT_EQ(catalogue_.published.size(), 3u);
  EXPECT_EQ(catalogue_.published[1].name, QStringLiteral("missing.db"));
  EXPECT_EQ(catalogue_.published[2].name, QStringLiteral("c.db"));
  ASSERT_EQ(catalogue_.tableLists.size(), 3u);
  ASSERT_EQ(catalogue_.queryLists.size(), 3u);
  EXPECT_EQ(catalogue_.tableLists[0], QStringList({QStringLiteral("ta")}));
  EXPECT_TRUE(catalogue_.tableLists[1].isEmpty());  // a missing file is skipped silently
  EXPECT_EQ(catalogue_.tableLists[2], QStringList({QStringLiteral("tc")}));
  EXPECT_EQ(catalogue_.queryLists[2], QStringList({QStringLiteral("qc")}));
}

TEST_F(DatabaseCheckTest, DropRemovesOnlyTheFirstOfTwoEqualNames) {
  catalogue_.published = {{QStringLiteral("x"), QStringLiteral("/1")},
                          {QStringLiteral("y"), QStringLiteral("/2")},
                          {QStringLiteral("x"), QStringLiteral("/3")}};
  catalogue_.tableLists = {{QStringLiteral("t1")}, {QStringLiteral("t2")}, {QStringLiteral("t3")}};
  catalogue_.queryLists = {{}, {}, {QStringLiteral("q3")}};
  DatabaseCheck::DropFailedDatabases(catalogue_, {QStringLiteral("x")});
  ASSERT_EQ(catalogue_.published.size(), 2u);
  EXPECT_EQ(catalogue_.published[1].location, QStringLiteral("/3"));
  EXPECT_EQ(catalogue_.tableLists[0], QStringList({QStringLiteral("t2")}));
  EXPECT_EQ(catalogue_.queryLists[1], QStringList({QStringLiteral("q3")}));
}

TEST_F(DatabaseCheckTest, NoPublishedDatabaseTouchesNoList) {
  check_.Run();
  EXPECT_EQ(progress_.headings.size(), 2);
  EXPECT_EQ(progress_.closes, 2);
  EXPECT_TRUE(catalogue_.tableLists.empty());
  EXPECT_TRUE(catalogue_.queryLists.empty());
}

}  // namespace
}  // namespace corvane::test
