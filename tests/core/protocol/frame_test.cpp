// Frames on the wire: how replies are wrapped, how requests are unwrapped, and how the
// receive buffer is searched for the end of a frame.
#include <gtest/gtest.h>

#include <QList>

#include "base/pseudo_random.h"
#include "base/text_scramble.h"
#include "protocol/command_error.h"
#include "wire/cipher.h"
#include "wire/frame_assembler.h"
#include "wire/frame_codec.h"

namespace corvane::test {
namespace {

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

TEST(FindFrameLengthTest, PlainFramesArrivingInPiecesOrSeveralInOneRead) {
  const RequestKeys plain;
  qsizetype scan = 0;
  QByteArray buffer("\x02Ne");
  EXPECT_FALSE(FindFrameLength(buffer, scan, plain, 4));
  buffer += "xt\x04\x03\x03\x03";
  EXPECT_FALSE(FindFrameLength(buffer, scan, plain, 4));  // the trailer's EOT is missing
  buffer += "\x04";
  EXPECT_EQ(FindFrameLength(buffer, scan, plain, 4), buffer.size());
  const QByteArray first = Text({"Next"}) + kEnd + "\x04";
  const QByteArray second = Text({"Prev"}) + kEnd + "\x04";
  scan = 0;
  buffer = first + second + "\x02Fi";
  EXPECT_EQ(FindFrameLength(buffer, scan, plain, 4), first.size());
  QByteArray rest = buffer.mid(first.size());
  scan = 0;
  EXPECT_EQ(FindFrameLength(rest, scan, plain, 4), second.size());
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

}  // namespace
}  // namespace corvane::test
