// Declared column types: what a set reports of them, what is stored in them and what
// they refuse.
#include <QDateTime>

#include "engine_fixture.h"

namespace corvane::test {
namespace {

using namespace engine_error;

class StoredTypesTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    Exec(
        "CREATE TABLE t (id COUNTER PRIMARY KEY, flag YESNO, small SMALLINT, big LONG, "
        "tiny BYTE, price CURRENCY, born DATETIME, code VARCHAR(5) NOT NULL UNIQUE, "
        "note MEMO, must LONG NOT NULL, fill LONG NOT NULL DEFAULT 7, nv nvarchar ( 12 ))");
  }
  // Adds one record with the given assignments (field name -> value).
  void Add(Recordset& rs, const std::vector<std::pair<const char*, Variant>>& values) {
    rs.AddNew();
    for (const auto& [name, value] : values) rs.SetValue(rs.FieldIndex(QLatin1String(name)), value);
    rs.Update();
  }
};

TEST_F(StoredTypesTest, ValuesAreStoredInTheirDeclaredFormAndSingleByteTextAsWindows1252) {
  auto db = Open();
  auto rs = db->OpenRecordset("t");
  Add(*rs, {{"flag", Variant(true)},
            {"price", Variant(12.345678)},
            {"born", Variant(QDateTime(QDate(2024, 2, 29), QTime(13, 5, 9)))},
            {"code", Variant(QStringLiteral("abc"))},
            {"must", Variant(QStringLiteral("41.5"))},
            {"small", Variant(2.5)}});
  EXPECT_EQ(Query("SELECT flag || '|' || price || '|' || born || '|' || must || '|' || small || "
                  "'|' || fill || '|' || id FROM t")
                .toString(),
            "1|12.3457|2024-02-29 13:05:09|42|2|7|1");  // halves to even; COUNTER numbered
  rs->MoveFirst();
  EXPECT_EQ(rs->Value(1).kind(), Variant::Kind::kBoolean);
  EXPECT_EQ(rs->Value(6).toDateTime(), WallClock(QDate(2024, 2, 29), QTime(13, 5, 9)));
  EXPECT_TRUE(rs->Value(8).isNull());  // Null stays apart from the empty text
  Exec("UPDATE t SET born = '1999-12-31'");
  rs->MoveFirst();
  EXPECT_EQ(rs->Value(6).toDateTime(), WallClock(QDate(1999, 12, 31), QTime(0, 0)));

  // Single-byte text is read as Windows-1252 and can be saved again: the conflict check
  // compares bytes.
  Exec("INSERT INTO t (code, must, note) VALUES ('x', 1, CAST(X'43616680E9' AS TEXT))");
  rs = db->OpenRecordset("t");
  rs->MoveLast();
  EXPECT_EQ(rs->Value(8).toText(), QString::fromUtf8("Caf\u20ac\u00e9"));
  rs->Edit();
  rs->SetValue(2, Variant(3));
  rs->Update();
  EXPECT_EQ(Query("SELECT small FROM t WHERE code = 'x'").toInt(), 3);
}

TEST_F(StoredTypesTest, WritesOutsideTheDeclaredTypeAreRefused) {
  auto db = Open();
  auto rs = db->OpenRecordset("t");
  rs->AddNew();
  auto set = [&](const char* name, const Variant& v) {
    return ErrorNumber([&] { rs->SetValue(rs->FieldIndex(QLatin1String(name)), v); });
  };
  EXPECT_EQ(set("small", Variant(32768)), kOverflow);
  EXPECT_EQ(set("small", Variant(-32768)), 0);
  EXPECT_EQ(set("big", Variant(int64_t{2147483648})), kOverflow);
  EXPECT_EQ(set("tiny", Variant(-1)), kOverflow);
  EXPECT_EQ(set("code", Variant(QStringLiteral("sixsix"))), kFieldTooSmall);
  EXPECT_EQ(set("nv", Variant(QStringLiteral("twelve chars"))), 0);  // a size in any spacing
  EXPECT_EQ(set("nv", Variant(QStringLiteral("thirteen char"))), kFieldTooSmall);
  EXPECT_EQ(set("born", Variant(QStringLiteral("not a date"))), kTypeMismatch);
  EXPECT_EQ(set("big", Variant(QStringLiteral("12abc"))), kTypeMismatch);
  rs->CancelUpdate();
  // A required field left empty; then a duplicate of a unique key.
  EXPECT_EQ(ErrorNumber([&] { Add(*rs, {{"code", Variant(QStringLiteral("a"))}}); }), kRequired);
  Add(*rs, {{"code", Variant(QStringLiteral("a"))}, {"must", Variant(1)}});
  EXPECT_EQ(ErrorNumber([&] {
              Add(*rs, {{"code", Variant(QStringLiteral("a"))}, {"must", Variant(2)}});
            }),
            kDuplicateKey);
  EXPECT_EQ(Query("SELECT count(*) FROM t").toInt(), 1);
  EXPECT_EQ(rs->RecordCount(), 1);
}

}  // namespace
}  // namespace corvane::test
