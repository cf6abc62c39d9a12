// Saved select queries go through the engine's Jet SQL translation and become views that
// the engine opens and lists like the queries its clients store.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>

#include "access/access_import.h"
#include "access/saved_query_translation.h"
#include "engine/database.h"
#include "engine/engine_error.h"
#include "support/access_fixtures.h"

namespace corvane::test {
namespace {

TEST(SavedQueryTranslationTest, UsesTheEngineDialectAndRefusesWhatItCannotRead) {
  const std::optional<QString> sql =
      TranslateSavedQuery("SELECT TOP 2 [a b] & 'x' AS c FROM [t] WHERE d = #1/2/2003#;");
  ASSERT_TRUE(sql);
  EXPECT_FALSE(sql->contains('[') || sql->contains('#') || sql->contains('&'))
      << sql->toStdString();
  EXPECT_FALSE(sql->endsWith(';'));
  EXPECT_TRUE(sql->contains("2003-01-02")) << sql->toStdString();
  EXPECT_FALSE(TranslateSavedQuery("SELECT [unclosed FROM t"));
  EXPECT_FALSE(TranslateSavedQuery("SELECT a & FROM t"));
  EXPECT_FALSE(TranslateSavedQuery(";"));
}

TEST(SavedQueryViewsTest, EveryTranslatableQueryOpensThroughTheEngine) {
  SKIP_WITHOUT_FIXTURES();
  QTemporaryDir dir;
  const QString path = dir.filePath("bad.sqlite");
  // The default translation is the engine's, which knows Jet's & (Null as no text).
  const AccessImportResult result =
      ImportAccessDatabase(Fixture("badDb.accdb"), path, ServerConversion());
  ASSERT_TRUE(result.ok) << result.error.toStdString();
  QStringList imported = result.report.queries;
  imported.sort();
  EXPECT_EQ(imported, QStringList({"Query1", "q 1", "q 1 Query", "q2", "where"}));
  for (const auto& skipped : result.report.skipped)
    EXPECT_NE(skipped.kind, "query") << skipped.name.toStdString();

  std::unique_ptr<Database> db = OpenDatabase(path);
  QStringList listed;
  for (const QueryDef& query : db->QueryDefs()) listed << query.Name();
  listed.sort();
  EXPECT_EQ(listed, imported);
  for (const QString& name : imported) {
    try {
      std::unique_ptr<Recordset> rs = db->OpenRecordset(name);
      EXPECT_FALSE(rs->Fields().empty()) << name.toStdString();
    } catch (const EngineError& error) {
      ADD_FAILURE() << name.toStdString() << ": " << error.description().toStdString();
    }
  }
}

TEST(SavedQueryViewsTest, TheSelectQueryOfAQueryFixtureReadsItsTable) {
  SKIP_WITHOUT_FIXTURES();
  QTemporaryDir dir;
  const QString path = dir.filePath("queries.sqlite");
  const AccessImportResult result =
      ImportAccessDatabase(Fixture("queryTestV2003.mdb"), path, ServerConversion());
  ASSERT_TRUE(result.ok) << result.error.toStdString();
  ASSERT_EQ(result.report.queries, QStringList{"SelectQuery"});
  std::unique_ptr<Database> db = OpenDatabase(path);
  // The query joins the three tables on col1 and col2 and asks for col2 = 'foo', which
  // Jet compares without regard to case.
  for (const char* name : {"Table1", "Table2", "Table3"}) {
    std::unique_ptr<Recordset> table = db->OpenRecordset(QString::fromLatin1(name));
    table->AddNew();
    for (int i = 0; i < 3; ++i) table->SetValue(i, Variant(QStringLiteral("FOO")));
    table->Update();
  }
  std::unique_ptr<Recordset> query = db->OpenRecordset("SelectQuery");
  EXPECT_EQ(query->RecordCount(), 1);
}

}  // namespace
}  // namespace corvane::test
