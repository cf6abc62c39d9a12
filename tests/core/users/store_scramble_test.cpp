#include "config/store_scramble.h"

#include <gtest/gtest.h>

namespace corvane::test {
namespace {

TEST(StoreScramble, MirrorsThenXorsWithTheStoreKeyAndRoundTripsEveryByte) {
  // 'A' mirrors to 'Z' (0x5A); the first mask is 1 + digit sum of 157 = 14 (0x0E).
  EXPECT_EQ(StoreScramble("A"), QByteArray("T"));
  EXPECT_EQ(StoreUnscramble("T"), QByteArray("A"));
  QByteArray text;
  for (int code = 0; code < 256; ++code) text.append(static_cast<char>(code));
  EXPECT_EQ(StoreUnscramble(StoreScramble(text)), text);
  EXPECT_EQ(StoreScramble(StoreUnscramble(text)), text);
  EXPECT_EQ(StoreScramble(text).size(), text.size());
  EXPECT_TRUE(StoreScramble(QByteArray()).isEmpty());
}

TEST(StripAtNul, KeepsTheTextBeforeTheFirstNulAndNothingWithoutOne) {
  EXPECT_EQ(StripAtNul(QByteArray("abc\0def", 7)), QByteArray("abc"));
  EXPECT_EQ(StripAtNul(QByteArray("abc\0\0", 5)), QByteArray("abc"));
  EXPECT_TRUE(StripAtNul(QByteArray("\0abc", 4)).isEmpty());
  // A buffer filled to the brim holds no NUL and reads as nothing.
  EXPECT_TRUE(StripAtNul("abc").isEmpty());
  EXPECT_TRUE(StripAtNul(QByteArray()).isEmpty());
}

TEST(ColonSplit, SplitsAtTheFirstColonOnly) {
  EXPECT_EQ(BeforeColon("SECRET:12345678"), QByteArray("SECRET"));
  EXPECT_EQ(AfterColon("SECRET:12345678"), QByteArray("12345678"));
  EXPECT_EQ(BeforeColon("A:B:C"), QByteArray("A"));
  EXPECT_EQ(AfterColon("A:B:C"), QByteArray("B:C"));
  EXPECT_TRUE(BeforeColon(":K").isEmpty());
  EXPECT_EQ(AfterColon(":K"), QByteArray("K"));
  EXPECT_TRUE(AfterColon("P:").isEmpty());
  // Text without a colon gives two empty parts.
  EXPECT_TRUE(BeforeColon("NOCOLON").isEmpty());
  EXPECT_TRUE(AfterColon("NOCOLON").isEmpty());
}

}  // namespace
}  // namespace corvane::test
