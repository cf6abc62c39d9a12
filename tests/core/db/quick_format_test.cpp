#include "commands/quick_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "commands/value_text.h"

namespace corvane::test {
namespace {

// The quick texts must be QLocale's own, character for character, in every locale that
// takes them; the rest go to QLocale.
TEST(QuickFormatTest, DatesAndTimesMatchQLocaleInEveryLocale) {
  const QDate dates[] = {QDate(2026, 12, 6), QDate(5, 1, 9), QDate(1999, 10, 31),
                         QDate(9999, 12, 31), QDate(2000, 2, 29)};
  const QTime times[] = {QTime(0, 0, 5), QTime(9, 7, 3), QTime(12, 30, 0), QTime(13, 1, 59),
                         QTime(23, 59, 59)};
  int quickLocales = 0;
  const QList<QLocale> locales =
      QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
  for (const QLocale& locale : locales) {
    const RegionalFormats formats(locale);
    const std::string name = locale.name().toStdString();
    if (formats.quickShortDate) {
      ++quickLocales;
      for (const QDate& date : dates) {
        EXPECT_EQ(formats.quickShortDate->Format(date), locale.toString(date, formats.shortDate))
            << name << " " << formats.shortDate.toStdString();
      }
    }
    if (formats.quickLongTime) {
      for (const QTime& time : times) {
        EXPECT_EQ(formats.quickLongTime->Format(time), locale.toString(time, formats.longTime))
            << name << " " << formats.longTime.toStdString();
      }
    }
  }
  // Most locales' short dates are numeric.
  EXPECT_GT(quickLocales, locales.size() / 2);
  for (const QLocale& common : {QLocale(QLocale::English, QLocale::UnitedStates),
                                QLocale(QLocale::German, QLocale::Germany), QLocale::c()}) {
    const RegionalFormats formats(common);
    EXPECT_TRUE(formats.quickShortDate && formats.quickLongTime)
        << common.name().toStdString() << " " << formats.shortDate.toStdString() << " "
        << formats.longTime.toStdString();
  }
}

TEST(QuickFormatTest, FormatsWithNamesOrOtherLettersAreLeftToQLocale) {
  const QLocale us(QLocale::English, QLocale::UnitedStates);
  EXPECT_FALSE(QuickDateTimeFormat::Compile(QStringLiteral("d MMMMM yyyy"), us));
  EXPECT_FALSE(QuickDateTimeFormat::Compile(QStringLiteral("HH:mm:ss.zzz"), us));
  EXPECT_FALSE(QuickDateTimeFormat::Compile(QStringLiteral("h:mm Ap"), us));
  EXPECT_FALSE(QuickDateTimeFormat::Compile(QStringLiteral("yyy-MM-dd"), us));
  EXPECT_FALSE(QuickDateTimeFormat::Compile(QStringLiteral("d.M.yyyy H:mm"), us));
  // Quoted text is copied, '' is a quote.
  const auto quoted = QuickDateTimeFormat::Compile(QStringLiteral("H 'h' mm 'o''clock' ''"), us);
  ASSERT_TRUE(quoted);
  EXPECT_EQ(quoted->Format(QTime(7, 5)), us.toString(QTime(7, 5), "H 'h' mm 'o''clock' ''"));
}

TEST(QuickFormatTest, NumbersMatchQLocaleOrAreLeftToIt) {
  std::mt19937_64 random(5);
  for (const QLocale& locale :
       {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates),
        QLocale(QLocale::German, QLocale::Germany), QLocale(QLocale::French, QLocale::France)}) {
    QLocale plain = locale;
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    const std::optional<QuickNumberStyle> point = QuickNumberStyleOf(locale);
    ASSERT_TRUE(point) << locale.name().toStdString();
    int quick = 0;
    for (int i = 0; i < 20000; ++i) {
      double value;
      if (i % 3 == 0) {
        const uint64_t bits = random();
        std::memcpy(&value, &bits, sizeof value);
        if (!std::isfinite(value)) continue;
      } else {
        value = static_cast<double>(random() % 100'000'000) / 4 *
                std::pow(10.0, static_cast<int>(random() % 40) - 20);
      }
      for (int digits : {7, 15}) {
        const double shown = digits == 7 ? static_cast<float>(value) : value;
        if (const auto text = QuickNumberText(shown, digits, *point)) {
          ++quick;
          ASSERT_EQ(*text, plain.toString(shown, 'g', digits)) << shown << " " << digits;
        }
      }
    }
    EXPECT_GT(quick, 10000);
    // Values that need rounding (where QLocale and the C++ library break ties apart) and
    // values without digits go to QLocale.
    EXPECT_FALSE(QuickNumberText(942395.25, 7, *point));
    EXPECT_FALSE(QuickNumberText(0.0, 15, *point));
    EXPECT_FALSE(QuickNumberText(INFINITY, 15, *point));
    EXPECT_EQ(QuickNumberText(-1234.5, 15, *point), plain.toString(-1234.5, 'g', 15));
  }
  EXPECT_FALSE(QuickNumberStyleOf(QLocale(QLocale::Arabic, QLocale::Egypt)));
}

}  // namespace
}  // namespace corvane::test
