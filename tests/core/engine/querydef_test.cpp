#include "engine_fixture.h"

namespace corvane::test {
namespace {

using namespace engine_error;

class QueryDefTest : public EngineTest {};

TEST_F(QueryDefTest, NamedQueryIsStoredAsAViewAtOnce) {
  MakePeople({"Ann", "Bob", "Cy"});
  auto db = Open();
  QueryDef q = db->CreateQueryDef(QStringLiteral("Adults"),
                                  QStringLiteral("SELECT [name], age FROM people WHERE age >= 20"));
  EXPECT_EQ(q.Name(), QStringLiteral("Adults"));
  EXPECT_EQ(
      Query(QStringLiteral("SELECT type FROM sqlite_master WHERE name = 'Adults'")).toString(),
      QStringLiteral("view"));
  auto rs = db->OpenRecordset(QStringLiteral("Adults"));
  EXPECT_EQ(rs->Name(), QStringLiteral("Adults"));
  EXPECT_EQ(rs->RecordCount(), 2);
  // A query of one table's columns can be edited through.
  ASSERT_TRUE(rs->Updatable());
  rs->Edit();
  rs->SetValue(0, Variant(QStringLiteral("Bobby")));
  rs->Update();
  EXPECT_EQ(Query(QStringLiteral("SELECT name FROM people WHERE id = 2")).toString(),
            QStringLiteral("Bobby"));

  // Another connection sees it; the name is taken, also by a table.
  auto other = Open();
  ASSERT_EQ(other->QueryDefs().size(), 1u);
  EXPECT_EQ(other->QueryDefs()[0].Name(), QStringLiteral("Adults"));
  EXPECT_EQ(ErrorNumber([&] {
              other->CreateQueryDef(QStringLiteral("adults"), QStringLiteral("SELECT 1"));
            }),
            kAlreadyExists);
  EXPECT_EQ(ErrorNumber([&] {
              other->CreateQueryDef(QStringLiteral("People"), QStringLiteral("SELECT 1"));
            }),
            kAlreadyExists);

  rs->Close();
  db->DeleteQueryDef(QStringLiteral("Adults"));
  EXPECT_TRUE(db->QueryDefs().empty());
  EXPECT_FALSE(
      Query(QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = 'Adults'")).isValid());
  EXPECT_EQ(ErrorNumber([&] { db->DeleteQueryDef(QStringLiteral("Adults")); }), kItemNotFound);
}

TEST_F(QueryDefTest, TemporaryQueryIsNotStored) {
  MakePeople({"Cy", "Ann", "Bob"});
  auto db = Open();
  QueryDef sort =
      db->CreateQueryDef(QString(), QStringLiteral("SELECT * FROM [people] ORDER BY name;"));
  auto rs = sort.OpenRecordset();
  EXPECT_EQ(rs->Name(), QStringLiteral("#Temporary QueryDef#"));
  EXPECT_TRUE(rs->Updatable());  // a sort of a table
  EXPECT_EQ(rs->Value(1).toText(), QStringLiteral("Ann"));
  rs->MoveLast();
  EXPECT_EQ(rs->Value(1).toText(), QStringLiteral("Cy"));
  EXPECT_FALSE(Query(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'view'")).isValid());
  EXPECT_EQ(ErrorNumber([&] {
              db->CreateQueryDef(QString(), QStringLiteral("SELECT * FROM [people] ORDER BY nope"));
            }),
            kUnknownName);
}

TEST_F(QueryDefTest, SortOfAStoredQueryOfOneTableCanBeEdited) {
  MakePeople({"Cy", "Ann", "Bob", "Di"});
  auto db = Open();
  db->CreateQueryDef(
      QStringLiteral("Young"),
      QStringLiteral("SELECT name AS who, age FROM people WHERE age < 40 ORDER BY age"));
  auto rs = db->CreateQueryDef(QString(), QStringLiteral("SELECT * FROM [Young] ORDER BY who;"))
                .OpenRecordset();
  ASSERT_TRUE(rs->Updatable());
  EXPECT_EQ(rs->RecordCount(), 3);
  EXPECT_EQ(rs->Fields()[0].name, QStringLiteral("who"));
  EXPECT_EQ(rs->Value(0).toText(), QStringLiteral("Ann"));
  rs->MoveLast();
  EXPECT_EQ(rs->Value(0).toText(), QStringLiteral("Cy"));
  rs->Edit();
  rs->SetValue(1, Variant(11));
  rs->Update();
  EXPECT_EQ(Query(QStringLiteral("SELECT age FROM people WHERE name = 'Cy'")).toInt(), 11);
  // A query that groups rows is no table's rows: its sort is read-only.
  db->CreateQueryDef(QStringLiteral("Ages"),
                     QStringLiteral("SELECT age, count(*) AS n FROM people GROUP BY age"));
  auto ages = db->CreateQueryDef(QString(), QStringLiteral("SELECT * FROM [Ages] ORDER BY n"))
                  .OpenRecordset();
  EXPECT_FALSE(ages->Updatable());
  EXPECT_EQ(ages->RecordCount(), 4);
}

TEST_F(QueryDefTest, TableDefsListUserTablesWithTheirFields) {
  Exec(
      QStringLiteral("CREATE TABLE b (x INTEGER PRIMARY KEY AUTOINCREMENT, y TEXT(3));"
                     "CREATE TABLE a (z DATE); INSERT INTO b (y) VALUES ('q');"
                     "CREATE VIEW v AS SELECT * FROM a;"));
  auto db = Open();
  const std::vector<TableDef> defs = db->TableDefs();
  QStringList user, system;
  for (const TableDef& d : defs) (d.attributes == 0 ? user : system) << d.name;
  EXPECT_EQ(user, QStringList({QStringLiteral("b"), QStringLiteral("a")}));
  EXPECT_EQ(system, QStringList({QStringLiteral("sqlite_sequence")}));
  for (const TableDef& d : defs) {
    if (d.name != QLatin1String("sqlite_sequence")) continue;
    EXPECT_EQ(d.attributes, kSystemTableAttributes);
  }
  const TableDef b = db->TableDefByName(QStringLiteral("B"));
  ASSERT_EQ(b.fields.size(), 2u);
  EXPECT_EQ(b.fields[0].attributes, kAutoNumberAttributes);
  EXPECT_EQ(b.fields[1].size, 3);
  EXPECT_EQ(ErrorNumber([&] { db->TableDefByName(QStringLiteral("v")); }), kItemNotFound);
}

TEST_F(QueryDefTest, SetsOverStoredQueriesFollowTheirShape) {
  MakePeople({"Ann", "Bob"});
  Exec(
      QStringLiteral("CREATE VIEW counts AS SELECT count(*) AS n FROM people;"
                     "CREATE VIEW renamed(who) AS SELECT name FROM people;"
                     "CREATE VIEW broken AS SELECT * FROM gone;"));
  auto db = Open();
  auto counts = db->OpenRecordset(QStringLiteral("counts"));
  EXPECT_FALSE(counts->Updatable());
  EXPECT_EQ(counts->Value(0).toInteger(), 2);
  auto renamed = db->OpenRecordset(QStringLiteral("renamed"));
  EXPECT_EQ(renamed->Fields()[0].name, QStringLiteral("who"));
  EXPECT_EQ(renamed->RecordCount(), 2);
  EXPECT_EQ(ErrorNumber([&] { db->OpenRecordset(QStringLiteral("broken")); }), kNoSuchObject);
}

}  // namespace
}  // namespace corvane::test
