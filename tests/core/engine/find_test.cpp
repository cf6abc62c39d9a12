#include "engine_fixture.h"

namespace corvane::test {
namespace {

using namespace engine_error;

class FindTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    MakePeople({"Jones", "Smith", "Brown", "Smithers", "Anderson"});
  }
};

TEST_F(FindTest, FindFirstAndNextWalkTheMatchesInSetOrder) {
  auto db = Open();
  auto rs = db->OpenRecordset(QStringLiteral("people"));
  rs->MoveLast();
  rs->FindFirst(QStringLiteral("name Like 'smi*'"));
  ASSERT_FALSE(rs->NoMatch());
  EXPECT_EQ(rs->AbsolutePosition(), 1);
  rs->FindNext(QStringLiteral("name Like 'smi*'"));
  ASSERT_FALSE(rs->NoMatch());
  EXPECT_EQ(rs->Value(1).toText(), QStringLiteral("Smithers"));
  rs->FindNext(QStringLiteral("name Like 'smi*'"));
  EXPECT_TRUE(rs->NoMatch());
  EXPECT_EQ(rs->AbsolutePosition(), 3);  // stays on the last match

  rs->FindFirst(QStringLiteral("name Like '*son'"));
  EXPECT_EQ(rs->Value(1).toText(), QStringLiteral("Anderson"));
  rs->FindFirst(QStringLiteral("age = 30"));
  EXPECT_EQ(rs->Value(1).toText(), QStringLiteral("Brown"));
  rs->FindFirst(QStringLiteral("name Like 'zz*'"));
  EXPECT_TRUE(rs->NoMatch());
}

TEST_F(FindTest, FindsFollowTheSetsOwnOrder) {
  auto db = Open();
  auto rs = db->CreateQueryDef(QString(), QStringLiteral("SELECT * FROM people ORDER BY name DESC"))
                .OpenRecordset();
  rs->FindFirst(QStringLiteral("name Like 'S*'"));
  EXPECT_EQ(rs->Value(1).toText(), QStringLiteral("Smithers"));
  EXPECT_EQ(rs->AbsolutePosition(), 0);
  // A record added through the set is found at the set's end.
  rs->AddNew();
  rs->SetValue(1, Variant(QStringLiteral("Smalls")));
  rs->Update();
  rs->FindNext(QStringLiteral("name Like 'S*'"));
  EXPECT_EQ(rs->Value(1).toText(), QStringLiteral("Smith"));
  rs->FindNext(QStringLiteral("name Like 'S*'"));
  EXPECT_EQ(rs->Value(1).toText(), QStringLiteral("Smalls"));
}

TEST_F(FindTest, UnknownNamesAndBadSyntaxAreDistinguished) {
  auto db = Open();
  auto rs = db->OpenRecordset(QStringLiteral("people"));
  EXPECT_EQ(ErrorNumber([&] { rs->FindFirst(QStringLiteral("nosuch Like 'a*'")); }), kUnknownName);
  EXPECT_EQ(ErrorNumber([&] { rs->FindFirst(QStringLiteral("name Like 'O'Brien*'")); }),
            kSyntaxError);
  // Over a read-only set, criteria name the set's own columns.
  auto ro = db->OpenRecordset(QStringLiteral("SELECT name AS who, age * 2 AS twice FROM people"));
  ro->FindFirst(QStringLiteral("twice = 60"));
  EXPECT_EQ(ro->Value(0).toText(), QStringLiteral("Brown"));
  EXPECT_EQ(ErrorNumber([&] { ro->FindFirst(QStringLiteral("name Like 'B*'")); }), kUnknownName);
}

}  // namespace
}  // namespace corvane::test
