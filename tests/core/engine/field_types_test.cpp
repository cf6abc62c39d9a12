#include <QDateTime>

#include "engine/field_type.h"
#include "engine_fixture.h"

namespace corvane::test {
namespace {

using namespace engine_error;

TEST(VariantTest, KeepsNullApartFromEmptyTextAndTakesEveryIntegerType) {
  EXPECT_TRUE(Variant::Null().isNull());
  EXPECT_FALSE(Variant(QString()).isNull());
  EXPECT_TRUE(Variant().isEmpty());
  EXPECT_EQ(Variant(qint64{1} << 40).toInteger(), int64_t{1} << 40);
  EXPECT_EQ(Variant(7L).kind(), Variant::Kind::kInteger);
  EXPECT_EQ(Variant(true).kind(), Variant::Kind::kBoolean);
  EXPECT_EQ(Variant(QStringLiteral(" yes ")).toBool(), true);
}

TEST(FieldTypeTest, DeclaredTypesMapToTheirCodes) {
  const struct {
    const char* declared;
    FieldType type;
    int32_t size;
  } cases[] = {
      {"BOOLEAN", FieldType::kBoolean, 1},      {"bit", FieldType::kBoolean, 1},
      {"YESNO", FieldType::kBoolean, 1},        {"TINYINT", FieldType::kByte, 1},
      {"SMALLINT", FieldType::kInteger, 2},     {"INT2", FieldType::kInteger, 2},
      {"INTEGER", FieldType::kLong, 4},         {"COUNTER", FieldType::kLong, 4},
      {"MONEY", FieldType::kCurrency, 8},       {"FLOAT4", FieldType::kSingle, 4},
      {"REAL", FieldType::kDouble, 8},          {"DECIMAL(10,2)", FieldType::kDouble, 8},
      {"DATETIME", FieldType::kDateTime, 8},    {"TIMESTAMP", FieldType::kDateTime, 8},
      {"VARCHAR(40)", FieldType::kText, 40},    {"nvarchar ( 12 )", FieldType::kText, 12},
      {"TEXT(5)", FieldType::kText, 5},         {"TEXT", FieldType::kMemo, 0},
      {"LONGTEXT", FieldType::kMemo, 0},        {"BLOB", FieldType::kLongBinary, 0},
      {"OLEOBJECT", FieldType::kLongBinary, 0}, {"VARBINARY(16)", FieldType::kBinary, 16},
      {"GUID", FieldType::kGuid, 16},
  };
  for (const auto& c : cases) {
    int32_t size = -1;
    EXPECT_EQ(FieldTypeFromDeclared(QLatin1String(c.declared), &size), c.type) << c.declared;
    EXPECT_EQ(size, c.size) << c.declared;
  }
}

class StoredTypesTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    Exec(QStringLiteral(
        "CREATE TABLE t (id COUNTER PRIMARY KEY, flag YESNO, small SMALLINT, big LONG, "
        "tiny BYTE, price CURRENCY, born DATETIME, code VARCHAR(5) NOT NULL UNIQUE, "
        "note MEMO, must LONG NOT NULL, fill LONG NOT NULL DEFAULT 7)"));
  }
  // Adds one record with the given assignments (field name -> value).
  void Add(Recordset& rs, const std::vector<std::pair<const char*, Variant>>& values) {
    rs.AddNew();
    for (const auto& [name, value] : values) rs.SetValue(rs.FieldIndex(QLatin1String(name)), value);
    rs.Update();
  }
};

TEST_F(StoredTypesTest, FieldsDescribeTheTable) {
  Exec(QStringLiteral("CREATE TABLE a (n INTEGER PRIMARY KEY AUTOINCREMENT, x TEXT)"));
  auto db = Open();
  auto rs = db->OpenRecordset(QStringLiteral("t"));
  const auto& f = rs->Fields();
  ASSERT_EQ(f.size(), 11u);
  EXPECT_EQ(f[0].attributes, kAutoNumberAttributes);
  EXPECT_NE(f[1].attributes, kAutoNumberAttributes);
  EXPECT_EQ(f[7].type, FieldType::kText);
  EXPECT_EQ(f[7].size, 5);
  EXPECT_EQ(f[7].sourceField, QStringLiteral("code"));
  EXPECT_TRUE(f[9].required);
  EXPECT_FALSE(f[10].required);
  auto a = db->OpenRecordset(QStringLiteral("SELECT n AS number, x FROM a"));
  EXPECT_TRUE(a->Fields()[0].autoNumber());
  EXPECT_EQ(a->Fields()[0].name, QStringLiteral("number"));
  EXPECT_EQ(a->Fields()[0].sourceField, QStringLiteral("n"));
}

