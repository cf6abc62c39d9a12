// Jet SQL as clients write it, run by SQLite: translation, Jet's wildcards, functions,
// comparisons without regard to case, and the confinement that lets client SQL only read.
#include "engine/jet_sql.h"

#include <random>
#include <string>

#include "engine/jet_like.h"
#include "engine_fixture.h"

namespace corvane::test {
namespace {

using namespace engine_error;

TEST(JetSqlTest, RewritesOutsideLiteralsAndCommentsOnly) {
  EXPECT_EQ(TranslateJetSql("SELECT [First Name] & \" \" FROM [My Table] WHERE t!a = True"),
            "SELECT ifnull(\"First Name\", '') || ifnull(' ', '') FROM \"My Table\" WHERE t.a = 1");
  EXPECT_EQ(TranslateJetSql("SELECT 'a & [b] #1/2/2000# True' -- True & x\n"),
            "SELECT 'a & [b] #1/2/2000# True' -- True & x\n");
  EXPECT_EQ(TranslateJetSql("x = \"it's\""), "x = 'it''s' COLLATE NOCASE");
  EXPECT_EQ(TranslateJetSql("d >= #12/31/1999# AND t < #2000-01-02 10:30#"),
            "d >= '1999-12-31 00:00:00' AND t < '2000-01-02 10:30:00'");
  // Integer division takes whole operands.
  EXPECT_EQ(TranslateJetSql("(a + 1) \\ Len(b)"), "jet_intdiv((a + 1), Len(b))");
  EXPECT_EQ(TranslateJetSql("SELECT (a + 1) \\ 2, CAST(b AS int) \\ 2 FROM t WHERE (c) \\ 2 = 1"),
            "SELECT jet_intdiv((a + 1), 2), jet_intdiv(CAST(b AS int), 2) FROM t WHERE "
            "jet_intdiv((c), 2) = 1");
  // Jet's words are names where they are aliases.
  EXPECT_EQ(TranslateJetSql("SELECT a AS Yes, b AS True FROM t WHERE c = Yes"),
            "SELECT a AS Yes, b AS True FROM t WHERE c = 1");
  // TOP belongs to its own SELECT.
  EXPECT_EQ(TranslateJetSql("SELECT * FROM t WHERE a IN (SELECT TOP 2 b FROM u)"),
            "SELECT * FROM t WHERE a IN (SELECT b FROM u LIMIT 2)");
  for (const char* text : {"name Like 'O'Brien*'", "[open", "#1/2/2000", "/* c", "#nodate#"}) {
    EXPECT_EQ(ErrorNumber([&] { TranslateJetSql(text); }), kSyntaxError) << text;
  }
}

TEST(JetSqlTest, LongRunsOfCommentsAreCopiedAndSkippedLikeOne) {
  // Within the client limit, a run of comments wherever a blank may stand changes nothing
  // but itself: the rewrites look past it.
  for (const int lines : {1, 350}) {
    QString run;
    for (int i = 0; i < lines; ++i) run += QStringLiteral("--\n");
    // ~ stands for the run.
    const auto with = [&](const char* text) {
      return QString::fromLatin1(text).replace(QLatin1Char('~'), run);
    };
    const QString jet = with(
        "SELECT TOP 3 a & ~b, x \\ ~y, Left(~c, 1) FROM t WHERE s = ~'v' AND f = ~True "
        "ORDER BY a~, b DESC~");
    ASSERT_LE(jet.size(), kClientJetSqlLimit);
    EXPECT_EQ(TranslateJetSql(jet),
              with("SELECT ifnull(a, '') || ~ifnull(b, ''), jet_intdiv(x, y), jet_left(~c, 1) "
                   "FROM t WHERE s = ~'v' COLLATE NOCASE AND f = ~1 ORDER BY a COLLATE NOCASE~, "
                   "b COLLATE NOCASE DESC LIMIT 3~"))
        << lines;
  }
  // Nested groups: each operand is found once, whole.
  EXPECT_EQ(TranslateJetSql("x & (y & (z & w))"),
            "ifnull(x, '') || ifnull((ifnull(y, '') || ifnull((ifnull(z, '') || ifnull(w, '')), "
            "'')), '')");
  EXPECT_EQ(TranslateJetSql("(7 \\ 2) \\ 2 + a \\ b \\ c"),
            "jet_intdiv((jet_intdiv(7, 2)), 2) + jet_intdiv(a, jet_intdiv(b, c))");
}

TEST(JetLikeTest, JetWildcardsAndTheirAsciiShortcut) {
  EXPECT_TRUE(JetLikeMatch("smi*", "Smith"));
  EXPECT_FALSE(JetLikeMatch("mi*", "Smith"));
  EXPECT_TRUE(JetLikeMatch("S?ith", "Smith"));
  EXPECT_TRUE(JetLikeMatch("A#", "a7"));
  EXPECT_FALSE(JetLikeMatch("A#", "ab"));
  EXPECT_TRUE(JetLikeMatch("[a-c]x", "Bx"));
  EXPECT_FALSE(JetLikeMatch("[!a-c]x", "bx"));
  EXPECT_TRUE(JetLikeMatch("a[*]b", "a*b"));
  EXPECT_TRUE(JetLikeMatch("*", ""));
  EXPECT_FALSE(JetLikeMatch("1_0", "100"));  // _ and % are plain
  std::mt19937 random(3);
  const std::string alphabet = "aAbBzZ09*?#[]!-x";
  const auto draw = [&] {
    std::string text;
    for (int i = static_cast<int>(random() % 7); i > 0; --i)
      text += alphabet[random() % alphabet.size()];
    return text;
  };
  for (int i = 0; i < 20000; ++i) {
    const std::string pattern = draw();
    const std::string text = draw();
    ASSERT_EQ(JetLikeMatchAscii(pattern, text),
              JetLikeMatch(QString::fromStdString(pattern), QString::fromStdString(text)))
        << pattern << " / " << text;
  }
}

using JetQueryTest = EngineTest;

TEST_F(JetQueryTest, FunctionsAndOperatorsRunInTheEngine) {
  MakePeople({"Smith", "Jones"});
  Exec(
      "ALTER TABLE people ADD COLUMN born DATETIME; UPDATE people SET born = '1985-07-04 "
      "06:30:15'");
  auto db = Open();
  auto text = [&](const char* expr) {
    return db->OpenRecordset(QStringLiteral("SELECT %1 AS v FROM people WHERE id = 1").arg(expr))
        ->Value(0)
        .toText();
  };
  EXPECT_EQ(text("UCase(name) & LCase('AB')"), "SMITHab");
  EXPECT_EQ(text("Left(name, 2) & Mid(name, 2, 3) & Right(name, 2)"), "Smmitth");
  EXPECT_EQ(text("Trim('  x ') & LTrim(' y') & RTrim('z ') & Len(name)"), "xyz5");
  EXPECT_EQ(text("InStr(name, 'IT') & InStr(4, 'abcabc', 'b')"), "35");
  EXPECT_EQ(text("IIf(age > 15, 'old', 'young')"), "young");
  EXPECT_EQ(text("Nz(Null, 'none') & Null & name"), "noneSmith");
  EXPECT_EQ(text("Year(born) & '-' & Month(born) & '-' & Day(born)"), "1985-7-4");
  EXPECT_EQ(text("Hour(born) + Minute(born) + Second(born)"), "51");
  EXPECT_EQ(text("Val(' 12.5kg') + CInt('2.5') + CLng(3.5) + CDbl('0.25')"), "18.75");
  EXPECT_EQ(text("7 \\ 2 & '|' & 7 Mod 2"), "3|1");
  EXPECT_EQ(text("(7 \\ 2) \\ 2 & '|' & 7 \\ (5 \\ 2)"), "1|3");
  EXPECT_EQ(text("Year(Now()) >= 2024 AND Len(Date()) = 10 AND Len(Time()) = 8"), "1");
  EXPECT_EQ(text("born = #7/4/1985 6:30:15 AM# AND born > #1985-07-04#"), "1");
}

TEST_F(JetQueryTest, SortsComparisonsAndLikeIgnoreCase) {
  MakePeople({"banana", "Cherry", "apple", "smythe"});
  Exec("ALTER TABLE people ADD COLUMN ok YESNO DEFAULT 0; UPDATE people SET ok = 1 WHERE id = 2");
  auto db = Open();
  auto rs = db->CreateQueryDef(QString(), "SELECT * FROM [people] ORDER BY name;").OpenRecordset();
  QStringList order;
  for (; !rs->Eof(); rs->MoveNext()) order << rs->Value(1).toText();
  EXPECT_EQ(order, QStringList({"apple", "banana", "Cherry", "smythe"}));
  EXPECT_EQ(db->OpenRecordset("SELECT * FROM people WHERE name = 'CHERRY'")->RecordCount(), 1);
  EXPECT_EQ(db->OpenRecordset("SELECT * FROM people WHERE name Like 'SM?TH*'")->RecordCount(), 1);
  EXPECT_EQ(db->OpenRecordset("SELECT * FROM people WHERE name Not Like \"*E\"")->RecordCount(), 2);
  EXPECT_EQ(db->OpenRecordset("SELECT TOP 2 * FROM people ORDER BY name DESC")->RecordCount(), 2);
  auto yes = db->OpenRecordset("SELECT DISTINCTROW name FROM people WHERE ok = True");
  ASSERT_EQ(yes->RecordCount(), 1);
  EXPECT_EQ(yes->Value(0).toText(), "Cherry");
  auto people = db->OpenRecordset("people");
  people->FindFirst("name = 'APPLE'");
  EXPECT_EQ(people->AbsolutePosition(), 2);
}

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

TEST_F(ConfinementTest, QuerySortAndFindTextsMayOnlyRead) {
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
  // Sort and find texts may only read too.
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

TEST_F(ConfinementTest, ClientTextsLongerThanTheLimitAreRefused) {
  auto db = Open();
  const QString select = QStringLiteral("SELECT * FROM people");
  const QString longest = select + QString(kClientJetSqlLimit - select.size(), QLatin1Char(' '));
  EXPECT_EQ(db->OpenRecordset(longest)->RecordCount(), 2);
  const QString longer = longest + QLatin1Char(' ');
  EXPECT_EQ(ErrorNumber([&] { db->OpenRecordset(longer); }), kSyntaxError);
  EXPECT_EQ(ErrorNumber([&] { db->CreateQueryDef(QString(), longer); }), kSyntaxError);
  EXPECT_EQ(ErrorNumber([&] { db->CreateQueryDef("q", longer); }), kSyntaxError);
  auto rs = db->OpenRecordset("people");
  EXPECT_EQ(ErrorNumber([&] {
              rs->FindFirst("name = 'Bob'" + QString(kClientJetSqlLimit, QLatin1Char(' ')));
            }),
            kSyntaxError);
  ExpectUnchanged();
}

TEST_F(ConfinementTest, CopiedRowsStopAtTheTemporaryStorageCapAndEndlessQueriesAtTheTimeLimit) {
  auto db = Open();
  db->SetTempStorageLimit(256 * 1024);
  const auto rows = [](int count) {
    return QStringLiteral(
               "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < %1) "
               "SELECT x, printf('%.*c', 1000, 'y') AS v FROM c")
        .arg(count);
  };
  EXPECT_EQ(db->OpenRecordset(rows(100))->RecordCount(), 100);
  try {
    db->OpenRecordset(rows(1000));
    ADD_FAILURE() << "a megabyte of rows was copied";
  } catch (const EngineError& e) {
    EXPECT_TRUE(e.description().contains("full")) << e.description().toStdString();
  }
  // What the failed copy wrote is gone again: the small copy fits as before.
  EXPECT_EQ(db->OpenRecordset(rows(100))->RecordCount(), 100);
  ExpectUnchanged();

  // On a connection of its own, an endless query is stopped at the time limit instead of
  // hanging the server, and the connection works normally afterwards.
  auto timed = Open();
  timed->SetQueryTimeLimit(300);
  const QString endless =
      "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT x FROM c";
  EXPECT_EQ(ErrorNumber([&] { timed->OpenRecordset(endless); }), kGeneric);
  auto rs = timed->OpenRecordset("people");
  EXPECT_EQ(ErrorNumber([&] { rs->FindFirst("name IN (" + endless + ")"); }), kGeneric);
  EXPECT_EQ(timed->OpenRecordset("SELECT * FROM people")->RecordCount(), 2);
}

}  // namespace
}  // namespace corvane::test
