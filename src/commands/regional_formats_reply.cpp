#include "commands/regional_formats_reply.h"

namespace corvane {
namespace {

// The examples: a day after the twelfth tells day and month apart, an afternoon hour the
// 12- and 24-hour clocks, a four-digit amount the grouping.
const QDate kExampleDate(2026, 12, 31);
const QTime kExampleTime(15, 4, 5);
constexpr double kExampleAmount = 1234.5;
// A number large enough for an exponent in every region, with a decimal.
constexpr double kExampleExponentNumber = 1.5e20;

// The format of an amount as `example` shows it: the digits before the decimal separator
// become "#" but the last, which becomes "0", and those after it "0"; symbols, signs and
// separators stay.
QString AmountFormat(const QString& example, const QLocale& locale) {
  const auto isDigit = [](QChar c) { return c >= u'0' && c <= u'9'; };
  qsizetype first = 0;
  while (first < example.size() && !isDigit(example[first])) ++first;
  qsizetype last = example.size() - 1;
  while (last >= first && !isDigit(example[last])) --last;
  if (first > last) return example;
  const qsizetype point = example.mid(first, last - first + 1).lastIndexOf(locale.decimalPoint());
  const qsizetype wholeEnd = point < 0 ? last + 1 : first + point;
  QString format = example;
  qsizetype lastWholeDigit = -1;
  for (qsizetype i = first; i < wholeEnd; ++i) {
    if (isDigit(format[i])) {
      format[i] = u'#';
      lastWholeDigit = i;
    }
  }
  if (lastWholeDigit >= 0) format[lastWholeDigit] = u'0';
  for (qsizetype i = wholeEnd; i <= last; ++i) {
    if (isDigit(format[i])) format[i] = u'0';
  }
  return format;
}

}  // namespace

Reply RegionalFormatsReply(const RegionalFormats& formats) {
  const QLocale& locale = formats.locale;
  const QString amount = CurrencyText(kExampleAmount, locale);
  const QString negativeAmount = CurrencyText(-kExampleAmount, locale);
  FieldInfo number;
  number.type = FieldType::kDouble;
  const QString plainNumber = QStringLiteral("0") + locale.decimalPoint() + QStringLiteral("#");
  // The first eight fields are all that clients written before the others came read.
  return Reply{
      "RegionalFormats",
      {formats.shortDate, GeneralDateText(WallClock(kExampleDate, QTime(0, 0)), formats),
       formats.longTime, GeneralDateText(WallClock(QDate(1899, 12, 30), kExampleTime), formats),
       AmountFormat(amount, locale), amount, plainNumber,
       FieldValueText(Variant(kExampleAmount), number, formats),
       AmountFormat(negativeAmount, locale), negativeAmount,
       plainNumber + locale.exponential() + QStringLiteral("+00"),
       FieldValueText(Variant(kExampleExponentNumber), number, formats),
       QString::number(kDoubleDigits), QString::number(kSingleDigits)},
      false};
}

}  // namespace corvane
