// Sets keep a one-column integer key as numbers: every key must come back as the same
// value when a record is read, saved, found or deleted by it.
#include "engine/database.h"
#include "pg_fixture.h"

namespace corvane::test {
namespace {

class PgKeysetTest : public PgTest {
 protected:
  std::unique_ptr<Database> Open() { return served_.Open(Location()); }
  ServedDatabases served_;
};

TEST_F(PgKeysetTest, BigAndNegativeIntegerKeysSurviveEveryStepOfASet) {
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
