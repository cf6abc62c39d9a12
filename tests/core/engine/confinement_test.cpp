// Client SQL reaches the engine in query texts, sort texts and find criteria; none of
// them may change data or reach other files.
#include "engine_fixture.h"

namespace corvane::test {
namespace {

using namespace engine_error;

class ConfinementTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    MakePeople({"Ann", "Bob"});
  }
  void ExpectUnchanged() {
    EXPECT_EQ(Query("SELECT group_concat(name) FROM people").toString(), "Ann,Bob");
    EXPECT_EQ(Query("SELECT group_concat(name) FROM sqlite_master").toString(),
              "people,sqlite_sequence");
  }
};

TEST_F(ConfinementTest, QueryTextsMayOnlyRead) {
  auto db = Open();
  const QString other = dir_.filePath("other.db");
  const QStringList refused = {QStringLiteral("ATTACH DATABASE '%1' AS x").arg(other),
                               "SELECT * FROM people; DELETE FROM people",
                               "DELETE FROM people",
                               "UPDATE people SET name = 'x'",
                               "DROP TABLE people",
                               "PRAGMA writable_schema = 1",
                               "CREATE TABLE z (a)",
                               "SELECT 1; SELECT 2"};
  for (const QString& sql : refused) {
    EXPECT_NE(ErrorNumber([&] { db->CreateQueryDef("q", sql); }), 0) << sql.toStdString();
    EXPECT_NE(ErrorNumber([&] { db->CreateQueryDef(QString(), sql).OpenRecordset(); }), 0)
        << sql.toStdString();
    EXPECT_NE(ErrorNumber([&] { db->OpenRecordset(sql); }), 0) << sql.toStdString();
  }
  EXPECT_FALSE(QFile::exists(other));
  ExpectUnchanged();
}

TEST_F(ConfinementTest, SortAndFindTextsMayOnlyRead) {
  auto db = Open();
  for (const char* sort :
       {"name; DELETE FROM people", "name; ATTACH 'x.db' AS x", "(SELECT 1) ; DROP TABLE people"}) {
    const QString sql = QStringLiteral("SELECT * FROM [people] ORDER BY %1;").arg(sort);
    EXPECT_NE(ErrorNumber([&] { db->CreateQueryDef(QString(), sql).OpenRecordset(); }), 0) << sort;
  }
  auto rs = db->OpenRecordset("people");
  for (const char* criterion :
       {"name = 'a') ; DELETE FROM people --", "1); DROP TABLE people; --"}) {
    EXPECT_NE(ErrorNumber([&] { rs->FindFirst(criterion); }), 0) << criterion;
  }
  ExpectUnchanged();
  // The engine's own writes still work after refusals.
  rs->Edit();
  rs->SetValue(2, Variant(11));
  rs->Update();
  EXPECT_EQ(Query("SELECT age FROM people WHERE id = 1").toInt(), 11);
}

TEST_F(ConfinementTest, EndlessQueryIsStoppedInsteadOfHangingTheServer) {
  auto db = Open();
  db->SetQueryTimeLimit(300);
  const QString endless =
      "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT x FROM c";
  EXPECT_EQ(ErrorNumber([&] { db->OpenRecordset(endless); }), kGeneric);
  auto rs = db->OpenRecordset("people");
  EXPECT_EQ(ErrorNumber([&] { rs->FindFirst("name IN (" + endless + ")"); }), kGeneric);
  // The connection works normally afterwards.
  EXPECT_EQ(db->OpenRecordset("SELECT * FROM people")->RecordCount(), 2);
}

}  // namespace
}  // namespace corvane::test
