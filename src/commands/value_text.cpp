#include "commands/value_text.h"

#include <QRegularExpression>

#include "base/leading_number.h"
#include "base/windows1252.h"

namespace corvane {
namespace {

const QDate kZeroDate(1899, 12, 30);
constexpr char16_t kNarrowNoBreakSpace = u'\u202F';
constexpr char16_t kNoBreakSpace = u'\u00A0';

// Wire texts are Windows-1252, which has the no-break space but not the narrow one that
// some locales put into numbers and times.
QString WireSafe(QString text) {
  return text.replace(QChar(kNarrowNoBreakSpace), QChar(kNoBreakSpace));
}

// The short date with four-digit years: a two-digit year could not be read back.
QString ShortDateFormat(const QLocale& locale) {
  QString format = WireSafe(locale.dateFormat(QLocale::ShortFormat));
  if (!format.contains(QLatin1String("yyyy"))) {
    format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
  }
  return format;
}

// Letters and quotes next to a "t" make it part of a word or a quoted text.
bool JoinsZone(QChar c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'\'';
}

bool IsAsciiBlank(QChar c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

// A time format without its time-zone part: each run of "t" that stands alone, with the
// blanks before it. A plain scan, as this runs for every date value sent.
QString TimeFormat(const QLocale& locale, QLocale::FormatType type) {
  const QString format = WireSafe(locale.timeFormat(type));
  const qsizetype n = format.size();
  QString kept;
  kept.reserve(n);
  for (qsizetype i = 0; i < n;) {
    if (format[i] != u't' || (i > 0 && JoinsZone(format[i - 1]))) {
      kept.append(format[i++]);
      continue;
    }
    qsizetype end = i;
    while (end < n && format[end] == u't') ++end;
    if (end < n && JoinsZone(format[end])) {
      kept.append(QStringView(format).mid(i, end - i));
    } else {
      while (!kept.isEmpty() && IsAsciiBlank(kept.back())) kept.chop(1);
    }
    i = end;
  }
  return kept.trimmed();
}

QLocale WithoutGroupSeparators(QLocale locale) {
  locale.setNumberOptions(QLocale::OmitGroupSeparator);
  return locale;
}

bool StripSign(QString& s, const QString& sign) {
  if (sign.isEmpty()) return false;
  if (s.startsWith(sign)) {
    s = s.mid(sign.size()).trimmed();
    return true;
  }
  if (s.endsWith(sign)) {
    s.chop(sign.size());
    s = s.trimmed();
    return true;
  }
  return false;
}

// "date time", the two parts read apart at each blank that could divide them.
// QLocale::toDateTime reads in local time, where a time inside a daylight-saving gap does
// not exist and the whole text would be refused.
std::optional<QDateTime> DateAndTime(const QString& s, const QString& dateFormat,
                                     const QString& timeFormat, const QLocale& locale) {
  for (qsizetype i = s.indexOf(QLatin1Char(' ')); i > 0; i = s.indexOf(QLatin1Char(' '), i + 1)) {
    const QDate day = locale.toDate(s.left(i), dateFormat);
    if (!day.isValid()) continue;
    const QTime clock = locale.toTime(s.mid(i + 1), timeFormat);
    if (clock.isValid()) return WallClock(day, clock);
  }
  return std::nullopt;
}

}  // namespace

RegionalFormats::RegionalFormats(const QLocale& regional)
    : locale(regional),
      plainNumbers(WithoutGroupSeparators(regional)),
      shortDate(ShortDateFormat(regional)),
      longTime(TimeFormat(regional, QLocale::LongFormat)),
      shortTime(TimeFormat(regional, QLocale::ShortFormat)),
      quickNumbers(QuickNumberStyleOf(regional)) {
  // AM/PM texts with a narrow no-break space would need the wire's stand-in.
  const QString markers = regional.amText() + regional.pmText();
  if (markers.contains(QChar(kNarrowNoBreakSpace))) return;
  quickShortDate = QuickDateTimeFormat::Compile(shortDate, regional);
  quickLongTime = QuickDateTimeFormat::Compile(longTime, regional);
}

QString CurrencyText(double value, const QLocale& locale) {
  return WireSafe(locale.toCurrencyString(value));
}

QString GeneralDateText(const QDateTime& value, const RegionalFormats& formats) {
  const QTime clock = value.time();
  const QDate day = value.date();
  const auto timeText = [&] {
    return formats.quickLongTime ? formats.quickLongTime->Format(clock)
                                 : formats.locale.toString(clock, formats.longTime);
  };
  if (day == kZeroDate) return timeText();
  const QString date = formats.quickShortDate ? formats.quickShortDate->Format(day)
                                              : formats.locale.toString(day, formats.shortDate);
  if (clock == QTime(0, 0)) return date;
  return date + QLatin1Char(' ') + timeText();
}

QString GeneralDateText(const QDateTime& value, const QLocale& locale) {
  return GeneralDateText(value, RegionalFormats(locale));
}

std::optional<double> RegionalNumber(const QString& text, const QLocale& locale) {
  QString s = text.trimmed();
  static const QRegularExpression kRadix(QStringLiteral("^&([Hh][0-9A-Fa-f]+|[Oo][0-7]+)$"));
  if (kRadix.match(s).hasMatch()) return LeadingNumber(s.toLatin1());
  bool negative = false;
  if (s.startsWith(QLatin1Char('(')) && s.endsWith(QLatin1Char(')'))) {
    negative = true;
    s = s.mid(1, s.size() - 2).trimmed();
  }
  const QString symbol = locale.currencySymbol(QLocale::CurrencySymbol);
  if (!symbol.isEmpty() && (s.startsWith(symbol) || s.endsWith(symbol))) {
    s = (s.startsWith(symbol) ? s.mid(symbol.size()) : s.left(s.size() - symbol.size())).trimmed();
  }
  if (StripSign(s, locale.negativeSign()) || StripSign(s, QStringLiteral("-"))) {
    negative = !negative;
  } else {
    StripSign(s, locale.positiveSign()) || StripSign(s, QStringLiteral("+"));
  }
  // The symbol may stand between the sign and the digits.
  if (!symbol.isEmpty() && (s.startsWith(symbol) || s.endsWith(symbol))) {
    s = (s.startsWith(symbol) ? s.mid(symbol.size()) : s.left(s.size() - symbol.size())).trimmed();
  }
  const QString group = locale.groupSeparator();
  if (group.size() == 1 && group[0].isSpace()) {
    s.removeIf([](QChar c) { return c.isSpace(); });
  } else if (!group.isEmpty()) {
    s.remove(group);
  }
  const QString point = locale.decimalPoint();
  if (point != QLatin1String(".")) {
    if (s.contains(QLatin1Char('.'))) return std::nullopt;
    s.replace(point, QLatin1String("."));
  }
  static const QRegularExpression kNumber(
      QStringLiteral("^(\\d+(\\.\\d*)?|\\.\\d+)([eEdD][+-]?\\d+)?$"));
  if (!kNumber.match(s).hasMatch()) return std::nullopt;
  s.replace(QLatin1Char('d'), QLatin1Char('e')).replace(QLatin1Char('D'), QLatin1Char('e'));
  bool ok = false;
  const double value = s.toDouble(&ok);
  if (!ok) return std::nullopt;
  return negative ? -value : value;
}

std::optional<QDateTime> RegionalDate(const QString& text, const QLocale& locale) {
  const QString s = WireSafe(text.trimmed());
  if (s.isEmpty()) return std::nullopt;
  const RegionalFormats formats(locale);
  const QString& longTime = formats.longTime;
  const QString& shortTime = formats.shortTime;
  const QStringList dateFormats{formats.shortDate,
                                WireSafe(locale.dateFormat(QLocale::ShortFormat)),
                                QStringLiteral("yyyy-MM-dd")};
  // Besides the regional forms, a 24-hour clock with or without seconds and with one or two
  // digits for the hour: "8:30" is a time in every region, not text to replace with the
  // current time.
  const QStringList timeFormats{longTime, shortTime, QStringLiteral("H:mm:ss"),
                                QStringLiteral("H:mm")};
  for (const QString& date : dateFormats) {
    for (const QString& time : timeFormats) {
      if (auto both = DateAndTime(s, date, time, locale)) return both;
    }
    const QDate day = locale.toDate(s, date);
    if (day.isValid()) return WallClock(day, QTime(0, 0));
  }
  for (const QString& time : timeFormats) {
    const QTime clock = locale.toTime(s, time);
    if (clock.isValid()) return WallClock(kZeroDate, clock);
  }
  return std::nullopt;
}

QString FieldValueText(const Variant& value, const FieldInfo& field, const QLocale& locale) {
  return FieldValueText(value, field, RegionalFormats(locale));
}

QString FieldValueText(const Variant& value, const FieldInfo& field,
                       const RegionalFormats& formats) {
  switch (field.type) {
    case FieldType::kText:
    case FieldType::kMemo:
      return value.isNull() || value.isEmpty() ? QString() : value.toText();
    case FieldType::kBoolean:
      // A Null (a nullable column, an outer join) is shown as "False", as a Null number is
      // shown as "0"; "False" sent back unchanged keeps the Null.
      if (value.isNull() || value.isEmpty()) return QStringLiteral("False");
      return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case FieldType::kInteger:
    case FieldType::kLong:
      return value.isNull() || value.isEmpty() ? QStringLiteral("0")
                                               : QString::number(value.toInteger());
    case FieldType::kSingle:
    case FieldType::kDouble: {
      if (value.isNull() || value.isEmpty()) return QStringLiteral("0");
      const int digits = field.type == FieldType::kSingle ? kSingleDigits : kDoubleDigits;
      const double number = value.toReal();
      if (formats.quickNumbers) {
        if (auto text = QuickNumberText(number, digits, *formats.quickNumbers)) return *text;
      }
      return WireSafe(formats.plainNumbers.toString(number, 'g', digits));
    }
    case FieldType::kCurrency:
      return value.isNull() || value.isEmpty() ? QString()
                                               : CurrencyText(value.toReal(), formats.locale);
    case FieldType::kDateTime: {
      if (value.isNull() || value.isEmpty()) return QString();
      const QDateTime when = value.toDateTime();
      return when.isValid() ? GeneralDateText(when, formats) : value.toText();
    }
    default:
      return QString();
  }
}

Variant FieldValueFromText(const QString& text, const FieldInfo& field, const QLocale& locale,
                           bool* replaced) {
  const auto replacement = [&](Variant value) {
    if (replaced && !text.trimmed().isEmpty()) *replaced = true;
    return value;
  };
  switch (field.type) {
    case FieldType::kText:
    case FieldType::kMemo: {
      // Blanks only: tabs and other white space belong to the value.
      qsizetype begin = 0, end = text.size();
      while (begin < end && text[begin] == QLatin1Char(' ')) ++begin;
      while (end > begin && text[end - 1] == QLatin1Char(' ')) --end;
      if (begin == end) return Variant::Null();
      return Variant(text.mid(begin, end - begin));
    }
    case FieldType::kBoolean: {
      if (LeadingNumber(ToWindows1252(text)) != 0) return Variant(true);
      const QString upper = text.toUpper();
      return Variant(upper == QLatin1String("T") || upper == QLatin1String("TRUE"));
    }
    case FieldType::kInteger:
    case FieldType::kLong:
    case FieldType::kSingle:
    case FieldType::kDouble: {
      const std::optional<double> regional = RegionalNumber(text, locale);
      if (!regional) return replacement(Variant(QStringLiteral("0")));
      // Where the decimal point is "." the leading number is what clients have always
      // had stored; elsewhere it would drop the decimals this server itself wrote.
      if (locale.decimalPoint() == QLatin1String(".")) {
        return Variant(LeadingNumber(ToWindows1252(text)));
      }
      return Variant(*regional);
    }
    case FieldType::kCurrency: {
      const std::optional<double> regional = RegionalNumber(text, locale);
      if (!regional) return replacement(Variant(0));
      // Rounded to the currency's decimals, as the regional format shows it.
      const std::optional<double> rounded = RegionalNumber(CurrencyText(*regional, locale), locale);
      return Variant(rounded.value_or(*regional));
    }
    case FieldType::kDateTime: {
      if (const std::optional<QDateTime> when = RegionalDate(text, locale)) return Variant(*when);
      const QDateTime now = QDateTime::currentDateTime();
      const QTime time = now.time();
      return replacement(
          Variant(WallClock(now.date(), QTime(time.hour(), time.minute(), time.second()))));
    }
    default:
      return Variant();
  }
}

}  // namespace corvane
