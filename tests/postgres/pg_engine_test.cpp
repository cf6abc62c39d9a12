// What only the engine over PostgreSQL does: its catalogue, types and values, sets keyed by
// a primary key (or read-only without one), plans that outlive a change of the table, roles,
// statements stopped on the server, servers that do not answer. What every engine does:
// recordset_test.
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <thread>

#include "core/engine/engine_fixture.h"
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
      "ok boolean, made date, seen timestamp, picture bytea, tag uuid, cash money);"
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
  EXPECT_EQ(types,
            (std::vector<FieldType>{
                FieldType::kLong, FieldType::kText, FieldType::kMemo, FieldType::kCurrency,
                FieldType::kDouble, FieldType::kSingle, FieldType::kInteger, FieldType::kLong,
                FieldType::kBoolean, FieldType::kDateTime, FieldType::kDateTime,
                FieldType::kLongBinary, FieldType::kGuid, FieldType::kCurrency}));
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
  // Finds go on from the current record in the same composite order.
  rs->FindFirst("qty > 4");
  EXPECT_EQ(rs->Value(1).toText(), "z");
  rs->FindNext("qty > 4");
  EXPECT_EQ(rs->Value(1).toText(), "b");
  rs->FindNext("code = 'a'");  // only before the current record
  EXPECT_TRUE(rs->NoMatch());
}

TEST_F(PgEngineTest, AFindInATableSetGoesOnFromTheCurrentRecordAmongTheKeysItHolds) {
  Exec(
      "CREATE TABLE parts (id int PRIMARY KEY, tag text); INSERT INTO parts SELECT 2 * i, "
      "CASE WHEN i % 10 = 3 THEN 'x' ELSE 'y' END FROM generate_series(1, 40) AS i");
  auto db = Open();
  auto rs = db->OpenRecordset("parts");
  const auto found = [&] { return rs->NoMatch() ? -1 : rs->Value(0).toInteger(); };
  rs->SetAbsolutePosition(20);  // 42
  rs->FindNext("tag = 'x'");
  EXPECT_EQ(found(), 46);
  rs->FindFirst("tag = 'x'");
  EXPECT_EQ(found(), 6);
  rs->SetAbsolutePosition(30);
  rs->FindNext("id < 60");
  EXPECT_EQ(found(), -1);
  // A record added elsewhere is not in the set: the next one the set holds is found.
  Exec("INSERT INTO parts VALUES (45, 'x')");
  rs->SetAbsolutePosition(20);
  rs->FindNext("tag = 'x'");
  EXPECT_EQ(found(), 46);
  // Records added through the set stand last, whatever their keys: 90, 1, 95.
  for (const auto& [id, tag] : {std::pair{90, "y"}, {1, "x"}, {95, "x"}}) {
    AddRecord(*rs, {{0, Variant(id)}, {1, Variant(QString::fromLatin1(tag))}});
  }
  rs->SetAbsolutePosition(39);
  rs->FindNext("tag = 'x'");
  EXPECT_EQ(found(), 1);
}

TEST_F(PgEngineTest, RecordsAreReadAndSavedAfterTheTableChangesUnderAnOpenSet) {
  Exec(
      "CREATE TABLE notes (id int PRIMARY KEY, body varchar(10), n int, price money);"
      "INSERT INTO notes VALUES (1, 'one', 1), (2, 'two', 2), (3, 'three', 3)");
  auto db = Open();
  auto rs = db->OpenRecordset("notes");
  rs->MoveNext();
  EditRecord(*rs, {{2, Variant(int64_t{20})}, {3, Variant(12.5)}});
  // The statements reading and saving a record were planned for a varchar column.
  Exec("ALTER TABLE notes ALTER COLUMN body TYPE text; ALTER TABLE notes ADD COLUMN extra int");
  rs->MoveNext();
  EXPECT_EQ(rs->Value(1).toText(), "three");
  rs->MovePrevious();
  EXPECT_EQ(rs->Value(2).toInteger(), 20);
  EditRecord(*rs, {{1, Variant(QStringLiteral("deux"))}});
  EXPECT_EQ(rs->Value(1).toText(), "deux");  // the saved record, as stored
  EXPECT_DOUBLE_EQ(rs->Value(3).toReal(), 12.5);
  EXPECT_EQ(Value("SELECT body || n || price::numeric FROM notes WHERE id = 2"), "deux2012.50");
}

