// The wire: the payload cipher and the scrambles, frames as they are wrapped, unwrapped
// and searched for in the receive buffer, and the fields and numbers of a message.
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
  // Code 255 comes back as 0.
  EXPECT_EQ(DecryptPayload(EncryptPayload(QByteArray(1, '\xFF'), 73, 12345678), 73, 12345678),
            QByteArray(1, '\0'));
  // k2 = 10 is a multiple of L = 5, so limit = 0 and every byte moves by m + 1.
  EXPECT_EQ(EncryptPayload("AAAAA", 7, 10), QByteArray(5, static_cast<char>('A' + 3 + 1)));
  EXPECT_EQ(EncryptPayload("abc", 0, 5), QByteArray("abc"));
  EXPECT_EQ(EncryptPayload("", 73, 5), QByteArray());
  EXPECT_FALSE(DecryptPayload("", 73, 5).has_value());
  // The integer key is the private key's two leading digits.
  EXPECT_EQ(DerivedIntegerKey(LogonKey), 48);
  EXPECT_EQ(DerivedIntegerKey(87654321), 87);
  EXPECT_EQ(DerivedIntegerKey(7), 7);
}

TEST(PayloadCipher, OneByteDeciphersAsWithinTheWholeText) {
  QByteArray text;
  for (int i = 0; i < 300; ++i) text.append(static_cast<char>((i * 37) % 256));
  const std::vector<std::pair<int32_t, int32_t>> keys = {{48, 48611},  {73, 12345678},   {0, 5},
                                                         {7, -123457}, {-3, 2147483647}, {1, 1}};
  for (const auto& [k1, k2] : keys) {
    for (qsizetype length : {1, 2, 15, 16, 17, 300}) {
      const QByteArray part = text.left(length);
      const QByteArray whole = *DecryptPayload(part, k1, k2);
      for (qsizetype i = 0; i < length; ++i) {
        ASSERT_EQ(DecryptPayloadByte(part[i], i, length, k1, k2), whole[i])
            << "k1 " << k1 << " k2 " << k2 << " length " << length << " at " << i;
      }
    }
  }
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
  EXPECT_EQ(KeyedXor(KeyedXor("any text", 99999999), 99999999), QByteArray("any text"));
}

const QByteArray kEnd("\x03\x03\x03");
const QByteArray kTrailer("\x11\x22\x33\x44");

// STX, then each field followed by EOT.
QByteArray Text(const QList<QByteArray>& fields) {
  QByteArray text("\x02");
  for (const QByteArray& field : fields) text += field + '\x04';
  return text;
}

RequestKeys FreshKeys() { return {true, DerivedIntegerKey(LogonKey), LogonKey}; }

TEST(FrameReplyTest, PlainRepliesEndWithTheEndMarkEncipheredOnesWithARandomTrailer) {
  ServerSettings settings;
  SlotSession session;
  PseudoRandom random;
  EXPECT_EQ(FrameReply(Text({"EOF"}), session, settings, random), Text({"EOF"}) + kEnd + '\x04');
  settings.EncryptionEnabled = 1;
  session.SessionKey = 57;
  session.SlotKey = 12345678;
  const QByteArray text = Text({"Data", "1", "abc"});
  const QByteArray frame = FrameReply(text, session, settings, random);
  ASSERT_EQ(frame.size(), text.size() + 7);
  EXPECT_EQ(frame.mid(text.size(), 3), kEnd);
  for (char c : frame.right(4)) EXPECT_NE(c, '\0');
  EXPECT_EQ(DecryptPayload(frame.left(text.size()), 57, 12345678), text);
  // A logon reply is enciphered with the reply key whatever the setting.
  settings.EncryptionEnabled = 0;
  const QByteArray accepted = Text({"Accepted", "000"});
  EXPECT_EQ(DecryptPayload(FrameLogonReply(accepted, session, random).left(accepted.size()),
                           ReplyKey, 12345678),
            accepted);
}

TEST(UnframeRequestTest, TheFirstMessageUsesTheLogonKeysAndLaterOnesTheSetting) {
  ServerSettings settings;
  SlotSession session;
  session.FreshConnection = true;
  session.SlotKey = 999;
  const QByteArray logon = Text({"Logon", "bob"});
  EXPECT_EQ(
      UnframeRequest(EncryptPayload(logon, 48, LogonKey) + kEnd + kTrailer, session, settings),
      logon + "\x03\x04");
  EXPECT_EQ(session.SlotKey, LogonKey);
  // A short or empty enciphered frame is an error.
  session.FreshConnection = true;
  EXPECT_THROW(UnframeRequest("ab", session, settings), CommandError);
  EXPECT_THROW(UnframeRequest(kEnd + kTrailer, session, settings), CommandError);

  session.FreshConnection = false;
  session.SessionKey = 12;
  session.SlotKey = 87654321;
  const QByteArray next = Text({"Next"});
  EXPECT_EQ(UnframeRequest(next + kEnd + "\x04", session, settings), next + "\x03\x04");
  settings.EncryptionEnabled = 1;
  EXPECT_EQ(UnframeRequest(EncryptPayload(next, 12, 87654321) + kEnd + kTrailer, session, settings),
            next + "\x03\x04");
  settings.EncryptionEnabled = 2;  // only 1 means on
  EXPECT_EQ(RequestTrailerLength(session, settings), 4);
}

TEST(FindFrameLengthTest, AnEncipheredFrameNeedsItsWholeTrailerWhateverItsKeys) {
  const RequestKeys keys = FreshKeys();
  const QByteArray frame =
      EncryptPayload(Text({"Logon", "a", "b", "c"}), keys.k1, keys.k2) + kEnd + kTrailer;
  qsizetype scan = 0;
  EXPECT_FALSE(FindFrameLength(frame.left(frame.size() - 1), scan, keys, 7));
  EXPECT_EQ(FindFrameLength(frame, scan, keys, 7), frame.size());
  // A payload under other keys is taken as it is.
  const QByteArray other = EncryptPayload(Text({"Logon"}), 13, 1234567) + kEnd + kTrailer;
  scan = 0;
  EXPECT_EQ(FindFrameLength(other + "more", scan, keys, 7), other.size());
}

TEST(FindFrameLengthTest, AnEndMarkInsideTheEncipheredPayloadIsSkipped) {
  // A logon text whose enciphered form holds ETX ETX ETX inside the user name.
  QByteArray text = Text({"Logon", "bo???b", "pw", "addr"});
  const qsizetype at = text.indexOf("???");
  const RequestKeys keys = FreshKeys();
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
}

// The byte-level example that client authors are given; a change here breaks every client.
TEST(ProtocolExampleTest, LogonExchangeBytes) {
  const QByteArray logon = Text({"Logon", "bob", MirrorText("secret"), "10.0.0.5"});
  EXPECT_EQ(EncryptPayload(logon, DerivedIntegerKey(LogonKey), LogonKey).toHex(' '),
            "26 71 95 8e 97 97 2e 8d 9b 8f 32 8c 9b 9e 90 9e 90 2e 5c 5c 5b 5e 52 55 54 5c 2c");
  EXPECT_EQ(EncryptPayload(Text({"Accepted", "000"}), ReplyKey, 12345678).toHex(' '),
            "43 83 a4 a5 a6 b2 b5 a7 a5 46 71 72 71 46");
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
