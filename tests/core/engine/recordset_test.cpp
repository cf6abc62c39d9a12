// Sets over tables and stored or temporary queries: editing their records, finding in
// them, and the errors on the way.
#include "engine/recordset.h"

#include "engine_fixture.h"

namespace corvane::test {
namespace {

using namespace engine_error;

using RecordsetTest = EngineTest;

// A missing or damaged file: bad_input_test, through the client commands.
TEST_F(RecordsetTest, EmptySetIsAtBothEndsAndUnknownObjectsAreErrors) {
  MakePeople({});
  auto db = Open();
  auto rs = db->OpenRecordset("PEOPLE");  // names in any case
  EXPECT_TRUE(rs->Eof() && rs->Bof());
  EXPECT_EQ(ErrorNumber([&] { rs->MoveFirst(); }), kNoCurrentRecord);
  EXPECT_EQ(ErrorNumber([&] { rs->Edit(); }), kNoCurrentRecord);
  EXPECT_EQ(ErrorNumber([&] { db->OpenRecordset("nothing"); }), kNoSuchObject);
  EXPECT_EQ(ErrorNumber([&] { db->OpenRecordset("SELECT * FROM missing"); }), kNoSuchObject);
}

TEST_F(RecordsetTest, AnAddedRecordGoesToTheEndOfTheSetAndADeletedOneLeavesItsNeighbours) {
  MakePeople({"Cy", "Ann", "Bob"});
  auto db = Open();
  auto rs = db->OpenRecordset("SELECT * FROM people ORDER BY name");
  ASSERT_TRUE(rs->Updatable());
  rs->AddNew();
  rs->SetValue(1, Variant(QStringLiteral("Abe")));  // would sort first
  rs->Update();
  EXPECT_EQ(rs->RecordCount(), 4);
  EXPECT_EQ(rs->Value(1).toText(), "Ann");  // the cursor did not move
  rs->MoveLast();
  EXPECT_EQ(rs->Value(1).toText(), "Abe");
  EXPECT_EQ(rs->Value(0).toInteger(), 4);  // numbered by the table

  rs->SetAbsolutePosition(1);  // Bob
  rs->Delete();
  EXPECT_EQ(rs->AbsolutePosition(), -1);
  EXPECT_EQ(ErrorNumber([&] { rs->Value(1); }), kRecordDeleted);
  rs->MovePrevious();
  EXPECT_EQ(rs->Value(1).toText(), "Ann");
  rs->Delete();  // the first: the one after it follows
  rs->MovePrevious();
  EXPECT_TRUE(rs->Bof());
  rs->MoveNext();
  EXPECT_EQ(rs->Value(1).toText(), "Cy");
  EXPECT_EQ(Query("SELECT group_concat(name) FROM people").toString(), "Cy,Abe");
}

TEST_F(RecordsetTest, UpdateWritesItsOwnRowWithBoundValuesUnderAnyName) {
  MakePeople({"Ann", "Bob"});
  Exec(
      "CREATE TABLE \"Rate %1\" (\"Key\"\"%2\" INTEGER PRIMARY KEY, \"Pct%1\" REAL);"
      "INSERT INTO \"Rate %1\" VALUES (1, 0.5), (2, 0.7);");
  auto db = Open();
  auto rs = db->OpenRecordset("people");
  rs->Edit();
  rs->SetValue(1, Variant(QStringLiteral("O'Hara\"; --")));
  rs->Update();
  EXPECT_EQ(Query("SELECT group_concat(name, '|') FROM people").toString(), "O'Hara\"; --|Bob");
  EXPECT_EQ(ErrorNumber([&] {
              rs->Edit();
              rs->SetValue(0, Variant(9));
            }),
            kNotUpdatableField);
  EXPECT_EQ(ErrorNumber([&] {
              rs->CancelUpdate();
              rs->Update();
            }),
            kNoEditInProgress);
  auto rates = db->OpenRecordset("Rate %1");
  rates->MoveLast();
  rates->Edit();
  rates->SetValue(1, Variant(0.9));
  rates->Update();
  rates->MoveFirst();
  rates->Delete();
  EXPECT_DOUBLE_EQ(Query("SELECT sum(\"Pct%1\") FROM \"Rate %1\"").toDouble(), 0.9);
}

TEST_F(RecordsetTest, ASaveOfARecordAnotherConnectionDeletedFailsInsteadOfAddingIt) {
  MakePeople({"Ann"});
  auto db = Open();
  auto rs = db->OpenRecordset("people");
  rs->Edit();
  Exec("DELETE FROM people");
  rs->SetValue(1, Variant(QStringLiteral("Zed")));
  EXPECT_EQ(ErrorNumber([&] { rs->Update(); }), kRecordDeleted);
  EXPECT_EQ(Query("SELECT count(*) FROM people").toInt(), 0);
}

TEST_F(RecordsetTest, FindsFollowTheSetsOwnOrderAndReachAnAddedRecordAtItsEnd) {
  MakePeople({"Jones", "Smith", "Brown", "Smithers"});
  auto db = Open();
  auto rs =
      db->CreateQueryDef(QString(), "SELECT * FROM people ORDER BY name DESC").OpenRecordset();
  rs->FindFirst("name Like 'S*'");
  EXPECT_EQ(rs->Value(1).toText(), "Smithers");
  rs->AddNew();
  rs->SetValue(1, Variant(QStringLiteral("Smalls")));
  rs->Update();
  rs->FindNext("name Like 'S*'");
  EXPECT_EQ(rs->Value(1).toText(), "Smith");
  rs->FindNext("name Like 'S*'");
  EXPECT_EQ(rs->Value(1).toText(), "Smalls");
  rs->FindNext("name Like 'S*'");
  EXPECT_TRUE(rs->NoMatch());
  EXPECT_EQ(rs->Value(1).toText(), "Smalls");  // stays on the last match
}

TEST_F(RecordsetTest, SetsOfComputedOrJoinedRowsAreReadOnly) {
  MakePeople({"Ann", "Bob"});
  Exec("CREATE TABLE pets (owner INTEGER, pet TEXT); INSERT INTO pets VALUES (1, 'cat')");
  auto db = Open();
  for (const char* sql :
       {"SELECT count(*) AS n FROM people", "SELECT DISTINCT name FROM people",
        "SELECT people.name, pets.pet FROM people, pets WHERE pets.owner = people.id",
        "SELECT name, age * 2 AS twice FROM people"}) {
    auto rs = db->OpenRecordset(sql);
    EXPECT_FALSE(rs->Updatable()) << sql;
    EXPECT_EQ(ErrorNumber([&] { rs->Edit(); }), kReadOnly) << sql;
    EXPECT_EQ(ErrorNumber([&] { rs->AddNew(); }), kReadOnly) << sql;
    EXPECT_EQ(ErrorNumber([&] { rs->Delete(); }), kReadOnly) << sql;
  }
  auto twice = db->OpenRecordset("SELECT name, age * 2 AS twice FROM people");
  EXPECT_EQ(twice->Fields()[1].type, FieldType::kLong);  // from its values
}

TEST_F(RecordsetTest, TableWithoutRowidIsWrittenByItsWholeKey) {
  Exec(
      "CREATE TABLE codes (grp TEXT, code TEXT, label TEXT, PRIMARY KEY (grp, code)) WITHOUT ROWID;"
      "INSERT INTO codes VALUES ('x', 'b', 'Bee'), ('x', 'a', 'Ay'), ('y', 'a', 'Why')");
  auto db = Open();
  auto rs = db->OpenRecordset("codes");
  ASSERT_TRUE(rs->Updatable());
  EXPECT_EQ(rs->Value(2).toText(), "Ay");  // key order
  // Changing part of the key keeps the record reachable.
  rs->Edit();
  rs->SetValue(1, Variant(QStringLiteral("c")));
  rs->SetValue(2, Variant(QStringLiteral("Cee")));
  rs->Update();
  EXPECT_EQ(rs->Value(1).toText(), "c");
  EXPECT_EQ(Query("SELECT group_concat(grp || code || label) FROM codes").toString(),
            "xbBee,xcCee,yaWhy");
  rs->FindFirst("label = 'Why'");
  rs->Delete();
  EXPECT_FALSE(Query("SELECT 1 FROM codes WHERE grp = 'y'").isValid());
  // Optimistic check by the whole record as well.
  rs->MoveFirst();
  rs->Edit();
  Exec("UPDATE codes SET label = 'other' WHERE code = 'c'");
  rs->SetValue(2, Variant(QStringLiteral("mine")));
  EXPECT_EQ(ErrorNumber([&] { rs->Update(); }), kChangedByOther);
}

TEST_F(RecordsetTest, NamedQueryIsStoredAsAViewAtOnceAndEditsItsTable) {
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

TEST_F(RecordsetTest, ATemporaryQueryIsNotStoredAndItsSortOfOneTableCanBeEdited) {
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

}  // namespace
}  // namespace corvane::test
