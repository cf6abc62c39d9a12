// The payload cipher, the trailer and the scrambles of passwords and stored records.
#include "wire/cipher.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "base/pseudo_random.h"
#include "base/text_scramble.h"

namespace corvane::test {
namespace {

TEST(PayloadCipher, RoundTripsEveryCodeBelow255ForProtocolKeys) {
  QByteArray text;
  for (int code = 0; code < 255; ++code) text.append(static_cast<char>(code));
  for (int k1 : {1, 48, 126, 157, 241}) {
    for (int32_t k2 : {LogonKey, 12345678, 1, 254}) {
      for (qsizetype length : {1, 15, 16, 17, 255}) {
        const QByteArray sealed = EncryptPayload(text.left(length), k1, k2);
        ASSERT_EQ(sealed.size(), length);
        EXPECT_EQ(DecryptPayload(sealed, k1, k2), text.left(length))
            << k1 << " " << k2 << " " << length;
      }
    }
  }
}

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

}  // namespace
}  // namespace corvane::test
