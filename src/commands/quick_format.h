#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTime>
#include <optional>
#include <vector>

namespace corvane {

// Date, time and number texts exactly as QLocale writes them, for the formats most
// locales use, at a fraction of QLocale's cost (which parses the format, or runs a
// big-number algorithm, for every value). Every value sent goes through here.

// A date or time format made of the fields d dd ddd dddd M MM MMM MMMM yy yyyy (a date's)
// or h hh H HH m mm s ss AP A ap a (a time's) and literal text. Compile() refuses anything
// else (milliseconds, time zones, ...), and those formats are left to QLocale.
class QuickDateTimeFormat {
 public:
  static std::optional<QuickDateTimeFormat> Compile(const QString& format, const QLocale& locale);

  QString Format(const QDate& date) const;
  QString Format(const QTime& time) const;

 private:
  enum class Field {
    kText,
    kDay,
    kDayName,
    kMonth,
    kMonthName,
    kYear2,
    kYear4,
    kHour,
    kHour24,
    kMinute,
    kSecond,
    kAmPm
  };
  struct Part {
    Field field = Field::kText;
    bool twoDigits = false;
    QString text;       // literal text; the AM text for the AM/PM marker
    QString pmText;     // the PM text for the AM/PM marker
    QStringList names;  // month names January first, or day names Monday first
  };

  QString Format(const QDate& date, const QTime& time) const;
  void AppendNumber(QString& out, int value, int minDigits) const;

  std::vector<Part> parts_;
  bool twelveHour_ = false;
};

// How a locale writes numbers, when it does so with ASCII digits, "-" and "+", and an
// exponent mark and a decimal point of one character each; nothing for other locales.
struct QuickNumberStyle {
  QChar decimalPoint;
  QChar exponent;
};
std::optional<QuickNumberStyle> QuickNumberStyleOf(const QLocale& locale);

// Such a locale's text for `value` in the 'g' form with `digits` significant digits and no
// group separators; nothing for 0, infinities, NaN and values that need rounding to fit.
std::optional<QString> QuickNumberText(double value, int digits, QuickNumberStyle style);

}  // namespace corvane
