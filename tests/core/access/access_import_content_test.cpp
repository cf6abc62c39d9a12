// What particular fixtures hold after the import beyond their values: keys, Nulls, bytes,
// queries and links, and an Access file left as it was.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "access/access_conversion.h"
#include "support/access_fixtures.h"
#include "support/sqlite_files.h"

namespace corvane::test {
namespace {

class AccessImportContentTest : public ::testing::Test {
 protected:
  void SetUp() override { SKIP_WITHOUT_FIXTURES(); }
  AccessImportResult Import(const QString& fixture) {
    path_ = dir_.filePath(fixture + ".sqlite");
    return ConvertAccessFile(Fixture(fixture), path_, TranslateBracketsOnly);
  }
  QVariant Value(const QString& sql) { return QueryOnFile(path_, sql); }
  QStringList Column(const QString& sql) {
    QStringList values;
    for (const auto& row : RowsOnFile(path_, sql))
      values.append(row[0].isValid() ? row[0].toString() : "<null>");
    return values;
  }
  static QStringList Skipped(const AccessImportReport& report, const QString& kind) {
    QStringList names;
    for (const auto& s : report.skipped) {
      if (s.kind == kind) names.append(s.name);
    }
    return names;
  }

  QTemporaryDir dir_;
  QString path_;
};

TEST_F(AccessImportContentTest, TheAutoNumberIsTheKeyAndGoesOnCounting) {
  ASSERT_TRUE(Import("testUnicodeCompV2003.mdb").ok);
  EXPECT_EQ(Value("SELECT pk FROM pragma_table_info('Table') WHERE name = 'ID'").toInt(), 1);
  const qlonglong highest = Value("SELECT max(ID) FROM \"Table\"").toLongLong();
  ExecOnFile(path_, "INSERT INTO \"Table\" (Unicode) VALUES ('new')");
  EXPECT_EQ(Value("SELECT ID FROM \"Table\" WHERE Unicode = 'new'").toLongLong(), highest + 1);
}

TEST_F(AccessImportContentTest, NullsStayNullAndBytesStayBytes) {
  ASSERT_TRUE(Import("testIndexCodesV1997.mdb").ok);
  EXPECT_EQ(Value("SELECT count(*) FROM Table6 WHERE data IS NULL").toInt(), 7);
  // Table14 holds every single-byte code, the ones Windows-1252 leaves undefined too.
  const QString codes = Column("SELECT data FROM Table14").join("");
  EXPECT_TRUE(codes.contains(QString::fromUtf8("ƒ")) && codes.contains(QChar(0x81)));
  ASSERT_TRUE(Import("test2V2003.mdb").ok);
  EXPECT_EQ(Value("SELECT typeof(RESERVED_BINARY_DATA) FROM MSP_PROJECTS").toString(), "blob");
  EXPECT_GT(Value("SELECT length(PROJ_PROP_AUTHOR) FROM MSP_PROJECTS").toInt(), 300);
}

TEST_F(AccessImportContentTest, SelectQueriesBecomeViewsAndTheRestIsNamed) {
  const AccessImportResult result = Import("queryTestV2003.mdb");
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.report.queries, QStringList{"SelectQuery"});
  EXPECT_EQ(
      Skipped(result.report, "query"),
      QStringList({"UpdateQuery", "AppendQuery", "DeleteQuery", "MakeTableQuery", "CrosstabQuery",
                   "UnionQuery", "PassthroughQuery", "DataDefinitionQuery"}));
  ExecOnFile(path_, "INSERT INTO Table1 VALUES ('a', 'b', 'c')");
  QString error;
  RowsOnFile(path_, "SELECT * FROM SelectQuery", &error);
  EXPECT_TRUE(error.isEmpty()) << error.toStdString();
}

TEST_F(AccessImportContentTest, LinkedTablesAreSkippedWithTheirTargets) {
  const AccessImportResult result = Import("linked.mdb");
  ASSERT_TRUE(result.ok);
  EXPECT_TRUE(result.report.tables.empty());
  const QStringList lines = result.report.Lines();
  EXPECT_TRUE(lines.contains(
      "Skipped linked table Table1: it is a link to table Table1 in C:\\db\\linkee1.mdb"));
  EXPECT_TRUE(lines.contains(
      "Skipped linked table table2: it is a link to table table2 in C:\\db\\linkee2.mdb"));
}

TEST_F(AccessImportContentTest, OddNamesKeysRequiredFieldsAndCalculatedColumns) {
  QFile file(Fixture("badDb.accdb"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray before = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
  const QDateTime modified = QFileInfo(file).lastModified();
  const AccessImportResult result = Import("badDb.accdb");
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.report.TotalRows(), 29);
  EXPECT_EQ(Value("SELECT count(*) FROM \"Tab>\"\"e@ll/a'2;*,\"").toInt(), 1);
  EXPECT_EQ(Value("SELECT count(*) FROM \"Πλήθος\"").toInt(), 1);
  // A two-column primary key without an AutoNumber stays the table's key; with an
  // AutoNumber the Access key becomes a unique index and its columns required.
  EXPECT_EQ(Column("SELECT name FROM pragma_table_info('Tabella2') WHERE pk > 0 ORDER BY pk"),
            QStringList({"a", "b"}));
  EXPECT_EQ(Value("SELECT \"unique\" FROM pragma_index_list('Father') WHERE name = "
                  "'Father_PrimaryKey'")
                .toInt(),
            1);
  EXPECT_EQ(Column("SELECT \"notnull\" FROM pragma_table_info('Sample') WHERE name IN "
                   "('LastEdit', 'Description') ORDER BY name"),
            QStringList({"0", "1"}));
  // A calculated column keeps the results Access stored.
  EXPECT_EQ(Column("SELECT eee FROM Tabella1 ORDER BY rowid").mid(0, 7),
            QStringList({"g", "<null>", "<null>", "<null>", "eee1", "CC1", "CFFFFC(((1"}));
  // A query that needs more than brackets translated waits for a translator that knows it.
  ASSERT_EQ(Skipped(result.report, "query"), QStringList{"q 1 Query"});
  EXPECT_TRUE(result.report.skipped.back().reason.contains("'EEE'&NULL"));
  // The Access file is only read.
  file.seek(0);
  EXPECT_EQ(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256), before);
  EXPECT_EQ(QFileInfo(file).lastModified(), modified);
}

}  // namespace
}  // namespace corvane::test
