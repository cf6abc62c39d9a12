// What a hostile Access file can make the import do: its saved queries' SQL runs one
// statement under a guard that reaches nothing but the new database, and the import is
// readable by no one the file keeps out.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QTemporaryDir>

#include "access/access_conversion.h"
#include "access/access_import.h"
#include "access/import_guard.h"
#include "base/sqlite_database.h"
#include "support/access_fixtures.h"
#include "support/sqlite_files.h"

namespace corvane::test {
namespace {

TEST(ImportGuard, TheWriterReachesNothingButTheNewDatabase) {
  QTemporaryDir dir;
  SqliteDatabase db;
  ASSERT_EQ(db.Open(dir.filePath("new.db"), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE), SQLITE_OK);
  GuardImportWriter(db.get());
  const QString other = dir.filePath("other.db");
  for (const QString& sql :
       {QStringLiteral("ATTACH '%1' AS p").arg(other), QStringLiteral("DETACH main"),
        QStringLiteral("PRAGMA user_version = 7"), QStringLiteral("PRAGMA writable_schema = 1"),
        QStringLiteral("CREATE TEMP TABLE x (a)"), QStringLiteral("SELECT load_extension('x')"),
        QStringLiteral("SELECT hex(fts3_tokenizer('simple'))"),
        QStringLiteral("SELECT sqlite_compileoption_get(0)")}) {
    EXPECT_NE(db.Execute(sql.toUtf8()), SQLITE_OK) << sql.toStdString();
  }
  EXPECT_FALSE(QFile::exists(other));
  // What the import itself does still works.
  for (const char* sql : {"BEGIN", "CREATE TABLE t (a VARCHAR(5))", "INSERT INTO t VALUES ('x')",
                          "CREATE INDEX ta ON t (a)", "CREATE VIEW v AS SELECT upper(a) FROM t",
                          "SELECT count(*) FROM v", "DROP VIEW v", "COMMIT"}) {
    QString error;
    EXPECT_EQ(db.Execute(sql, &error), SQLITE_OK) << sql << ": " << error.toStdString();
  }
}

// queryTestV2003.mdb holds one saved select query; a translation stands in for a file whose
// query text was changed.
class HostileQueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_FIXTURES();
    // The server's user store, beside the import as in the program folder.
    ExecOnFile(
        registry_,
        "CREATE TABLE registry_values (name TEXT); INSERT INTO registry_values VALUES ('ANN')");
  }

  AccessImportResult Convert(const QString& sql) {
    return ConvertAccessFile(Fixture("queryTestV2003.mdb"), dir_.filePath("out.sqlite"),
                             [sql](const QString&) { return std::optional<QString>(sql); });
  }
  QString SkipReason(const AccessImportResult& result, const QString& name) {
    for (const AccessImportReport::Skipped& s : result.report.skipped) {
      if (s.kind == "query" && s.name == name) return s.reason;
    }
    return QString();
  }

  QTemporaryDir dir_;
  QString registry_ = dir_.filePath("registry.db");
  QString other_ = dir_.filePath("other.db");
};

TEST_F(HostileQueryTest, MoreThanOneStatementOrAFunctionBeyondTheSafeOnesIsSkippedUnrun) {
  const struct {
    QString sql;
    const char* reason;
  } cases[] = {
      {QStringLiteral("SELECT 1;ATTACH '%1' AS p;DELETE FROM p.registry_values--").arg(registry_),
       "more than one statement"},
      {QStringLiteral("SELECT 1;ATTACH '%1' AS p;CREATE TABLE p.mine (a)").arg(other_),
       "more than one statement"},
      {"SELECT 1; SELECT 2", "more than one statement"},
      // This one would store a pointer into SQLite in the view, for every client to read.
      {"SELECT hex(fts3_tokenizer('simple')) AS p", "does not open"},
      {"SELECT sqlite_compileoption_get(0) AS o", "does not open"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql.toStdString());
    QFile::remove(dir_.filePath("out.sqlite"));
    const AccessImportResult result = Convert(c.sql);
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_TRUE(result.report.queries.isEmpty());
    EXPECT_TRUE(SkipReason(result, "SelectQuery").contains(c.reason))
        << SkipReason(result, "SelectQuery").toStdString();
    EXPECT_FALSE(result.report.tables.empty());  // the tables came over as ever
  }
  EXPECT_EQ(QueryOnFile(registry_, "SELECT count(*) FROM registry_values").toInt(), 1);
  EXPECT_FALSE(QFile::exists(other_));
  // A harmless query still becomes a view.
  QFile::remove(dir_.filePath("out.sqlite"));
  const AccessImportResult result = Convert("SELECT upper(col1) AS c, 1 AS one FROM Table1;");
  ASSERT_TRUE(result.ok) << result.error.toStdString();
  EXPECT_EQ(result.report.queries, QStringList{"SelectQuery"});
}

// The mode of a file: its permission bits.
mode_t ModeOf(const QString& path) {
  struct stat status {};
  return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
}

TEST(ImportPermissions, AnImportIsReadableByNoOneTheAccessFileKeepsOut) {
  SKIP_WITHOUT_FIXTURES();
  QTemporaryDir dir;
  const mode_t umask = ::umask(0022);
  for (const mode_t source : {mode_t{0600}, mode_t{0640}, mode_t{0400}, mode_t{0644}}) {
    const QString mdb = dir.filePath(QStringLiteral("source%1.mdb").arg(source, 0, 8));
    ASSERT_TRUE(QFile::copy(Fixture("test2V2003.mdb"), mdb));
    ASSERT_EQ(::chmod(QFile::encodeName(mdb).constData(), source), 0);
    const QString target = dir.filePath(QStringLiteral("import%1.sqlite").arg(source, 0, 8));
    const AccessImportResult result = ImportAccessDatabase(mdb, target, ServerConversion());
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    // The server reads and writes its import; the group and others get at most what they
    // had, less the umask.
    EXPECT_EQ(ModeOf(target), 0600 | (source & 0044)) << std::oct << source;
  }
  ::umask(umask);
}

}  // namespace
}  // namespace corvane::test
