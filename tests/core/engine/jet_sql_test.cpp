#include "engine/jet_sql.h"

#include <random>
#include <string>

#include "engine/jet_like.h"
#include "engine_fixture.h"

namespace corvane::test {
namespace {

using namespace engine_error;

TEST(JetSqlTest, RewritesOutsideLiteralsOnly) {
  EXPECT_EQ(TranslateJetSql(QStringLiteral("SELECT [First Name] & \" \" & [Last] FROM [My Table]")),
            QStringLiteral("SELECT ifnull(\"First Name\", '') || ifnull(' ', '') || "
                           "ifnull(\"Last\", '') FROM \"My Table\""));
  EXPECT_EQ(TranslateJetSql(QStringLiteral("a & b + 1 = c")),
            QStringLiteral("ifnull(a, '') || ifnull(b + 1, '') = c"));
  EXPECT_EQ(TranslateJetSql(QStringLiteral("SELECT 'a & [b] #1/2/2000# True' -- True & x\n")),
            QStringLiteral("SELECT 'a & [b] #1/2/2000# True' -- True & x\n"));
  EXPECT_EQ(TranslateJetSql(QStringLiteral("x = \"it's\"")),
            QStringLiteral("x = 'it''s' COLLATE NOCASE"));
  EXPECT_EQ(TranslateJetSql(QStringLiteral("d >= #12/31/1999# AND t < #2000-01-02 10:30#")),
            QStringLiteral("d >= '1999-12-31 00:00:00' AND t < '2000-01-02 10:30:00'"));
  EXPECT_EQ(TranslateJetSql(QStringLiteral("a = True OR b = No OR c = yes")),
            QStringLiteral("a = 1 OR b = 0 OR c = 1"));
  EXPECT_EQ(TranslateJetSql(QStringLiteral("a Mod 3")), QStringLiteral("a % 3"));
  EXPECT_EQ(TranslateJetSql(QStringLiteral("SELECT DISTINCTROW a FROM t")),
            QStringLiteral("SELECT a FROM t"));
  EXPECT_EQ(TranslateJetSql(QStringLiteral("Left(a, 2) & Right([b], 1)")),
            QStringLiteral("ifnull(jet_left(a, 2), '') || ifnull(jet_right(\"b\", 1), '')"));
  EXPECT_EQ(TranslateJetSql(QStringLiteral("t!name")), QStringLiteral("t.name"));
  // Integer division takes whole operands.
  EXPECT_EQ(TranslateJetSql(QStringLiteral("a \\ 2")), QStringLiteral("jet_intdiv(a, 2)"));
  EXPECT_EQ(TranslateJetSql(QStringLiteral("(a + 1) \\ Len(b)")),
            QStringLiteral("jet_intdiv((a + 1), Len(b))"));
}

TEST(JetSqlTest, TopBecomesLimitOfItsOwnSelect) {
  EXPECT_EQ(TranslateJetSql(QStringLiteral("SELECT TOP 5 * FROM t ORDER BY a;")),
            QStringLiteral("SELECT * FROM t ORDER BY a COLLATE NOCASE LIMIT 5;"));
  EXPECT_EQ(TranslateJetSql(QStringLiteral("SELECT * FROM t WHERE a IN (SELECT TOP 2 b FROM u)")),
            QStringLiteral("SELECT * FROM t WHERE a IN (SELECT b FROM u LIMIT 2)"));
}

TEST(JetSqlTest, TextsCompareAndSortWithoutCase) {
  EXPECT_EQ(TranslateJetSql(QStringLiteral("SELECT * FROM t ORDER BY [a b] DESC, Len(c), 2")),
            QStringLiteral("SELECT * FROM t ORDER BY \"a b\" COLLATE NOCASE DESC, Len(c) COLLATE "
                           "NOCASE, 2 COLLATE NOCASE"));
  EXPECT_EQ(TranslateJetSql(QStringLiteral(
                "SELECT (SELECT TOP 1 b FROM u ORDER BY b) AS f FROM t ORDER BY a;")),
            QStringLiteral("SELECT (SELECT b FROM u ORDER BY b COLLATE NOCASE LIMIT 1) AS f FROM t "
                           "ORDER BY a COLLATE NOCASE;"));
  EXPECT_EQ(TranslateJetSql(QStringLiteral("a <> 'x' AND b IN ('y')")),
            QStringLiteral("a <> 'x' COLLATE NOCASE AND b IN ('y')"));
}

TEST(JetSqlTest, UnclosedLiteralsAreSyntaxErrors) {
  for (const char* text : {"name Like 'O'Brien*'", "[open", "#1/2/2000", "/* c", "#nodate#"}) {
    EXPECT_EQ(ErrorNumber([&] { TranslateJetSql(QLatin1String(text)); }), kSyntaxError) << text;
  }
}

TEST(JetLikeTest, JetWildcards) {
  EXPECT_TRUE(JetLikeMatch(QStringLiteral("smi*"), QStringLiteral("Smith")));
  EXPECT_TRUE(JetLikeMatch(QStringLiteral("*TH"), QStringLiteral("Smith")));
  EXPECT_FALSE(JetLikeMatch(QStringLiteral("mi*"), QStringLiteral("Smith")));
  EXPECT_TRUE(JetLikeMatch(QStringLiteral("S?ith"), QStringLiteral("Smith")));
  EXPECT_TRUE(JetLikeMatch(QStringLiteral("A#"), QStringLiteral("a7")));
  EXPECT_FALSE(JetLikeMatch(QStringLiteral("A#"), QStringLiteral("ab")));
  EXPECT_TRUE(JetLikeMatch(QStringLiteral("[a-c]x"), QStringLiteral("Bx")));
  EXPECT_FALSE(JetLikeMatch(QStringLiteral("[!a-c]x"), QStringLiteral("bx")));
  EXPECT_TRUE(JetLikeMatch(QStringLiteral("[!a-c]x"), QStringLiteral("dx")));
  EXPECT_TRUE(JetLikeMatch(QStringLiteral("a[*]b"), QStringLiteral("a*b")));
  EXPECT_TRUE(JetLikeMatch(QStringLiteral("*"), QString()));
  EXPECT_TRUE(JetLikeMatch(QStringLiteral("100%"), QStringLiteral("100%")));  // % is plain
  EXPECT_FALSE(JetLikeMatch(QStringLiteral("1_0"), QStringLiteral("100")));   // _ is plain
}

TEST(JetLikeTest, AsciiBytesMatchAsTheTextsDo) {
  std::mt19937 random(3);
  const std::string alphabet = "aAbBzZ09*?#[]!-x";
  const auto draw = [&](int length) {
    std::string text;
    for (int i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
    return text;
  };
  for (int i = 0; i < 20000; ++i) {
    const std::string pattern = draw(static_cast<int>(random() % 7));
    const std::string text = draw(static_cast<int>(random() % 7));
    ASSERT_EQ(JetLikeMatchAscii(pattern, text),
              JetLikeMatch(QString::fromStdString(pattern), QString::fromStdString(text)))
        << pattern << " / " << text;
  }
}

class JetQueryTest : public EngineTest {
 protected:
  // The first value of a Jet query over the people table.
  Variant First(const QString& jet) {
    auto db = Open();
    auto rs = db->OpenRecordset(jet);
    return rs->RecordCount() ? rs->Value(0) : Variant::Null();
  }
};

TEST_F(JetQueryTest, FunctionsAndOperatorsRunInTheEngine) {
  MakePeople({"Smith", "Jones"});
  Exec(
      QStringLiteral("ALTER TABLE people ADD COLUMN born DATETIME;"
                     "UPDATE people SET born = '1985-07-04 06:30:15'"));
  auto text = [&](const char* expr) {
    return First(QStringLiteral("SELECT %1 AS v FROM people WHERE id = 1").arg(QLatin1String(expr)))
        .toText();
  };
  EXPECT_EQ(text("UCase(name) & LCase('AB')"), QStringLiteral("SMITHab"));
  EXPECT_EQ(text("Len(name)"), QStringLiteral("5"));
  EXPECT_EQ(text("Left(name, 2) & Mid(name, 2, 3) & Right(name, 2)"), QStringLiteral("Smmitth"));
  EXPECT_EQ(text("Trim('  x ') & LTrim(' y') & RTrim('z ')"), QStringLiteral("xyz"));
  EXPECT_EQ(text("InStr(name, 'IT')"), QStringLiteral("3"));
  EXPECT_EQ(text("InStr(4, 'abcabc', 'b')"), QStringLiteral("5"));
  EXPECT_EQ(text("IIf(age > 15, 'old', 'young')"), QStringLiteral("young"));
  EXPECT_EQ(text("Nz(Null, 'none') & Nz(name)"), QStringLiteral("noneSmith"));
  EXPECT_EQ(text("Null & name & Null"), QStringLiteral("Smith"));
  EXPECT_EQ(text("Year(born) & '-' & Month(born) & '-' & Day(born)"), QStringLiteral("1985-7-4"));
  EXPECT_EQ(text("Hour(born) + Minute(born) + Second(born)"), QStringLiteral("51"));
  EXPECT_EQ(text("Val(' 12.5kg') + CInt('2.5') + CLng(3.5) + CDbl('0.25')"),
            QStringLiteral("18.75"));
  EXPECT_EQ(text("CStr(age) & 'x'"), QStringLiteral("10x"));
  EXPECT_EQ(text("7 \\ 2 & '|' & 7 Mod 2"), QStringLiteral("3|1"));
  EXPECT_EQ(text("Year(Now()) >= 2024 AND Len(Date()) = 10 AND Len(Time()) = 8"),
            QStringLiteral("1"));
  EXPECT_EQ(text("born = #7/4/1985 6:30:15 AM#"), QStringLiteral("1"));
  EXPECT_EQ(text("born > #1985-07-04#"), QStringLiteral("1"));
}

TEST_F(JetQueryTest, SortsAndComparisonsIgnoreCase) {
  MakePeople({"banana", "Cherry", "apple"});
  auto db = Open();
  auto rs = db->CreateQueryDef(QString(), QStringLiteral("SELECT * FROM [people] ORDER BY name;"))
                .OpenRecordset();
  QStringList order;
  for (; !rs->Eof(); rs->MoveNext()) order << rs->Value(1).toText();
  EXPECT_EQ(order, QStringList({QStringLiteral("apple"), QStringLiteral("banana"),
                                QStringLiteral("Cherry")}));
  EXPECT_EQ(db->OpenRecordset(QStringLiteral("SELECT * FROM people WHERE name = 'CHERRY'"))
                ->RecordCount(),
            1);
  auto people = db->OpenRecordset(QStringLiteral("people"));
  people->FindFirst(QStringLiteral("name = 'APPLE'"));
  EXPECT_FALSE(people->NoMatch());
  EXPECT_EQ(people->AbsolutePosition(), 2);
}

TEST_F(JetQueryTest, LikeTopAndBooleansFilterRecords) {
  MakePeople({"Smith", "smythe", "Jones", "Smi"});
  Exec(
      QStringLiteral("ALTER TABLE people ADD COLUMN ok YESNO DEFAULT 0;"
                     "UPDATE people SET ok = 1 WHERE name = 'Jones'"));
  auto db = Open();
  EXPECT_EQ(db->OpenRecordset(QStringLiteral("SELECT * FROM people WHERE name Like 'SM?TH*'"))
                ->RecordCount(),
            2);
  EXPECT_EQ(db->OpenRecordset(QStringLiteral("SELECT * FROM people WHERE name Not Like \"*s\""))
                ->RecordCount(),
            3);
  EXPECT_EQ(db->OpenRecordset(QStringLiteral("SELECT TOP 2 * FROM people ORDER BY name DESC"))
                ->RecordCount(),
            2);
  auto yes =
      db->OpenRecordset(QStringLiteral("SELECT DISTINCTROW name FROM people WHERE ok = True"));
  ASSERT_EQ(yes->RecordCount(), 1);
  EXPECT_EQ(yes->Value(0).toText(), QStringLiteral("Jones"));
}

}  // namespace
}  // namespace corvane::test
