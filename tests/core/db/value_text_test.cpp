#include "commands/value_text.h"

#include <gtest/gtest.h>

#include <QFile>
#include <cmath>
#include <ctime>

#include "base/windows1252.h"
#include "engine/field_values.h"
#include "protocol/command_error.h"

namespace corvane::test {
namespace {

FieldInfo Field(FieldType type, int32_t size = 0) {
  FieldInfo field;
  field.name = QStringLiteral("f");
  field.type = type;
  field.size = size;
  return field;
}

const QLocale kUs(QLocale::English, QLocale::UnitedStates);
const QLocale kGerman(QLocale::German, QLocale::Germany);

// What a value looks like after a trip to the client and back, through Windows-1252.
Variant RoundTrip(const Variant& value, FieldType type, const QLocale& locale) {
  const QString text = FieldValueText(value, Field(type), locale);
  const QString wire = FromWindows1252(ToWindows1252(text));
  EXPECT_EQ(wire, text) << "not representable on the wire";
  return FieldValueFromText(wire, Field(type), locale);
}

TEST(ValueTextTest, CurrencyFollowsTheRegionalFormatAndComesBackUnchanged) {
  EXPECT_EQ(FieldValueText(Variant(1234.5), Field(FieldType::kCurrency), kUs),
            QStringLiteral("$1,234.50"));
  EXPECT_EQ(FieldValueText(Variant(1234.5), Field(FieldType::kCurrency), kGerman),
            QStringLiteral("1.234,50\u00A0€"));
  // Chile's peso has no decimals.
  const QLocale chile(QLocale::Spanish, QLocale::Chile);
  for (const QLocale& locale :
       {kUs, kGerman, QLocale(QLocale::French, QLocale::France), chile, QLocale::c()}) {
    for (double value : {0.0, 1234.5, -7.25, 1e9, 0.01}) {
      const Variant back = RoundTrip(Variant(value), FieldType::kCurrency, locale);
      EXPECT_DOUBLE_EQ(back.toReal(), locale == chile ? std::round(value) : value)
          << locale.name().toStdString() << " " << value;
    }
  }
  // Rounded to the currency's decimals; a text that is no number stores 0.
  EXPECT_DOUBLE_EQ(
      FieldValueFromText(QStringLiteral("2.345"), Field(FieldType::kCurrency), kUs).toReal(), 2.35);
  EXPECT_EQ(FieldValueFromText(QStringLiteral("abc"), Field(FieldType::kCurrency), kUs),
            Variant(0));
  EXPECT_EQ(FieldValueText(Variant::Null(), Field(FieldType::kCurrency), kUs), QString());
}

TEST(ValueTextTest, DatesUseTheGeneralDateFormAndComeBackUnchanged) {
  const QDateTime afternoon = WallClock(QDate(2026, 12, 6), QTime(15, 4, 5));
  const QDateTime midnight = WallClock(QDate(2026, 1, 2), QTime(0, 0));
  const QDateTime timeOnly = WallClock(QDate(1899, 12, 30), QTime(8, 30, 0));
  EXPECT_EQ(FieldValueText(Variant(afternoon), Field(FieldType::kDateTime), kUs),
            QStringLiteral("12/6/2026 3:04:05 PM"));
  EXPECT_EQ(FieldValueText(Variant(afternoon), Field(FieldType::kDateTime), kGerman),
            QStringLiteral("06.12.2026 15:04:05"));
  EXPECT_EQ(FieldValueText(Variant(midnight), Field(FieldType::kDateTime), kGerman),
            QStringLiteral("02.01.2026"));
  EXPECT_EQ(FieldValueText(Variant(timeOnly), Field(FieldType::kDateTime), kUs),
            QStringLiteral("8:30:00 AM"));
  for (const QLocale& locale : {kUs, kGerman, QLocale(QLocale::French, QLocale::France),
                                QLocale(QLocale::English, QLocale::UnitedKingdom), QLocale::c()}) {
    for (const QDateTime& value : {afternoon, midnight, timeOnly}) {
      const Variant back = RoundTrip(Variant(value), FieldType::kDateTime, locale);
      EXPECT_EQ(back.toDateTime(), value) << locale.name().toStdString();
    }
  }
  EXPECT_EQ(FieldValueText(Variant::Null(), Field(FieldType::kDateTime), kUs), QString());
  // A text that is no date stores the current date and time.
  const QDateTime now =
      FieldValueFromText(QString(), Field(FieldType::kDateTime), kUs).toDateTime();
  EXPECT_LE(qAbs(now.secsTo(WallClock(QDate::currentDate(), QTime::currentTime()))), 2);
}

// Sets the process's time zone for one test and puts the old one back.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone)
      : old_(qgetenv("TZ")), had_(qEnvironmentVariableIsSet("TZ")) {
    qputenv("TZ", zone);
    tzset();
  }
  ~ScopedTimeZone() {
    if (had_) {
      qputenv("TZ", old_);
    } else {
      qunsetenv("TZ");
    }
    tzset();
  }

