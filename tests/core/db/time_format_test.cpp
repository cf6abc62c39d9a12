// The time part of date texts leaves out the time zone in every locale: the same texts as
// removing each standalone run of "t" (with the blanks before it) by pattern.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>

#include "commands/value_text.h"

namespace corvane::test {
namespace {

QString ExpectedTime(const QTime& time, const QLocale& locale) {
  static const QRegularExpression kZone(QStringLiteral("\\s*(?<![A-Za-z'])t+(?![A-Za-z'])"));
  QString format = locale.timeFormat(QLocale::LongFormat);
  format.replace(QChar(u'\u202F'), QChar(u'\u00A0'));
  format.remove(kZone);
  QString text = locale.toString(time, format.trimmed());
  return text.replace(QChar(u'\u202F'), QChar(u'\u00A0'));
}

TEST(TimeFormatTest, EveryLocaleDropsTheZoneAsThePatternDoes) {
  const QTime time(15, 4, 5);
  // The zero date: the text is the time alone.
  const QDateTime value(QDate(1899, 12, 30), time);
  const QList<QLocale> locales =
      QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
  ASSERT_GT(locales.size(), 100);
  int withZone = 0;
  for (const QLocale& locale : locales) {
    if (locale.timeFormat(QLocale::LongFormat).contains(u't')) ++withZone;
    EXPECT_EQ(GeneralDateText(value, locale), ExpectedTime(time, locale))
        << locale.name().toStdString();
  }
  EXPECT_GT(withZone, 0);
}

TEST(TimeFormatTest, ZoneLettersInsideWordsOrQuotesStay) {
  // en_US long time is "h:mm:ss AP t": the zone and its blank go, the rest stays.
  const QLocale us(QLocale::English, QLocale::UnitedStates);
  EXPECT_EQ(GeneralDateText(QDateTime(QDate(1899, 12, 30), QTime(15, 4, 5)), us),
            QStringLiteral("3:04:05 PM"));
}

}  // namespace
}  // namespace corvane::test