// Another server's change (made here straight in the database) shows once a batch is read
// again: which records a batch held is seen from which of them show a change.
class PgReadAheadTest : public PgEngineTest {
 protected:
  std::unique_ptr<Recordset> OpenWithin(int freshMs, const char* source) {
    served_.SetFreshMs(freshMs);
    db_ = Open();
    return db_->OpenRecordset(source);
  }
  std::unique_ptr<Database> db_;
};

TEST_F(PgReadAheadTest, MovesAreServedFromBatchesReadInTheirDirection) {
  Exec(
      "CREATE TABLE people (id int PRIMARY KEY, name text);"
      "INSERT INTO people SELECT i, 'p' || i FROM generate_series(1, 70) i");
  auto rs = OpenWithin(60'000, "people");  // reads id 1 alone
  rs->MoveNext();                          // 2 to 33
  Exec("UPDATE people SET name = 'new' WHERE id IN (33, 34, 38, 60)");
  for (int i = 2; i < 33; ++i) rs->MoveNext();
  EXPECT_EQ(rs->Value(1).toText(), "p33");
  rs->MoveNext();  // 34 to 65
  EXPECT_EQ(rs->Value(1).toText(), "new");
  rs->MoveLast();  // the last 32: 39 to 70
  rs->SetAbsolutePosition(38);
  rs->MovePrevious();  // 38, read backwards: 7 to 38
  EXPECT_EQ(rs->Value(1).toText(), "new");
  Exec("UPDATE people SET name = 'late' WHERE id = 10");
  rs->SetAbsolutePosition(9);
  EXPECT_EQ(rs->Value(1).toText(), "p10");

  // An edit of a record read before another server changed it is refused and changes
  // nothing; the set then reads the stored record.
  rs->SetAbsolutePosition(59);  // 39 to 70
  Exec("UPDATE people SET name = 'theirs' WHERE id = 60");
  rs->Edit();
  rs->SetValue(1, Variant(QStringLiteral("mine")));
  EXPECT_EQ(ErrorNumber([&] { rs->Update(); }), engine_error::kChangedByOther);
  EXPECT_EQ(Value("SELECT name FROM people WHERE id = 60"), "theirs");
  rs->MovePrevious();
  rs->MoveNext();
  EXPECT_EQ(rs->Value(1).toText(), "theirs");

  // Another client of this server: its saves show at once.
  auto other = Open();
  auto theirs = other->OpenRecordset("people");
  theirs->MoveNext();
  EditRecord(*theirs, {{1, Variant(QStringLiteral("edited"))}});
  theirs->MoveNext();
  theirs->Delete();
  rs->MoveFirst();
  rs->MoveNext();
  EXPECT_EQ(rs->Value(1).toText(), "edited");
  rs->MoveNext();
  EXPECT_EQ(ErrorNumber([&] { rs->Value(1); }), engine_error::kRecordDeleted);
}

// A client that moves slower than records age (a handheld at human pace) is read only what
// it uses, not 32 records each move that go stale unread.
TEST_F(PgReadAheadTest, RecordsThatAgedUnreadAreNotReadAheadAgain) {
  Exec(
      "CREATE TABLE people (id int PRIMARY KEY, name text);"
      "INSERT INTO people SELECT i, 'p' || i FROM generate_series(1, 40) i");
  auto rs = OpenWithin(1'000, "people");
  rs->MoveNext();  // reads ids 2 to 33
  QThread::msleep(1'100);
  rs->MoveNext();  // one of them was used: id 3 alone
  Exec("UPDATE people SET name = 'new' WHERE id = 4");
  rs->MoveNext();
  EXPECT_EQ(rs->Value(1).toText(), "new");
}

// Keys are sent as parameters, whatever they hold; a composite key is matched whole.
TEST_F(PgReadAheadTest, ChangesMadeElsewhereShowOnceTheLimitHasPassedWhateverTheKeysHold) {
  Exec(
      "CREATE TABLE odd (k text, n int, v text, PRIMARY KEY (k, n)); INSERT INTO odd (k, n) "
      "VALUES ('a''b', 1), ('\"q\"', 1), (E'b\\\\s', 1), ('NULL', 1), ('{x,y}', 1), ('a,b', 1), "
      "('a,b', 2), (' ', 1)");
  auto rs = OpenWithin(200, "SELECT * FROM odd ORDER BY k DESC");
  Exec("UPDATE odd SET v = k || n");
  QThread::msleep(300);
  EXPECT_EQ(rs->RecordCount(), 8);
  for (rs->MoveFirst(); !rs->Eof(); rs->MoveNext()) {
    EXPECT_EQ(rs->Value(0).toText() + rs->Value(1).toText(), rs->Value(2).toText());
  }
}

// Handhelds switched on together open the same table: within the limit the later opens take
// the keys the first one read, and read only their records.
TEST_F(PgReadAheadTest, OpensWithinTheLimitShareTheKeysTillItPassesOrThisServerSaves) {
  Exec("CREATE TABLE people (id int PRIMARY KEY, name text); INSERT INTO people VALUES (1, 'a')");
  auto first = OpenWithin(300, "people");
  Exec("INSERT INTO people VALUES (2, 'elsewhere'); UPDATE people SET name = 'b' WHERE id = 1");
  auto other = Open();
  auto second = other->OpenRecordset("PEOPLE");
  EXPECT_EQ(second->RecordCount(), 1);
  EXPECT_EQ(second->Value(1).toText(), "b");
  QThread::msleep(400);
  EXPECT_EQ(other->OpenRecordset("people")->RecordCount(), 2);
  // A record added through this server shows in the next open at once.
  Exec("INSERT INTO people VALUES (3, 'elsewhere')");
  EXPECT_EQ(db_->OpenRecordset("people")->RecordCount(), 2);
  AddRecord(*second, {{0, Variant(4)}});
  EXPECT_EQ(db_->OpenRecordset("people")->RecordCount(), 4);
}

// While one open of a table reads its keys, opens of it at the same moment wait for that one
// instead of reading them too: the table is locked, so a reader shows waiting for the lock.
TEST_F(PgReadAheadTest, OpensAtTheSameMomentReadTheKeysOnce) {
  Exec("CREATE TABLE people (id int PRIMARY KEY); INSERT INTO people VALUES (1), (2)");
  served_.SetFreshMs(60'000);
  std::vector<std::unique_ptr<Database>> clients;
  for (int i = 0; i < 3; ++i) clients.push_back(Open());
  PgConnection holder(Location(), 30'000);
  holder.Exec(QStringLiteral("BEGIN"));
  holder.Exec(QStringLiteral("LOCK TABLE people IN ACCESS EXCLUSIVE MODE"));
  std::vector<int64_t> counts(clients.size(), -1);
  std::vector<std::thread> opens;
  for (size_t i = 0; i < clients.size(); ++i) {
    opens.emplace_back([&, i] { counts[i] = clients[i]->OpenRecordset("people")->RecordCount(); });
  }
  const auto readers = [] {
    return Value(
        "SELECT count(*) FROM pg_stat_activity WHERE application_name = 'corvane-server' AND "
        "wait_event_type = 'Lock'");
  };
  for (int wait = 0; wait < 100 && readers() == "0"; ++wait) QThread::msleep(20);
  QThread::msleep(300);  // time for a second reader to get to the lock, were there one
  EXPECT_EQ(readers(), "1");
  holder.Exec(QStringLiteral("COMMIT"));
  for (std::thread& open : opens) open.join();
  EXPECT_EQ(counts, std::vector<int64_t>(clients.size(), 2));
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

// Carries one connection between libpq and the cluster. While it holds, the cluster's
// answers wait until the client has sent `until`, for 3 s at most: a client that waits for
// an answer before it sends the rest waits out the hold.
class HoldingRelay {
 public:
  HoldingRelay() : listener_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in at{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof at;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&at), size);
    ::listen(listener_, 1);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &size);
    location_ = QStringLiteral("postgresql://127.0.0.1:%1/%2?sslmode=disable&gssencmode=disable")
                    .arg(ntohs(at.sin_port))
                    .arg(qEnvironmentVariable("PGDATABASE", "postgres"));
    thread_ = std::thread([this] { Carry(); });
  }
  ~HoldingRelay() {
    done_ = true;
    ::shutdown(listener_, SHUT_RDWR);  // wakes accept
    thread_.join();
    ::close(listener_);
  }
  const QString& Location() const { return location_; }
  void Hold(const char* until) { until_ = until, holding_ = true; }
  bool GaveUp() const { return gaveUp_; }

 private:
  void Carry() {
    const int client = ::accept(listener_, nullptr, nullptr);
    addrinfo* cluster = nullptr;
    if (client < 0 || ::getaddrinfo(qgetenv("PGHOST").constData(), qgetenv("PGPORT").constData(),
                                    nullptr, &cluster)) {
      return;
    }
    const int server = ::socket(cluster->ai_family, SOCK_STREAM, 0);
    ::connect(server, cluster->ai_addr, cluster->ai_addrlen);
    ::freeaddrinfo(cluster);
    QByteArray sent, held;  // sent: since the hold began
    QElapsedTimer since;
    char bytes[65536];
    for (ssize_t n = 1; n > 0 && !done_;) {
      pollfd ends[] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
      ::poll(ends, 2, 50);
      if (holding_ && !since.isValid()) sent.clear(), since.start();
      if (ends[0].revents && (n = ::read(client, bytes, sizeof bytes)) > 0) {
        ::send(server, bytes, n, MSG_NOSIGNAL);
        sent.append(bytes, n);
      }
      if (ends[1].revents && (n = ::read(server, bytes, sizeof bytes)) > 0) held.append(bytes, n);
      const bool seen = sent.contains(until_.load());
      if (since.isValid() && (seen || since.elapsed() > 3000)) {
        gaveUp_ = !seen, holding_ = false, since.invalidate();
      }
      if (!holding_) ::send(client, held.constData(), held.size(), MSG_NOSIGNAL), held.clear();
    }
    ::close(client);
    ::close(server);
  }
  const int listener_;
  QString location_;
  std::thread thread_;
  std::atomic<bool> done_{false}, holding_{false}, gaveUp_{false};
  std::atomic<const char*> until_{""};
};

TEST_F(PgEngineTest, AClientsStatementIsSentWholeAndLeavesTheSessionAsConnected) {
  Exec("CREATE TABLE t (id int PRIMARY KEY); INSERT INTO t VALUES (1)");
  {
    HoldingRelay relay;
    PgConnection relayed(relay.Location(), kClientWorkLimitMs);
    // One round trip: the session's reset is sent before anything of the answer is read.
    relay.Hold("DISCARD ALL");
    EXPECT_EQ(relayed.ExecConfined("SELECT id FROM t WHERE id = $1", {"1"}).Rows(), 1);
    EXPECT_FALSE(relay.GaveUp());
  }
  PgConnection connection(Location(), kClientWorkLimitMs);
  // However the statement ends, the next finds the session as connected: outside any
  // transaction (read-write), with the connection's limit and search path.
  const auto session = [&] {
    return connection
        .Exec(
            "SELECT current_setting('transaction_read_only') || current_setting("
            "'statement_timeout') || current_setting('search_path')")
        .Text(0, 0);
  };
  const QString connected = session();
  connection.SetClientWorkLimit(200);
  // Which fails, which runs past the client's limit, which is cancelled at its deadline.
  for (const char* sql : {"SELECT set_config('search_path', 'elsewhere', false)", "SELECT 1 / 0",
                          "SELECT pg_sleep(5)", "SELECT pg_sleep(0.15)"}) {
    const bool cancelled = QByteArray(sql).contains("0.15");
    connection.SetStop({nullptr, cancelled ? QDateTime::currentMSecsSinceEpoch() + 50 : 0});
    EXPECT_EQ(ErrorNumber([&] { connection.ExecConfined(sql, {}); }) != 0,
              !QByteArray(sql).contains("set_config"))
        << sql;
    connection.SetStop({});
    EXPECT_EQ(session(), connected) << sql;
  }
}

TEST_F(PgEngineTest, AServerThatDoesNotAnswerAPasswordInTheTextOrASuperuserIs3151) {
  bool reached = false;
  EXPECT_TRUE(ProbeServerDatabase(Location(), &reached).startsWith("PostgreSQL "));
  EXPECT_TRUE(reached);
  // A superuser could write files as the database server's account: refused like a
  // database that does not answer (kept in database.dat: PgComebackTest).
  EXPECT_TRUE(ProbeServerDatabase(PgSuperuserLocation(), &reached).contains("least-privilege"));
  EXPECT_FALSE(reached);
  EXPECT_EQ(ErrorNumber([&] { served_.Open(PgSuperuserLocation()); }),
            engine_error::kConnectionFailed);
  EXPECT_EQ(ErrorNumber([&] { served_.Open("postgresql://127.0.0.1:1/none"); }),
            engine_error::kConnectionFailed);
  EXPECT_EQ(ErrorNumber([&] { served_.Open("postgresql://u:pw@127.0.0.1/none"); }),
            engine_error::kConnectionFailed);
}

}  // namespace
}  // namespace corvane::test
