// The wire: the trailer of enciphered frames, frames as they are searched for in the receive
// buffer and decoded, and the fields and numbers of a message. The cipher, the scrambles and
// the layout of whole exchanges are checked byte for byte by the dispatcher tests and the
// protocol guide's replayed session.
#include <gtest/gtest.h>

#include <QList>

#include "base/pseudo_random.h"
#include "protocol/command_error.h"
#include "protocol/field_reader.h"
#include "support/wire_text.h"
#include "wire/cipher.h"
#include "wire/frame_assembler.h"
#include "wire/frame_codec.h"
#include "wire/request_codec.h"

namespace corvane::test {
namespace {

TEST(RandomTrailer, FourBytesNeverNul) {
  PseudoRandom random;
  for (int i = 0; i < 2000; ++i) {
    const QByteArray trailer = RandomTrailer(random);
    ASSERT_EQ(trailer.size(), 4);
    EXPECT_EQ(trailer.indexOf('\0'), -1);
  }
}

const QByteArray kEnd("\x03\x03\x03");
const QByteArray kTrailer("\x11\x22\x33\x44");

TEST(FindFrameLengthTest, AnEndMarkInsideTheEncipheredPayloadIsSkipped) {
  // A logon text whose enciphered form holds ETX ETX ETX inside the user name.
  QByteArray text = Message({"Logon", "bo???b", "pw", "addr"});
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
  const QByteArray other = EncryptPayload(Message({"Logon"}), 13, 1234567) + kEnd + kTrailer;
  scan = 0;
  EXPECT_EQ(FindFrameLength(other + "more", scan, keys, 7), other.size());
}

using Fields = QList<QByteArray>;
const QByteArray kStx("\x02");
const QByteArray kEot("\x04");
// The end marker as it stands after the frame's end mark was unwrapped.
const QByteArray kMarker("\x03\x04");

TEST(SplitMessageTest, FieldsRunUpToTheEndMarkerAndDecodeAsTheirCommandReadsThem) {
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

  // Decoded, texts are Windows-1252 and the logon password is mirrored back.
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

TEST(FieldNumberTest, RoundsHalfToEvenWithinSixteenBits) {
  EXPECT_EQ(FieldNumber("2.6"), 3);
  EXPECT_EQ(FieldNumber("2.5"), 2);
  EXPECT_EQ(FieldNumber("-2.5"), -2);
  EXPECT_EQ(FieldNumber("no digits"), 0);
  EXPECT_EQ(FieldNumber("-32768"), -32768);
  EXPECT_THROW(FieldNumber("32768"), CommandError);
  EXPECT_THROW(FieldNumber("1e999"), CommandError);
  EXPECT_THROW(FieldNumber("1" + QByteArray(400, '0') + "e-10"), CommandError);
}

}  // namespace
}  // namespace corvane::test
