#include "activity/activity_timestamp.h"

namespace corvane {

QString ActivityDateText(const QDate& date, const QLocale& locale) {
  return locale.toString(date, QLocale::ShortFormat);
}

QString ActivityTimeText(const QTime& time, const QLocale& locale) {
  return locale.toString(time, TimeFormatWithoutZone(locale.timeFormat(QLocale::LongFormat)));
}

QString TimeFormatWithoutZone(const QString& format) {
  QString result;
  bool quoted = false;
  const qsizetype size = format.size();
  for (qsizetype i = 0; i < size; ++i) {
    const QChar c = format[i];
    if (c == QLatin1Char('\'')) quoted = !quoted;
    if (quoted || c != QLatin1Char('t')) {
      result.append(c);
      continue;
    }
    while (i + 1 < size && format[i + 1] == QLatin1Char('t')) ++i;
    while (!result.isEmpty() && result.back().isSpace()) result.chop(1);
    while (i + 1 < size && format[i + 1].isSpace()) ++i;
    if (!result.isEmpty() && i + 1 < size) result.append(QLatin1Char(' '));
  }
  return result.trimmed();
}

}  // namespace corvane
