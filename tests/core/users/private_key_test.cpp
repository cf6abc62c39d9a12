// Private keys: eight digits drawn as the clients' makers draw them, and their numbers.
#include "config/private_key.h"

#include <gtest/gtest.h>

#include <QSet>

namespace corvane::test {
namespace {

// The draws that give x = r * 32765 exactly enough to round to each x.
std::array<double, 8> Draws(std::initializer_list<int> xs) {
  std::array<double, 8> draws{};
  size_t i = 0;
  for (int x : xs) draws[i++] = x / 32765.0;
  return draws;
}

TEST(PrivateKey, EachDigitIsTheLastDigitOfItsRoundedDraw) {
  EXPECT_EQ(PrivateKeyFromDraws(Draws({12345, 1, 22, 333, 4444, 32765, 16, 7})), "51234567");
  // A first digit 0 becomes the draw's first digit; only a draw of 0 itself leaves it.
  EXPECT_EQ(PrivateKeyFromDraws(Draws({32760, 10, 0, 0, 0, 0, 0, 100})), "30000000");
  EXPECT_EQ(PrivateKeyFromDraws(Draws({20000, 0, 0, 0, 0, 0, 0, 0})), "20000000");
  EXPECT_EQ(PrivateKeyFromDraws(Draws({0, 1, 2, 3, 4, 5, 6, 7})), "01234567");
  // 0.4 rounds down to 0, 0.6 up to 1; the largest draw below 1 gives 32765.
  std::array<double, 8> draws{};
  draws.fill(0.4 / 32765.0);
  draws[1] = 0.6 / 32765.0;
  draws[2] = 0.9999999999;
  EXPECT_EQ(PrivateKeyFromDraws(draws), "01500000");
}

TEST(PrivateKey, FreshKeysAreEightDigitsWithEveryDigitInUse) {
  std::array<QSet<QChar>, 8> seen;
  QSet<QString> keys;
  for (int i = 0; i < 2000; ++i) {
    const QString key = MakePrivateKey();
    ASSERT_EQ(key.size(), 8) << key.toStdString();
    for (int position = 0; position < 8; ++position) seen[position].insert(key[position]);
    keys.insert(key);
  }
  EXPECT_GT(keys.size(), 1990);
  // The first digit is 1 to 9 (0 needs a draw of exactly 0, one in about 65000).
  EXPECT_GE(seen[0].size(), 9);
  for (int position = 1; position < 8; ++position) EXPECT_EQ(seen[position].size(), 10);
}

TEST(PrivateKeyToNumber, ConvertsLikeANumberTextWithinThirtyTwoBits) {
  EXPECT_EQ(PrivateKeyToNumber("  01234567 "), (KeyNumber{1234567}));
  EXPECT_EQ(PrivateKeyToNumber("2.5"), (KeyNumber{2}));  // half to even
  EXPECT_EQ(PrivateKeyToNumber("-2147483648"), (KeyNumber{-2147483647 - 1}));
  EXPECT_EQ(PrivateKeyToNumber("2147483647.4"), (KeyNumber{2147483647}));
  EXPECT_EQ(PrivateKeyToNumber("2147483647.5").fault, KeyNumberFault::kOutOfRange);
  EXPECT_EQ(PrivateKeyToNumber("1e10").fault, KeyNumberFault::kOutOfRange);
  EXPECT_EQ(PrivateKeyToNumber("").fault, KeyNumberFault::kNotANumber);
  EXPECT_EQ(PrivateKeyToNumber("12a").fault, KeyNumberFault::kNotANumber);
}

}  // namespace
}  // namespace corvane::test
