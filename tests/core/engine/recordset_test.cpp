// What every engine's sets do: moving, editing, adding and deleting records, finding in
// them, stored and temporary queries, and the errors on the way. Then what only a file's
// engine does: keys of tables without a rowid, and views that edit their table.
#include "engine_fixture.h"

namespace corvane::test {
namespace {

using namespace engine_error;

using RecordsetTest = EngineContractTest;

Variant Text(const char* text) { return Variant(QString::fromUtf8(text)); }

// A missing or damaged file: bad_input_test, through the client commands.
TEST_P(RecordsetTest, EmptySetIsAtBothEndsAndUnknownObjectsAreErrors) {
  MakePeople({});
  auto db = Open();
  auto rs = db->OpenRecordset("PEOPLE");  // names in any case
  EXPECT_TRUE(rs->Eof() && rs->Bof());
  EXPECT_EQ(ErrorNumber([&] { rs->MoveFirst(); }), kNoCurrentRecord);
  EXPECT_EQ(ErrorNumber([&] { rs->Edit(); }), kNoCurrentRecord);
  EXPECT_EQ(ErrorNumber([&] { db->OpenRecordset("nothing"); }), kNoSuchObject);
  EXPECT_EQ(ErrorNumber([&] { db->OpenRecordset("SELECT * FROM missing"); }), kNoSuchObject);
  db->Close();  // closes its sets
  EXPECT_EQ(ErrorNumber([&] { rs->MoveFirst(); }), kClosed);
}

// A failed read of a record (here its table is gone; a request's time up or a lost
// connection do the same) leaves no record current: its values are never read.
TEST_P(RecordsetTest, ARecordThatCouldNotBeReadIsNotCurrent) {
  MakePeople({"Ann", "Bob"});
  // A server database's set reads on every move here, not from records read ahead.
  served_.SetFreshMs(0);
  auto db = Open();
  auto rs = db->OpenRecordset("people");
  ASSERT_EQ(rs->Value(1).toText(), "Ann");
  Exec("DROP TABLE people");
  EXPECT_NE(ErrorNumber([&] { rs->MoveNext(); }), 0);
  EXPECT_EQ(ErrorNumber([&] { rs->Value(1); }), kNoCurrentRecord);
  EXPECT_EQ(ErrorNumber([&] { rs->Edit(); }), kNoCurrentRecord);
  EXPECT_EQ(ErrorNumber([&] { rs->Delete(); }), kNoCurrentRecord);
}

TEST_P(RecordsetTest, AnAddedRecordGoesToTheEndOfTheSetAndADeletedOneLeavesItsNeighbours) {
  MakePeople({"Cy", "Ann", "Bob"});
  auto db = Open();
  auto rs = db->OpenRecordset("SELECT * FROM people ORDER BY name");
  ASSERT_TRUE(rs->Updatable());
  AddRecord(*rs, {{1, Text("Abe")}});  // would sort first
  EXPECT_EQ(rs->RecordCount(), 4);
  EXPECT_EQ(rs->Value(1).toText(), "Ann");  // the cursor did not move
  rs->MoveLast();
  EXPECT_EQ(rs->Value(1).toText(), "Abe");
  EXPECT_EQ(rs->Value(0).toInteger(), 4);  // numbered by the table
  rs->SetAbsolutePosition(1);              // Bob
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
  EXPECT_EQ(Query("SELECT count(*) FROM people").toInt(), 2);
  EXPECT_EQ(Query("SELECT name FROM people WHERE id = 4").toString(), "Abe");
}

TEST_P(RecordsetTest, UpdateWritesItsOwnRowWithBoundValuesUnderAnyName) {
  MakePeople({"Ann", "Bob"});
  Exec(
      "CREATE TABLE \"Rate %1\" (\"Key\"\"%2\" INTEGER PRIMARY KEY, \"Pct%1\" DOUBLE, "
      "\"Note\" VARCHAR(9) NOT NULL);"
      "INSERT INTO \"Rate %1\" VALUES (1, 0.5, 'a'), (2, 0.7, 'b');");
  auto db = Open();
  auto rs = db->OpenRecordset("people");
  EditRecord(*rs, {{1, Text("O'Hara\"; --")}});
  EXPECT_EQ(Query("SELECT name FROM people WHERE id = 1").toString(), "O'Hara\"; --");
  EXPECT_EQ(Query("SELECT name FROM people WHERE id = 2").toString(), "Bob");
  rs->Edit();
  EXPECT_EQ(ErrorNumber([&] { rs->SetValue(0, Variant(9)); }), kNotUpdatableField);
  rs->CancelUpdate();
  EXPECT_EQ(ErrorNumber([&] { rs->Update(); }), kNoEditInProgress);
  auto rates = db->OpenRecordset("Rate %1");
  rates->MoveLast();
  EditRecord(*rates, {{1, Variant(0.9)}});
  rates->MoveFirst();
  rates->Delete();
  EXPECT_EQ(ErrorNumber([&] { AddRecord(*rates, {{1, Variant(0.1)}}); }), kRequired);
  EXPECT_DOUBLE_EQ(Query("SELECT sum(\"Pct%1\") FROM \"Rate %1\"").toDouble(), 0.9);
}

// Two clients refusing each other's conflicting updates over the wire: EditTest.
TEST_P(RecordsetTest, WritesOfARecordChangedOrDeletedElsewhereFailInsteadOfOverwriting) {
  MakePeople({"Ann", "Bob", "Cy"});
  Exec("UPDATE people SET age = NULL WHERE id = 2");
  auto db = Open();
  auto rs = db->OpenRecordset("people");
  rs->MoveNext();
  EditRecord(*rs, {{1, Text("Bert")}});  // the Null read compares equal to the Null stored
  EXPECT_EQ(Query("SELECT name FROM people WHERE id = 2").toString(), "Bert");
  rs->Edit();
  Exec("UPDATE people SET age = 99 WHERE id = 2");
  rs->SetValue(1, Text("Mine"));
  EXPECT_EQ(ErrorNumber([&] { rs->Update(); }), kChangedByOther);
  // A record deleted elsewhere is neither saved again nor deleted twice.
  rs->MoveFirst();
  rs->Edit();
  Exec("DELETE FROM people WHERE id = 1");
  rs->SetValue(1, Text("Zed"));
  EXPECT_EQ(ErrorNumber([&] { rs->Update(); }), kRecordDeleted);
  rs->MoveLast();
  Exec("DELETE FROM people WHERE id = 3");
  EXPECT_EQ(ErrorNumber([&] { rs->Delete(); }), kRecordDeleted);
  EXPECT_EQ(Query("SELECT count(*) || ' ' || max(age) FROM people").toString(), "1 99");
}

TEST_P(RecordsetTest, FindsFollowTheSetsOwnOrderAndReachAnAddedRecordAtItsEnd) {
  MakePeople({"Jones", "Smith", "Brown", "Smithers"});
  auto db = Open();
  auto rs =
      db->CreateQueryDef(QString(), "SELECT * FROM people ORDER BY name DESC").OpenRecordset();
  rs->FindFirst("name Like 'S*'");
  EXPECT_EQ(rs->Value(1).toText(), "Smithers");
  AddRecord(*rs, {{1, Text("Smalls")}});
  for (const char* next : {"Smith", "Smalls"}) {
    rs->FindNext("name Like 'S*'");
    EXPECT_EQ(rs->Value(1).toText(), next);
  }
  rs->FindNext("name Like 'S*'");
  EXPECT_TRUE(rs->NoMatch());
  EXPECT_EQ(rs->Value(1).toText(), "Smalls");  // stays on the last match
}

TEST_P(RecordsetTest, SetsOfComputedOrJoinedRowsAreReadOnly) {
  MakePeople({"Ann", "Bob"});
  Exec("CREATE TABLE pets (owner LONG, pet VARCHAR(9)); INSERT INTO pets VALUES (1, 'cat')");
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
  EXPECT_EQ(twice->Fields()[1].type, FieldType::kLong);
}

// A one-column integer key is kept as a number: every key must come back as the same value
// when a record is read, saved, found or deleted by it.
TEST_P(RecordsetTest, BigAndNegativeIntegerKeysSurviveEveryStepOfASet) {
  // A file's table keyed by its rowid numbers its records itself: this one has its own key.
  Exec(QStringLiteral("CREATE TABLE ledger (id %1 PRIMARY KEY, note VARCHAR(20))%2;"
                      "INSERT INTO ledger VALUES (3000000000, 'big'), (-5, 'negative'), "
                      "(7, 'small'), (-9223372036854775808, 'least')")
           .arg(IsPostgres() ? "bigint" : "INTEGER", IsPostgres() ? "" : " WITHOUT ROWID"));
  auto db = Open();
  auto rs = db->OpenRecordset("ledger");
  ASSERT_EQ(rs->RecordCount(), 4);
  EXPECT_EQ(rs->Value(1).toText(), "least");
  rs->MoveLast();
  EXPECT_EQ(rs->Value(1).toText(), "big");
  rs->MovePrevious();
  // A saved key change: the set reads the record by its new key from then on.
  EditRecord(*rs, {{0, Variant(int64_t{8})}});
  Exec("UPDATE ledger SET note = 'seen' WHERE id = 8");
  rs->MoveNext();
  EXPECT_EQ(rs->Value(1).toText(), "big");
  rs->MovePrevious();
  EXPECT_EQ(rs->Value(1).toText(), "seen");
  rs->FindFirst(QStringLiteral("id = -5"));
  ASSERT_FALSE(rs->NoMatch());
  EXPECT_EQ(rs->Value(1).toText(), "negative");
  rs->Delete();
  AddRecord(*rs, {{0, Variant(int64_t{-1})}, {1, Text("added")}});
  rs->MoveLast();
  EXPECT_EQ(rs->Value(1).toText(), "added");  // a new record joins the end of the set
  EXPECT_EQ(rs->Value(0).toText(), "-1");
  EXPECT_EQ(Query("SELECT count(*) FROM ledger WHERE id IN (-9223372036854775808, 8, "
                  "3000000000, -1)")
                .toInt(),
            4);
}

TEST_P(RecordsetTest, ANamedQueryIsStoredAtOnceAndATemporaryOneNotAtAll) {
  MakePeople({"Cy", "Ann", "Bob"});
  auto db = Open();
  db->CreateQueryDef("Adults", "SELECT [name], age FROM people WHERE age >= 20");
  EXPECT_TRUE(db_.HasView("Adults"));
  auto rs = db->OpenRecordset("Adults");
  EXPECT_EQ(rs->RecordCount(), 2);
  // Another connection sees it; the name is taken, also by a table, in any case.
  auto other = Open();
  ASSERT_EQ(other->QueryDefs().size(), 1u);
  EXPECT_EQ(other->QueryDefs()[0].Name(), "Adults");
  EXPECT_EQ(ErrorNumber([&] { other->CreateQueryDef("adults", "SELECT 1"); }), kAlreadyExists);
  EXPECT_EQ(ErrorNumber([&] { other->CreateQueryDef("People", "SELECT 1"); }), kAlreadyExists);
  rs->Close();
  db->DeleteQueryDef("Adults");
  EXPECT_EQ(ErrorNumber([&] { db->DeleteQueryDef("Adults"); }), kItemNotFound);

  auto sorted =
      db->CreateQueryDef(QString(), "SELECT * FROM [people] ORDER BY name;").OpenRecordset();
  EXPECT_EQ(sorted->Name(), "#Temporary QueryDef#");
  EXPECT_EQ(sorted->Value(1).toText(), "Ann");
  EXPECT_TRUE(db->QueryDefs().empty());
  EXPECT_EQ(
      ErrorNumber([&] { db->CreateQueryDef(QString(), "SELECT * FROM [people] ORDER BY nope"); }),
      kUnknownName);
}

INSTANTIATE_TEST_SUITE_P(Engines, RecordsetTest, BothEngines(), EngineName);

using SqliteRecordsetTest = EngineTest;

TEST_F(SqliteRecordsetTest, TableWithoutRowidIsWrittenByItsWholeKey) {
  Exec(
      "CREATE TABLE codes (grp TEXT, code TEXT, label TEXT, PRIMARY KEY (grp, code)) WITHOUT ROWID;"
      "INSERT INTO codes VALUES ('x', 'b', 'Bee'), ('x', 'a', 'Ay'), ('y', 'a', 'Why')");
  auto db = Open();
  auto rs = db->OpenRecordset("codes");
  ASSERT_TRUE(rs->Updatable());
  EXPECT_EQ(rs->Value(2).toText(), "Ay");  // key order
  // Changing part of the key keeps the record reachable.
  EditRecord(*rs, {{1, Text("c")}, {2, Text("Cee")}});
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
  rs->SetValue(2, Text("mine"));
  EXPECT_EQ(ErrorNumber([&] { rs->Update(); }), kChangedByOther);
}

// A server database's view has no key to address a row by: read-only (pg_wire_test).
TEST_F(SqliteRecordsetTest, AQueryOfOneTablesColumnsAndItsSortEditTheTable) {
  MakePeople({"Cy", "Ann", "Bob", "Di"});
  auto db = Open();
  db->CreateQueryDef("Young", "SELECT name AS who, age FROM people WHERE age < 40 ORDER BY age");
  auto view = db->OpenRecordset("Young");
  ASSERT_TRUE(view->Updatable());
  view->MoveNext();
  EditRecord(*view, {{0, Text("Annie")}});
  EXPECT_EQ(Query("SELECT name FROM people WHERE id = 2").toString(), "Annie");
  auto rs = db->CreateQueryDef(QString(), "SELECT * FROM [Young] ORDER BY who;").OpenRecordset();
  ASSERT_TRUE(rs->Updatable());
  EXPECT_EQ(rs->RecordCount(), 3);
  EXPECT_EQ(rs->Fields()[0].name, "who");
  rs->MoveLast();
  EXPECT_EQ(rs->Value(0).toText(), "Cy");
  EditRecord(*rs, {{1, Variant(11)}});
  EXPECT_EQ(Query("SELECT age FROM people WHERE name = 'Cy'").toInt(), 11);
  // One that groups rows is not.
  db->CreateQueryDef("Ages", "SELECT age, count(*) AS n FROM people GROUP BY age");
  EXPECT_FALSE(db->CreateQueryDef(QString(), "SELECT * FROM [Ages] ORDER BY n")
                   .OpenRecordset()
                   ->Updatable());
}

}  // namespace
}  // namespace corvane::test
