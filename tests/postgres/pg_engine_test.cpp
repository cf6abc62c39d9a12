// The engine over PostgreSQL: catalogue, types and values, sets keyed by the primary key,
// writes compared with the values last read.
#include <QDateTime>
#include <atomic>

#include "engine/database.h"
#include "pg_fixture.h"

namespace corvane::test {
namespace {

class PgEngineTest : public PgTest {
 protected:
  std::unique_ptr<Database> Open() { return served_.Open(Location()); }
  ServedDatabases served_;
};

TEST_F(PgEngineTest, CatalogueListsTheSearchPathsTablesAndViewsWithClientFieldTypes) {
  Exec(
      "CREATE TABLE items (id serial PRIMARY KEY, code varchar(8) NOT NULL, notes text, "
      "price numeric(19,4), weight double precision, ratio real, qty smallint, big bigint, "
      "ok boolean, made date, seen timestamp, picture bytea, tag uuid);"
      "CREATE TABLE later (id integer GENERATED ALWAYS AS IDENTITY PRIMARY KEY);"
      "CREATE VIEW cheap AS SELECT code FROM items WHERE price < 5;"
      "CREATE SCHEMA hidden; CREATE TABLE hidden.secret (x int)");
  auto db = Open();
  const std::vector<TableDef> tables = db->TableDefs();
  ASSERT_EQ(tables.size(), 2u);  // not the view, not pg_catalog, not another schema
  EXPECT_EQ(tables[0].name, "items");
  EXPECT_EQ(tables[1].name, "later");
  std::vector<FieldType> types;
  for (const FieldInfo& f : tables[0].fields) types.push_back(f.type);
  EXPECT_EQ(types, (std::vector<FieldType>{
                       FieldType::kLong, FieldType::kText, FieldType::kMemo, FieldType::kCurrency,
                       FieldType::kDouble, FieldType::kSingle, FieldType::kInteger,
                       FieldType::kLong, FieldType::kBoolean, FieldType::kDateTime,
                       FieldType::kDateTime, FieldType::kLongBinary, FieldType::kGuid}));
  EXPECT_TRUE(tables[0].fields[0].autoNumber());  // serial
  EXPECT_EQ(tables[0].fields[1].size, 8);
  EXPECT_TRUE(tables[0].fields[1].required);
  EXPECT_TRUE(tables[1].fields[0].autoNumber());  // identity
  const std::vector<QueryDef> queries = db->QueryDefs();
  ASSERT_EQ(queries.size(), 1u);
  EXPECT_EQ(queries[0].Name(), "cheap");
  EXPECT_EQ(db->QueryFieldNames("cheap"), QStringList{"code"});
  EXPECT_EQ(ErrorNumber([&] { db->OpenRecordset("secret"); }), engine_error::kNoSuchObject);
}

TEST_F(PgEngineTest, ASetWalksTheKeysInOrderAndReadsEachRecordWhenItBecomesCurrent) {
  Exec(
      "CREATE TABLE stock (shop int, code text, qty int, price numeric(19,4), ok boolean, "
      "made timestamp, PRIMARY KEY (shop, code));"
      "INSERT INTO stock VALUES (2, 'b', 5, 1.5, true, '2026-03-04 05:06:07'), "
      "(1, 'z', 7, NULL, false, NULL), (1, 'a', NULL, 12.3456, NULL, '2026-01-02')");
  auto db = Open();
  auto rs = db->OpenRecordset("STOCK");  // names in any case
  EXPECT_TRUE(rs->Updatable());
  EXPECT_EQ(rs->RecordCount(), 3);
  EXPECT_EQ(rs->Value(1).toText(), "a");  // composite key order: (1,a), (1,z), (2,b)
  EXPECT_DOUBLE_EQ(rs->Value(3).toReal(), 12.3456);
  EXPECT_TRUE(rs->Value(4).isNull());
  EXPECT_EQ(rs->Value(5).toDateTime(), WallClock(QDate(2026, 1, 2), QTime(0, 0)));
  rs->MoveLast();
  EXPECT_EQ(rs->Value(1).toText(), "b");
  EXPECT_EQ(rs->Value(4).toBool(), true);
  EXPECT_EQ(rs->Value(5).toDateTime(), WallClock(QDate(2026, 3, 4), QTime(5, 6, 7)));
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(ErrorNumber([&] { rs->Value(0); }), engine_error::kNoCurrentRecord);
  db->Close();
  EXPECT_EQ(ErrorNumber([&] { rs->MoveFirst(); }), engine_error::kClosed);
}

TEST_F(PgEngineTest, RecordsAreReadAndSavedAfterTheTableChangesUnderAnOpenSet) {
  Exec(
      "CREATE TABLE notes (id int PRIMARY KEY, body varchar(10), n int);"
      "INSERT INTO notes VALUES (1, 'one', 1), (2, 'two', 2), (3, 'three', 3)");
  auto db = Open();
  auto rs = db->OpenRecordset("notes");
  rs->MoveNext();
  rs->Edit();
  rs->SetValue(2, Variant(int64_t{20}));
  rs->Update();
  // The statements reading and saving a record were planned for a varchar column.
  Exec("ALTER TABLE notes ALTER COLUMN body TYPE text; ALTER TABLE notes ADD COLUMN extra int");
  rs->MoveNext();
  EXPECT_EQ(rs->Value(1).toText(), "three");
  rs->MovePrevious();
  EXPECT_EQ(rs->Value(2).toInteger(), 20);
  rs->Edit();
  rs->SetValue(1, Variant(QStringLiteral("deux")));
  rs->Update();
  EXPECT_EQ(rs->Value(1).toText(), "deux");  // the saved record, as stored
  EXPECT_EQ(rs->Value(2).toInteger(), 20);
  EXPECT_EQ(Value("SELECT body || n FROM notes WHERE id = 2"), "deux20");
}

// Two servers refusing each other's conflicting updates over the wire: pg_wire_test.
TEST_F(PgEngineTest, AnUpdateComparesNullsAsEqualAndOneOfARecordDeletedElsewhereIs3167) {
  Exec(
      "CREATE TABLE people (id serial PRIMARY KEY, name text, age int, seen date);"
      "INSERT INTO people (name, age) VALUES ('Ann', 30), ('Bob', NULL)");
  auto db = Open();
  auto a = db->OpenRecordset("people");
  a->MoveNext();
  a->Edit();
  a->SetValue(3, Variant("2026-12-07"));
  a->Update();
  EXPECT_EQ(Value("SELECT seen FROM people WHERE id = 2"), "2026-12-07");
  // A record deleted elsewhere: 3167, not 3197.
  Exec("DELETE FROM people WHERE id = 2");
  a->Edit();
  a->SetValue(1, Variant("Bert"));
  EXPECT_EQ(ErrorNumber([&] { a->Update(); }), engine_error::kRecordDeleted);
}

// Deletes through the client commands: EditTest.
TEST_F(PgEngineTest, AddReturnsTheNewKeyAndADeleteOfARecordGoneIs3167) {
  Exec(
      "CREATE TABLE notes (id integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY, "
      "body text NOT NULL, price money);"
      "INSERT INTO notes (body) VALUES ('one'), ('two')");
  auto db = Open();
  auto rs = db->OpenRecordset("notes");
  rs->AddNew();
  rs->SetValue(1, Variant("three"));
  rs->SetValue(2, Variant(12.5));
  rs->Update();
  EXPECT_EQ(rs->RecordCount(), 3);
  rs->MoveLast();
  EXPECT_EQ(rs->Value(0).toInteger(), 3);
  EXPECT_DOUBLE_EQ(rs->Value(2).toReal(), 12.5);
  rs->AddNew();
  EXPECT_EQ(ErrorNumber([&] { rs->Update(); }), engine_error::kRequired);
  rs->CancelUpdate();
  // Deleted meanwhile by another server.
  Exec("DELETE FROM notes WHERE id = 3");
  EXPECT_EQ(ErrorNumber([&] { rs->Delete(); }), engine_error::kRecordDeleted);
  EXPECT_EQ(Value("SELECT string_agg(body, ',' ORDER BY id) FROM notes"), "one,two");
}

TEST_F(PgEngineTest, ARoleThatMayOnlyReadGetsTheReadOnlyErrorOnItsEdits) {
  Exec(
      "CREATE TABLE prices (id int PRIMARY KEY, amount int); INSERT INTO prices VALUES (1, 5);"
      "DROP ROLE IF EXISTS corvane_reader;");
  // The cluster's password (from the environment) serves the new role too.
  PgConnection(Location(), 30000)
      .Exec(QStringLiteral("CREATE ROLE corvane_reader LOGIN PASSWORD '%1'")
                .arg(qEnvironmentVariable("PGPASSWORD").replace("'", "''")));
  Exec("GRANT USAGE ON SCHEMA public TO corvane_reader; GRANT SELECT ON prices TO corvane_reader");
  auto db = served_.Open(Location() + QStringLiteral("?user=corvane_reader"));
  auto rs = db->OpenRecordset("prices");
  rs->Edit();
  rs->SetValue(1, Variant(6));
  EXPECT_EQ(ErrorNumber([&] { rs->Update(); }), engine_error::kReadOnly);
  EXPECT_EQ(Value("SELECT amount FROM prices"), "5");
}

// A view is read-only too: pg_wire_test.
TEST_F(PgEngineTest, TablesWithoutAPrimaryKeyAreReadOnly) {
  Exec("CREATE TABLE log (line text); INSERT INTO log VALUES ('a'), ('b')");
  auto db = Open();
  auto rs = db->OpenRecordset("log");
  EXPECT_FALSE(rs->Updatable());
  EXPECT_EQ(rs->RecordCount(), 2);
  EXPECT_EQ(ErrorNumber([&] { rs->Edit(); }), engine_error::kReadOnly);
  // Without a key, a query over the table is read once, read-only, too.
  auto query = db->OpenRecordset("SELECT * FROM log ORDER BY line DESC");
  EXPECT_FALSE(query->Updatable());
  EXPECT_EQ(query->Value(0).toText(), "b");
}

TEST_F(PgEngineTest, AStatementStopsWhenItsRequestIsNoLongerWantedOrItsTimeIsUp) {
  Exec(
      "CREATE TABLE t (id int PRIMARY KEY); INSERT INTO t VALUES (1);"
      "CREATE VIEW slow AS SELECT pg_sleep(20)::text AS s");
  auto db = Open();
  // Cancelled on the server while it runs: the view would take 20 s.
  db->SetDeadline(QDateTime::currentMSecsSinceEpoch() + 300);
  EXPECT_EQ(ErrorNumber([&] { db->OpenRecordset("slow"); }), engine_error::kGeneric);
  std::atomic<bool> cancel{true};
  db->SetDeadline(0);
  db->SetCancelFlag(&cancel);
  EXPECT_EQ(ErrorNumber([&] { db->OpenRecordset("t"); }), engine_error::kGeneric);
  // The connections went back to the pool unharmed, without the stop.
  db->SetCancelFlag(nullptr);
  EXPECT_EQ(db->OpenRecordset("t")->RecordCount(), 1);
}

TEST_F(PgEngineTest, AServerThatDoesNotAnswerOrAPasswordInTheTextIs3151) {
  bool reached = false;
  EXPECT_TRUE(ProbeServerDatabase(Location(), &reached).startsWith("PostgreSQL "));
  EXPECT_TRUE(reached);
  EXPECT_EQ(ErrorNumber([&] { served_.Open("postgresql://127.0.0.1:1/none"); }),
            engine_error::kConnectionFailed);
  EXPECT_EQ(ErrorNumber([&] { served_.Open("postgresql://u:pw@127.0.0.1/none"); }),
            engine_error::kConnectionFailed);
}

// A one-column integer key is kept as a number: every key must come back as the same value
// when a record is read, saved, found or deleted by it.
TEST_F(PgEngineTest, BigAndNegativeIntegerKeysSurviveEveryStepOfASet) {
  Exec(
      "CREATE TABLE ledger (id bigint PRIMARY KEY, note text);"
      "INSERT INTO ledger VALUES (3000000000, 'big'), (-5, 'negative'), (7, 'small'),"
      "(-9223372036854775808, 'least')");
  auto db = Open();
  auto rs = db->OpenRecordset("ledger");
  ASSERT_EQ(rs->RecordCount(), 4);
  EXPECT_EQ(rs->Value(1).toText(), "least");
  rs->MoveLast();
  EXPECT_EQ(rs->Value(1).toText(), "big");
  rs->MovePrevious();
  // A saved key change: the set reads the record by its new key from then on.
  rs->Edit();
  rs->SetValue(0, Variant(int64_t{8}));
  rs->Update();
  Exec("UPDATE ledger SET note = 'seen' WHERE id = 8");
  rs->MoveNext();
  EXPECT_EQ(rs->Value(1).toText(), "big");
  rs->MovePrevious();
  EXPECT_EQ(rs->Value(1).toText(), "seen");
  rs->FindFirst(QStringLiteral("id = -5"));
  ASSERT_FALSE(rs->NoMatch());
  EXPECT_EQ(rs->Value(1).toText(), "negative");
  rs->Delete();
  EXPECT_EQ(Value("SELECT string_agg(id::text, ',' ORDER BY id) FROM ledger"),
            "-9223372036854775808,8,3000000000");
  rs->AddNew();
  rs->SetValue(0, Variant(int64_t{-1}));
  rs->SetValue(1, Variant(QStringLiteral("added")));
  rs->Update();
  rs->MoveLast();
  EXPECT_EQ(rs->Value(1).toText(), "added");  // a new record joins the end of the set
  EXPECT_EQ(rs->Value(0).toText(), "-1");
}

}  // namespace
}  // namespace corvane::test
