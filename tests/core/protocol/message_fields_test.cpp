#include "wire/message_fields.h"

#include <gtest/gtest.h>

#include <limits>
#include <utility>
#include <vector>

#include "protocol/command_error.h"
#include "base/leading_number.h"

namespace corvane {
namespace {

TEST(NextFieldTest, CursorReadsFieldsUpToTheEndMarker) {
  FieldCursor cursor(QByteArray("\x02Sort\x04\x04\x03\x04"));
  EXPECT_EQ(cursor.Next(), "Sort");
  EXPECT_EQ(cursor.Next(), "");  // an empty field is a field
  EXPECT_EQ(cursor.FieldRest(), QByteArray("\x04"));
  EXPECT_THROW(cursor.Next(), CommandError);
  // A field beginning with ETX ends the message.
  FieldCursor early(QByteArray("\x02Logon\x04\x03more\x04\x03\x04"));
  EXPECT_EQ(early.Next(), "Logon");
  EXPECT_THROW(early.Next(), CommandError);
}

TEST(NextFieldTest, SeveralFieldsInOrder) {
  QByteArray rest;
  EXPECT_EQ(NextField(QByteArray("\x02"
                                 "a\x04"
                                 "bc\x04"
                                 "d\x04\x03\x04"),
                      rest),
            "a");
  EXPECT_EQ(NextField(rest, rest), "bc");
  EXPECT_EQ(NextField(rest, rest), "d");
  EXPECT_EQ(rest, QByteArray("\x04"));
}

TEST(NextFieldTest, FailsWithoutAnyEot) {
  QByteArray rest;
  EXPECT_THROW(NextField(QByteArray(), rest), CommandError);
  EXPECT_THROW(NextField(QByteArray("\x02word"), rest), CommandError);
  try {
    NextField(QByteArray("x"), rest);
  } catch (const CommandError& error) {
    EXPECT_EQ(error.number(), 5);
    EXPECT_EQ(error.description(), "Invalid procedure call or argument");
  }
}

TEST(FieldBuildersTest, LayoutOfRepliesAndRedirect) {
  EXPECT_EQ(LeadField("EOF"), QByteArray("\x02"
                                         "EOF\x04"));
  EXPECT_EQ(LeadField("Tables") + AddField("a") + AddField(""), QByteArray("\x02Tables\x04"
                                                                           "a\x04\x04"));
  EXPECT_EQ(PkNewEnd(QByteArray("1234\x04")), QByteArray("\x04"
                                                         "1234\x04\x03\x03\x03"));
}

TEST(LeadingNumberTest, DecimalHexadecimalAndOctalForms) {
  // Blanks, tabs and line feeds are skipped anywhere, a carriage return is not; no digits
  // give zero.
  const std::vector<std::pair<const char*, double>> cases = {
      {"42", 42},     {"  -17abc", -17},  {"+ 7x", 7},
      {"2.6", 2.6},   {"-.5", -0.5},      {"1,234", 1},
      {"1.5E2", 150}, {"2D1", 20},        {"25e-1", 2.5},
      {"1e", 1},      {"3..", 3},         {" 1 2\t3\n4", 1234},
      {"1 . 5", 1.5}, {"1\r2", 1},        {"", 0},
      {"abc", 0},     {"-", 0},           {".", 0},
      {"E5", 0},      {"&H1F", 31},       {"&hff", 255},
      {"&HFFFF", -1}, {"&H10000", 65536}, {"&HFFFFFFFF", -1},
      {"&O17", 15},   {"&O19", 1},        {"&Hxyz", 0}};
  for (const auto& [text, value] : cases) EXPECT_EQ(LeadingNumber(text), value) << text;
}

TEST(FieldNumberTest, RoundsHalfToEvenWithinSixteenBits) {
  EXPECT_EQ(FieldNumber("2.6"), 3);
  EXPECT_EQ(FieldNumber("2.5"), 2);
  EXPECT_EQ(FieldNumber("3.5"), 4);
  EXPECT_EQ(FieldNumber("-2.5"), -2);
  EXPECT_EQ(FieldNumber("no digits"), 0);
  EXPECT_EQ(FieldNumber("32767"), 32767);
  EXPECT_EQ(FieldNumber("-32768"), -32768);
  // Outside sixteen bits it overflows.
  EXPECT_THROW(FieldNumber("32768"), CommandError);
  EXPECT_THROW(FieldNumber("1e300"), CommandError);
  EXPECT_THROW(FieldNumber("1e999"), CommandError);
}

TEST(LeadingNumberTest, OutOfRangeGoesTheWayOfDigitsAndExponentTogether) {
  const double huge = std::numeric_limits<double>::infinity();
  EXPECT_EQ(LeadingNumber("1e400"), huge);
  EXPECT_EQ(LeadingNumber("-1e400"), -huge);
  EXPECT_EQ(LeadingNumber("1e-400"), 0);
  // Many digits with a small negative exponent are still far too large.
  EXPECT_EQ(LeadingNumber("1" + QByteArray(400, '0') + "e-10"), huge);
  EXPECT_EQ(LeadingNumber("-1" + QByteArray(400, '0') + "D-5"), -huge);
  // Many zeros after the point with a large exponent are still far too small.
  EXPECT_EQ(LeadingNumber("0." + QByteArray(400, '0') + "1e10"), 0);
  EXPECT_THROW(FieldNumber("1" + QByteArray(400, '0') + "e-10"), CommandError);
}

}  // namespace
}  // namespace corvane
