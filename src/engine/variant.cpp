#include "engine/variant.h"

#include <cmath>

namespace corvane {

Variant Variant::Null() {
  Variant v;
  v.data_ = NullTag{};
  return v;
}

bool Variant::toBool() const {
  switch (kind()) {
    case Kind::kBoolean:
      return std::get<bool>(data_);
    case Kind::kInteger:
      return std::get<int64_t>(data_) != 0;
    case Kind::kReal:
      return std::get<double>(data_) != 0.0;
    case Kind::kText: {
      const QString t = std::get<QString>(data_).trimmed();
      if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
          t.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0)
        return true;
      return t.toDouble() != 0.0;
    }
    default:
      return false;
  }
}

int64_t Variant::toInteger() const {
  switch (kind()) {
    case Kind::kBoolean:
      return std::get<bool>(data_) ? 1 : 0;
    case Kind::kInteger:
      return std::get<int64_t>(data_);
    case Kind::kReal:
      return static_cast<int64_t>(std::get<double>(data_));
    case Kind::kText:
      return static_cast<int64_t>(std::get<QString>(data_).trimmed().toDouble());
    default:
      return 0;
  }
}

double Variant::toReal() const {
  switch (kind()) {
    case Kind::kBoolean:
      return std::get<bool>(data_) ? 1.0 : 0.0;
    case Kind::kInteger:
      return static_cast<double>(std::get<int64_t>(data_));
    case Kind::kReal:
      return std::get<double>(data_);
    case Kind::kText:
      return std::get<QString>(data_).trimmed().toDouble();
    default:
      return 0.0;
  }
}

QString Variant::toText() const {
  switch (kind()) {
    case Kind::kBoolean:
      return std::get<bool>(data_) ? QStringLiteral("True") : QStringLiteral("False");
    case Kind::kInteger:
      return QString::number(std::get<int64_t>(data_));
    case Kind::kReal:
      return QString::number(std::get<double>(data_), 'g', 15);
    case Kind::kText:
      return std::get<QString>(data_);
    case Kind::kBlob:
      return QString::fromLatin1(std::get<QByteArray>(data_));
    case Kind::kDateTime:
      return DateTimeToStoredText(std::get<QDateTime>(data_));
    default:
      return QString();
  }
}

QByteArray Variant::toBlob() const {
  if (kind() == Kind::kBlob) return std::get<QByteArray>(data_);
  return toText().toUtf8();
}

QDateTime Variant::toDateTime() const {
  if (kind() == Kind::kDateTime) return std::get<QDateTime>(data_);
  if (kind() == Kind::kText) return DateTimeFromStoredText(std::get<QString>(data_));
  return QDateTime();
}

QString DateTimeToStoredText(const QDateTime& value) {
  const QDate d = value.date();
  const QTime t = value.time();
  return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", d.year(), d.month(), d.day(), t.hour(),
                           t.minute(), t.second());
}

namespace {

// Reads `count` digits at text[at]; -1 when one is missing.
int Digits(const QString& text, int at, int count) {
  if (at + count > text.size()) return -1;
  int value = 0;
  for (int i = at; i < at + count; ++i) {
    const QChar c = text[i];
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return -1;
    value = value * 10 + (c.unicode() - '0');
  }
  return value;
}

}  // namespace

QDateTime DateTimeFromStoredText(const QString& text) {
  // Hand-parsed: dates are read for every record shown, and format parsing is slow.
  const QString t = text.trimmed();
  if (t.size() != 10 && t.size() != 19) return QDateTime();
  const int year = Digits(t, 0, 4), month = Digits(t, 5, 2), day = Digits(t, 8, 2);
  if (year < 0 || month < 0 || day < 0 || t[4] != QLatin1Char('-') || t[7] != QLatin1Char('-'))
    return QDateTime();
  const QDate date(year, month, day);
  if (!date.isValid()) return QDateTime();
  if (t.size() == 10) return WallClock(date, QTime(0, 0));
  if (t[10] != QLatin1Char(' ') && t[10] != QLatin1Char('T')) return QDateTime();
  const int hour = Digits(t, 11, 2), minute = Digits(t, 14, 2), second = Digits(t, 17, 2);
  if (t[13] != QLatin1Char(':') || t[16] != QLatin1Char(':')) return QDateTime();
  const QTime time(hour, minute, second);
  if (hour < 0 || minute < 0 || second < 0 || !time.isValid()) return QDateTime();
  return WallClock(date, time);
}

QDateTime WallClock(const QDate& date, const QTime& time) { return QDateTime(date, time, Qt::UTC); }

}  // namespace corvane
