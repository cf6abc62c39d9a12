// The one owner of SQLite handles: values round-trip as they were bound, NULL stays apart
// from empty text and blobs, and handles change hands without being freed twice.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "base/sqlite_database.h"
#include "base/sqlite_statement.h"

namespace corvane::test {
namespace {

class SqliteWrapperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(db_.Open(dir_.filePath("w.db"), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE),
              SQLITE_OK);
    ASSERT_EQ(db_.Execute("CREATE TABLE t (v)"), SQLITE_OK);
  }
  SqliteStatement Prepared(const char* sql) {
    SqliteStatement stmt;
    EXPECT_EQ(stmt.Prepare(db_.get(), sql), SQLITE_OK) << db_.ErrorMessage().toStdString();
    return stmt;
  }
  // Stores one value through `bind` and reads back its type and bytes.
  template <typename Bind>
  std::pair<QByteArray, QByteArray> RoundTrip(Bind bind) {
    EXPECT_EQ(db_.Execute("DELETE FROM t"), SQLITE_OK);
    SqliteStatement insert = Prepared("INSERT INTO t VALUES (?1)");
    EXPECT_EQ(bind(insert), SQLITE_OK);
    EXPECT_EQ(insert.Step(), SQLITE_DONE);
    SqliteStatement select = Prepared("SELECT typeof(v), v FROM t");
    EXPECT_EQ(select.Step(), SQLITE_ROW);
    return {select.ColumnBytes(0), select.ColumnBytes(1)};
  }

  QTemporaryDir dir_;
  SqliteDatabase db_;
};

TEST_F(SqliteWrapperTest, ValuesComeBackAsBoundNullApartFromEmptyTextAndBlobsAndResetNullsThem) {
  using Bind = std::function<int(SqliteStatement&)>;
  const QByteArray hostile("x'); DROP TABLE t; --\0tail", 25);
  const struct {
    Bind bind;
    const char* type;
    QByteArray value;  // a null QByteArray for Null
  } cases[] = {{[](SqliteStatement& s) { return s.BindNull(1); }, "null", QByteArray()},
               {[](SqliteStatement& s) { return s.BindText(1, QByteArray()); }, "text", ""},
               {[](SqliteStatement& s) { return s.BindText(1, ""); }, "text", ""},
               {[](SqliteStatement& s) { return s.BindBlob(1, QByteArray()); }, "blob", ""},
               {[](SqliteStatement& s) { return s.BindBlob(1, ""); }, "blob", ""},
               {[&](SqliteStatement& s) { return s.BindText(1, hostile); }, "text", hostile},
               {[&](SqliteStatement& s) {
                  return s.BindBlob(1, hostile, SqliteStatement::Bytes::kBorrowed);
                },
                "blob", hostile},
               {[](SqliteStatement& s) { return s.BindInteger(1, INT64_MIN); }, "integer",
                "-9223372036854775808"}};
  for (const auto& c : cases) {
    const auto [type, value] = RoundTrip(c.bind);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(value, c.value) << c.type;
    EXPECT_EQ(value.isNull(), c.value.isNull()) << c.type;
  }
  SqliteStatement count = Prepared("SELECT count(*) FROM t");  // never spliced into the SQL
  ASSERT_EQ(count.Step(), SQLITE_ROW);
  EXPECT_EQ(count.ColumnInteger(0), 1);

  // Reset runs again with every parameter Null.
  ASSERT_EQ(db_.Execute("DELETE FROM t"), SQLITE_OK);
  SqliteStatement insert = Prepared("INSERT INTO t VALUES (?1)");
  insert.BindInteger(1, 7);
  ASSERT_EQ(insert.Step(), SQLITE_DONE);
  insert.Reset();
  ASSERT_EQ(insert.Step(), SQLITE_DONE);
  SqliteStatement select = Prepared("SELECT v FROM t ORDER BY rowid");
  ASSERT_EQ(select.Step(), SQLITE_ROW);
  EXPECT_EQ(select.ColumnInteger(0), 7);
  ASSERT_EQ(select.Step(), SQLITE_ROW);
  EXPECT_TRUE(select.ColumnBytes(0).isNull());
  EXPECT_EQ(select.Step(), SQLITE_DONE);
}

TEST_F(SqliteWrapperTest, ExecuteRunsOneStatementAndNothingHiddenBehindIt) {
  const QString other = dir_.filePath("other.db");
  QString error;
  // A second statement, whether it would prepare or not, stops the whole text unrun.
  for (const QByteArray& sql :
       {QByteArray("INSERT INTO t VALUES (1); DROP TABLE t"),
        "INSERT INTO t VALUES (1);ATTACH '" + other.toUtf8() + "' AS p;CREATE TABLE p.x (a)--",
        QByteArray("INSERT INTO t VALUES (1); not sql at all")}) {
    error.clear();
    EXPECT_EQ(db_.Execute(sql, &error), SQLITE_ERROR) << sql.constData();
    EXPECT_FALSE(error.isEmpty());
  }
  EXPECT_FALSE(QFile::exists(other));
  auto rows = [&] {
    SqliteStatement count = Prepared("SELECT count(*) FROM t");
    return count.Step() == SQLITE_ROW ? count.ColumnInteger(0) : -1;
  };
  EXPECT_EQ(rows(), 0);

  // Blanks, comments and semicolons may follow; a text of only those runs nothing.
  EXPECT_EQ(db_.Execute("INSERT INTO t VALUES (2) ; -- done\n ;; /* really */ "), SQLITE_OK);
  EXPECT_EQ(db_.Execute(" -- nothing"), SQLITE_OK);
  EXPECT_EQ(db_.Execute("INSERT INTO nowhere VALUES (1)", &error), SQLITE_ERROR);
  EXPECT_TRUE(error.contains("no such table")) << error.toStdString();
  EXPECT_EQ(rows(), 1);
}

TEST_F(SqliteWrapperTest, AConnectionClosedWhileAStatementIsHeldIsFreedWithTheStatement) {
  SqliteDatabase moved(std::move(db_));
  EXPECT_FALSE(db_.isOpen());
  SqliteStatement held;
  ASSERT_EQ(held.Prepare(moved.get(), "SELECT count(*) FROM t"), SQLITE_OK);
  moved.Close();
  EXPECT_FALSE(moved.isOpen());
  held.Finalize();
}

}  // namespace
}  // namespace corvane::test
