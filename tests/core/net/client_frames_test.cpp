#include "client/client_frames.h"

#include <gtest/gtest.h>

#include "wire/cipher.h"

namespace corvane::test {
namespace {

TEST(ClientFramesTest, RedirectMessage) {
  EXPECT_EQ(ParseRedirect(QByteArray("\x04"
                                     "4321\x04\x03\x03\x03")),
            std::optional<quint16>(4321));
  EXPECT_EQ(ParseRedirect(QByteArray("\x04"
                                     "0\x04\x03\x03\x03")),
            std::optional<quint16>(0));
  EXPECT_FALSE(
      ParseRedirect(QByteArray("\x04"
                               "4321\x04\x03\x03")));
  EXPECT_FALSE(ParseRedirect(QByteArray("4321\x04\x03\x03\x03")));
  EXPECT_FALSE(
      ParseRedirect(QByteArray("\x04"
                               "99999\x04\x03\x03\x03")));
}

TEST(ClientFramesTest, PlainFramesOneAfterTheOther) {
  QByteArray buffer(
      "\x02Tables\x04"
      "a\x04\x04\x03\x03\x03\x04\x02"
      "EOF\x04\x03\x03\x03");
  const auto first = TakeReplyFrame(buffer, {});
  ASSERT_TRUE(first);
  EXPECT_EQ(first->word, "Tables");
  EXPECT_EQ(first->fields, (QList<QByteArray>{"a", ""}));
  // The second one still lacks its trailer.
  EXPECT_FALSE(TakeReplyFrame(buffer, {}));
  buffer += "\x04";
  const auto second = TakeReplyFrame(buffer, {});
  ASSERT_TRUE(second);
  EXPECT_EQ(second->word, "EOF");
  EXPECT_TRUE(second->fields.isEmpty());
  EXPECT_TRUE(buffer.isEmpty());
}

TEST(ClientFramesTest, EncipheredFrameFindsItsKeys) {
  const QByteArray text("\x02UserDenied\x04");
  QByteArray buffer = EncryptPayload(text, ReplyKey, LogonKey) + "\x03\x03\x03" + "wxyz";
  const std::vector<ClientKeys> candidates = {
      {57, 12345678}, {ReplyKey, 12345678}, {ReplyKey, LogonKey}};
  const auto reply = TakeReplyFrame(buffer, candidates);
  ASSERT_TRUE(reply);
  EXPECT_TRUE(reply->enciphered);
  EXPECT_EQ(reply->word, "UserDenied");
  EXPECT_TRUE(buffer.isEmpty());
}

}  // namespace
}  // namespace corvane::test
