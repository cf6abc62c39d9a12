// The wire: the payload cipher and the scrambles, frames as they are searched for in the
// receive buffer and decoded, and the fields and numbers of a message. Framing and ciphering
// whole exchanges are checked byte for byte by the dispatcher tests and the protocol guide's
// replayed session.
#include <gtest/gtest.h>

#include <QList>
#include <limits>
#include <utility>
#include <vector>

#include "base/leading_number.h"
#include "base/pseudo_random.h"
#include "base/text_scramble.h"
#include "protocol/command_error.h"
#include "protocol/field_reader.h"
#include "wire/cipher.h"
#include "wire/frame_assembler.h"
#include "wire/frame_codec.h"
#include "wire/message_fields.h"
#include "wire/request_codec.h"

namespace corvane::test {
namespace {

TEST(PayloadCipher, EdgeCasesOfKeysAndText) {
  // k2 = 10 is a multiple of L = 5, so limit = 0 and every byte moves by m + 1.
  EXPECT_EQ(EncryptPayload("AAAAA", 7, 10), QByteArray(5, static_cast<char>('A' + 3 + 1)));
  EXPECT_EQ(EncryptPayload("abc", 0, 5), QByteArray("abc"));
  // The integer key is the private key's two leading digits.
  EXPECT_EQ(DerivedIntegerKey(LogonKey), 48);
  EXPECT_EQ(DerivedIntegerKey(87654321), 87);
  EXPECT_EQ(DerivedIntegerKey(7), 7);
}

TEST(RandomTrailer, FourNonZeroBytesInTheSameSequenceInEveryServer) {
  PseudoRandom random;
  PseudoRandom other;
  EXPECT_EQ(RandomTrailer(random), RandomTrailer(other));
  for (int i = 0; i < 2000; ++i) {
    const QByteArray trailer = RandomTrailer(random);
    ASSERT_EQ(trailer.size(), 4);
    EXPECT_EQ(trailer.indexOf('\0'), -1);
  }
}

TEST(TextScramble, TheMirrorMapsLettersAndDigitsAndTheKeyedXorMasksByPosition) {
  EXPECT_EQ(MirrorText("abcAMNZ0123456789- _\xE9"), QByteArray("zyxZNMA9876543210- _\xE9"));
  // key 157 -> digit sum 13; the first byte is XORed with 14, the second with 15.
  EXPECT_EQ(KeyedXor(QByteArray("\0\0", 2), 157), QByteArray("\x0E\x0F"));
}

const QByteArray kEnd("\x03\x03\x03");
const QByteArray kTrailer("\x11\x22\x33\x44");

// STX, then each field followed by EOT.
QByteArray Text(const QList<QByteArray>& fields) {
  QByteArray text("\x02");
  for (const QByteArray& field : fields) text += field + '\x04';
  return text;
}

TEST(FindFrameLengthTest, AnEndMarkInsideTheEncipheredPayloadIsSkipped) {
  // A logon text whose enciphered form holds ETX ETX ETX inside the user name.
  QByteArray text = Text({"Logon", "bo???b", "pw", "addr"});
  const qsizetype at = text.indexOf("???");
  const RequestKeys keys{true, DerivedIntegerKey(LogonKey), LogonKey};
  const int64_t m = keys.k2 % keys.k1;
  const int64_t limit = (keys.k2 % text.size()) % 16;
  int64_t c = 1;
  for (qsizetype i = 0; i < text.size(); ++i, c = c >= limit ? 1 : c + 1) {
    if (i >= at && i < at + 3) text[i] = static_cast<char>((3 - m - c + 255 * 64) % 255);
  }
  const QByteArray payload = EncryptPayload(text, keys.k1, keys.k2);
  ASSERT_EQ(payload.mid(at, 3), kEnd);
  const QByteArray frame = payload + kEnd + kTrailer;
  // Fed byte by byte, the frame is found only once it is whole.
  QByteArray buffer;
  qsizetype scan = 0;
  for (qsizetype i = 0; i < frame.size(); ++i) {
    buffer += frame[i];
    const auto found = FindFrameLength(buffer, scan, keys, 7);
    if (i + 1 < frame.size()) {
      ASSERT_FALSE(found) << "at byte " << i;
    } else {
      EXPECT_EQ(found, frame.size());
    }
  }
  // A payload under other keys is taken as it is, up to its first end mark.
  const QByteArray other = EncryptPayload(Text({"Logon"}), 13, 1234567) + kEnd + kTrailer;
  scan = 0;
  EXPECT_EQ(FindFrameLength(other + "more", scan, keys, 7), other.size());
}

// The guide's example of a request under a session key, which its replayed session (with
// key 157) does not show; the guide's logon bytes are pinned by that replay.
TEST(ProtocolExampleTest, RequestUnderASessionKeyBytes) {
  EXPECT_EQ(EncryptPayload(Text({"RequestTables", "0"}), 42, 12345678).toHex(' '),
            "21 72 86 93 98 89 92 94 75 83 85 90 84 93 25 52 27");
}

using Fields = QList<QByteArray>;
const QByteArray kStx("\x02");
const QByteArray kEot("\x04");
// The end marker as it stands after the frame's end mark was unwrapped.
const QByteArray kMarker("\x03\x04");

TEST(SplitMessageTest, FieldsRunUpToTheEndMarker) {
  EXPECT_EQ(SplitMessage(kStx + "Sort" + kEot + kEot + kMarker), Fields({"Sort", ""}));
  EXPECT_EQ(SplitMessage(kStx + "a" + kEot + "bc" + kEot + kMarker), Fields({"a", "bc"}));
  // A field beginning with ETX ends the message.
  EXPECT_EQ(SplitMessage(kStx + "Logon" + kEot + "\x03more" + kEot + kMarker), Fields({"Logon"}));
  // The first character is passed over whatever it is; a last field without its EOT runs
  // into the end marker.
  EXPECT_EQ(SplitMessage("xNext" + kEot + kMarker), Fields({"Next"}));
  EXPECT_EQ(SplitMessage(kStx + "Next" + kEot + "tail" + kMarker), Fields({"Next", "tail\x03"}));
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
  EXPECT_EQ(request.command, &Describe(Command::kLogon));
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
