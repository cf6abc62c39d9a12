#include "engine/field_type.h"

#include <QRegularExpression>

namespace corvane {

int32_t FieldTypeSize(FieldType type) {
  switch (type) {
    case FieldType::kBoolean:
    case FieldType::kByte:
      return 1;
    case FieldType::kInteger:
      return 2;
    case FieldType::kLong:
    case FieldType::kSingle:
      return 4;
    case FieldType::kCurrency:
    case FieldType::kDouble:
    case FieldType::kDateTime:
      return 8;
    case FieldType::kGuid:
      return 16;
    default:
      return 0;
  }
}

FieldType FieldTypeFromDeclared(const QString& declared, int32_t* size) {
  static const QRegularExpression kShape(QStringLiteral(
      "^\\s*([A-Za-z_][A-Za-z0-9_ ]*?)\\s*(?:\\(\\s*(\\d+)\\s*(?:,\\s*\\d+\\s*)?\\))?\\s*$"));
  const QRegularExpressionMatch m = kShape.match(declared);
  QString base = m.hasMatch() ? m.captured(1).toUpper() : declared.trimmed().toUpper();
  base = base.simplified();
  const bool hasLength = m.hasMatch() && !m.captured(2).isEmpty();
  const int32_t length = hasLength ? m.captured(2).toInt() : 0;

  auto result = [&](FieldType t, int32_t s) {
    if (size) *size = s;
    return t;
  };
  auto fixed = [&](FieldType t) { return result(t, FieldTypeSize(t)); };

  static const struct {
    const char* name;
    FieldType type;
  } kNames[] = {
      {"BOOLEAN", FieldType::kBoolean},
      {"BOOL", FieldType::kBoolean},
      {"BIT", FieldType::kBoolean},
      {"YESNO", FieldType::kBoolean},
      {"BYTE", FieldType::kByte},
      {"TINYINT", FieldType::kByte},
      {"SMALLINT", FieldType::kInteger},
      {"SHORT", FieldType::kInteger},
      {"INT2", FieldType::kInteger},
      {"INTEGER", FieldType::kLong},
      {"INT", FieldType::kLong},
      {"LONG", FieldType::kLong},
      {"COUNTER", FieldType::kLong},
      {"AUTOINCREMENT", FieldType::kLong},
      {"CURRENCY", FieldType::kCurrency},
      {"MONEY", FieldType::kCurrency},
      {"SINGLE", FieldType::kSingle},
      {"FLOAT4", FieldType::kSingle},
      {"REAL4", FieldType::kSingle},
      {"DOUBLE", FieldType::kDouble},
      {"DOUBLE PRECISION", FieldType::kDouble},
      {"REAL", FieldType::kDouble},
      {"FLOAT", FieldType::kDouble},
      {"NUMERIC", FieldType::kDouble},
      {"DECIMAL", FieldType::kDouble},
      {"DATE", FieldType::kDateTime},
      {"DATETIME", FieldType::kDateTime},
      {"TIME", FieldType::kDateTime},
      {"TIMESTAMP", FieldType::kDateTime},
      {"BLOB", FieldType::kLongBinary},
      {"LONGBINARY", FieldType::kLongBinary},
      {"OLEOBJECT", FieldType::kLongBinary},
      {"GUID", FieldType::kGuid},
  };
  for (const auto& n : kNames) {
    if (base == QLatin1String(n.name)) return fixed(n.type);
  }
  if (base == QLatin1String("VARCHAR") || base == QLatin1String("CHAR") ||
      base == QLatin1String("NVARCHAR") || base == QLatin1String("NCHAR") ||
      base == QLatin1String("TEXT") || base == QLatin1String("CHARACTER") ||
      base == QLatin1String("VARYING CHARACTER")) {
    if (hasLength) return result(FieldType::kText, length);
    if (base == QLatin1String("TEXT")) return result(FieldType::kMemo, 0);
    return result(FieldType::kText, 255);
  }
  if (base == QLatin1String("CLOB") || base == QLatin1String("MEMO") ||
      base == QLatin1String("LONGTEXT"))
    return result(FieldType::kMemo, 0);
  if (base == QLatin1String("BINARY") || base == QLatin1String("VARBINARY"))
    return result(FieldType::kBinary, hasLength ? length : 255);

  // Anything else: SQLite's affinity rules.
  if (base.contains(QLatin1String("INT"))) return fixed(FieldType::kLong);
  if (base.contains(QLatin1String("CHAR")) || base.contains(QLatin1String("CLOB")) ||
      base.contains(QLatin1String("TEXT")))
    return hasLength ? result(FieldType::kText, length) : result(FieldType::kMemo, 0);
  if (base.isEmpty()) return result(FieldType::kMemo, 0);
  if (base.contains(QLatin1String("BLOB"))) return result(FieldType::kLongBinary, 0);
  return fixed(FieldType::kDouble);
}

}  // namespace corvane
