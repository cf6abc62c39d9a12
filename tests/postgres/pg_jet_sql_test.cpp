// Clients' Jet SQL on a server database: the same rows, order and matches as on a database
// file, for sort texts, find criteria and queries; values never spliced into statements;
// queries confined to reading; saved queries as views.
#include "postgres/pg_jet_sql.h"

#include <QTemporaryDir>
#include <QUrl>

#include "engine/database.h"
#include "engine/work_limits.h"
#include "pg_fixture.h"
#include "support/scoped_environment.h"
#include "support/sqlite_files.h"

namespace corvane::test {
namespace {

// Texts that sort and match differently with and without case, Jet's wildcards and
// PostgreSQL's (% _) as plain characters, a quote, non-ASCII letters, Nulls.
constexpr const char* kRows =
    "INSERT INTO people (name, age, born) VALUES ('bob', 20, '2001-05-06 00:00:00'), "
    "('Ann', 10, '1999-12-31 23:59:00'), ('carl', NULL, NULL), (NULL, 31, '2000-01-02 "
    "00:00:00'), ('ANN', 44, '2010-03-04 05:06:07'), ('O''Brien', 15, '2000-01-01 00:00:00'), "
    "('R2D2', 7, NULL), ('100%_off', 3, NULL), ('\u00c9mile', 12, NULL), ('emile', 13, NULL), "
    "('zo\u00eb', 28, NULL), ('[x]', 0, NULL), ('a*b', 9, NULL)";

class PgJetSqlTest : public PgTest {
 protected:
  void SetUp() override {
    PgTest::SetUp();
    if (IsSkipped()) return;
    file_ = dir_.filePath("people.db");
    ExecOnFile(file_,
               "CREATE TABLE people (id INTEGER PRIMARY KEY AUTOINCREMENT, name VARCHAR(20), "
               "age LONG, born DATETIME)");
    ExecOnFile(file_, QString::fromUtf8(kRows));
    Exec("CREATE TABLE people (id serial PRIMARY KEY, name varchar(20), age int, born timestamp)");
    Exec(QString::fromUtf8(kRows));
    sqlite_ = OpenDatabase(file_);
    pg_ = served_.Open(Location());
  }

  // Every record of a set, its values as texts.
  static QStringList Records(Recordset& rs) {
    QStringList records;
    if (rs.RecordCount() == 0) return records;
    for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) {
      QStringList values;
      for (int i = 0; i < rs.FieldCount(); ++i) {
        const Variant v = rs.Value(i);
        values << (v.isNull() ? QStringLiteral("<null>") : v.toText());
      }
      records << values.join(QLatin1Char('|'));
    }
    return records;
  }
  static std::string Lines(const QStringList& records) {
    return records.join(QLatin1Char('\n')).toStdString();
  }
  static QStringList Query(Database& db, const QString& jet) {
    return Records(*db.CreateQueryDef(QString(), jet).OpenRecordset());
  }
  // The positions FindFirst and FindNext visit in a set sorted by name, or in the table's
  // own set (in key order, where PostgreSQL is asked for the least matching key).
  static std::vector<int64_t> Finds(Database& db, const QString& criterion, bool table = false) {
    auto rs = table ? db.OpenRecordset("people")
                    : db.CreateQueryDef(QString(), "SELECT * FROM People ORDER BY Name, id")
                          .OpenRecordset();
    std::vector<int64_t> visited;
    for (rs->FindFirst(criterion); !rs->NoMatch(); rs->FindNext(criterion)) {
      visited.push_back(rs->AbsolutePosition());
      if (visited.size() > 20) break;
    }
    return visited;
  }
  // Each query reads the same records from both engines, and some.
  void ExpectSameRecords(std::initializer_list<const char*> queries, Database* pg = nullptr) {
    for (const char* query : queries) {
      const QStringList expected = Query(*sqlite_, query);
      EXPECT_FALSE(expected.isEmpty()) << query;
      EXPECT_EQ(Lines(Query(pg ? *pg : *pg_, query)), Lines(expected)) << query;
    }
  }
  // Each criterion finds the same records on both engines, and some.
  void ExpectSameFinds(std::initializer_list<const char*> criteria) {
    for (const char* criterion : criteria) {
      for (const bool table : {false, true}) {
        const std::vector<int64_t> expected = Finds(*sqlite_, criterion, table);
        EXPECT_FALSE(expected.empty()) << criterion;
        EXPECT_EQ(Finds(*pg_, criterion, table), expected) << criterion << " table " << table;
      }
    }
  }