 private:
  QByteArray old_;
  bool had_;
};

TEST(ValueTextTest, DatesAreWallClockValuesThatExistInEveryTimeZone) {
  if (!QFile::exists(QStringLiteral("/usr/share/zoneinfo/Europe/Berlin"))) {
    GTEST_SKIP() << "no time zone data";
  }
  ScopedTimeZone berlin("Europe/Berlin");
  // 02:30 on 29 March 2020 never happened on Berlin's clocks, but a stored value may say it.
  const QDateTime gap = DateTimeFromStoredText(QStringLiteral("2020-03-29 02:30:00"));
  ASSERT_TRUE(gap.isValid());
  EXPECT_EQ(FieldValueText(Variant(gap), Field(FieldType::kDateTime), kGerman),
            QStringLiteral("29.03.2020 02:30:00"));
  const Variant typed = FieldValueFromText(QStringLiteral("29.03.2020 02:30:00"),
                                           Field(FieldType::kDateTime), kGerman);
  EXPECT_EQ(DateTimeToStoredText(typed.toDateTime()), QStringLiteral("2020-03-29 02:30:00"));
  // Day numbers count whole days of 24 hours on the wall clock, across the change too.
  FieldInfo date = Field(FieldType::kDateTime);
  EXPECT_EQ(StoredValue(date, Variant(43921.5)).toText(), QStringLiteral("2020-03-31 12:00:00"));
  EXPECT_EQ(StoredValue(date, Variant(QStringLiteral("2020-03-29T02:30"))).toText(),
            QStringLiteral("2020-03-29 02:30:00"));
}

TEST(ValueTextTest, NumbersUseTheRegionalDecimalSeparatorAndComeBackUnchanged) {
  EXPECT_EQ(FieldValueText(Variant(1234.5), Field(FieldType::kDouble), kGerman),
            QStringLiteral("1234,5"));
  EXPECT_EQ(FieldValueText(Variant(1.0 / 3), Field(FieldType::kSingle), kUs),
            QStringLiteral("0.3333333"));
  EXPECT_EQ(FieldValueText(Variant(1.0 / 3), Field(FieldType::kDouble), kUs),
            QStringLiteral("0.333333333333333"));
  for (const QLocale& locale : {kUs, kGerman, QLocale::c()}) {
    for (double value : {1234.5, -0.125, 1e20, 2.5e-9}) {
      EXPECT_DOUBLE_EQ(RoundTrip(Variant(value), FieldType::kDouble, locale).toReal(), value)
          << locale.name().toStdString();
    }
  }
  // Where "." is the decimal point the leading number is stored: 1,234 is numeric, reads 1.
  EXPECT_EQ(FieldValueFromText(QStringLiteral("1,234"), Field(FieldType::kLong), kUs),
            Variant(1.0));
  EXPECT_EQ(FieldValueFromText(QStringLiteral("12abc"), Field(FieldType::kLong), kUs),
            Variant(QStringLiteral("0")));
  EXPECT_EQ(FieldValueText(Variant::Null(), Field(FieldType::kLong), kUs), QStringLiteral("0"));
  EXPECT_EQ(FieldValueText(Variant(int64_t{-42}), Field(FieldType::kInteger), kGerman),
            QStringLiteral("-42"));
}

TEST(ValueTextTest, TextsYesNoAndOtherTypes) {
  EXPECT_EQ(FieldValueFromText(QStringLiteral("  abc "), Field(FieldType::kText), kUs),
            Variant(QStringLiteral("abc")));
  EXPECT_TRUE(FieldValueFromText(QStringLiteral("   "), Field(FieldType::kMemo), kUs).isNull());
  EXPECT_EQ(FieldValueText(Variant::Null(), Field(FieldType::kText), kUs), QString());
  EXPECT_EQ(FieldValueFromText(QStringLiteral("yes"), Field(FieldType::kBoolean), kUs),
            Variant(false));
  EXPECT_EQ(FieldValueFromText(QStringLiteral("t"), Field(FieldType::kBoolean), kUs),
            Variant(true));
  EXPECT_EQ(FieldValueFromText(QStringLiteral("-1"), Field(FieldType::kBoolean), kUs),
            Variant(true));
  EXPECT_EQ(RoundTrip(Variant(true), FieldType::kBoolean, kGerman), Variant(true));
  EXPECT_EQ(RoundTrip(Variant(false), FieldType::kBoolean, kGerman), Variant(false));
  EXPECT_THROW(FieldValueText(Variant::Null(), Field(FieldType::kBoolean), kUs), CommandError);
  EXPECT_EQ(FieldValueText(Variant(int64_t{7}), Field(FieldType::kByte), kUs), QString());
  EXPECT_TRUE(FieldValueFromText(QStringLiteral("7"), Field(FieldType::kByte), kUs).isEmpty());
}

TEST(ValueTextTest, RegionalNumbersAcceptSymbolsSignsAndGrouping) {
  EXPECT_EQ(RegionalNumber(QStringLiteral(" $1,234.50 "), kUs), 1234.5);
  EXPECT_EQ(RegionalNumber(QStringLiteral("($2.00)"), kUs), -2.0);
  EXPECT_EQ(RegionalNumber(QStringLiteral("-1.234,5 €"), kGerman), -1234.5);
  EXPECT_EQ(RegionalNumber(QStringLiteral("1.5"), kGerman), 15.0);  // grouping
  EXPECT_FALSE(RegionalNumber(QStringLiteral("12abc"), kUs));
  EXPECT_EQ(RegionalNumber(QStringLiteral("&H1F"), kGerman), 31.0);
  EXPECT_EQ(RegionalNumber(QStringLiteral("1,5D2"), kGerman), 150.0);
  EXPECT_FALSE(RegionalNumber(QString(), kUs));
  EXPECT_FALSE(RegionalDate(QStringLiteral("yesterday"), kUs));
  EXPECT_EQ(RegionalDate(QStringLiteral("2026-12-06"), kGerman)->date(), QDate(2026, 12, 6));
}

}  // namespace
}  // namespace corvane::test
