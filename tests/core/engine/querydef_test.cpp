// Stored and temporary queries, and the tables a database lists.
#include "engine_fixture.h"

namespace corvane::test {
namespace {

using namespace engine_error;

using QueryDefTest = EngineTest;

TEST_F(QueryDefTest, NamedQueryIsStoredAsAViewAtOnceAndEditsItsTable) {
  MakePeople({"Ann", "Bob", "Cy"});
  auto db = Open();
  db->CreateQueryDef("Adults", "SELECT [name], age FROM people WHERE age >= 20");
  EXPECT_EQ(Query("SELECT type FROM sqlite_master WHERE name = 'Adults'").toString(), "view");
  auto rs = db->OpenRecordset("Adults");
  EXPECT_EQ(rs->RecordCount(), 2);
  ASSERT_TRUE(rs->Updatable());  // a query of one table's columns
  rs->Edit();
  rs->SetValue(0, Variant(QStringLiteral("Bobby")));
  rs->Update();
  EXPECT_EQ(Query("SELECT name FROM people WHERE id = 2").toString(), "Bobby");

  // Another connection sees it; the name is taken, also by a table, in any case.
  auto other = Open();
  ASSERT_EQ(other->QueryDefs().size(), 1u);
  EXPECT_EQ(other->QueryDefs()[0].Name(), "Adults");
  EXPECT_EQ(ErrorNumber([&] { other->CreateQueryDef("adults", "SELECT 1"); }), kAlreadyExists);
  EXPECT_EQ(ErrorNumber([&] { other->CreateQueryDef("People", "SELECT 1"); }), kAlreadyExists);
  rs->Close();
  db->DeleteQueryDef("Adults");
  EXPECT_TRUE(db->QueryDefs().empty());
  EXPECT_EQ(ErrorNumber([&] { db->DeleteQueryDef("Adults"); }), kItemNotFound);
}

TEST_F(QueryDefTest, ATemporaryQueryIsNotStoredAndItsSortOfOneTableCanBeEdited) {
  MakePeople({"Cy", "Ann", "Bob", "Di"});
  auto db = Open();
  auto sorted =
      db->CreateQueryDef(QString(), "SELECT * FROM [people] ORDER BY name;").OpenRecordset();
  EXPECT_EQ(sorted->Name(), "#Temporary QueryDef#");
  EXPECT_EQ(sorted->Value(1).toText(), "Ann");
  EXPECT_FALSE(Query("SELECT 1 FROM sqlite_master WHERE type = 'view'").isValid());
  EXPECT_EQ(
      ErrorNumber([&] { db->CreateQueryDef(QString(), "SELECT * FROM [people] ORDER BY nope"); }),
      kUnknownName);
  // The sort of a stored query of one table is editable, one that groups rows is not.
  db->CreateQueryDef("Young", "SELECT name AS who, age FROM people WHERE age < 40 ORDER BY age");
  auto rs = db->CreateQueryDef(QString(), "SELECT * FROM [Young] ORDER BY who;").OpenRecordset();
  ASSERT_TRUE(rs->Updatable());
  EXPECT_EQ(rs->RecordCount(), 3);
  EXPECT_EQ(rs->Fields()[0].name, "who");
  rs->MoveLast();
  EXPECT_EQ(rs->Value(0).toText(), "Cy");
  rs->Edit();
  rs->SetValue(1, Variant(11));
  rs->Update();
  EXPECT_EQ(Query("SELECT age FROM people WHERE name = 'Cy'").toInt(), 11);
  db->CreateQueryDef("Ages", "SELECT age, count(*) AS n FROM people GROUP BY age");
  EXPECT_FALSE(db->CreateQueryDef(QString(), "SELECT * FROM [Ages] ORDER BY n")
                   .OpenRecordset()
                   ->Updatable());
}

TEST_F(QueryDefTest, SetsOverStoredQueriesFollowTheirShape) {
  MakePeople({"Ann", "Bob"});
  Exec(
      "CREATE VIEW counts AS SELECT count(*) AS n FROM people;"
      "CREATE VIEW renamed(who) AS SELECT name FROM people;"
      "CREATE VIEW broken AS SELECT * FROM gone;");
  auto db = Open();
  auto counts = db->OpenRecordset("counts");
  EXPECT_FALSE(counts->Updatable());
  EXPECT_EQ(counts->Value(0).toInteger(), 2);
  EXPECT_EQ(db->OpenRecordset("renamed")->Fields()[0].name, "who");
  EXPECT_EQ(ErrorNumber([&] { db->OpenRecordset("broken"); }), kNoSuchObject);
}

}  // namespace
}  // namespace corvane::test
