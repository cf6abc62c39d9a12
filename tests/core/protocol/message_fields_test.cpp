// The fields of a message and the numbers read from them.
#include "wire/message_fields.h"

#include <gtest/gtest.h>

#include <limits>
#include <utility>
#include <vector>

#include "base/leading_number.h"
#include "protocol/command_error.h"
#include "protocol/field_reader.h"
#include "wire/request_codec.h"

namespace corvane::test {
namespace {

using Fields = QList<QByteArray>;
const QByteArray kStx("\x02");
const QByteArray kEot("\x04");
const QByteArray kEnd("\x03\x04");

TEST(SplitMessageTest, FieldsRunUpToTheEndMarker) {
  EXPECT_EQ(SplitMessage(kStx + "Sort" + kEot + kEot + kEnd), Fields({"Sort", ""}));
  EXPECT_EQ(SplitMessage(kStx + "a" + kEot + "bc" + kEot + kEnd), Fields({"a", "bc"}));
  // A field beginning with ETX ends the message.
  EXPECT_EQ(SplitMessage(kStx + "Logon" + kEot + "\x03more" + kEot + kEnd), Fields({"Logon"}));
  // The first character is passed over whatever it is; a last field without its EOT runs
  // into the end marker.
  EXPECT_EQ(SplitMessage("xNext" + kEot + kEnd), Fields({"Next"}));
  EXPECT_EQ(SplitMessage(kStx + "Next" + kEot + "tail" + kEnd), Fields({"Next", "tail\x03"}));
  // Nothing without any EOT.
  EXPECT_FALSE(SplitMessage(QByteArray()));
  EXPECT_FALSE(SplitMessage(kStx + "word"));
}

TEST(DecodeRequestTest, TextsAreWindows1252AndTheLogonPasswordIsMirroredBack) {
  ServerSettings settings;
  SlotSession session;
  const QByteArray end("\x03\x03\x03\x04");
  const Request request = DecodeRequest(
      kStx + "Logon" + kEot + "J\xf6rg" + kEot + "H:9" + kEot + "10.1.1.1" + kEot + end, session,
      settings);
  EXPECT_FALSE(request.malformed);
  EXPECT_EQ(request.word, "Logon");
  EXPECT_EQ(request.fields, QStringList({QString::fromUtf8("J\u00f6rg"), "S:0", "10.1.1.1"}));
  // Other commands' fields are taken as they are.
  EXPECT_EQ(DecodeRequest(kStx + "Sort" + kEot + "H9" + kEot + end, session, settings).fields,
            QStringList({"H9"}));
  // A frame shorter than its trailer, an empty enciphered payload: no word at all.
  EXPECT_TRUE(DecodeRequest("ab", session, settings).malformed);
  session.FreshConnection = true;
  EXPECT_TRUE(DecodeRequest("\x03\x03\x03wxyz", session, settings).malformed);
}

TEST(FieldBuildersTest, LayoutOfRepliesAndRedirect) {
  EXPECT_EQ(LeadField("Tables") + AddField("a") + AddField(""),
            kStx + "Tables" + kEot + "a" + kEot + kEot);
  EXPECT_EQ(PkNewEnd("1234" + kEot), kEot + "1234" + kEot + "\x03\x03\x03");
}

TEST(LeadingNumberTest, DecimalHexadecimalAndOctalForms) {
  // Blanks, tabs and line feeds are skipped anywhere, a carriage return is not; no digits
  // give zero.
  const std::vector<std::pair<const char*, double>> cases = {
      {"  -17abc", -17},  {"+ 7x", 7},        {"-.5", -0.5}, {"1,234", 1},  {"1.5E2", 150},
      {"2D1", 20},        {"25e-1", 2.5},     {"1e", 1},     {"3..", 3},    {" 1 2\t3\n4", 1234},
      {"1\r2", 1},        {"abc", 0},         {"E5", 0},     {"&hff", 255}, {"&HFFFF", -1},
      {"&H10000", 65536}, {"&HFFFFFFFF", -1}, {"&O17", 15},  {"&O19", 1},   {"&Hxyz", 0}};
  for (const auto& [text, value] : cases) EXPECT_EQ(LeadingNumber(text), value) << text;
}

TEST(FieldNumberTest, RoundsHalfToEvenWithinSixteenBits) {
  EXPECT_EQ(FieldNumber("2.6"), 3);
  EXPECT_EQ(FieldNumber("2.5"), 2);
  EXPECT_EQ(FieldNumber("-2.5"), -2);
  EXPECT_EQ(FieldNumber("no digits"), 0);
  EXPECT_EQ(FieldNumber("-32768"), -32768);
  EXPECT_THROW(FieldNumber("32768"), CommandError);
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
}  // namespace corvane::test
