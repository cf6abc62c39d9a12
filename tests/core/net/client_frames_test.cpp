// How the reference client reads what the server sends.
#include "client/client_frames.h"

#include <gtest/gtest.h>

#include "base/printable_bytes.h"
#include "wire/cipher.h"

namespace corvane::test {
namespace {

const QByteArray kEot("\x04");
const QByteArray kEnd("\x03\x03\x03");

TEST(ClientFramesTest, RedirectMessage) {
  EXPECT_EQ(ParseRedirect(kEot + "4321" + kEot + kEnd), std::optional<quint16>(4321));
  EXPECT_EQ(ParseRedirect(kEot + "0" + kEot + kEnd), std::optional<quint16>(0));
  EXPECT_FALSE(ParseRedirect(kEot + "4321" + kEot + "\x03\x03"));
  EXPECT_FALSE(ParseRedirect("4321" + kEot + kEnd));
  EXPECT_FALSE(ParseRedirect(kEot + "99999" + kEot + kEnd));
}

TEST(ClientFramesTest, PlainFramesOneAfterTheOther) {
  QByteArray buffer =
      "\x02Tables" + kEot + "a" + kEot + kEot + kEnd + kEot + "\x02" + "EOF" + kEot + kEnd;
  const auto first = TakeReplyFrame(buffer, {});
  ASSERT_TRUE(first);
  EXPECT_EQ(first->word, "Tables");
  EXPECT_EQ(first->fields, (QList<QByteArray>{"a", ""}));
  // The second one still lacks its trailer.
  EXPECT_FALSE(TakeReplyFrame(buffer, {}));
  buffer += kEot;
  const auto second = TakeReplyFrame(buffer, {});
  ASSERT_TRUE(second);
  EXPECT_EQ(second->word, "EOF");
  EXPECT_TRUE(buffer.isEmpty());
}

TEST(ClientFramesTest, AnEncipheredFrameFindsItsKeys) {
  QByteArray buffer = EncryptPayload("\x02UserDenied\x04", ReplyKey, LogonKey) + kEnd + "wxyz";
  const auto reply =
      TakeReplyFrame(buffer, {{57, 12345678}, {ReplyKey, 12345678}, {ReplyKey, LogonKey}});
  ASSERT_TRUE(reply);
  EXPECT_TRUE(reply->enciphered);
  EXPECT_EQ(reply->word, "UserDenied");
  EXPECT_TRUE(buffer.isEmpty());
}

TEST(ClientFramesTest, ControlCharactersArePrintedByName) {
  const char bytes[] = {'\x02', 'D', 'a', 't', 'a', '\x04', '\x03', '\x7F', '\0', 'x'};
  EXPECT_EQ(PrintableBytes(QByteArray(bytes, sizeof bytes)), "<STX>Data<EOT><ETX><DEL><NUL>x");
  EXPECT_EQ(PrintableBytes("\x80\xE9"), QString::fromUtf8("€é"));
}

}  // namespace
}  // namespace corvane::test
