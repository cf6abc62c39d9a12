#include "core/engine/variant.h"

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
  return value.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QDateTime DateTimeFromStoredText(const QString& text) {
  const QString t = text.trimmed();
  QDateTime dt = QDateTime::fromString(t, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  if (!dt.isValid()) dt = QDateTime::fromString(t, QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
  if (!dt.isValid()) {
    const QDate d = QDate::fromString(t, QStringLiteral("yyyy-MM-dd"));
    if (d.isValid()) dt = QDateTime(d, QTime(0, 0));
  }
  return dt;
}

}  // namespace corvane
