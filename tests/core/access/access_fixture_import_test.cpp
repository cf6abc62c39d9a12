// Every fixture is imported and compared with what mdbtools' own row reader reports.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cmath>

extern "C" {
#include <mdbtools.h>
}

#include "access/access_import.h"
#include "support/access_fixtures.h"
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

}  // namespace
}  // namespace corvane::test
