#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <type_traits>
#include <variant>

namespace corvane {

// A field value. Null stays apart from the empty text; Empty means "no value at all"
// (assigning it to a field leaves the field as it is).
class Variant {
 public:
  enum class Kind { kEmpty, kNull, kBoolean, kInteger, kReal, kText, kBlob, kDateTime };

  Variant() = default;  // Empty
  static Variant Null();
  Variant(bool value) : data_(value) {}
  // Every integer type (int, long, long long, qint64, ...) is stored as int64_t.
  template <typename T,
            std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>, int> = 0>
  Variant(T value) : data_(static_cast<int64_t>(value)) {}
  Variant(double value) : data_(value) {}
  Variant(const QString& value) : data_(value) {}
  Variant(const char* value) : data_(QString::fromUtf8(value)) {}
  Variant(const QByteArray& value) : data_(value) {}
  Variant(const QDateTime& value) : data_(value) {}

  Kind kind() const { return static_cast<Kind>(data_.index()); }
  bool isEmpty() const { return kind() == Kind::kEmpty; }
  bool isNull() const { return kind() == Kind::kNull; }

  bool toBool() const;        // numbers: non-zero; texts: True/Yes or non-zero
  int64_t toInteger() const;  // reals truncated toward zero; texts read as numbers
  double toReal() const;
  QString toText() const;  // dates as 'YYYY-MM-DD HH:MM:SS'
  QByteArray toBlob() const;
  QDateTime toDateTime() const;  // invalid when the value is no date

  bool operator==(const Variant& other) const = default;

 private:
  struct NullTag {
    bool operator==(const NullTag&) const = default;
  };
  std::variant<std::monostate, NullTag, bool, int64_t, double, QString, QByteArray, QDateTime>
      data_;
};

// The stored text form of a date: 'YYYY-MM-DD HH:MM:SS'.
QString DateTimeToStoredText(const QDateTime& value);
// Reads 'YYYY-MM-DD HH:MM:SS', 'YYYY-MM-DDTHH:MM:SS' or 'YYYY-MM-DD'; invalid otherwise.
QDateTime DateTimeFromStoredText(const QString& text);

// Stored dates are wall-clock values without a zone. They are held with Qt::UTC as the zone,
// where every date and time exists: in local time a time inside a daylight-saving gap
// would be invalid, and arithmetic across a change would move the clock.
QDateTime WallClock(const QDate& date, const QTime& time);

}  // namespace corvane
