// Access values as the parameters of an import into a server database.
#include "access/pg_import_values.h"

#include <gtest/gtest.h>

namespace corvane::test {
namespace {

AccessValue Text(const QByteArray& utf8) {
  AccessValue v;
  v.kind = AccessValue::Kind::kText;
  v.bytes = utf8;
  return v;
}

AccessValue Integer(qint64 n) {
  AccessValue v;
  v.SetInteger(n);
  return v;
}

AccessValue Real(double x) {
  AccessValue v;
  v.SetReal(x);
  return v;
}

PgParam Param(AccessType type, const AccessValue& value) {
  PgParam param = QByteArray("unset");
  QString error;
  EXPECT_TRUE(ImportParam(type, value, &param, &error)) << error.toStdString();
  return param;
}

QString Refusal(AccessType type, const AccessValue& value) {
  PgParam param;
  QString error;
  EXPECT_FALSE(ImportParam(type, value, &param, &error));
  return error;
}

TEST(PgImportValues, ValuesKeepTheirMeaningOrAreRefusedNeverCut) {
  EXPECT_EQ(Param(AccessType::kText, AccessValue()), std::nullopt);
  // An empty text is a text, not a Null.
  EXPECT_EQ(Param(AccessType::kText, Text("")), QByteArray(""));
  EXPECT_EQ(Param(AccessType::kText, Text("Πλήθος 'x'")), QByteArray("Πλήθος 'x'"));
  EXPECT_EQ(Param(AccessType::kBoolean, Integer(1)), QByteArray("true"));
  EXPECT_EQ(Param(AccessType::kBoolean, Integer(0)), QByteArray("false"));
  EXPECT_EQ(Param(AccessType::kLong, Integer(0)), QByteArray("0"));
  AccessValue bytes;
  bytes.kind = AccessValue::Kind::kBlob;
  bytes.bytes = QByteArray("\x00\xff", 2);
  EXPECT_EQ(Param(AccessType::kOle, bytes), QByteArray("\\x00ff"));
  EXPECT_EQ(Param(AccessType::kDouble, Real(0.1))->toDouble(), 0.1);
  EXPECT_EQ(Param(AccessType::kDouble, Real(-std::numeric_limits<double>::infinity())),
            QByteArray("-Infinity"));
  // Values PostgreSQL cannot hold are refused, not cut: a parameter ends at its first NUL.
  EXPECT_TRUE(Refusal(AccessType::kMemo, Text(QByteArray("ab\0cd", 5))).contains("U+0000"));
  // A file keeps a date without a calendar date as its day number; a timestamp cannot.
  EXPECT_TRUE(Refusal(AccessType::kDateTime, Real(1.0e7)).contains("calendar date"));
}

}  // namespace
}  // namespace corvane::test
