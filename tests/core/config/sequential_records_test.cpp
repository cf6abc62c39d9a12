#include "config/sequential_records.h"

#include <gtest/gtest.h>

#include <QLocale>

#include "support/scoped_default_locale.h"

namespace corvane::test {
namespace {

TEST(SequentialWriter, WritesQuotedTextNumbersAndNothing) {
  SequentialWriter writer;
  writer.WriteText(QString::fromUtf8("Caf\u00e9.mdb"));
  writer.WriteNumber(SettingNumber());
  writer.WriteInteger(-12);
  writer.EndRecord();
  writer.WriteNumber(SettingNumber());
  writer.EndRecord();
  EXPECT_EQ(writer.bytes(), QByteArray("\"Caf\xe9.mdb\",,-12\r\n\r\n"));
}

TEST(SequentialRecords, NumbersUseADecimalPointWithoutSignOrExponentWhateverTheLocale) {
  // Numbers in the files never follow the default locale's decimal comma.
  const ScopedDefaultLocale german(QLocale(QLocale::German, QLocale::Germany));
  SequentialWriter writer;
  writer.WriteNumber(1234.5);
  writer.WriteNumber(7.0);
  writer.WriteNumber(-0.25);
  writer.WriteNumber(-0.0);
  writer.WriteNumber(1e20);
  writer.WriteNumber(1e-7);
  writer.EndRecord();
  EXPECT_EQ(writer.bytes(), QByteArray("1234.5,7,-0.25,0,100000000000000000000,0.0000001\r\n"));
  SequentialReader reader("1234.5,1,5\r\n");
  SettingNumber number;
  ASSERT_TRUE(reader.ReadNumber(number));
  EXPECT_EQ(number, 1234.5);
  ASSERT_TRUE(reader.ReadNumber(number));
  EXPECT_EQ(number, 1.0);
}

TEST(SequentialReader, ReadsFieldsAcrossCommasAndLineEnds) {
  SequentialReader reader(" \"a, b\" ,  12 ,\r\n\"x\"\ny\r\"\xe9\"");
  QString text;
  SettingNumber number;
  int16_t small = -1;
  ASSERT_TRUE(reader.ReadText(text));
  EXPECT_EQ(text, "a, b");
  ASSERT_TRUE(reader.ReadNumber(number));
  EXPECT_EQ(number, 12.0);
  ASSERT_TRUE(reader.ReadInt16(small));  // the empty field before the line end
  EXPECT_EQ(small, 0);
  ASSERT_TRUE(reader.ReadText(text));
  EXPECT_EQ(text, "x");
  ASSERT_TRUE(reader.ReadText(text));
  EXPECT_EQ(text, "y");
  ASSERT_TRUE(reader.ReadText(text));
  EXPECT_EQ(text, QString::fromUtf8("\u00e9"));
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_FALSE(reader.ReadText(text));
  EXPECT_TRUE(reader.failed_past_end());
}

TEST(SequentialReader, EmptyFieldsReadAsNothingOrZero) {
  SequentialReader reader(",\r\n5,");
  SettingNumber number = 3.0;
  int32_t whole = 9;
  ASSERT_TRUE(reader.ReadNumber(number));
  EXPECT_FALSE(number.has_value());
  ASSERT_TRUE(reader.ReadInt32(whole));
  EXPECT_EQ(whole, 0);
  ASSERT_TRUE(reader.ReadInt32(whole));
  EXPECT_EQ(whole, 5);
  EXPECT_FALSE(reader.AtEnd());  // a comma promises one more field
  number = 3.0;
  ASSERT_TRUE(reader.ReadNumber(number));
  EXPECT_FALSE(number.has_value());
  EXPECT_TRUE(reader.AtEnd());
}

TEST(SequentialReader, IntegersRoundHalfToEvenAndFailOutOfRange) {
  SequentialReader reader("2.5,3.5,-2.5,32767,-32768,40000,-32769,abc,1e3\r\n");
  int16_t value = 0;
  const int16_t expected[] = {2, 4, -2, 32767, -32768};
  for (int16_t want : expected) {
    ASSERT_TRUE(reader.ReadInt16(value));
    EXPECT_EQ(value, want);
  }
  for (int failing = 0; failing < 3; ++failing) {
    value = 77;
    EXPECT_FALSE(reader.ReadInt16(value));
    EXPECT_FALSE(reader.failed_past_end());
    EXPECT_EQ(value, 77);  // the target keeps its value
  }
  ASSERT_TRUE(reader.ReadInt16(value));  // the failing fields were consumed
  EXPECT_EQ(value, 1000);
}

TEST(SequentialReader, UnterminatedQuoteIsAReadError) {
  SequentialReader reader("\"abc,def\r\n");
  QString text = "kept";
  EXPECT_FALSE(reader.ReadText(text));
  EXPECT_EQ(text, "kept");
  EXPECT_TRUE(reader.AtEnd());
}

TEST(SequentialReader, SkipRestOfLineStopsAtTheNextLine) {
  SequentialReader reader("x,y,z\r\n7\r\n8\r\n");
  QString text;
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
