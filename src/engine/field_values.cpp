#include "engine/field_values.h"

#include <cmath>
#include <limits>

#include "engine/engine_error.h"

namespace corvane {

namespace {

[[noreturn]] void Mismatch(const FieldInfo& field) {
  throw EngineError(
      engine_error::kTypeMismatch,
      QStringLiteral("The value does not suit the type of field '%1'.").arg(field.name));
}

double Number(const FieldInfo& field, const Variant& value) {
  switch (value.kind()) {
    case Variant::Kind::kBoolean:
      return value.toBool() ? 1.0 : 0.0;
    case Variant::Kind::kInteger:
    case Variant::Kind::kReal:
      return value.toReal();
    case Variant::Kind::kText: {
      bool ok = false;
      const double d = value.toText().trimmed().toDouble(&ok);
      if (!ok) Mismatch(field);
      return d;
    }
    default:
      Mismatch(field);
  }
}

int64_t Whole(const FieldInfo& field, const Variant& value, int64_t low, int64_t high) {
  if (value.kind() == Variant::Kind::kInteger) {
    const int64_t v = value.toInteger();
    if (v < low || v > high) {
      throw EngineError(engine_error::kOverflow,
                        QStringLiteral("The number %1 is out of range for field '%2'.")
                            .arg(QString::number(v), field.name));
    }
    return v;
  }
  const double d = std::nearbyint(Number(field, value));  // halves to even
  if (!(d >= static_cast<double>(low) && d <= static_cast<double>(high))) {
    throw EngineError(engine_error::kOverflow,
                      QStringLiteral("The number %1 is out of range for field '%2'.")
                          .arg(QString::number(Number(field, value)), field.name));
  }
  return static_cast<int64_t>(d);
}

// Other ISO 8601 forms (minutes only, milliseconds, a zone), read as the wall clock they show.
QDateTime IsoDateTime(const QString& text) {
  if (text.size() == 10) return WallClock(QDate::fromString(text, Qt::ISODate), QTime(0, 0));
  if (text.size() < 16 || (text[10] != QLatin1Char('T') && text[10] != QLatin1Char(' '))) {
    return QDateTime();
  }
  const QDateTime zoned = QDateTime::fromString(text, Qt::ISODateWithMs);
  if (zoned.isValid() && zoned.timeSpec() != Qt::LocalTime) {
    return WallClock(zoned.date(), zoned.time());
  }
  const QDate date = QDate::fromString(text.left(10), Qt::ISODate);
  const QTime time = QTime::fromString(text.mid(11), Qt::ISODateWithMs);
  return date.isValid() && time.isValid() ? WallClock(date, time) : QDateTime();
}

QDateTime FromDays(double days) {
  // Day numbers count from 30 December 1899, as Basic's dates do.
  const QDateTime base = WallClock(QDate(1899, 12, 30), QTime(0, 0));
  return base.addMSecs(static_cast<qint64>(std::llround(days * 86400000.0)));
}

}  // namespace

Variant ShownValue(const FieldInfo& field, Variant stored) {
  if (stored.isNull()) return stored;
  switch (field.type) {
    case FieldType::kBoolean:
      if (stored.kind() == Variant::Kind::kInteger || stored.kind() == Variant::Kind::kReal)
        return Variant(stored.toReal() != 0.0);
      return stored;
    case FieldType::kDateTime:
      if (stored.kind() == Variant::Kind::kText) {
        const QDateTime dt = DateTimeFromStoredText(stored.toText());
        if (dt.isValid()) return Variant(dt);
      }
      return stored;
    default:
      return stored;
  }
}

Variant StoredValue(const FieldInfo& field, const Variant& value) {
  if (value.isNull() || value.isEmpty()) return Variant::Null();
  switch (field.type) {
    case FieldType::kBoolean:
      if (value.kind() == Variant::Kind::kText) {
        const QString t = value.toText().trimmed();
        for (const char* yes : {"true", "yes", "on"}) {
          if (t.compare(QLatin1String(yes), Qt::CaseInsensitive) == 0) return Variant(1);
        }
        for (const char* no : {"false", "no", "off"}) {
          if (t.compare(QLatin1String(no), Qt::CaseInsensitive) == 0) return Variant(0);
        }
      }
      return Variant(Number(field, value) != 0.0 ? 1 : 0);
    case FieldType::kByte:
      return Variant(Whole(field, value, 0, 255));
    case FieldType::kInteger:
      return Variant(Whole(field, value, -32768, 32767));
    case FieldType::kLong:
      if (field.autoNumber()) {
        return Variant(Whole(field, value, std::numeric_limits<int64_t>::min(),
                             std::numeric_limits<int64_t>::max()));
      }
      return Variant(Whole(field, value, std::numeric_limits<int32_t>::min(),
                           std::numeric_limits<int32_t>::max()));
    case FieldType::kCurrency:
      return Variant(std::round(Number(field, value) * 10000.0) / 10000.0);
    case FieldType::kSingle: {
      const double d = Number(field, value);
      if (std::fabs(d) > std::numeric_limits<float>::max()) {
        throw EngineError(
            engine_error::kOverflow,
            QStringLiteral("The number is out of range for field '%1'.").arg(field.name));
      }
      return Variant(static_cast<double>(static_cast<float>(d)));
    }
    case FieldType::kDouble:
      return Variant(Number(field, value));
    case FieldType::kDateTime: {
      QDateTime dt;
      if (value.kind() == Variant::Kind::kDateTime) {
        dt = value.toDateTime();
      } else if (value.kind() == Variant::Kind::kText) {
        dt = DateTimeFromStoredText(value.toText());
        if (!dt.isValid()) dt = IsoDateTime(value.toText().trimmed());
      } else if (value.kind() == Variant::Kind::kInteger || value.kind() == Variant::Kind::kReal) {
        dt = FromDays(value.toReal());
      }
      if (!dt.isValid()) Mismatch(field);
      return Variant(DateTimeToStoredText(dt));
    }
    case FieldType::kText: {
      const QString text = value.toText();
      if (field.size > 0 && text.size() > field.size) {
        throw EngineError(engine_error::kFieldTooSmall,
                          QStringLiteral("The value is too long for field '%1' (at most %2 "
                                         "characters).")
                              .arg(field.name, QString::number(field.size)));
      }
      return Variant(text);
    }
    case FieldType::kMemo:
    case FieldType::kGuid:
      return Variant(value.toText());
    case FieldType::kBinary:
    case FieldType::kLongBinary: {
      const QByteArray bytes = value.toBlob();
      if (field.type == FieldType::kBinary && field.size > 0 && bytes.size() > field.size) {
        throw EngineError(engine_error::kFieldTooSmall,
                          QStringLiteral("The value is too long for field '%1' (at most %2 "
                                         "bytes).")
                              .arg(field.name, QString::number(field.size)));
      }
      return Variant(bytes);
    }
  }
  return value;
}

}  // namespace corvane
