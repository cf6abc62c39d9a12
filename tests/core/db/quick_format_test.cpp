// The quick texts of dates, times and numbers must be QLocale's own, character for
// character, wherever they are taken; the rest is left to QLocale.
#include "commands/quick_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "commands/value_text.h"

namespace corvane::test {
namespace {

TEST(QuickFormatTest, DatesAndTimesMatchQLocaleInEveryLocale) {
  const QDate dates[] = {QDate(2026, 12, 6), QDate(5, 1, 9), QDate(9999, 12, 31)};
  const QTime times[] = {QTime(0, 0, 5), QTime(9, 7, 3), QTime(13, 1, 59)};
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
            << name;
      }
    }
    if (formats.quickLongTime) {
      for (const QTime& time : times) {
        EXPECT_EQ(formats.quickLongTime->Format(time), locale.toString(time, formats.longTime))
            << name;
      }
    }
  }
  // Most locales' short dates are numeric.
  EXPECT_GT(quickLocales, locales.size() / 2);
  const QLocale us(QLocale::English, QLocale::UnitedStates);
  EXPECT_FALSE(QuickDateTimeFormat::Compile("d MMMMM yyyy", us));
  EXPECT_FALSE(QuickDateTimeFormat::Compile("HH:mm:ss.zzz", us));
  // Quoted text is copied, '' is a quote.
  const auto quoted = QuickDateTimeFormat::Compile("H 'h' mm 'o''clock' ''", us);
  ASSERT_TRUE(quoted);
  EXPECT_EQ(quoted->Format(QTime(7, 5)), us.toString(QTime(7, 5), "H 'h' mm 'o''clock' ''"));
}

TEST(QuickFormatTest, NumbersMatchQLocaleOrAreLeftToIt) {
  std::mt19937_64 random(5);
  for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::German, QLocale::Germany)}) {
    QLocale plain = locale;
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    const std::optional<QuickNumberStyle> style = QuickNumberStyleOf(locale);
    ASSERT_TRUE(style) << locale.name().toStdString();
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
      const int digits = i % 2 ? 7 : 15;
      const double shown = digits == 7 ? static_cast<float>(value) : value;
      if (const auto text = QuickNumberText(shown, digits, *style)) {
        ++quick;
        ASSERT_EQ(*text, plain.toString(shown, 'g', digits)) << shown << " " << digits;
      }
    }
    EXPECT_GT(quick, 5000);
    // Values that need rounding (where QLocale and the C++ library break ties apart) and
    // values without digits go to QLocale.
    EXPECT_FALSE(QuickNumberText(942395.25, 7, *style));
    EXPECT_FALSE(QuickNumberText(0.0, 15, *style));
    EXPECT_FALSE(QuickNumberText(INFINITY, 15, *style));
  }
  EXPECT_FALSE(QuickNumberStyleOf(QLocale(QLocale::Arabic, QLocale::Egypt)));
}

}  // namespace
}  // namespace corvane::test