  QTemporaryDir dir_;
  QString file_;
  ServedDatabases served_;
  std::unique_ptr<Database> sqlite_;
  std::unique_ptr<Database> pg_;
};

TEST_F(PgJetSqlTest, SortTextsOrderAsOnAFileWithoutCaseAndNullsFirst) {
  ExpectSameRecords(
      {"SELECT * FROM [people] ORDER BY name, id", "SELECT * FROM people ORDER BY Name DESC, id",
       "SELECT * FROM people ORDER BY age DESC, name", "SELECT * FROM people ORDER BY born, id",
       "SELECT * FROM People ORDER BY [NAME] ASC, id DESC;"});
  // ASCII letters without case, then by code point (a file's NOCASE): \u00c9 after z.
  EXPECT_EQ(Query(*pg_, "SELECT name FROM people ORDER BY name DESC").value(0), "\u00c9mile");
}

TEST_F(PgJetSqlTest, FindCriteriaMatchAsOnAFile) {
  ExpectSameFinds({"name Like 'a*'",         "name Like '*N'",
                   "name = 'BOB'",           "name <> 'bob'",
                   "name <> '\u00e9mile'",   "age > 15",
                   "name Like '[!a-c]*'",    "name Like '*''*'",
                   "name Like '*%*'",        "name Like '*_*'",
                   "name Like '?nn'",        "name Like 'R#D#'",
                   "age Like '1?'",          "age Not Like '*3'",
                   "name & '\\' Like '*\\'", "name Like '[[]*'",
                   "name Like 'a[*]b'",      "name Not Like '*e*'",
                   "name Like 'emile'",      "born >= #1/1/2000# And age < 40",
                   "name & age Like 'ann*'", "Len(name) = 4",
                   "UCase(name) = 'CARL'",   "name > 'b'",
                   "age \\ 10 = 1",          "age Mod 10 = 0",
                   "(age > 15) = True",      "name Is Null"});
  // Nulls first, '[' before letters, case ignored, \u00c9 after z.
  EXPECT_EQ(Finds(*pg_, "name Like 'a*'"), (std::vector<int64_t>{3, 4, 5}));
  EXPECT_EQ(Finds(*pg_, "name Like '*mile'"), (std::vector<int64_t>{8, 12}));
  // A find on a set without a key (a view) matches its rows by their values.
  Exec("CREATE VIEW grown AS SELECT name, age FROM people WHERE age >= 10");
  auto rs = pg_->OpenRecordset("grown");
  rs->FindFirst("name Like 'o*'");
  ASSERT_FALSE(rs->NoMatch());
  EXPECT_EQ(rs->Value(0).toText(), "O'Brien");
  rs->FindNext("name Like 'o*'");
  EXPECT_TRUE(rs->NoMatch());
  EXPECT_EQ(rs->Value(0).toText(), "O'Brien");  // stays on the last match
}

TEST_F(PgJetSqlTest, QueriesReadAsOnAFile) {
  ExpectSameRecords({
      "SELECT id, name FROM people WHERE name = 'ann' ORDER BY id",
      "SELECT TOP 3 name, age FROM people ORDER BY age DESC",
      "SELECT id, name & '-' & age AS tag FROM people ORDER BY id",
      "SELECT id, age Mod 3 AS m, age \\ 4 AS d FROM people WHERE age Is Not Null ORDER BY id",
      "SELECT id FROM people WHERE born > #12/31/1999 11:00 PM# ORDER BY id",
      "SELECT id, UCase(name) AS u, LCase(name) AS l, Len(name) AS n, Mid(name, 2, 2) AS m, "
      "Left(name, 1) AS a, Right(name, 2) AS b, InStr(name, 'N') AS i FROM people ORDER BY "
      "id",
      "SELECT id, Nz(age, 0) AS n, IIf(age > 15, 'old', 'young') AS o, Year(born) AS y, "
      "Month(born) AS mo, Day(born) AS d, Hour(born) AS h FROM people ORDER BY id",
      "SELECT id, CInt(age / 4) AS r, CStr(age) AS s, Val(' 12 abc') AS v FROM people "
      "ORDER BY id",
      "SELECT DISTINCTROW name FROM People WHERE name Like '[a-c]*' AND age > 15 ORDER BY "
      "name",
      "SELECT count(*) AS n FROM people WHERE (age > 10) = False",
      "SELECT id, (age + 1) \\ 2 AS h FROM people WHERE (age) \\ 10 = 1 ORDER BY id",
      "SELECT DISTINCTROW (id) FROM people WHERE age Mod (4) = 0 ORDER BY id",
  });
  EXPECT_EQ(Query(*pg_, "SELECT id, name FROM people WHERE name = 'ann' ORDER BY id"),
            (QStringList{"2|Ann", "5|ANN"}));
  // Jet's words are names after a dot, and so is TOP without a number.
  Exec(R"(CREATE TABLE "Flags" ("Yes" int, "Top" int); INSERT INTO "Flags" VALUES (1, 2))");
  EXPECT_EQ(Query(*pg_, "SELECT f.Yes, Top FROM flags AS f"), QStringList{"1|2"});
  // DISTINCT and UNION queries PostgreSQL sorts by their output columns only: the same rows,
  // ordered by the database's collation.
  for (const char* query : {
           "SELECT DISTINCT name FROM people WHERE age > 10 ORDER BY name DESC",
           "SELECT name FROM people WHERE age < 8 UNION SELECT name FROM people WHERE age > 40 "
           "ORDER BY name",
       }) {
    QStringList expected = Query(*sqlite_, query);
    QStringList rows = Query(*pg_, query);
    expected.sort();
    rows.sort();
    EXPECT_EQ(rows, expected) << query;
  }
  // A query over something else than one table's rows is read once, read-only.
  auto rs = pg_->OpenRecordset("SELECT name, age FROM people WHERE age > 40");
  EXPECT_FALSE(rs->Updatable());
  EXPECT_EQ(Records(*rs), QStringList{"ANN|44"});
}

// Clients look fields up by name: an alias answers in the case the client wrote it, and
// each use of it (any case, ORDER BY, a subquery, a saved query) means it as on a file.
TEST_F(PgJetSqlTest, ColumnAliasesKeepTheClientsCase) {
  const auto fieldNames = [](Database& db, const QString& jet) {
    const std::unique_ptr<Recordset> rs = db.CreateQueryDef(QString(), jet).OpenRecordset();
    QStringList names;
    for (const FieldInfo& f : rs->Fields()) names << f.name;
    return names;
  };
  const std::initializer_list<const char*> queries = {
      "SELECT TOP 2 UCase([Name]) & '-' & [ID] AS Tag FROM [People] ORDER BY ID",
      "SELECT [Name] AS MyName, id AS Num FROM people WHERE ID < 5 ORDER BY num DESC",
      // An alias named as a column: ORDER BY means the alias, unless it renames the column.
      "SELECT id AS Name, name AS AGE FROM people WHERE age > 10 ORDER BY Name DESC",
      "SELECT Name AS NAME, id FROM people ORDER BY NAME, id",
      "SELECT q.Tag FROM (SELECT name & '!' AS Tag, id FROM people) AS q WHERE q.id < 3 "
      "ORDER BY q.ID",
      "SELECT id AS Yes, [name] AS [Order], CAST(age AS text) AS Text FROM people WHERE id = 2",
  };
  for (const char* query : queries) {
    EXPECT_EQ(fieldNames(*pg_, query).join(','), fieldNames(*sqlite_, query).join(',')) << query;
  }
  ExpectSameRecords(queries);
  EXPECT_EQ(fieldNames(*pg_, *queries.begin()), QStringList{"Tag"});

  pg_->CreateQueryDef("Tagged", "SELECT [Name] AS MyName, ID AS Num FROM People");
  EXPECT_EQ(pg_->QueryFieldNames("Tagged"), (QStringList{"MyName", "Num"}));
  EXPECT_EQ(Query(*pg_, "SELECT myname FROM Tagged WHERE NUM = 2"), QStringList{"Ann"});
}

// Patterns held in a table: Jet's wildcards and brackets, the regular expressions'
// special characters as plain ones, unclosed brackets, an empty and a Null pattern.
constexpr const char* kPatterns =
    "INSERT INTO patterns (id, pat) VALUES (1, 'a*'), (2, '*N'), (3, '[!a-c]*'), (4, '*''*'), "
    "(5, '*%*'), (6, '*_*'), (7, '?nn'), (8, 'R#D#'), (9, '[[]*'), (10, 'a[*]b'), (11, '*.*'), "
    "(12, '(*'), (13, '*$'), (14, '[]*'), (15, '[!]*'), (16, '*[a-]'), (17, NULL), (18, ''), "
    "(19, '*^*'), (20, '\\*'), (21, '[x]'), (22, '*[!0-9]'), (23, '[a-c-e]*'), (24, '*{1}*'), "
    "(25, '\u00e9*'), (26, '*|*'), (27, '+*')";

TEST_F(PgJetSqlTest, LikeWithAPatternFromAColumnOrAnExpressionMatchesAsOnAFile) {
  ExecOnFile(file_, "CREATE TABLE patterns (id INTEGER PRIMARY KEY, pat VARCHAR(20))");
  ExecOnFile(file_, QString::fromUtf8(kPatterns));
  Exec("CREATE TABLE patterns (id int PRIMARY KEY, pat varchar(20))");
  Exec(QString::fromUtf8(kPatterns));
  // The regular expressions' special characters in the values too.
  const QString more = QStringLiteral(
      "INSERT INTO people (name, age) VALUES ('(x', 1), ('x$', 2), ('a^b', 3), ('\\*', 4), "
      "('a|b', 5), ('+1', 6), ('a{1}', 7)");
  Exec(more);
  ExecOnFile(file_, more);
  sqlite_ = OpenDatabase(file_);
  pg_ = served_.Open(Location());
  ExpectSameRecords(
      {"SELECT p.id, q.id FROM people AS q, patterns AS p WHERE q.name Like p.pat ORDER BY "
       "p.id, q.id",
       "SELECT p.id, q.id FROM people AS q, patterns AS p WHERE q.name Not Like p.pat AND "
       "p.id < 12 ORDER BY p.id, q.id",
       "SELECT id FROM people WHERE name Like '*' & 'n' ORDER BY id",
       "SELECT id FROM people WHERE name Like Left(name, 1) & '*' & Right(name, 1) ORDER BY id",
       "SELECT id FROM people WHERE name Like age & '*' Or age Like '*' & age ORDER BY id"});
  EXPECT_EQ(Query(*pg_,
                  "SELECT q.name FROM people AS q, patterns AS p WHERE p.id = 13 AND "
                  "q.name Like p.pat"),
            QStringList{"x$"});
  ExpectSameFinds({"name Like name", "name Like UCase(Left(name, 2)) & '*'", "name Like '*' & 'N'",
                   "age Like Left(age, 1) & '#'", "name Not Like '*' & Mid(name, 3, 1)"});
  EXPECT_EQ(Finds(*pg_, "name Like Null"), Finds(*sqlite_, "name Like Null"));
  // A saved query keeps its computed pattern.
  pg_->CreateQueryDef("Starts", "SELECT name FROM people WHERE name Like Left(name, 1) & 'nn'");
  EXPECT_EQ(Records(*pg_->OpenRecordset("Starts")).size(), 2);
  EXPECT_EQ(ErrorNumber([&] { pg_->OpenRecordset("people")->FindFirst("name Like"); }),
            engine_error::kSyntaxError);
}

TEST_F(PgJetSqlTest, ComputedPatternsHoldWhereTheDatabaseReadsBackslashEscapesInTexts) {
  const QString database = qEnvironmentVariable("PGDATABASE", "postgres");
  Exec(QStringLiteral("ALTER DATABASE \"%1\" SET standard_conforming_strings = off").arg(database));
  struct Reset {
    QString database;
    ~Reset() {
      PgExec(
          QStringLiteral("ALTER DATABASE \"%1\" RESET standard_conforming_strings").arg(database));
    }
  } reset{database};
  ServedDatabases fresh;  // connections made with the database's setting
  auto pg = fresh.Open(Location());
  ExpectSameRecords({"SELECT id FROM people WHERE name Like '*' & '%' & '*' ORDER BY id",
                     "SELECT id FROM people WHERE name Like Left(name, 1) & '*' ORDER BY id",
                     "SELECT id FROM people WHERE name Like '[[]' & '*' ORDER BY id"},
                    pg.get());
}

TEST_F(PgJetSqlTest, FunctionsTakeNumbersAndDateTextsAsOnAFile) {
  ExpectSameRecords({
      "SELECT id, InStr(1, name, 'n') AS a, InStr(2, name, 'N') AS b, InStr(3, name, 'n') "
      "AS c, InStr(0, name, 'b') AS d, InStr(40, name, 'a') AS e, InStr(2, name, '') AS f, "
      "InStr(age, name, 'a') AS g, InStr(Null, name, 'o') AS h FROM people ORDER BY id",
      "SELECT id, Left(age, 1) AS a, Right(age * 10, 2) AS b, Mid(age, 2) AS c, "
      "Mid(12345, 2, 3) AS d, Len(age) AS e, UCase(born) AS f, Left(12345, 2) AS g FROM "
      "people ORDER BY id",
      "SELECT id, Left(name, -1) AS a, Right(name, -2) AS b, Mid(name, 0, 2) AS c, "
      "Mid(name, 2, -1) AS d, Left(name, 1.7) AS e, Mid(name, -3) AS f FROM people "
      "ORDER BY id",
      "SELECT id, Nz(age) AS a, Nz(name) AS b, Nz(born) AS c FROM people ORDER BY id",
      "SELECT id, Year('2020-01-02') AS y, Month('2020-01-02 03:04:05') AS m, "
      "Hour('2020-01-02 03:04:05') AS h, Day(born) AS d, Val(age) AS v, Val('  -1.5e2x') "
      "AS w, Val(name) AS x FROM people ORDER BY id",
  });
  ExpectSameFinds({"InStr(2, name, 'n') > 0", "Left(age, 1) = '1'", "Nz(name) = ''",
                   "Year(born) = Year('2000-06-07')", "InStr(1, name & age, '2') = 2"});
}

TEST_F(PgJetSqlTest, ValuesAreParametersAndQueriesMayOnlyRead) {
  JetPgTarget target;
  const QString sql = TranslateJetSqlForPostgres(
      "SELECT * FROM people WHERE name = 'x''; DROP TABLE people; --' OR born = #1/2/2000#",
      target);
  EXPECT_FALSE(sql.contains("DROP")) << sql.toStdString();
  ASSERT_EQ(target.params.size(), 2u);
  EXPECT_EQ(*target.params[0], "x'; DROP TABLE people; --");
  EXPECT_EQ(*target.params[1], "2000-01-02 00:00:00");
  EXPECT_EQ(Query(*pg_, "SELECT id FROM people WHERE name = 'x''; DROP TABLE people; --'"),
            QStringList{});
  for (const char* refused :
       {"DELETE FROM people", "UPDATE people SET age = 1", "SELECT 1; DELETE FROM people",
        "SELECT * INTO copied FROM people", "SELECT * FROM people FOR UPDATE"}) {
    const int32_t error =
        ErrorNumber([&] { pg_->CreateQueryDef(QString(), refused).OpenRecordset(); });
    EXPECT_TRUE(error == engine_error::kReadOnly || error == engine_error::kSyntaxError)
        << refused << ": " << error;
  }
  // Only functions that compute a value are called, however named: these move a sequence,
  // change the session, write large objects (READ ONLY lets them), end other sessions.
  for (const char* calling :
       {"SELECT nextval('people_id_seq') AS n", "SELECT pg_catalog.nextval('people_id_seq') AS n",
        "SELECT [nextval]('people_id_seq') AS n", "SELECT id FROM people WHERE SetVal(1, 2) > 0",
        "SELECT set_config('client_encoding', 'LATIN1', false) AS e",
        "SELECT lo_from_bytea(0, 'x') AS o", "SELECT * FROM people, lo_creat(-1)",
        "SELECT pg_terminate_backend(pid) AS t FROM pg_stat_activity"}) {
    EXPECT_EQ(ErrorNumber([&] { pg_->CreateQueryDef(QString(), calling); }),
              engine_error::kUnknownFunction)
        << calling;
  }
  auto rs = pg_->OpenRecordset("people");
  EXPECT_EQ(ErrorNumber([&] { rs->FindFirst("id = nextval('people_id_seq')"); }),
            engine_error::kUnknownFunction);
  EXPECT_EQ(Value("SELECT count(*) FROM people"), "13");
  EXPECT_EQ(Value("SELECT last_value FROM people_id_seq"), "13");
  EXPECT_EQ(Value("SELECT count(*) FROM pg_largeobject_metadata"), "0");
  // A view of the database's own may change the session: the session is reset after it.
  Exec(
      "CREATE SCHEMA IF NOT EXISTS elsewhere; CREATE TABLE IF NOT EXISTS elsewhere.t (x int);"
      "CREATE VIEW unsettling AS SELECT set_config('search_path', 'elsewhere', false) AS a, "
      "set_config('DateStyle', 'SQL, DMY', false) AS b, set_config('client_encoding', "
      "'LATIN1', false) AS c, set_config('default_transaction_read_only', 'on', false) AS d, "
      "set_config('statement_timeout', '0', false) AS e");
  EXPECT_EQ(pg_->OpenRecordset("unsettling")->RecordCount(), 1);
  EXPECT_EQ(pg_->TableDefs().size(), 1u);
  EXPECT_EQ(Query(*pg_, "SELECT born FROM people WHERE id = 1"),
            QStringList{"2001-05-06 00:00:00"});
  rs->Edit();
  rs->SetValue(1, Variant(QString::fromUtf8("Caf\u00e9")));
  rs->Update();
  EXPECT_EQ(Value("SELECT name FROM people WHERE id = 1"), QString::fromUtf8("Caf\u00e9"));
  // Comments are read as Jet reads them (PostgreSQL would nest these); $ is PostgreSQL's.
  EXPECT_EQ(Query(*pg_, "SELECT id FROM people /* /* */ WHERE id = 1"), QStringList{"1"});
  for (const char* hiding : {"SELECT $1 FROM people", "SELECT $$x$$ FROM people"}) {
    EXPECT_EQ(ErrorNumber([&] { pg_->CreateQueryDef(QString(), hiding).OpenRecordset(); }),
              engine_error::kSyntaxError)
        << hiding;
  }
  // A client's query, and a view however it is read, are held to the query time limit.
  Exec("CREATE VIEW slow AS SELECT pg_sleep(20)::text AS s");
  pg_->SetQueryTimeLimit(300);
  const QueryDef slow = pg_->CreateQueryDef(QString(), "SELECT s FROM slow");
  EXPECT_EQ(ErrorNumber([&] { slow.OpenRecordset(); }), engine_error::kGeneric);
  EXPECT_EQ(ErrorNumber([&] { pg_->OpenRecordset("slow"); }), engine_error::kGeneric);
  pg_->SetQueryTimeLimit(kClientWorkLimitMs);
}

TEST_F(PgJetSqlTest, SavedQueriesAreViewsAndARoleWithoutTheRightIsToldSo) {
  const QueryDef saved = pg_->CreateQueryDef("Young",
                                             "SELECT name FROM people WHERE age < 10 "
                                             "AND name <> 'a*b' ORDER BY name");
  EXPECT_EQ(Value("SELECT count(*) FROM pg_views WHERE viewname = 'Young'"), "1");
  EXPECT_EQ(Records(*saved.OpenRecordset()), (QStringList{"100%_off", "[x]", "R2D2"}));
  EXPECT_EQ(ErrorNumber([&] { pg_->CreateQueryDef("PEOPLE", "SELECT * FROM people"); }),
            engine_error::kAlreadyExists);
  pg_->DeleteQueryDef("young");
  EXPECT_EQ(Value("SELECT count(*) FROM pg_views WHERE viewname = 'Young'"), "0");
  EXPECT_EQ(ErrorNumber([&] { pg_->DeleteQueryDef("young"); }), engine_error::kItemNotFound);
  EXPECT_EQ(ErrorNumber([&] { pg_->DeleteQueryDef("people"); }), engine_error::kItemNotFound);

  // A role that may read and write the rows but not create in the schema.
  Exec(
      "DROP ROLE IF EXISTS corvane_reader; CREATE ROLE corvane_reader LOGIN PASSWORD 'pw';"
      "GRANT USAGE ON SCHEMA public TO corvane_reader;"
      "GRANT SELECT, INSERT, UPDATE, DELETE ON people TO corvane_reader");
  const QString host = qEnvironmentVariable("PGHOST");
  const QString location =
      QStringLiteral("postgresql://corvane_reader@%1:%2/%3")
          .arg(QString(QUrl::toPercentEncoding(host)), qEnvironmentVariable("PGPORT"),
               qEnvironmentVariable("PGDATABASE", "postgres"));
  std::unique_ptr<Database> limited;
  try {
    // The pool keeps the connection it opens with: the cluster's password comes back at once.
    const ScopedEnvironment password("PGPASSWORD", "pw");
    limited = served_.Open(location);
  } catch (const EngineError& error) {
    GTEST_SKIP() << "the cluster does not let the test role log on: "
                 << error.description().toStdString();
  }
  try {
    limited->CreateQueryDef("Mine", "SELECT * FROM people");
    ADD_FAILURE() << "a role without CREATE saved a view";
  } catch (const EngineError& error) {
    EXPECT_EQ(error.number(), engine_error::kReadOnly);
    EXPECT_TRUE(error.description().contains("CREATE privilege"))
        << error.description().toStdString();
  }
  // Its temporary queries and finds still work.
  EXPECT_EQ(Query(*limited, "SELECT name FROM people WHERE age = 44").size(), 1);
  limited.reset();
  PgExecOn(PgSuperuserLocation(), "DROP OWNED BY corvane_reader; DROP ROLE corvane_reader");
}

}  // namespace
}  // namespace corvane::test
