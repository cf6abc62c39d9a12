// Saved select queries go through the engine's Jet SQL translation and become views that
// the engine opens and lists like the queries its clients store.
#include <gtest/gtest.h>

#include <QTemporaryDir>

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
  EXPECT_FALSE(sql->contains('[') || sql->contains('#') || sql->contains('&') || sql->endsWith(';'))
      << sql->toStdString();
  EXPECT_TRUE(sql->contains("2003-01-02")) << sql->toStdString();
  EXPECT_FALSE(TranslateSavedQuery("SELECT [unclosed FROM t"));
  EXPECT_FALSE(TranslateSavedQuery("SELECT a & FROM t"));
  EXPECT_FALSE(TranslateSavedQuery(";"));
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

TEST_F(SavedQueryViewsTest, AJoinOnTextsComparesThemWithoutRegardToCase) {
  AccessImportReport report;
  std::unique_ptr<Database> db = Imported("queryTestV2003.mdb", &report);
  ASSERT_EQ(report.queries, QStringList{"SelectQuery"});
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
