#include "engine/recordset.h"

#include <sqlite3.h>

#include "engine_fixture.h"
#include "support/file_bytes.h"

namespace corvane::test {
namespace {

using namespace engine_error;

class RecordsetTest : public EngineTest {};

TEST_F(RecordsetTest, MovesSetEofAndBofAtBothEnds) {
  MakePeople({"Ann", "Bob", "Cy"});
  auto db = Open();
  auto rs = db->OpenRecordset(QStringLiteral("people"));
  EXPECT_EQ(rs->Name(), QStringLiteral("people"));
  EXPECT_EQ(rs->RecordCount(), 3);
  EXPECT_EQ(rs->AbsolutePosition(), 0);
  EXPECT_FALSE(rs->Eof());
  EXPECT_FALSE(rs->Bof());
  EXPECT_EQ(rs->Value(1).toText(), QStringLiteral("Ann"));

  rs->MoveLast();
  EXPECT_EQ(rs->AbsolutePosition(), 2);
  EXPECT_EQ(rs->Value(1).toText(), QStringLiteral("Cy"));
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(rs->AbsolutePosition(), -1);
  EXPECT_EQ(ErrorNumber([&] { rs->Value(1); }), kNoCurrentRecord);
  EXPECT_EQ(ErrorNumber([&] { rs->MoveNext(); }), kNoCurrentRecord);
  rs->MovePrevious();
  EXPECT_EQ(rs->Value(1).toText(), QStringLiteral("Cy"));

  rs->MoveFirst();
  rs->MovePrevious();
  EXPECT_TRUE(rs->Bof());
  EXPECT_FALSE(rs->Eof());
  rs->MoveNext();
  EXPECT_EQ(rs->Value(1).toText(), QStringLiteral("Ann"));

  rs->SetAbsolutePosition(1);
  EXPECT_EQ(rs->Value(1).toText(), QStringLiteral("Bob"));
  EXPECT_EQ(ErrorNumber([&] { rs->SetAbsolutePosition(3); }), 3001);
}

TEST_F(RecordsetTest, EmptySetIsAtBothEndsUnknownObjectsAndFilesAreErrors) {
  MakePeople({});
  auto db = Open();
  auto rs = db->OpenRecordset(QStringLiteral("PEOPLE"));  // names in any case
  EXPECT_EQ(rs->RecordCount(), 0);
  EXPECT_TRUE(rs->Eof());
  EXPECT_TRUE(rs->Bof());
  EXPECT_EQ(rs->AbsolutePosition(), -1);
  EXPECT_EQ(ErrorNumber([&] { rs->MoveFirst(); }), kNoCurrentRecord);
  EXPECT_EQ(ErrorNumber([&] { rs->Edit(); }), kNoCurrentRecord);
  // Unknown objects and files.
  EXPECT_EQ(ErrorNumber([&] { db->OpenRecordset(QStringLiteral("nothing")); }), kNoSuchObject);
  EXPECT_EQ(ErrorNumber([&] { db->OpenRecordset(QStringLiteral("SELECT * FROM missing")); }),
            kNoSuchObject);
  EXPECT_EQ(ErrorNumber([&] { OpenDatabase(dir_.filePath(QStringLiteral("none.db"))); }),
            kFileNotFound);
  EXPECT_EQ(db->Name(), path_);
  const QString garbage = dir_.filePath(QStringLiteral("garbage.db"));
  ASSERT_TRUE(WriteFileBytes(garbage, QByteArray(4096, 'x')));
  try {
    OpenDatabase(garbage);
    ADD_FAILURE() << "a damaged file opened";
  } catch (const EngineError& e) {
    EXPECT_EQ(e.number(), kNotADatabase);
    EXPECT_FALSE(e.description().isEmpty());
  }
}

TEST_F(RecordsetTest, AddedRecordIsAppendedAtTheEndOfTheSet) {
  MakePeople({"Cy", "Ann"});
  auto db = Open();
  auto rs = db->OpenRecordset(QStringLiteral("SELECT * FROM people ORDER BY name"));
  ASSERT_TRUE(rs->Updatable());
  rs->AddNew();
  rs->SetValue(1, Variant(QStringLiteral("Abe")));  // would sort first
  rs->SetValue(2, Variant(5));
  rs->Update();
  EXPECT_EQ(rs->RecordCount(), 3);
  EXPECT_EQ(rs->Value(1).toText(), QStringLiteral("Ann"));  // cursor did not move
  rs->MoveLast();
  EXPECT_EQ(rs->Value(1).toText(), QStringLiteral("Abe"));
  EXPECT_EQ(rs->Value(0).toInteger(), 3);  // numbered by the table
  EXPECT_EQ(Query(QStringLiteral("SELECT age FROM people WHERE name = 'Abe'")).toInt(), 5);
}

TEST_F(RecordsetTest, DeleteLeavesNeighboursReachable) {
  MakePeople({"Ann", "Bob", "Cy"});
  auto db = Open();
  auto rs = db->OpenRecordset(QStringLiteral("people"));
  rs->SetAbsolutePosition(1);
  rs->Delete();
  EXPECT_EQ(rs->RecordCount(), 2);
  EXPECT_EQ(rs->AbsolutePosition(), -1);
  EXPECT_EQ(ErrorNumber([&] { rs->Value(1); }), kRecordDeleted);
  rs->MovePrevious();
  EXPECT_EQ(rs->Value(1).toText(), QStringLiteral("Ann"));
  EXPECT_EQ(Query(QStringLiteral("SELECT count(*) FROM people")).toInt(), 2);

  // Deleting the first record: the one after it follows.
  rs->MoveFirst();
  rs->Delete();
  rs->MovePrevious();
  EXPECT_TRUE(rs->Bof());
  rs->MoveNext();
  EXPECT_EQ(rs->Value(1).toText(), QStringLiteral("Cy"));
  EXPECT_EQ(rs->AbsolutePosition(), 0);

  rs->Delete();
  EXPECT_EQ(rs->RecordCount(), 0);
  EXPECT_TRUE(rs->Eof());
}

TEST_F(RecordsetTest, UpdateWritesOnlyItsOwnRowWithBoundValues) {
  MakePeople({"Ann", "Bob"});
  auto db = Open();
  auto rs = db->OpenRecordset(QStringLiteral("people"));
  rs->Edit();
  rs->SetValue(1, Variant(QStringLiteral("O'Hara\"; --")));
  rs->Update();
  EXPECT_EQ(rs->Value(1).toText(), QStringLiteral("O'Hara\"; --"));
  EXPECT_EQ(Query(QStringLiteral("SELECT name FROM people WHERE id = 2")).toString(),
            QStringLiteral("Bob"));
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
}

TEST_F(RecordsetTest, NamesWithQuotesAndPercentSignsAreWrittenSafely) {
  Exec(
      QStringLiteral("CREATE TABLE \"Rate %1\" (\"Key\"\"%2\" INTEGER PRIMARY KEY, \"Pct%1\" REAL);"
                     "INSERT INTO \"Rate %1\" VALUES (1, 0.5), (2, 0.7);"
                     "CREATE TABLE \"w%2\" (\"a%1\" TEXT, \"b%3\" TEXT, PRIMARY KEY (\"a%1\")) "
                     "WITHOUT ROWID; INSERT INTO \"w%2\" VALUES ('x', 'y')"));
  auto db = Open();
  auto rs = db->OpenRecordset(QStringLiteral("Rate %1"));
  rs->MoveLast();
  rs->Edit();
  rs->SetValue(1, Variant(0.9));
  rs->Update();
  rs->MoveFirst();
  rs->Delete();
  EXPECT_DOUBLE_EQ(Query(QStringLiteral("SELECT sum(\"Pct%1\") FROM \"Rate %1\"")).toDouble(), 0.9);
  auto w = db->OpenRecordset(QStringLiteral("w%2"));
  w->Edit();
  w->SetValue(1, Variant(QStringLiteral("z")));
  w->Update();
  EXPECT_EQ(Query(QStringLiteral("SELECT \"b%3\" FROM \"w%2\"")).toString(), QStringLiteral("z"));
}

TEST_F(RecordsetTest, SecondSaveOfAChangedRecordFailsInsteadOfOverwriting) {
  MakePeople({"Ann"});
  auto db1 = Open();
  auto db2 = Open();
  auto first = db1->OpenRecordset(QStringLiteral("people"));
  auto second = db2->OpenRecordset(QStringLiteral("people"));
  first->Edit();  // editing starts early, as a client's open does
  second->Edit();
  second->SetValue(1, Variant(QStringLiteral("Bea")));
  second->Update();
  first->SetValue(2, Variant(99));
  EXPECT_EQ(ErrorNumber([&] { first->Update(); }), kChangedByOther);
  EXPECT_EQ(Query(QStringLiteral("SELECT name || age FROM people")).toString(),
            QStringLiteral("Bea10"));
  // Reading the record again lets the change through.
  first->MoveFirst();
  first->Edit();
  first->SetValue(2, Variant(99));
  first->Update();
  EXPECT_EQ(Query(QStringLiteral("SELECT name || age FROM people")).toString(),
            QStringLiteral("Bea99"));
  // A record another client deleted is reported as such.
  Exec(QStringLiteral("DELETE FROM people"));
  second->Edit();
  second->SetValue(1, Variant(QStringLiteral("Zed")));
  EXPECT_EQ(ErrorNumber([&] { second->Update(); }), kRecordDeleted);
  EXPECT_EQ(Query(QStringLiteral("SELECT count(*) FROM people")).toInt(), 0);
}

TEST_F(RecordsetTest, ReadOnlySetsRefuseEditing) {
  MakePeople({"Ann", "Bob"});
  Exec(QStringLiteral("CREATE TABLE pets (owner INTEGER, pet TEXT)"));
  Exec(QStringLiteral("INSERT INTO pets VALUES (1, 'cat')"));
  auto db = Open();
  for (const char* sql :
       {"SELECT count(*) AS n FROM people", "SELECT DISTINCT name FROM people",
        "SELECT people.name, pets.pet FROM people, pets WHERE pets.owner = people.id",
        "SELECT name, age * 2 AS twice FROM people"}) {
    auto rs = db->OpenRecordset(QLatin1String(sql));
    EXPECT_FALSE(rs->Updatable()) << sql;
    EXPECT_EQ(ErrorNumber([&] { rs->Edit(); }), kReadOnly) << sql;
    EXPECT_EQ(ErrorNumber([&] { rs->AddNew(); }), kReadOnly) << sql;
    EXPECT_EQ(ErrorNumber([&] { rs->Delete(); }), kReadOnly) << sql;
  }
  auto twice = db->OpenRecordset(QStringLiteral("SELECT name, age * 2 AS twice FROM people"));
  EXPECT_EQ(twice->Fields()[1].type, FieldType::kLong);  // from its values
  EXPECT_EQ(twice->Value(1).toInteger(), 20);
  EXPECT_EQ(twice->Name(), QStringLiteral("SELECT name, age * 2 AS twice FROM people"));
}

TEST_F(RecordsetTest, ClosingTheDatabaseClosesItsSets) {
  MakePeople({"Ann"});
  auto db = Open();
  auto rs = db->OpenRecordset(QStringLiteral("people"));
  db->Close();
  EXPECT_FALSE(rs->isOpen());
  EXPECT_EQ(ErrorNumber([&] { rs->MoveNext(); }), kClosed);
  EXPECT_EQ(ErrorNumber([&] { db->OpenRecordset(QStringLiteral("people")); }), kClosed);
  db.reset();
  EXPECT_EQ(ErrorNumber([&] { rs->RecordCount(); }), kClosed);
}

TEST_F(RecordsetTest, TableWithoutRowidIsWrittenByItsWholeKey) {
  Exec(
      QStringLiteral("CREATE TABLE codes (grp TEXT, code TEXT, label TEXT, "
                     "PRIMARY KEY (grp, code)) WITHOUT ROWID;"
                     "INSERT INTO codes VALUES ('x', 'b', 'Bee'), ('x', 'a', 'Ay'), "
                     "('y', 'a', 'Why')"));
  auto db = Open();
  auto rs = db->OpenRecordset(QStringLiteral("codes"));
  ASSERT_TRUE(rs->Updatable());
  EXPECT_EQ(rs->RecordCount(), 3);
  EXPECT_EQ(rs->Value(2).toText(), QStringLiteral("Ay"));  // key order

  // Changing part of the key keeps the record reachable.
  rs->Edit();
  rs->SetValue(1, Variant(QStringLiteral("c")));
  rs->SetValue(2, Variant(QStringLiteral("Cee")));
  rs->Update();
  EXPECT_EQ(rs->Value(1).toText(), QStringLiteral("c"));
  EXPECT_EQ(
      Query(QStringLiteral("SELECT label FROM codes WHERE grp = 'x' AND code = 'c'")).toString(),
      QStringLiteral("Cee"));
  EXPECT_EQ(Query(QStringLiteral("SELECT label FROM codes WHERE grp = 'y'")).toString(),
            QStringLiteral("Why"));

  rs->AddNew();
  rs->SetValue(0, Variant(QStringLiteral("a")));
  rs->SetValue(1, Variant(QStringLiteral("z")));
  rs->Update();
  rs->MoveLast();
  EXPECT_EQ(rs->Value(0).toText(), QStringLiteral("a"));
  rs->FindFirst(QStringLiteral("label = 'Why'"));
  ASSERT_FALSE(rs->NoMatch());
  EXPECT_EQ(rs->AbsolutePosition(), 2);
  rs->Delete();
  EXPECT_EQ(Query(QStringLiteral("SELECT count(*) FROM codes")).toInt(), 3);
  EXPECT_FALSE(Query(QStringLiteral("SELECT 1 FROM codes WHERE grp = 'y'")).isValid());

  // Optimistic check by the whole record as well.
  rs->MoveFirst();
  rs->Edit();
  Exec(QStringLiteral("UPDATE codes SET label = 'other' WHERE code = 'c'"));
  rs->SetValue(2, Variant(QStringLiteral("mine")));
  EXPECT_EQ(ErrorNumber([&] { rs->Update(); }), kChangedByOther);
}

TEST_F(RecordsetTest, SaveFailsSoonWhenAnotherWriterHoldsTheFile) {
  MakePeople({"Ann"});
  auto db = Open();
  auto rs = db->OpenRecordset(QStringLiteral("people"));
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(path_.toUtf8().constData(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  rs->Edit();
  rs->SetValue(1, Variant(QStringLiteral("Zed")));
  EXPECT_EQ(ErrorNumber([&] { rs->Update(); }), kLocked);
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  rs->Update();  // still in edit mode: saving again works once the file is free
  EXPECT_EQ(Query(QStringLiteral("SELECT name FROM people")).toString(), QStringLiteral("Zed"));
}

}  // namespace
}  // namespace corvane::test
