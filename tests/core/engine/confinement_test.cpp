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
    EXPECT_EQ(Query(QStringLiteral("SELECT count(*) FROM people")).toInt(), 2);
    EXPECT_EQ(Query(QStringLiteral("SELECT group_concat(name) FROM people")).toString(),
              QStringLiteral("Ann,Bob"));
    EXPECT_EQ(Query(QStringLiteral("SELECT count(*) FROM sqlite_master")).toInt(), 1);
  }
};

TEST_F(ConfinementTest, QueryTextsMayOnlyRead) {
  auto db = Open();
  const QString other = dir_.filePath(QStringLiteral("other.db"));
  const QStringList refused = {
      QStringLiteral("ATTACH DATABASE '%1' AS x").arg(other),
      QStringLiteral("SELECT * FROM people; DELETE FROM people"),
      QStringLiteral("DELETE FROM people"),
      QStringLiteral("UPDATE people SET name = 'x'"),
      QStringLiteral("DROP TABLE people"),
      QStringLiteral("PRAGMA writable_schema = 1"),
      QStringLiteral("CREATE TABLE z (a)"),
      QStringLiteral("SELECT 1; SELECT 2"),
  };
  for (const QString& sql : refused) {
    EXPECT_NE(ErrorNumber([&] { db->CreateQueryDef(QStringLiteral("q"), sql); }), 0)
        << sql.toStdString();
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
    const QString sql =
        QStringLiteral("SELECT * FROM [people] ORDER BY %1;").arg(QLatin1String(sort));
    EXPECT_NE(ErrorNumber([&] { db->CreateQueryDef(QString(), sql).OpenRecordset(); }), 0) << sort;
  }
  auto rs = db->OpenRecordset(QStringLiteral("people"));
  for (const char* criterion :
       {"name = 'a') ; DELETE FROM people --", "1); DROP TABLE people; --"}) {
    EXPECT_NE(ErrorNumber([&] { rs->FindFirst(QLatin1String(criterion)); }), 0) << criterion;
  }
  ExpectUnchanged();
  // The engine's own writes still work after refusals.
  rs->Edit();
  rs->SetValue(2, Variant(11));
  rs->Update();
  EXPECT_EQ(Query(QStringLiteral("SELECT age FROM people WHERE id = 1")).toInt(), 11);
}

TEST_F(ConfinementTest, EndlessQueryIsStoppedInsteadOfHangingTheServer) {
  auto db = Open();
  db->SetQueryTimeLimit(300);
  const QString endless = QStringLiteral(
      "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT x FROM c");
  EXPECT_EQ(ErrorNumber([&] { db->OpenRecordset(endless); }), kGeneric);
  auto rs = db->OpenRecordset(QStringLiteral("people"));
  EXPECT_EQ(ErrorNumber([&] { rs->FindFirst(QStringLiteral("name IN (%1)").arg(endless)); }),
            kGeneric);
  // The connection works normally afterwards.
  EXPECT_EQ(db->OpenRecordset(QStringLiteral("SELECT * FROM people"))->RecordCount(), 2);
}

}  // namespace
}  // namespace corvane::test
