#include "commands/quick_format.h"

#include <charconv>
#include <cmath>

namespace corvane {
namespace {

qsizetype RunLength(const QString& format, qsizetype at) {
  qsizetype end = at;
  while (end < format.size() && format[end] == format[at]) ++end;
  return end - at;
}

// Quoted text as QLocale reads it: '' is a quote, inside quotes and out; an unclosed quote
// runs to the end.
QString QuotedText(const QString& format, qsizetype& i) {
  ++i;
  if (i == format.size()) return QString();
  if (format[i] == QLatin1Char('\'')) {
    ++i;
    return QStringLiteral("'");
  }
  QString text;
  while (i < format.size()) {
    if (format[i] == QLatin1Char('\'')) {
      if (i + 1 < format.size() && format[i + 1] == QLatin1Char('\'')) {
        text += QLatin1Char('\'');
        i += 2;
      } else {
        break;
      }
    } else {
      text += format[i++];
    }
  }
  if (i < format.size()) ++i;
  return text;
}

bool IsAsciiLetter(QChar c) {
  return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
         (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

}  // namespace

std::optional<QuickNumberStyle> QuickNumberStyleOf(const QLocale& locale) {
  const bool ascii = locale.zeroDigit() == QLatin1String("0") &&
                     locale.negativeSign() == QLatin1String("-") &&
                     locale.positiveSign() == QLatin1String("+") &&
                     locale.exponential().size() == 1 && locale.decimalPoint().size() == 1;
  if (!ascii) return std::nullopt;
  return QuickNumberStyle{locale.decimalPoint().at(0), locale.exponential().at(0)};
}

std::optional<QuickDateTimeFormat> QuickDateTimeFormat::Compile(const QString& format,
                                                                const QLocale& locale) {
  if (!QuickNumberStyleOf(locale)) return std::nullopt;
  QuickDateTimeFormat quick;
  auto literal = [&quick](const QString& text) {
    if (text.isEmpty()) return;
    if (quick.parts_.empty() || quick.parts_.back().field != Field::kText) {
      quick.parts_.push_back({});
    }
    quick.parts_.back().text += text;
  };
  bool hasDate = false, hasTime = false;
  for (qsizetype i = 0; i < format.size();) {
    const QChar c = format[i];
    if (c == QLatin1Char('\'')) {
      literal(QuotedText(format, i));
      continue;
    }
    if (!IsAsciiLetter(c)) {
      literal(QString(c));
      ++i;
      continue;
    }
    const qsizetype run = RunLength(format, i);
    Part part;
    switch (c.unicode()) {
      case 'd':
      case 'M': {
        if (run > 4) return std::nullopt;
        const bool day = c == QLatin1Char('d');
        if (run <= 2) {
          part.field = day ? Field::kDay : Field::kMonth;
          part.twoDigits = run == 2;
        } else {
          part.field = day ? Field::kDayName : Field::kMonthName;
          const auto form = run == 3 ? QLocale::ShortFormat : QLocale::LongFormat;
          for (int n = 1; n <= (day ? 7 : 12); ++n) {
            part.names += day ? locale.dayName(n, form) : locale.monthName(n, form);
          }
        }
        hasDate = true;
        break;
      }
      case 'y':
        if (run != 2 && run != 4) return std::nullopt;
        part.field = run == 2 ? Field::kYear2 : Field::kYear4;
        hasDate = true;
        break;
      case 'h':
      case 'H':
      case 'm':
      case 's':
        if (run > 2) return std::nullopt;
        part.field = c == QLatin1Char('h')   ? Field::kHour
                     : c == QLatin1Char('H') ? Field::kHour24
                     : c == QLatin1Char('m') ? Field::kMinute
                                             : Field::kSecond;
        part.twoDigits = run == 2;
        hasTime = true;
        break;
      case 'A':
      case 'a': {
        if (run > 1) return std::nullopt;
        const bool pair = i + 1 < format.size() && format[i + 1].toLower() == QLatin1Char('p');
        // "Ap" and "aP" keep the locale's own case; left to QLocale.
        if (pair && format[i + 1].isUpper() != c.isUpper()) return std::nullopt;
        part.field = Field::kAmPm;
        part.text = c == QLatin1Char('A') ? locale.amText().toUpper() : locale.amText().toLower();
        part.pmText = c == QLatin1Char('A') ? locale.pmText().toUpper() : locale.pmText().toLower();
        quick.twelveHour_ = true;
        hasTime = true;
        i += pair ? 2 : 1;
        quick.parts_.push_back(part);
        continue;
      }
      default:
        return std::nullopt;
    }
    quick.parts_.push_back(part);
    i += run;
  }
  // A format is either a date's or a time's: in the other, its letters are plain text.
  if (hasDate && hasTime) return std::nullopt;
  return quick;
}

void QuickDateTimeFormat::AppendNumber(QString& out, int value, int minDigits) const {
  // Digits written straight into the text: no number text is made for each field.
  char digits[12];
  int count = 0;
  if (value < 0) {  // no stored date is before year 1; kept sound all the same
    out += QLatin1Char('-');
    value = -value;
  }
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  for (int i = count; i < minDigits; ++i) out += QLatin1Char('0');
  while (count > 0) out += QLatin1Char(digits[--count]);
}

QString QuickDateTimeFormat::Format(const QDate& date) const { return Format(date, QTime()); }

QString QuickDateTimeFormat::Format(const QTime& time) const { return Format(QDate(), time); }

// A compiled format holds either a date's fields or a time's, so only one of the two is read.
QString QuickDateTimeFormat::Format(const QDate& date, const QTime& time) const {
  QString out;
  out.reserve(16);
  for (const Part& part : parts_) {
    const int minDigits = part.twoDigits ? 2 : 1;
    switch (part.field) {
      case Field::kDay:
        AppendNumber(out, date.day(), minDigits);
        break;
      case Field::kMonth:
        AppendNumber(out, date.month(), minDigits);
        break;
      case Field::kDayName:
        out += part.names.at(date.dayOfWeek() - 1);
        break;
      case Field::kMonthName:
        out += part.names.at(date.month() - 1);
        break;
      case Field::kYear2:
        AppendNumber(out, date.year() % 100, 2);
        break;
      case Field::kYear4:
        AppendNumber(out, date.year(), 4);
        break;
      case Field::kHour: {
        int hour = time.hour();
        if (twelveHour_) hour = hour == 0 ? 12 : hour > 12 ? hour - 12 : hour;
        AppendNumber(out, hour, minDigits);
        break;
      }
      case Field::kHour24:
        AppendNumber(out, time.hour(), minDigits);
        break;
      case Field::kMinute:
        AppendNumber(out, time.minute(), minDigits);
        break;
      case Field::kSecond:
        AppendNumber(out, time.second(), minDigits);
        break;
      case Field::kAmPm:
        out += time.hour() < 12 ? part.text : part.pmText;
        break;
      case Field::kText:
        out += part.text;
        break;
    }
  }
  return out;
}

std::optional<QString> QuickNumberText(double value, int digits, QuickNumberStyle style) {
  if (value == 0 || !std::isfinite(value)) return std::nullopt;
  char buffer[64];
  // Only values whose shortest exact text has no more digits than asked for: rounding is
  // then not needed, and QLocale rounds ties away from zero where to_chars rounds to even.
  const auto [shortest, failed] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  if (failed != std::errc()) return std::nullopt;
  int significant = 0;
  for (const char* c = buffer; c != shortest && *c != 'e'; ++c) {
    if (*c >= '0' && *c <= '9') ++significant;
  }
  if (significant > digits) return std::nullopt;
  const auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
  if (error != std::errc()) return std::nullopt;
  QString text = QString::fromLatin1(buffer, end - buffer);
  if (style.decimalPoint != QLatin1Char('.')) text.replace(QLatin1Char('.'), style.decimalPoint);
  if (style.exponent != QLatin1Char('e')) text.replace(QLatin1Char('e'), style.exponent);
  return text;
}

}  // namespace corvane
