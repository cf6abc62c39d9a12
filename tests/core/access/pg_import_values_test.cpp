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

TEST(PgImportValues, NullsEmptyTextsYesNoBytesAndNumbersKeepTheirMeaning) {
  EXPECT_EQ(Param(AccessType::kText, AccessValue()), std::nullopt);
  // An empty text is a text, not a Null.
  EXPECT_EQ(Param(AccessType::kText, Text("")), QByteArray(""));
  EXPECT_EQ(Param(AccessType::kText, Text("Πλήθος 'x'")), QByteArray("Πλήθος 'x'"));
  AccessValue flag;
  flag.SetInteger(1);
  EXPECT_EQ(Param(AccessType::kBoolean, flag), QByteArray("true"));
  flag.SetInteger(0);
  EXPECT_EQ(Param(AccessType::kBoolean, flag), QByteArray("false"));
  EXPECT_EQ(Param(AccessType::kLong, flag), QByteArray("0"));
  AccessValue bytes;
  bytes.kind = AccessValue::Kind::kBlob;
  bytes.bytes = QByteArray("\x00\xff", 2);
  EXPECT_EQ(Param(AccessType::kOle, bytes), QByteArray("\\x00ff"));
  AccessValue real;
  real.SetReal(0.1);
  EXPECT_EQ(Param(AccessType::kDouble, real)->toDouble(), 0.1);
  real.SetReal(-std::numeric_limits<double>::infinity());
  EXPECT_EQ(Param(AccessType::kDouble, real), QByteArray("-Infinity"));
}

TEST(PgImportValues, ValuesPostgresqlCannotHoldAreRefusedNotCut) {
  // A parameter ends at its first NUL: the text would arrive shortened.
  EXPECT_TRUE(Refusal(AccessType::kMemo, Text(QByteArray("ab\0cd", 5))).contains("U+0000"));
  // A file keeps a date without a calendar date as its day number; a timestamp cannot.
  AccessValue days;
  days.SetReal(1.0e7);
  EXPECT_TRUE(Refusal(AccessType::kDateTime, days).contains("calendar date"));
}

}  // namespace
}  // namespace corvane::test
