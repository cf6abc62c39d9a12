#include "core/protocol/message_fields.h"

#include <gtest/gtest.h>

#include <limits>

#include "core/protocol/command_error.h"
#include "core/protocol/leading_number.h"

namespace corvane {
namespace {

TEST(NextFieldTest, ReadsFieldsUpToTheEndMarker) {
  FieldCursor cursor(QByteArray("\x02Next\x04\x03\x04"));
  EXPECT_EQ(cursor.Next(), "Next");
  EXPECT_EQ(cursor.FieldRest(), QByteArray("\x04"));
  EXPECT_THROW(cursor.Next(), CommandError);
}

TEST(NextFieldTest, EmptyFieldIsAField) {
  FieldCursor cursor(QByteArray("\x02Sort\x04\x04\x03\x04"));
  EXPECT_EQ(cursor.Next(), "Sort");
  EXPECT_EQ(cursor.Next(), "");
  EXPECT_THROW(cursor.Next(), CommandError);
}

TEST(NextFieldTest, FieldBeginningWithEtxEndsTheMessage) {
  FieldCursor cursor(QByteArray("\x02Logon\x04\x03more\x04\x03\x04"));
  EXPECT_EQ(cursor.Next(), "Logon");
  EXPECT_THROW(cursor.Next(), CommandError);
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

TEST(LeadingNumberTest, DecimalForms) {
  EXPECT_EQ(LeadingNumber("42"), 42);
  EXPECT_EQ(LeadingNumber("  -17abc"), -17);
  EXPECT_EQ(LeadingNumber("+ 7x"), 7);
  EXPECT_EQ(LeadingNumber("2.6"), 2.6);
  EXPECT_EQ(LeadingNumber("-.5"), -0.5);
  EXPECT_EQ(LeadingNumber("1,234"), 1);
  EXPECT_EQ(LeadingNumber("1.5E2"), 150);
  EXPECT_EQ(LeadingNumber("2D1"), 20);
  EXPECT_EQ(LeadingNumber("25e-1"), 2.5);
  EXPECT_EQ(LeadingNumber("1e"), 1);
  EXPECT_EQ(LeadingNumber("3.."), 3);
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

TEST(LeadingNumberTest, BlanksTabsAndLineFeedsAreSkippedAnywhere) {
  EXPECT_EQ(LeadingNumber(" 1 2\t3\n4"), 1234);
  EXPECT_EQ(LeadingNumber("1 . 5"), 1.5);
  // A carriage return is not skipped.
  EXPECT_EQ(LeadingNumber("1\r2"), 1);
}

TEST(LeadingNumberTest, NoDigitsGiveZero) {
  EXPECT_EQ(LeadingNumber(""), 0);
  EXPECT_EQ(LeadingNumber("abc"), 0);
  EXPECT_EQ(LeadingNumber("-"), 0);
  EXPECT_EQ(LeadingNumber("."), 0);
  EXPECT_EQ(LeadingNumber("E5"), 0);
}

TEST(LeadingNumberTest, HexadecimalAndOctal) {
  EXPECT_EQ(LeadingNumber("&H1F"), 31);
  EXPECT_EQ(LeadingNumber("&hff"), 255);
  EXPECT_EQ(LeadingNumber("&HFFFF"), -1);
  EXPECT_EQ(LeadingNumber("&H10000"), 65536);
  EXPECT_EQ(LeadingNumber("&HFFFFFFFF"), -1);
  EXPECT_EQ(LeadingNumber("&O17"), 15);
  EXPECT_EQ(LeadingNumber("&O19"), 1);
  EXPECT_EQ(LeadingNumber("&Hxyz"), 0);
}

TEST(FieldNumberTest, RoundsHalfToEven) {
  EXPECT_EQ(FieldNumber("2.6"), 3);
  EXPECT_EQ(FieldNumber("2.5"), 2);
  EXPECT_EQ(FieldNumber("3.5"), 4);
  EXPECT_EQ(FieldNumber("-2.5"), -2);
  EXPECT_EQ(FieldNumber("no digits"), 0);
  EXPECT_EQ(FieldNumber("32767"), 32767);
  EXPECT_EQ(FieldNumber("-32768"), -32768);
}

TEST(FieldNumberTest, OutsideSixteenBitsOverflows) {
  EXPECT_THROW(FieldNumber("32768"), CommandError);
  EXPECT_THROW(FieldNumber("1e300"), CommandError);
  EXPECT_THROW(FieldNumber("1e999"), CommandError);
}

}  // namespace
}  // namespace corvane
