// Saved select queries: rebuilt from their MSysQueries rows, translated into the engine's
// dialect, and opened through the engine as views like the queries its clients store.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "access/access_import.h"
#include "access/saved_query_sql.h"
#include "engine/database.h"
#include "engine/engine_error.h"
#include "support/access_fixtures.h"

namespace corvane::test {
namespace {

SavedQueryRow Row(int attribute, const QString& expression, int flag = 0, const QString& name1 = {},
                  const QString& name2 = {}, const QByteArray& order = {}) {
  return {order, attribute, expression, flag, name1, name2};
}

TEST(SavedQuerySql, JoinsNestTwoConditionsOnOnePairMergeAndWhatCannotBeRebuiltSaysWhy) {
  const SavedQuerySql q = SelectSqlFromRows({
      Row(5, {}, 0, "Table1"),
      Row(5, {}, 0, "Table2"),
      Row(5, {}, 0, "Table3"),
      Row(5, {}, 0, "Loose"),
      Row(6, "Table1.*"),
      Row(7, "Table1.a = Table3.a", 2, "Table1", "Table3"),
      Row(7, "Table3.a = Table2.a", 1, "Table3", "Table2"),
      Row(7, "Table3.b = Table2.b", 1, "Table3", "Table2"),
  });
  EXPECT_EQ(q.sql,
            "SELECT Table1.* FROM ([Table1] LEFT JOIN [Table3] ON Table1.a = Table3.a) INNER JOIN "
            "[Table2] ON (Table3.a = Table2.a) AND (Table3.b = Table2.b), [Loose]");
  // Queries that cannot be rebuilt say why.
  EXPECT_EQ(SelectSqlFromRows({Row(5, {}, 0, "T"), Row(6, "x"), Row(2, {}, 10, "Who")}).skipReason,
            "it asks for parameters");
  EXPECT_EQ(SelectSqlFromRows({Row(5, "C:\\other.mdb", 0, "T"), Row(6, "x")}).skipReason,
            "it reads another database");
  EXPECT_EQ(SelectSqlFromRows({Row(6, "x")}).skipReason, "its definition is incomplete");
  EXPECT_EQ(SelectSqlFromRows({Row(5, {}, 0, "A"), Row(5, {}, 0, "B"), Row(5, {}, 0, "C"),
                               Row(5, {}, 0, "D"), Row(6, "x"), Row(7, "A.x=B.x", 1, "A", "B"),
                               Row(7, "C.x=D.x", 1, "C", "D")})
                .skipReason,
            "its joins cannot be rebuilt");
  EXPECT_TRUE(SelectSqlFromRows({Row(6, "x")}).sql.isEmpty());
}

TEST(BracketTranslation, NamesBecomeQuotedAndLiteralsStay) {
  EXPECT_EQ(TranslateBracketsOnly("SELECT [a b].[c\"d] FROM [a b] WHERE x = '[no]'"),
            "SELECT \"a b\".\"c\"\"d\" FROM \"a b\" WHERE x = '[no]'");
  EXPECT_EQ(TranslateBracketsOnly("SELECT 'it''s & #'"), "SELECT 'it''s & #'");
  // Concatenation and date literals would change meaning in SQLite.
  EXPECT_FALSE(TranslateBracketsOnly("SELECT 'a' & [b] FROM t"));
  EXPECT_FALSE(TranslateBracketsOnly("SELECT * FROM t WHERE d > #1/1/2000#"));
  EXPECT_FALSE(TranslateBracketsOnly("SELECT [unclosed FROM t"));
  EXPECT_FALSE(TranslateBracketsOnly("SELECT 'open"));
}

class SavedQueryViewsTest : public ::testing::Test {
 protected:
  void SetUp() override { SKIP_WITHOUT_FIXTURES(); }
  std::unique_ptr<Database> Imported(const char* fixture, AccessImportReport* report) {
    const QString path = dir_.filePath("out.sqlite");
    // The default translation is the engine's, which knows Jet's & (Null as no text).
    const AccessImportResult result =
        ImportAccessDatabase(Fixture(fixture), path, ServerConversion());
    EXPECT_TRUE(result.ok) << result.error.toStdString();
    *report = result.report;
    return OpenDatabase(path);
  }
  QTemporaryDir dir_;
};

TEST_F(SavedQueryViewsTest, EveryTranslatableQueryIsListedAndOpensThroughTheEngine) {
  AccessImportReport report;
  std::unique_ptr<Database> db = Imported("badDb.accdb", &report);
  for (const auto& skipped : report.skipped)
    EXPECT_NE(skipped.kind, "query") << skipped.name.toStdString();
  QStringList imported = report.queries;
  imported.sort();
  EXPECT_EQ(imported, QStringList({"Query1", "q 1", "q 1 Query", "q2", "where"}));
  QStringList listed;
  for (const QueryDef& query : db->QueryDefs()) listed << query.Name();
  listed.sort();
  EXPECT_EQ(listed, imported);
  for (const QString& name : imported) {
    try {
      EXPECT_FALSE(db->OpenRecordset(name)->Fields().empty()) << name.toStdString();
    } catch (const EngineError& error) {
      ADD_FAILURE() << name.toStdString() << ": " << error.description().toStdString();
    }
  }
}

TEST_F(SavedQueryViewsTest, ActionQueriesAreNamedAndAJoinOnTextsIgnoresCase) {
  AccessImportReport report;
  std::unique_ptr<Database> db = Imported("queryTestV2003.mdb", &report);
  ASSERT_EQ(report.queries, QStringList{"SelectQuery"});
  QStringList skipped;
  for (const auto& s : report.skipped) {
    if (s.kind == "query") skipped << s.name;
  }
  EXPECT_EQ(skipped, QStringList({"UpdateQuery", "AppendQuery", "DeleteQuery", "MakeTableQuery",
                                  "CrosstabQuery", "UnionQuery", "PassthroughQuery",
                                  "DataDefinitionQuery"}));
  // The query joins the three tables on col1 and col2 and asks for col2 = 'foo'.
  for (const char* name : {"Table1", "Table2", "Table3"}) {
    std::unique_ptr<Recordset> table = db->OpenRecordset(QString::fromLatin1(name));
    table->AddNew();
    for (int i = 0; i < 3; ++i) table->SetValue(i, Variant(QStringLiteral("FOO")));
    table->Update();
  }
  EXPECT_EQ(db->OpenRecordset("SelectQuery")->RecordCount(), 1);
}

}  // namespace
}  // namespace corvane::test
