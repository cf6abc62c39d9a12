// The record format of the settings files: quoted texts, numbers and empty fields across
// commas and line ends.
#include "config/sequential_records.h"

#include <gtest/gtest.h>

#include <QLocale>

#include "support/scoped_default_locale.h"

namespace corvane::test {
namespace {

TEST(SequentialRecords, NumbersUseADecimalPointWithoutExponentWhateverTheLocale) {
  const ScopedDefaultLocale german(QLocale(QLocale::German, QLocale::Germany));
  SequentialWriter writer;
  writer.WriteText(QString::fromUtf8("Caf\u00e9.mdb"));
  writer.WriteNumber(SettingNumber());
  writer.WriteInteger(-12);
  for (double value : {1234.5, -0.25, -0.0, 1e20, 1e-7}) writer.WriteNumber(value);
  writer.EndRecord();
  EXPECT_EQ(writer.bytes(),
            "\"Caf\xe9.mdb\",,-12,1234.5,-0.25,0,100000000000000000000,0.0000001\r\n");
  SequentialReader reader("1234.5,1\r\n");
  SettingNumber number;
  ASSERT_TRUE(reader.ReadNumber(number));
  EXPECT_EQ(number, 1234.5);
}

TEST(SequentialReader, ReadsFieldsAcrossCommasAndLineEnds) {
  SequentialReader reader(" \"a, b\" ,  12 ,\r\n\"x\"\ny\r\"\xe9\",\r\n5,");
  QString text;
  SettingNumber number;
  int16_t small = -1;
  ASSERT_TRUE(reader.ReadText(text));
  EXPECT_EQ(text, "a, b");
  ASSERT_TRUE(reader.ReadNumber(number));
  EXPECT_EQ(number, 12.0);
  ASSERT_TRUE(reader.ReadInt16(small));  // the empty field before the line end
  EXPECT_EQ(small, 0);
  for (const char* expected : {"x", "y", "\xc3\xa9"}) {
    ASSERT_TRUE(reader.ReadText(text));
    EXPECT_EQ(text, QString::fromUtf8(expected));
  }
  ASSERT_TRUE(reader.ReadNumber(number));  // empty: nothing
  EXPECT_FALSE(number.has_value());
  ASSERT_TRUE(reader.ReadInt16(small));
  EXPECT_EQ(small, 5);
  EXPECT_FALSE(reader.AtEnd());  // a comma promises one more field
  ASSERT_TRUE(reader.ReadNumber(number));
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_FALSE(reader.ReadText(text));
  EXPECT_TRUE(reader.failed_past_end());
}

TEST(SequentialReader, IntegersRoundHalfToEvenAndAFailedFieldIsConsumed) {
  SequentialReader reader("2.5,3.5,-2.5,32767,-32768,40000,-32769,abc,1e3\r\n");
  int16_t value = 0;
  for (int16_t want : {2, 4, -2, 32767, -32768}) {
    ASSERT_TRUE(reader.ReadInt16(value));
    EXPECT_EQ(value, want);
  }
  for (int failing = 0; failing < 3; ++failing) {
    value = 77;
    EXPECT_FALSE(reader.ReadInt16(value));
    EXPECT_FALSE(reader.failed_past_end());
    EXPECT_EQ(value, 77);
  }
  ASSERT_TRUE(reader.ReadInt16(value));
  EXPECT_EQ(value, 1000);
}

TEST(SequentialReader, AnUnterminatedQuoteIsAReadErrorAndSkippingStopsAtTheNextLine) {
  SequentialReader broken("\"abc,def\r\n");
  QString text = "kept";
  EXPECT_FALSE(broken.ReadText(text));
  EXPECT_EQ(text, "kept");
  SequentialReader reader("x,y,z\r\n7\r\n8\r\n");
  int16_t number = 0;
  ASSERT_TRUE(reader.ReadText(text));
  reader.SkipRestOfLine();
  ASSERT_TRUE(reader.ReadInt16(number));
  EXPECT_EQ(number, 7);
  reader.SkipRestOfLine();  // already at the start of a line: nothing skipped
  ASSERT_TRUE(reader.ReadInt16(number));
  EXPECT_EQ(number, 8);
}

}  // namespace
}  // namespace corvane::test
