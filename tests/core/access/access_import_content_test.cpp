// What particular fixtures hold after the import: texts, Nulls, keys, queries, links.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "access/access_conversion.h"
#include "support/access_fixtures.h"

namespace corvane::test {
namespace {

class AccessImportContentTest : public ::testing::Test {
 protected:
  AccessImportResult Import(const QString& fixture,
                            const JetSqlTranslator& translate = TranslateBracketsOnly) {
    path_ = dir_.filePath(fixture + ".sqlite");
    QFile::remove(path_);  // the conversion writes only new databases
    return ConvertAccessFile(Fixture(fixture), path_, translate);
  }
  QStringList Column(const SqliteFile& db, const QString& sql) {
    QStringList values;
    for (const auto& row : db.Query(sql))
      values.append(row[0].isValid() ? row[0].toString() : "<null>");
    return values;
  }
  QStringList SkippedNames(const AccessImportReport& report, const QString& kind) {
    QStringList names;
    for (const auto& s : report.skipped) {
      if (s.kind == kind) names.append(s.name);
    }
    return names;
  }

  QTemporaryDir dir_;
  QString path_;
};

TEST_F(AccessImportContentTest, UnicodeTextAndAutoNumberKey) {
  SKIP_WITHOUT_FIXTURES();
  ASSERT_TRUE(Import("testUnicodeCompV2003.mdb").ok);
  SqliteFile db(path_);
  const QString all = Column(db, "SELECT Unicode FROM \"Table\"").join('\n');
  for (const char* text : {"ääkkösiä", "漢字仮名交じり文", "¥"})
    EXPECT_TRUE(all.contains(QString::fromUtf8(text))) << text;
  EXPECT_TRUE(all.contains(QRegularExpression("[\\x{0400}-\\x{04FF}]")));  // Cyrillic
  EXPECT_TRUE(all.contains(QRegularExpression("[\\x{1F00}-\\x{1FFF}]")));  // polytonic Greek
  // The AutoNumber is the row key and goes on counting.
  EXPECT_EQ(db.Value("SELECT pk FROM pragma_table_info('Table') WHERE name = 'ID'").toInt(), 1);
  const qlonglong highest = db.Value("SELECT max(ID) FROM \"Table\"").toLongLong();
  db.Query("INSERT INTO \"Table\" (Unicode) VALUES ('new')");
  EXPECT_EQ(db.Value("SELECT ID FROM \"Table\" WHERE Unicode = 'new'").toLongLong(), highest + 1);
}

TEST_F(AccessImportContentTest, NullsDatesCurrencyYesNoAndGuids) {
  SKIP_WITHOUT_FIXTURES();
  const AccessImportResult result = Import("testIndexCodesV1997.mdb");
  ASSERT_TRUE(result.ok);
  SqliteFile db(path_);
  EXPECT_EQ(db.Value("SELECT count(*) FROM Table6 WHERE data IS NULL").toInt(), 7);
  EXPECT_EQ(
      db.Value("SELECT count(*) FROM Table6 WHERE data IS NOT NULL AND data NOT GLOB "
               "'[0-9][0-9][0-9][0-9]-[0-1][0-9]-[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9]'")
          .toInt(),
      0);
  EXPECT_EQ(db.Value("SELECT (SELECT count(*) FROM Table12 WHERE name IS NULL) + (SELECT "
                     "count(*) FROM Table12 WHERE data1 IS NULL) + (SELECT count(*) FROM Table12 "
                     "WHERE data2 IS NULL)")
                .toInt(),
            6);
  EXPECT_EQ(Column(db,
                   "SELECT DISTINCT typeof(data) FROM Table8 WHERE data IS NOT NULL AND "
                   "data <> CAST(data AS INTEGER)"),
            QStringList{"real"});
  EXPECT_EQ(Column(db, "SELECT DISTINCT data FROM Table10 ORDER BY 1"), QStringList({"0", "1"}));
  EXPECT_EQ(db.Value("SELECT count(*) FROM Table13 WHERE data NOT GLOB "
                     "'{[0-9A-F]*-[0-9A-F]*-[0-9A-F]*-[0-9A-F]*-[0-9A-F]*}'")
                .toInt(),
            0);
  // Table14 holds every single-byte code, one per row.
  const QString bytes = Column(db, "SELECT data FROM Table14").join("");
  EXPECT_TRUE(bytes.contains(QString::fromUtf8("ƒ")));
  EXPECT_TRUE(bytes.contains(QString::fromUtf8("ÿ")));
  EXPECT_TRUE(bytes.contains(QChar(0x81)));
  EXPECT_EQ(result.report.queries, QStringList());
}

TEST_F(AccessImportContentTest, OleBytesStayBytesAndMemosStayWhole) {
  SKIP_WITHOUT_FIXTURES();
  for (const char* fixture : {"test2V1997.mdb", "test2V2003.mdb"}) {
    SCOPED_TRACE(fixture);
    ASSERT_TRUE(Import(fixture).ok);
    SqliteFile db(path_);
    EXPECT_EQ(db.Value("SELECT typeof(RESERVED_BINARY_DATA) FROM MSP_PROJECTS").toString(), "blob");
    EXPECT_GT(db.Value("SELECT length(RESERVED_BINARY_DATA) FROM MSP_PROJECTS").toInt(), 0);
    EXPECT_GT(db.Value("SELECT length(PROJ_PROP_AUTHOR) FROM MSP_PROJECTS").toInt(), 300);
    const auto row = db.Query("SELECT * FROM MSP_PROJECTS").at(0);
    EXPECT_EQ(std::count_if(row.begin(), row.end(), [](const QVariant& v) { return !v.isValid(); }),
              14);
    EXPECT_TRUE(Column(db, "SELECT PROJ_OPT_CURRENCY_SYMBOL FROM MSP_PROJECTS")
                    .join("")
                    .contains(QString::fromUtf8("£")));
  }
}

TEST_F(AccessImportContentTest, SelectQueriesBecomeViewsAndTheRestIsNamed) {
  SKIP_WITHOUT_FIXTURES();
  const AccessImportResult result = Import("queryTestV2003.mdb");
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.report.queries, QStringList{"SelectQuery"});
  EXPECT_EQ(
      SkippedNames(result.report, "query"),
      QStringList({"UpdateQuery", "AppendQuery", "DeleteQuery", "MakeTableQuery", "CrosstabQuery",
                   "UnionQuery", "PassthroughQuery", "DataDefinitionQuery"}));
  SqliteFile db(path_);
  QString error;
  db.Query("INSERT INTO Table1 VALUES ('a', 'b', 'c')");
  db.Query("SELECT * FROM SelectQuery", &error);
  EXPECT_TRUE(error.isEmpty()) << error.toStdString();
  EXPECT_EQ(Column(db, "SELECT name FROM sqlite_master WHERE type = 'view'"),
            QStringList{"SelectQuery"});
}

TEST_F(AccessImportContentTest, QueriesNeedingTranslationWaitForATranslator) {
  SKIP_WITHOUT_FIXTURES();
  const AccessImportResult plain = Import("badDb.accdb");
  ASSERT_TRUE(plain.ok);
  EXPECT_EQ(plain.report.queries, QStringList({"q 1", "q2", "Query1", "where"}));
  ASSERT_EQ(SkippedNames(plain.report, "query"), QStringList{"q 1 Query"});
  EXPECT_TRUE(plain.report.skipped.back().reason.contains("'EEE'&NULL"));

  // A translator that knows & brings in the query that reads another query.
  const auto withConcatenation = [](const QString& jet) -> std::optional<QString> {
    return TranslateBracketsOnly(QString(jet).replace("'&", "'||"));
  };
  const AccessImportResult translated = Import("badDb.accdb", withConcatenation);
  ASSERT_TRUE(translated.ok);
  EXPECT_EQ(translated.report.queries.size(), 5);
  SqliteFile db(path_);
  for (const QString& view : translated.report.queries) {
    QString error;
    db.Query(QStringLiteral("SELECT * FROM \"%1\"").arg(view), &error);
    EXPECT_TRUE(error.isEmpty()) << view.toStdString() << ": " << error.toStdString();
  }
}

TEST_F(AccessImportContentTest, LinkedTablesAreSkippedWithTheirTargets) {
  SKIP_WITHOUT_FIXTURES();
  const AccessImportResult result = Import("linked.mdb");
  ASSERT_TRUE(result.ok);
  EXPECT_TRUE(result.report.tables.empty());
  ASSERT_EQ(result.report.skipped.size(), 2u);
  QStringList lines = result.report.Lines();
  EXPECT_TRUE(lines.contains(
      "Skipped linked table Table1: it is a link to table Table1 in C:\\db\\linkee1.mdb"));
  EXPECT_TRUE(lines.contains(
      "Skipped linked table table2: it is a link to table table2 in C:\\db\\linkee2.mdb"));
}

TEST_F(AccessImportContentTest, OddNamesKeysAndRequiredFields) {
  SKIP_WITHOUT_FIXTURES();
  const AccessImportResult result = Import("badDb.accdb");
  ASSERT_TRUE(result.ok);
  SqliteFile db(path_);
  EXPECT_EQ(db.Value("SELECT count(*) FROM \"Tab>\"\"e@ll/a'2;*,\"").toInt(), 1);
  EXPECT_EQ(db.Value("SELECT count(*) FROM \"Πλήθος\"").toInt(), 1);
  // A two-column primary key without an AutoNumber stays the table's key.
  EXPECT_EQ(Column(db, "SELECT name FROM pragma_table_info('Tabella2') WHERE pk > 0 ORDER BY pk"),
            QStringList({"a", "b"}));
  // With an AutoNumber the Access key becomes a unique index and its columns required.
  EXPECT_EQ(
      db.Value(
            "SELECT \"unique\" FROM pragma_index_list('Father') WHERE name = 'Father_PrimaryKey'")
          .toInt(),
      1);
  EXPECT_EQ(
      db.Value("SELECT \"notnull\" FROM pragma_table_info('Father') WHERE name = 'txt'").toInt(),
      1);
  EXPECT_EQ(db.Value("SELECT \"notnull\" FROM pragma_table_info('Sample') WHERE name = 'LastEdit'")
                .toInt(),
            1);
  EXPECT_EQ(
      db.Value("SELECT \"notnull\" FROM pragma_table_info('Sample') WHERE name = 'Description'")
          .toInt(),
      0);
  EXPECT_EQ(result.report.TotalRows(), 29);
}

TEST_F(AccessImportContentTest, TheAccessFileIsOnlyRead) {
  SKIP_WITHOUT_FIXTURES();
  QFile file(Fixture("badDb.accdb"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray before = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
  const QDateTime modified = QFileInfo(file).lastModified();
  ASSERT_TRUE(Import("badDb.accdb").ok);
  file.seek(0);
  EXPECT_EQ(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256), before);
  EXPECT_EQ(QFileInfo(file).lastModified(), modified);
}

}  // namespace
}  // namespace corvane::test
