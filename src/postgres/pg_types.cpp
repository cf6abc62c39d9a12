#include "postgres/pg_types.h"

#include <QRegularExpression>

namespace corvane {

namespace {

FieldType TypeOf(const QString& type, int32_t* size) {
  *size = 0;
  static const QRegularExpression sized(QStringLiteral("^character(?: varying)?\\((\\d+)\\)$"));
  if (const QRegularExpressionMatch m = sized.match(type); m.hasMatch()) {
    *size = m.captured(1).toInt();
    return FieldType::kText;
  }
  if (type == QLatin1String("smallint")) return FieldType::kInteger;
  if (type == QLatin1String("integer") || type == QLatin1String("bigint")) return FieldType::kLong;
  if (type == QLatin1String("numeric(19,4)") || type == QLatin1String("money"))
    return FieldType::kCurrency;
  if (type == QLatin1String("real")) return FieldType::kSingle;
  if (type == QLatin1String("double precision") || type.startsWith(QLatin1String("numeric")))
    return FieldType::kDouble;
  if (type == QLatin1String("boolean")) return FieldType::kBoolean;
  if (type == QLatin1String("date") || type.startsWith(QLatin1String("timestamp")))
    return FieldType::kDateTime;
  if (type == QLatin1String("bytea")) return FieldType::kLongBinary;
  if (type == QLatin1String("uuid")) return FieldType::kGuid;
  return FieldType::kMemo;
}

}  // namespace

FieldInfo PgField(const PgColumn& column, const QString& table) {
  FieldInfo field;
  field.name = column.name;
  field.sourceField = column.name;
  field.sourceTable = table;
  int32_t size = 0;
  field.type = TypeOf(column.type, &size);
  field.size = field.type == FieldType::kText ? size : FieldTypeSize(field.type);
  const bool variable = field.type == FieldType::kText || field.type == FieldType::kMemo ||
                        field.type == FieldType::kLongBinary;
  field.attributes = column.identity ? kAutoNumberAttributes
                     : variable      ? kVariableFieldAttributes
                                     : kFixedFieldAttributes;
  field.required = column.notNull && !column.hasDefault && !column.identity;
  return field;
}

Variant PgValue(FieldType type, const PgParam& text) {
  if (!text) return Variant::Null();
  const QByteArray& bytes = *text;
  switch (type) {
    case FieldType::kBoolean:
      return Variant(bytes == "t");
    case FieldType::kByte:
    case FieldType::kInteger:
    case FieldType::kLong:
      return Variant(static_cast<int64_t>(bytes.toLongLong()));
    case FieldType::kCurrency: {
      // money carries the currency sign and group separators of lc_monetary.
      QByteArray plain;
      for (char c : bytes) {
        if ((c >= '0' && c <= '9') || c == '.' || c == '-') plain += c;
      }
      return Variant(plain.toDouble());
    }
    case FieldType::kSingle:
    case FieldType::kDouble:
      return Variant(bytes.toDouble());
    case FieldType::kDateTime: {
      // "2026-12-07", "2026-12-07 10:30:00[.123][+01]": the wall clock, to the second.
      return Variant(DateTimeFromStoredText(QString::fromLatin1(bytes.left(19))));
    }
    case FieldType::kBinary:
    case FieldType::kLongBinary:
      return Variant(bytes.startsWith("\\x") ? QByteArray::fromHex(bytes.mid(2)) : bytes);
    default:
      return Variant(QString::fromUtf8(bytes));
  }
}

PgParam PgText(FieldType type, const Variant& stored) {
  if (stored.isNull() || stored.isEmpty()) return std::nullopt;
  switch (stored.kind()) {
    case Variant::Kind::kBoolean:
      return QByteArray(stored.toBool() ? "true" : "false");
    case Variant::Kind::kInteger:
      if (type == FieldType::kBoolean) return QByteArray(stored.toInteger() ? "true" : "false");
      return QByteArray::number(static_cast<qlonglong>(stored.toInteger()));
    case Variant::Kind::kReal:
      return QByteArray::number(stored.toReal(), 'g', 17);
    case Variant::Kind::kBlob:
      return "\\x" + stored.toBlob().toHex();
    default:
      return stored.toText().toUtf8();
  }
}

}  // namespace corvane
