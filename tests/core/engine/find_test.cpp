// FindFirst and FindNext over Jet criteria, in the set's own order.
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
  auto rs = db->OpenRecordset("people");
  rs->MoveLast();
  rs->FindFirst("name Like 'smi*'");
  ASSERT_FALSE(rs->NoMatch());
  EXPECT_EQ(rs->AbsolutePosition(), 1);
  rs->FindNext("name Like 'smi*'");
  EXPECT_EQ(rs->Value(1).toText(), "Smithers");
  rs->FindNext("name Like 'smi*'");
  EXPECT_TRUE(rs->NoMatch());
  EXPECT_EQ(rs->AbsolutePosition(), 3);  // stays on the last match
  rs->FindFirst("name Like '*son'");
  EXPECT_EQ(rs->Value(1).toText(), "Anderson");
  rs->FindFirst("age = 30");
  EXPECT_EQ(rs->Value(1).toText(), "Brown");

  // A sorted set is searched in its order; a record added through it is found at its end.
  auto sorted =
      db->CreateQueryDef(QString(), "SELECT * FROM people ORDER BY name DESC").OpenRecordset();
  sorted->FindFirst("name Like 'S*'");
  EXPECT_EQ(sorted->Value(1).toText(), "Smithers");
  EXPECT_EQ(sorted->AbsolutePosition(), 0);
  sorted->AddNew();
  sorted->SetValue(1, Variant(QStringLiteral("Smalls")));
  sorted->Update();
  sorted->FindNext("name Like 'S*'");
  EXPECT_EQ(sorted->Value(1).toText(), "Smith");
  sorted->FindNext("name Like 'S*'");
  EXPECT_EQ(sorted->Value(1).toText(), "Smalls");
}

TEST_F(FindTest, UnknownNamesAndBadSyntaxAreDistinguished) {
  auto db = Open();
  auto rs = db->OpenRecordset("people");
  EXPECT_EQ(ErrorNumber([&] { rs->FindFirst("nosuch Like 'a*'"); }), kUnknownName);
  EXPECT_EQ(ErrorNumber([&] { rs->FindFirst("name Like 'O'Brien*'"); }), kSyntaxError);
  // Over a read-only set, criteria name the set's own columns.
  auto ro = db->OpenRecordset("SELECT name AS who, age * 2 AS twice FROM people");
  ro->FindFirst("twice = 60");
  EXPECT_EQ(ro->Value(0).toText(), "Brown");
  EXPECT_EQ(ErrorNumber([&] { ro->FindFirst("name Like 'B*'"); }), kUnknownName);
}

}  // namespace
}  // namespace corvane::test
