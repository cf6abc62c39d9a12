// Values as the texts clients see under the regional settings, and back: the texts
// themselves, the quick forms that must equal QLocale's, and records sent back unchanged.
#include "commands/value_text.h"

#include <gtest/gtest.h>

#include <QFile>
#include <cmath>
#include <cstring>
#include <ctime>
#include <random>

#include "base/windows1252.h"
#include "commands/quick_format.h"
#include "db_session_fixture.h"
#include "engine/field_values.h"
#include "support/scoped_environment.h"

namespace corvane::test {
namespace {

FieldInfo Field(FieldType type) {
  FieldInfo field;
  field.name = QStringLiteral("f");
  field.type = type;
  return field;
}
QString Text(const Variant& value, FieldType type, const QLocale& locale) {
  return FieldValueText(value, Field(type), locale);
}
Variant FromText(const QString& text, FieldType type, const QLocale& locale) {
  return FieldValueFromText(text, Field(type), locale);
}

const QLocale kUs(QLocale::English, QLocale::UnitedStates);
const QLocale kGerman(QLocale::German, QLocale::Germany);
const QLocale kChile(QLocale::Spanish, QLocale::Chile);  // a peso has no decimals

// What a value looks like after a trip to the client and back, through Windows-1252.
Variant RoundTrip(const Variant& value, FieldType type, const QLocale& locale) {
  const QString text = Text(value, type, locale);
  const QString wire = FromWindows1252(ToWindows1252(text));
  EXPECT_EQ(wire, text) << "not representable on the wire";
  return FromText(wire, type, locale);
}

TEST(ValueTextTest, ValuesComeBackUnchangedFromTheirRegionalTexts) {
  const QDateTime afternoon = WallClock(QDate(2026, 12, 6), QTime(15, 4, 5));
  const QDateTime midnight = WallClock(QDate(2026, 1, 2), QTime(0, 0));
  const QDateTime timeOnly = WallClock(QDate(1899, 12, 30), QTime(8, 30, 0));
  for (const QLocale& locale : {kUs, kGerman, kChile, QLocale::c()}) {
    const std::string name = locale.name().toStdString();
    for (double value : {1234.5, -7.25, 1e9, 0.01}) {
      EXPECT_DOUBLE_EQ(RoundTrip(Variant(value), FieldType::kCurrency, locale).toReal(),
                       locale == kChile ? std::round(value) : value)
          << name << " " << value;
    }
    for (double value : {-0.125, 1e20, 2.5e-9}) {
      EXPECT_DOUBLE_EQ(RoundTrip(Variant(value), FieldType::kDouble, locale).toReal(), value)
          << name;
    }
    for (const QDateTime& value : {afternoon, midnight, timeOnly}) {
      EXPECT_EQ(RoundTrip(Variant(value), FieldType::kDateTime, locale).toDateTime(), value)
          << name;
    }
    EXPECT_EQ(RoundTrip(Variant(true), FieldType::kBoolean, locale), Variant(true)) << name;
  }
}

TEST(ValueTextTest, NoTimeTextShowsAZoneInAnyLocale) {
  const QDateTime value = WallClock(QDate(1899, 12, 30), QTime(15, 4, 5));
  for (const QLocale& locale :
       QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
    const QString text = GeneralDateText(value, locale);
    EXPECT_FALSE(text.contains("UTC") || text.contains("GMT") || text.contains("Universal"))
        << locale.name().toStdString() << ": " << text.toStdString();
  }
}

// Amounts, dates and times are the RegionalFormats examples (regional_formats_test, EditTest);
// Null texts are RegionalSessionTest's; blanks, texts that are no number or no date
// EditTest's, through the client commands.
TEST(ValueTextTest, TextsFollowTheFieldsType) {
  EXPECT_EQ(Text(Variant(1.0 / 3), FieldType::kSingle, kUs), "0.3333333");
  EXPECT_EQ(Text(Variant(1.0 / 3), FieldType::kDouble, kUs), "0.333333333333333");
  EXPECT_DOUBLE_EQ(FromText("2.345", FieldType::kCurrency, kUs).toReal(), 2.35);
  // Where "." is the decimal point the leading number is stored: 1,234 reads 1.
  EXPECT_EQ(FromText("1,234", FieldType::kLong, kUs), Variant(1.0));
  EXPECT_EQ(FromText("yes", FieldType::kBoolean, kUs), Variant(false));
  EXPECT_EQ(FromText("t", FieldType::kBoolean, kUs), Variant(true));
  EXPECT_EQ(FromText("-1", FieldType::kBoolean, kUs), Variant(true));
  EXPECT_TRUE(FromText("7", FieldType::kByte, kUs).isEmpty());
}

TEST(ValueTextTest, RegionalNumbersAcceptSymbolsSignsAndGrouping) {
  EXPECT_EQ(RegionalNumber(" $1,234.50 ", kUs), 1234.5);
  EXPECT_EQ(RegionalNumber("($2.00)", kUs), -2.0);
  EXPECT_EQ(RegionalNumber("-1.234,5 €", kGerman), -1234.5);
  EXPECT_EQ(RegionalNumber("1.5", kGerman), 15.0);  // grouping
  EXPECT_FALSE(RegionalNumber("12abc", kUs));
  EXPECT_EQ(RegionalNumber("&H1F", kGerman), 31.0);
  EXPECT_EQ(RegionalNumber("1,5D2", kGerman), 150.0);
  EXPECT_FALSE(RegionalDate("yesterday", kUs));
  EXPECT_EQ(RegionalDate("2026-12-06", kGerman)->date(), QDate(2026, 12, 6));
  // A 24-hour clock reads in every region, alone or after a date.
  for (const QLocale& locale : {QLocale::c(), kUs, kGerman}) {
    EXPECT_EQ(RegionalDate("8:30", locale), WallClock(QDate(1899, 12, 30), QTime(8, 30)));
    EXPECT_EQ(RegionalDate("20:30:05", locale), WallClock(QDate(1899, 12, 30), QTime(20, 30, 5)));
  }
  EXPECT_EQ(RegionalDate("12/6/2026 8:30", kUs), WallClock(QDate(2026, 12, 6), QTime(8, 30)));
}

TEST(ValueTextTest, DatesAreWallClockValuesThatExistInEveryTimeZone) {
  if (!QFile::exists("/usr/share/zoneinfo/Europe/Berlin")) GTEST_SKIP() << "no time zone data";
  const ScopedEnvironment berlin("TZ", "Europe/Berlin", tzset);
  // 02:30 on 29 March 2020 never happened on Berlin's clocks, but a stored value may say it.
  const QDateTime gap = DateTimeFromStoredText("2020-03-29 02:30:00");
  ASSERT_TRUE(gap.isValid());
  EXPECT_EQ(Text(Variant(gap), FieldType::kDateTime, kGerman), "29.03.2020 02:30:00");
  const Variant typed = FromText("29.03.2020 02:30:00", FieldType::kDateTime, kGerman);
  EXPECT_EQ(DateTimeToStoredText(typed.toDateTime()), "2020-03-29 02:30:00");
  // Day numbers count whole days of 24 hours on the wall clock, across the change too.
  const FieldInfo date = Field(FieldType::kDateTime);
  EXPECT_EQ(StoredValue(date, Variant(43921.5)).toText(), "2020-03-31 12:00:00");
  EXPECT_EQ(StoredValue(date, Variant(QStringLiteral("2020-03-29T02:30"))).toText(),
            "2020-03-29 02:30:00");
}

TEST(QuickFormatTest, DatesAndTimesMatchQLocaleInEveryLocale) {
  int quickLocales = 0;
  const QList<QLocale> locales =
      QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
  for (const QLocale& locale : locales) {
    const RegionalFormats formats(locale);
    for (const QDate& date : {QDate(2026, 12, 6), QDate(5, 1, 9)}) {
      if (!formats.quickShortDate) break;
      EXPECT_EQ(formats.quickShortDate->Format(date), locale.toString(date, formats.shortDate))
          << locale.name().toStdString();
    }
    for (const QTime& time : {QTime(0, 0, 5), QTime(13, 1, 59)}) {
      if (!formats.quickLongTime) break;
      EXPECT_EQ(formats.quickLongTime->Format(time), locale.toString(time, formats.longTime))
          << locale.name().toStdString();
    }
    quickLocales += formats.quickShortDate ? 1 : 0;
  }
  EXPECT_GT(quickLocales, locales.size() / 2);  // most locales' short dates are numeric
}

TEST(QuickFormatTest, NumbersMatchQLocaleOrAreLeftToIt) {
  std::mt19937_64 random(5);
  for (const QLocale& locale : {QLocale::c(), kGerman}) {
    QLocale plain = locale;
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    const std::optional<QuickNumberStyle> style = QuickNumberStyleOf(locale);
    ASSERT_TRUE(style) << locale.name().toStdString();
    int quick = 0;
    for (int i = 0; i < 20000; ++i) {
      // Every bit pattern, or the values of money and measures.
      const uint64_t bits = random();
      double value =
          static_cast<double>(bits % 100'000'000) / 4 * std::pow(10.0, int(bits % 40) - 20);
      if (i % 3 == 0) std::memcpy(&value, &bits, sizeof value);
      const int digits = i % 2 ? 7 : 15;
      const double shown = digits == 7 ? static_cast<float>(value) : value;
      if (!std::isfinite(shown)) continue;
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
  }
  EXPECT_FALSE(QuickNumberStyleOf(QLocale(QLocale::Arabic, QLocale::Egypt)));
}

class RegionalSessionTest : public EngineSessionTest {
 protected:
  void SetUp() override {
    locale_ = QLocale(QLocale::German, QLocale::Germany);
    EngineSessionTest::SetUp();
    if (IsSkipped()) return;
    Exec(QStringLiteral("CREATE TABLE sales (id INTEGER PRIMARY KEY AUTOINCREMENT, price CURRENCY, "
                        "sold DATETIME, rate DOUBLE, paid YESNO);"
                        "INSERT INTO sales (price, sold, rate, paid) VALUES "
                        "(1234.5678, '2026-03-04 17:05:09', 0.125, %1), (NULL, NULL, NULL, %2), "
                        "(-2.5, '2026-03-05 00:00:00', 1e20, %2), (NULL, NULL, NULL, NULL)")
             .arg(IsPostgres() ? "true" : "1", IsPostgres() ? "false" : "0"));
    Publish({"sales"});
    client_ = LoggedOn();
    Ask(*client_, "RequestTheTable", {"0", "0"});
  }
  QString Row(int id) {
    const QString sql =
        IsPostgres() ? QStringLiteral(
                           "SELECT format('%L %L %L %L', price, sold, rate, paid) FROM sales "
                           "WHERE id = %1")
                     : QStringLiteral(
                           "SELECT quote(price) || quote(sold) || quote(rate) || quote(paid) "
                           "FROM sales WHERE id = %1");
    return Query(sql.arg(id)).toString();
  }
  std::unique_ptr<CorvaneClient> client_;
};

TEST_P(RegionalSessionTest, RecordsSentBackUnchangedStoreTheSameValues) {
  for (int id = 1; id <= 4; ++id) {
    const QString before = Row(id);
    const ClientReply shown = Ask(*client_, "SendTheData");
    ASSERT_EQ(shown.fields.size(), 6);
    if (id == 2) {  // a Null money or date value is the empty text
      EXPECT_EQ(shown.fields.mid(1), (QList<QByteArray>{"2", "", "", "0", "False"}));
    }
    if (id == 4) {  // a Null Yes/No is shown as "False" and kept when sent back
      EXPECT_EQ(shown.fields.value(5), "False");
    }
    EXPECT_EQ(Ask(*client_, "Update", shown.fields.mid(1)).text, shown.text);
    EXPECT_EQ(Row(id), before) << id;
    Ask(*client_, "Next");
  }
  EXPECT_TRUE(Row(4).endsWith(QLatin1String("NULL")));
  Ask(*client_, "RequestTablesWiz", {"0"});
  Ask(*client_, "CreateQuery", {"Unpaid", "SELECT id, paid FROM sales WHERE id = 4"});
  EXPECT_EQ(Ask(*client_, "SendQueryData").text, Message({"QueryData", "4", "False"}));
}

INSTANTIATE_TEST_SUITE_P(Engines, RegionalSessionTest, BothEngines(), EngineName);

}  // namespace
}  // namespace corvane::test