TEST_F(StoredTypesTest, ValuesAreStoredInTheirDeclaredForm) {
  auto db = Open();
  auto rs = db->OpenRecordset(QStringLiteral("t"));
  Add(*rs, {{"flag", Variant(true)},
            {"price", Variant(12.345678)},
            {"born", Variant(QDateTime(QDate(2024, 2, 29), QTime(13, 5, 9)))},
            {"code", Variant(QStringLiteral("abc"))},
            {"must", Variant(QStringLiteral("41.5"))},
            {"small", Variant(2.5)}});
  EXPECT_EQ(Query(QStringLiteral("SELECT flag FROM t")).toInt(), 1);
  EXPECT_DOUBLE_EQ(Query(QStringLiteral("SELECT price FROM t")).toDouble(), 12.3457);
  EXPECT_EQ(Query(QStringLiteral("SELECT born FROM t")).toString(),
            QStringLiteral("2024-02-29 13:05:09"));
  EXPECT_EQ(Query(QStringLiteral("SELECT must FROM t")).toInt(), 42);  // halves to even
  EXPECT_EQ(Query(QStringLiteral("SELECT small FROM t")).toInt(), 2);
  EXPECT_EQ(Query(QStringLiteral("SELECT fill FROM t")).toInt(), 7);
  EXPECT_EQ(Query(QStringLiteral("SELECT id FROM t")).toInt(), 1);  // COUNTER numbered

  rs->MoveFirst();
  EXPECT_EQ(rs->Value(1).kind(), Variant::Kind::kBoolean);
  EXPECT_TRUE(rs->Value(1).toBool());
  EXPECT_EQ(rs->Value(6).toDateTime(), WallClock(QDate(2024, 2, 29), QTime(13, 5, 9)));
  EXPECT_TRUE(rs->Value(8).isNull());  // Null stays apart from the empty text

  Exec(QStringLiteral("UPDATE t SET born = '1999-12-31'"));
  rs->MoveFirst();
  EXPECT_EQ(rs->Value(6).toDateTime(), WallClock(QDate(1999, 12, 31), QTime(0, 0)));
}

TEST_F(StoredTypesTest, WritesOutsideTheDeclaredTypeAreRefused) {
  auto db = Open();
  auto rs = db->OpenRecordset(QStringLiteral("t"));
  rs->AddNew();
  auto set = [&](const char* name, const Variant& v) {
    return ErrorNumber([&] { rs->SetValue(rs->FieldIndex(QLatin1String(name)), v); });
  };
  EXPECT_EQ(set("small", Variant(32768)), kOverflow);
  EXPECT_EQ(set("small", Variant(-32768)), 0);
  EXPECT_EQ(set("big", Variant(int64_t{2147483648})), kOverflow);
  EXPECT_EQ(set("tiny", Variant(256)), kOverflow);
  EXPECT_EQ(set("tiny", Variant(-1)), kOverflow);
  EXPECT_EQ(set("code", Variant(QStringLiteral("sixsix"))), kFieldTooSmall);
  EXPECT_EQ(set("born", Variant(QStringLiteral("not a date"))), kTypeMismatch);
  EXPECT_EQ(set("big", Variant(QStringLiteral("12abc"))), kTypeMismatch);
  rs->CancelUpdate();

  // Required field left empty; then a duplicate of a unique key.
  EXPECT_EQ(ErrorNumber([&] { Add(*rs, {{"code", Variant(QStringLiteral("a"))}}); }), kRequired);
  Add(*rs, {{"code", Variant(QStringLiteral("a"))}, {"must", Variant(1)}});
  EXPECT_EQ(ErrorNumber([&] {
              Add(*rs, {{"code", Variant(QStringLiteral("a"))}, {"must", Variant(2)}});
            }),
            kDuplicateKey);
  EXPECT_EQ(Query(QStringLiteral("SELECT count(*) FROM t")).toInt(), 1);
  EXPECT_EQ(rs->RecordCount(), 1);
}

TEST_F(StoredTypesTest, SingleByteTextIsReadAsWindows1252) {
  Exec(
      QStringLiteral("INSERT INTO t (code, must, note) VALUES ('x', 1, "
                     "CAST(X'43616680E9' AS TEXT))"));
  auto db = Open();
  auto rs = db->OpenRecordset(QStringLiteral("t"));
  EXPECT_EQ(rs->Value(8).kind(), Variant::Kind::kText);
  EXPECT_EQ(rs->Value(8).toText(), QString::fromUtf8("Caf\u20ac\u00e9"));
  // A record holding such text can still be saved: the conflict check compares bytes.
  rs->Edit();
  rs->SetValue(2, Variant(3));
  rs->Update();
  EXPECT_EQ(Query(QStringLiteral("SELECT small FROM t")).toInt(), 3);
}

}  // namespace
}  // namespace corvane::test
