// The import of Access files: every fixture compared with what mdbtools' own row reader
// reports, what the comparison cannot see (keys, Nulls, bytes, queries, links, the file
// left unread), the values mdbtools leaves to its callers, and --import-access as the
// operator runs it.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cmath>

extern "C" {
#include <mdbtools.h>
}

#include "access/access_conversion.h"
#include "access/access_import.h"
#include "access/access_values.h"
#include "support/access_fixtures.h"
#include "support/server_process.h"
#include "support/sqlite_files.h"

namespace corvane::test {
namespace {

bool Close(double a, double b, double relative) {
  return std::fabs(a - b) <= relative * std::max(1.0, std::max(std::fabs(a), std::fabs(b)));
}

// Whether an imported value says what mdbtools printed. mdbtools prints a Null as "",
// Single with 8 digits, and cannot print the five bytes Windows-1252 leaves undefined.
::testing::AssertionResult SameValue(int type, const QString& reference, const QVariant& value,
                                     bool jet3) {
  if (reference.isEmpty() && (!value.isValid() || value.toString().isEmpty()))
    return ::testing::AssertionSuccess();
  if (!value.isValid())
    return ::testing::AssertionFailure() << "Null for " << reference.toStdString();
  const double number = value.toDouble();
  bool same = true;  // binary values are compared elsewhere
  switch (type) {
    case MDB_BOOL:
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
      same = value.typeId() == QMetaType::LongLong && value.toLongLong() == reference.toLongLong();
      break;
    case MDB_MONEY:
      same = Close(number, reference.toDouble(), 1e-12) ||
             std::fabs(number - reference.toDouble()) < 0.00005;
      break;
    case MDB_FLOAT:
    case MDB_DOUBLE:
      same = Close(number, reference.toDouble(), type == MDB_FLOAT ? 1e-7 : 1e-14);
      break;
    case MDB_DATETIME:
      // mdbtools 1.0 prints dates before 1900 or after 2700 as "1900-01-00".
      same = reference.startsWith("1900-01-00") || value.toString() == reference;
      break;
    case MDB_TEXT:
    case MDB_MEMO: {
      QString text = value.toString();
      if (jet3) {
        for (char16_t undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
          text.replace(QChar(undefined), u'?');
      }
      same = text == reference;
      break;
    }
    case MDB_REPID: {
      static const QRegularExpression kGuid(
          "^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$");
      QString bare = value.toString();
      same = kGuid.match(bare).hasMatch() && bare.remove('-') == QString(reference).remove('-');
      break;
    }
  }
  if (same) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "imported " << value.toString().toStdString()
                                       << ", mdbtools " << reference.toStdString();
}

class FixtureImportTest : public ::testing::TestWithParam<const char*> {};

TEST_P(FixtureImportTest, TablesColumnsRowsAndValuesMatchMdbtools) {
  SKIP_WITHOUT_FIXTURES();
  const QString source = Fixture(GetParam());
  QTemporaryDir dir;
  const QString target = dir.filePath("out.sqlite");
  const AccessImportResult result = ImportAccessDatabase(source, target, ServerConversion());
  ASSERT_TRUE(result.ok) << result.error.toStdString();

  const QStringList expectedTables = ReferenceTableNames(source);
  QStringList importedTables;
  for (const auto& row : RowsOnFile(target,
                                    "SELECT name FROM sqlite_master WHERE type = 'table' "
                                    "AND name NOT LIKE 'sqlite_%' ORDER BY rowid"))
    importedTables.append(row[0].toString());
  EXPECT_EQ(importedTables, expectedTables);
  ASSERT_EQ(result.report.tables.size(), static_cast<size_t>(expectedTables.size()));

  const bool jet3 = result.report.format == "Jet 3";
  for (qsizetype t = 0; t < expectedTables.size(); ++t) {
    const QString& name = expectedTables[t];
    SCOPED_TRACE(name.toStdString());
    const ReferenceTable reference = ReferenceRead(source, name);
    const auto info = RowsOnFile(target, QStringLiteral("SELECT name FROM pragma_table_info(%1)")
                                             .arg('\'' + QString(name).replace('\'', "''") + '\''));
    ASSERT_EQ(info.size(), reference.columns.size());
    for (size_t c = 0; c < info.size(); ++c)
      EXPECT_EQ(info[c][0].toString(), reference.columns[c].name);
    // mdbtools reads rows in page order, as the import does and as rowid keeps them.
    const QString quoted = '"' + QString(name).replace('"', "\"\"") + '"';
    const auto rows =
        RowsOnFile(target, QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(quoted));
    ASSERT_EQ(rows.size(), reference.rows.size());
    EXPECT_EQ(result.report.tables[t].name, name);
    EXPECT_EQ(result.report.tables[t].rows, static_cast<qint64>(rows.size()));
    for (size_t r = 0; r < rows.size(); ++r) {
      for (size_t c = 0; c < info.size(); ++c) {
        // mdbtools prints "" for every value of this ACE calculated column.
        if (QString(GetParam()) == "badDb.accdb" && reference.columns[c].name == "eee") continue;
        EXPECT_TRUE(SameValue(reference.columns[c].type, reference.rows[r][c], rows[r][c], jet3))
            << "row " << r << " column " << reference.columns[c].name.toStdString();
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FixtureImportTest,
                         ::testing::Values("testIndexCodesV1997.mdb", "test2V1997.mdb",
                                           "test2V2003.mdb", "testUnicodeCompV2003.mdb",
                                           "queryTestV2003.mdb", "linked.mdb",
                                           "weirdObjectNames.mdb", "badDb.accdb"),
                         [](const auto& info) {
                           return QFileInfo(info.param).completeBaseName().toStdString();
                         });

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

TEST_F(AccessImportContentTest, NullsBytesTheAutoNumberKeysRequiredFieldsAndCalculatedColumns) {
  ASSERT_TRUE(Import("testIndexCodesV1997.mdb").ok);
  EXPECT_EQ(Value("SELECT count(*) FROM Table6 WHERE data IS NULL").toInt(), 7);
  // Table14 holds every single-byte code, the ones Windows-1252 leaves undefined too.
  const QString codes = Column("SELECT data FROM Table14").join("");
  EXPECT_TRUE(codes.contains(QString::fromUtf8("ƒ")) && codes.contains(QChar(0x81)));
  ASSERT_TRUE(Import("test2V2003.mdb").ok);
  EXPECT_EQ(Value("SELECT typeof(RESERVED_BINARY_DATA) FROM MSP_PROJECTS").toString(), "blob");
  // The AutoNumber is the row key and goes on counting.
  ASSERT_TRUE(Import("testUnicodeCompV2003.mdb").ok);
  const qlonglong highest = Value("SELECT max(ID) FROM \"Table\"").toLongLong();
  ExecOnFile(path_, "INSERT INTO \"Table\" (Unicode) VALUES ('new')");
  EXPECT_EQ(Value("SELECT ID FROM \"Table\" WHERE Unicode = 'new'").toLongLong(), highest + 1);

  // Keys, required fields and calculated columns (names and values: FixtureImportTest; the
  // Access file left as it was: PublishTest).
  const AccessImportResult result = Import("badDb.accdb");
  ASSERT_TRUE(result.ok);
  // A two-column primary key without an AutoNumber stays the table's key; with an
  // AutoNumber the Access key becomes a unique index and its columns required.
  EXPECT_EQ(Column("SELECT name FROM pragma_table_info('Tabella2') WHERE pk > 0 ORDER BY pk"),
            QStringList({"a", "b"}));
  EXPECT_EQ(Value("SELECT \"unique\" FROM pragma_index_list('Father') WHERE name = "
                  "'Father_PrimaryKey'")
                .toInt(),
            1);
  // A calculated column keeps the results Access stored.
  EXPECT_EQ(Column("SELECT eee FROM Tabella1 ORDER BY rowid").mid(0, 7),
            QStringList({"g", "<null>", "<null>", "<null>", "eee1", "CC1", "CFFFFC(((1"}));
  // A query that needs more than brackets translated waits for a translator that knows it.
  ASSERT_EQ(Skipped(result.report, "query"), QStringList{"q 1 Query"});
  EXPECT_TRUE(result.report.skipped.back().reason.contains("'EEE'&NULL"));
}

QString Text(const QByteArray& bytes, bool jet4) {
  QByteArray utf8;
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
  jet4 ? AppendJet4Text(data, bytes.size(), utf8) : AppendJet3Text(data, bytes.size(), utf8);
  return QString::fromUtf8(utf8);
}

TEST(AccessText, Jet4PlainCompressedAndMixedRunsAndJet3AsWindows1252) {
  EXPECT_EQ(Text(QByteArray("A\0\xE4\0", 4), true), QString::fromUtf8("Aä"));
  // Compressed: one byte per character after FF FE; 00 switches to two bytes per
  // character (Cyrillic Д) and back.
  EXPECT_EQ(Text(QByteArray("\xFF\xFE") + "abc", true), "abc");
  EXPECT_EQ(Text(QByteArray("\xFF\xFE") + QByteArray("a\0\x14\x04\0b", 6), true),
            QString::fromUtf8("aДb"));
  // A surrogate pair becomes one character; a lone half becomes U+FFFD.
  EXPECT_EQ(Text(QByteArray("\x3D\xD8\x00\xDE", 4), true), QString::fromUtf8("😀"));
  EXPECT_EQ(Text(QByteArray("\x3D\xD8") + QByteArray("a\0", 2), true),
            QChar(0xFFFD) + QString("a"));
  // Jet 3 keeps the bytes Windows-1252 leaves undefined.
  EXPECT_EQ(Text("\x80\x9F\xA3\xFF", false), QString::fromUtf8("€Ÿ£ÿ"));
  EXPECT_EQ(Text("\x81\x8D", false), QString(QChar(0x81)) + QChar(0x8D));
}

TEST(AccessDate, DayNumbersBecomeTheEngineForm) {
  // Before 1899 the fraction still counts forward from midnight; a time that rounds to
  // midnight moves to the next day, never to 24:00.
  EXPECT_EQ(AccessDateText(-1.25), "1899-12-29 06:00:00");
  EXPECT_EQ(AccessDateText(-657434.0), "0100-01-01 00:00:00");
  EXPECT_EQ(AccessDateText(1.0 - 0.1 / 86400.0), "1899-12-31 00:00:00");
  EXPECT_EQ(AccessDateText(2958465.0), "9999-12-31 00:00:00");
  EXPECT_EQ(AccessDateText(1.0e7), QByteArray());
  EXPECT_EQ(AccessDateText(std::numeric_limits<double>::quiet_NaN()), QByteArray());
}

TEST(ImportAccessProcess, PrintsTheReportAndWritesBesideTheFileOrWhereTold) {
  SKIP_WITHOUT_FIXTURES();
  QTemporaryDir dir;
  const QString copy = dir.filePath("Unicode.mdb");
  ASSERT_TRUE(QFile::copy(Fixture("testUnicodeCompV2003.mdb"), copy));
  const ServerRun run = RunServer({"--import-access", copy});
  EXPECT_EQ(run.exitCode, 0) << run.err.constData();
  EXPECT_TRUE(run.out.startsWith("Imported 1 table (8 rows) and 0 queries.\nTable Table: 8 rows\n"))
      << run.out.constData();
  EXPECT_TRUE(QFileInfo::exists(dir.filePath("Unicode.sqlite")));
  EXPECT_EQ(RunServer({"--import-access", copy, dir.filePath("out.sqlite")}).exitCode, 0);
  EXPECT_TRUE(QFileInfo::exists(dir.filePath("out.sqlite")));
}

}  // namespace
}  // namespace corvane::test
