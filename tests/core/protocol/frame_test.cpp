#include <gtest/gtest.h>

#include "base/pseudo_random.h"
#include "base/text_scramble.h"
#include "protocol/command_error.h"
#include "wire/cipher.h"
#include "wire/frame_assembler.h"
#include "wire/frame_codec.h"

namespace corvane::test {
namespace {

const QByteArray kEnd("\x03\x03\x03");

QByteArray Trailer() { return QByteArray("\x11\x22\x33\x44"); }

RequestKeys FreshKeys() { return {true, DerivedIntegerKey(LogonKey), LogonKey}; }

// A logon text whose enciphered form holds ETX ETX ETX inside the user name.
QByteArray TextEncipheringToEndMark(qsizetype* markAt) {
  QByteArray text(
      "\x02Logon\x04"
      "bo???b\x04pw\x04"
      "addr\x04");
  const qsizetype at = text.indexOf("???");
  const RequestKeys keys = FreshKeys();
  const int64_t m = keys.k2 % keys.k1;
  const int64_t limit = (keys.k2 % text.size()) % 16;
  int64_t c = 1;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (i >= at && i < at + 3) {
      int64_t a = 3 - m - c;
      while (a < 0) a += 255;
      text[i] = static_cast<char>(a);
    }
    if (++c > limit) c = 1;
  }
  *markAt = at;
  return text;
}

TEST(FrameReplyTest, PlainFrameEndsWithEndMarkAndEotEncipheredOneWithARandomTrailer) {
  ServerSettings settings;
  SlotSession session;
  PseudoRandom random;
  EXPECT_EQ(FrameReply("\x02"
                       "EOF\x04",
                       session, settings, random),
            QByteArray("\x02"
                       "EOF\x04\x03\x03\x03\x04"));
  settings.EncryptionEnabled = 1;
  session.SessionKey = 57;
  session.SlotKey = 12345678;
  const QByteArray text(
      "\x02"
      "Data\x04"
      "1\x04"
      "abc\x04");
  const QByteArray frame = FrameReply(text, session, settings, random);
  ASSERT_EQ(frame.size(), text.size() + 7);
  EXPECT_EQ(frame.mid(text.size(), 3), kEnd);
  for (char c : frame.right(4)) EXPECT_NE(c, '\0');
  EXPECT_EQ(DecryptPayload(frame.left(text.size()), 57, 12345678), text);
}

TEST(FrameReplyTest, LogonReplyUsesReplyKeyWhateverTheSetting) {
  SlotSession session;
  session.SlotKey = 23456789;
  PseudoRandom random;
  const QByteArray text(
      "\x02"
      "Accepted\x04"
      "000\x04");
  const QByteArray frame = FrameLogonReply(text, session, random);
  EXPECT_EQ(DecryptPayload(frame.left(text.size()), ReplyKey, 23456789), text);
}

TEST(UnframeRequestTest, FirstMessageUsesLogonKeysAndSetsSlotKey) {
  ServerSettings settings;
  SlotSession session;
  session.FreshConnection = true;
  session.SlotKey = 999;
  const QByteArray text(
      "\x02Logon\x04"
      "bob\x04");
  const QByteArray frame = EncryptPayload(text, 48, LogonKey) + kEnd + Trailer();
  EXPECT_EQ(UnframeRequest(frame, session, settings), text + "\x03\x04");
  EXPECT_EQ(session.SlotKey, LogonKey);
  // A short or empty enciphered frame is an error.
  session.FreshConnection = true;
  EXPECT_THROW(UnframeRequest("ab", session, settings), CommandError);
  EXPECT_THROW(UnframeRequest(kEnd + Trailer(), session, settings), CommandError);
}

TEST(UnframeRequestTest, LaterMessagesFollowTheSetting) {
  ServerSettings settings;
  SlotSession session;
  session.SessionKey = 12;
  session.SlotKey = 87654321;
  const QByteArray text("\x02Next\x04");
  EXPECT_EQ(UnframeRequest(text + kEnd + "\x04", session, settings), text + "\x03\x04");
  settings.EncryptionEnabled = 1;
  const QByteArray frame = EncryptPayload(text, 12, 87654321) + kEnd + Trailer();
  EXPECT_EQ(UnframeRequest(frame, session, settings), text + "\x03\x04");
  // Only 1 means on.
  settings.EncryptionEnabled = 2;
  EXPECT_EQ(RequestTrailerLength(session, settings), 4);
}

TEST(FindFrameLengthTest, PlainFramesArrivingInPiecesOrSeveralInOneRead) {
  const RequestKeys plain;
  qsizetype scan = 0;
  QByteArray buffer("\x02Ne");
  EXPECT_FALSE(FindFrameLength(buffer, scan, plain, 4));
  buffer += "xt\x04\x03\x03";
  EXPECT_FALSE(FindFrameLength(buffer, scan, plain, 4));
  buffer += "\x03";
  // The trailer's EOT has not come yet.
  EXPECT_FALSE(FindFrameLength(buffer, scan, plain, 4));
  buffer += "\x04";
  EXPECT_EQ(FindFrameLength(buffer, scan, plain, 4), buffer.size());
  // Several frames in one read.
  const QByteArray first("\x02Next\x04\x03\x03\x03\x04");
  const QByteArray second("\x02Prev\x04\x03\x03\x03\x04");
  scan = 0;
  buffer = first + second + "\x02Fi";
  EXPECT_EQ(FindFrameLength(buffer, scan, plain, 4), first.size());
  QByteArray rest = buffer.mid(first.size());
  scan = 0;
  EXPECT_EQ(FindFrameLength(rest, scan, plain, 4), second.size());
}

TEST(FindFrameLengthTest, EncipheredTrailerMustBeComplete) {
  const RequestKeys keys = FreshKeys();
  const QByteArray frame = EncryptPayload(
                               "\x02Logon\x04"
                               "a\x04"
                               "b\x04"
                               "c\x04",
                               keys.k1, keys.k2) +
                           kEnd + Trailer();
  qsizetype scan = 0;
  EXPECT_FALSE(FindFrameLength(frame.left(frame.size() - 1), scan, keys, 7));
  EXPECT_EQ(FindFrameLength(frame, scan, keys, 7), frame.size());
}

TEST(FindFrameLengthTest, EndMarkInsideEncipheredPayloadIsSkipped) {
  const RequestKeys keys = FreshKeys();
  qsizetype markAt = 0;
  const QByteArray text = TextEncipheringToEndMark(&markAt);
  const QByteArray payload = EncryptPayload(text, keys.k1, keys.k2);
  ASSERT_EQ(payload.mid(markAt, 3), kEnd);
  const QByteArray frame = payload + kEnd + Trailer();
  qsizetype scan = 0;
  EXPECT_EQ(FindFrameLength(frame, scan, keys, 7), frame.size());
  // Fed byte by byte, the frame is still found only once it is whole.
  QByteArray buffer;
  scan = 0;
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

TEST(FindFrameLengthTest, PayloadWithOtherKeysIsTakenAsItIs) {
  const RequestKeys keys = FreshKeys();
  const QByteArray frame = EncryptPayload("\x02Logon\x04", 13, 1234567) + kEnd + Trailer();
  qsizetype scan = 0;
  EXPECT_EQ(FindFrameLength(frame + "more", scan, keys, 7), frame.size());
}

// The byte-level example that client authors are given; a change here breaks every client.
TEST(ProtocolExampleTest, LogonExchangeBytes) {
  const QByteArray logon = QByteArray(
                               "\x02Logon\x04"
                               "bob\x04") +
                           MirrorText("secret") +
                           QByteArray(
                               "\x04"
                               "10.0.0.5\x04");
  EXPECT_EQ(EncryptPayload(logon, DerivedIntegerKey(LogonKey), LogonKey).toHex(' '),
            "26 71 95 8e 97 97 2e 8d 9b 8f 32 8c 9b 9e 90 9e 90 2e 5c 5c 5b 5e 52 55 54 5c 2c");
  EXPECT_EQ(EncryptPayload(QByteArray("\x02"
                                      "Accepted\x04"
                                      "000\x04"),
                           ReplyKey, 12345678)
                .toHex(' '),
            "43 83 a4 a5 a6 b2 b5 a7 a5 46 71 72 71 46");
  EXPECT_EQ(EncryptPayload(QByteArray("\x02RequestTables\x04"
                                      "0\x04"),
                           42, 12345678)
                .toHex(' '),
            "21 72 86 93 98 89 92 94 75 83 85 90 84 93 25 52 27");
}

}  // namespace
}  // namespace corvane::test
