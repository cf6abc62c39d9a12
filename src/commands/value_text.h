#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <optional>

#include "commands/quick_format.h"
#include "engine/field_type.h"
#include "engine/variant.h"

namespace corvane {

// The texts field values travel as. Numbers, money and dates follow the regional
// settings the server runs under (`locale`); a value written by FieldValueText is read
// back unchanged by FieldValueFromText in every locale.

// The regional formats of value texts, worked out once for a locale: reading them from the
// locale for every value sent would cost more than the value itself.
struct RegionalFormats {
  explicit RegionalFormats(const QLocale& locale);

  QLocale locale;
  QLocale plainNumbers;  // the locale without group separators
  QString shortDate;     // with four-digit years
  QString longTime;      // without the time zone
  QString shortTime;     // without the time zone
  // The same, written without QLocale where the locale allows it.
  std::optional<QuickNumberStyle> quickNumbers;
  std::optional<QuickDateTimeFormat> quickShortDate;
  std::optional<QuickDateTimeFormat> quickLongTime;
};

// The significant digits a Single and a Double value are shown with. A number whose
// decimal exponent, after rounding to them, is at least this many or below -4 is written
// with an exponent.
inline constexpr int kSingleDigits = 7;
inline constexpr int kDoubleDigits = 15;

// The wire text of a value of `field`.
QString FieldValueText(const Variant& value, const FieldInfo& field,
                       const RegionalFormats& formats);
QString FieldValueText(const Variant& value, const FieldInfo& field, const QLocale& locale);

// The value to assign for a wire text; Empty means "leave the field alone". A number, an
// amount or a date that does not read as one is replaced (0, or the current date and time);
// `replaced` is then set. An empty text is no replacement: it means 0 or "now" on purpose.
Variant FieldValueFromText(const QString& text, const FieldInfo& field, const QLocale& locale,
                           bool* replaced = nullptr);

// The text converts to a number under the regional settings (their decimal and grouping
// separators, currency symbol and sign positions); the number when it does.
std::optional<double> RegionalNumber(const QString& text, const QLocale& locale);

// The text converts to a date and/or time under the regional settings. A time alone
// falls on 30 December 1899, the zero of dates.
std::optional<QDateTime> RegionalDate(const QString& text, const QLocale& locale);

// Money in the regional currency format with the currency's decimals.
QString CurrencyText(double value, const QLocale& locale);
// The general date form: short date, long time; the date alone at midnight, the time
// alone on the zero date.
QString GeneralDateText(const QDateTime& value, const RegionalFormats& formats);
QString GeneralDateText(const QDateTime& value, const QLocale& locale);

}  // namespace corvane
