#include "access/pg_import_values.h"

#include <cmath>

namespace corvane {

namespace {

QByteArray RealText(double value) {
  if (std::isnan(value)) return QByteArrayLiteral("NaN");
  if (std::isinf(value)) return QByteArray(value > 0 ? "Infinity" : "-Infinity");
  return QByteArray::number(value, 'g', 17);
}

}  // namespace

bool ImportParam(AccessType type, const AccessValue& value, PgParam* param, QString* error) {
  switch (value.kind) {
    case AccessValue::Kind::kNull:
      *param = std::nullopt;
      return true;
    case AccessValue::Kind::kInteger:
      if (type == AccessType::kBoolean) {
        *param = QByteArray(value.integer ? "true" : "false");
      } else {
        *param = QByteArray::number(static_cast<qlonglong>(value.integer));
      }
      return true;
    case AccessValue::Kind::kReal:
      // A file keeps such a date as its day number; a timestamp column cannot.
      if (type == AccessType::kDateTime) {
        *error = QStringLiteral(
                     "the Date/Time value %1 (days since 30 December 1899) is no "
                     "calendar date PostgreSQL can store")
                     .arg(value.real);
        return false;
      }
      *param = RealText(value.real);
      return true;
    case AccessValue::Kind::kText:
      // Parameters travel as C strings: the rest of the text would be lost silently.
      if (value.bytes.contains('\0')) {
        *error = QStringLiteral(
            "a text holds the character U+0000, which PostgreSQL cannot "
            "store");
        return false;
      }
      *param = value.bytes;
      return true;
    case AccessValue::Kind::kBlob:
      *param = "\\x" + value.bytes.toHex();
      return true;
  }
  return false;
}

}  // namespace corvane
