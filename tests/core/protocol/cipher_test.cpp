#include "core/protocol/cipher.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/protocol/pseudo_random.h"

namespace corvane {
namespace {

QByteArray AllCodesBelow255() {
  QByteArray text;
  for (int code = 0; code < 255; ++code) text.append(static_cast<char>(code));
  return text;
}

TEST(PayloadCipher, RoundTripsEveryCodeBelow255ForProtocolKeys) {
  const QByteArray text = AllCodesBelow255();
  const int32_t privateKey = 12345678;
  for (int k1 : {1, 2, 48, 73, 126, 157, 241}) {
    for (int32_t k2 : {LogonKey, privateKey, 1, 254}) {
      for (qsizetype length : {1, 2, 15, 16, 17, 100, 255}) {
        const QByteArray slice = text.left(length);
        const QByteArray sealed = EncryptPayload(slice, k1, k2);
        ASSERT_EQ(sealed.size(), slice.size());
        EXPECT_EQ(DecryptPayload(sealed, k1, k2), slice) << k1 << " " << k2 << " " << length;
      }
    }
  }
}

TEST(PayloadCipher, Code255ComesBackAsZero) {
  const QByteArray sealed = EncryptPayload(QByteArray(1, '\xFF'), 73, 12345678);
  EXPECT_EQ(DecryptPayload(sealed, 73, 12345678), QByteArray(1, '\0'));
}

TEST(PayloadCipher, CounterStaysOneWhenKeyIsMultipleOfLength) {
  // k2 = 10 is a multiple of L = 5, so limit = 0 and every byte moves by m + 1.
  const QByteArray text("AAAAA");
  EXPECT_EQ(EncryptPayload(text, 7, 10), QByteArray(5, static_cast<char>('A' + 3 + 1)));
}

TEST(PayloadCipher, CounterRunsUpToLimitThenRestarts) {
  // L = 5, k2 = 48611: limit = (48611 mod 5) mod 16 = 1 -> counter stays 1.
  // L = 20, k2 = 48611: limit = 11 mod 16 = 11 -> shifts 1..11 then 1 again.
  const QByteArray text(20, '\x10');
  const int m = 48611 % 48;
  const QByteArray sealed = EncryptPayload(text, 48, 48611);
  for (int i = 0; i < 20; ++i) {
    const int counter = (i % 11) + 1;
    EXPECT_EQ(static_cast<unsigned char>(sealed[i]), 0x10 + m + counter) << i;
  }
}

TEST(PayloadCipher, KnownBytesOfTheLogonFrame) {
  // m = 48611 mod 48 = 35; L = 3 -> limit = (48611 mod 3) mod 16 = 2 -> counters 1, 2, 1.
  const QByteArray text(
      "\x02"
      "A\x04",
      3);
  const QByteArray expected(
      "\x26"
      "f\x28",
      3);
  EXPECT_EQ(EncryptPayload(text, DerivedIntegerKey(LogonKey), LogonKey), expected);
}

TEST(PayloadCipher, ZeroIntegerKeyAndEmptyText) {
  EXPECT_EQ(EncryptPayload("abc", 0, 5), QByteArray("abc"));
  EXPECT_EQ(DecryptPayload("abc", 0, 5), QByteArray("abc"));
  EXPECT_EQ(EncryptPayload("", 73, 5), QByteArray());
  EXPECT_FALSE(DecryptPayload("", 73, 5).has_value());
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

TEST(PayloadCipher, DerivedIntegerKeyTakesTwoLeadingDigits) {
  EXPECT_EQ(DerivedIntegerKey(LogonKey), 48);
  EXPECT_EQ(DerivedIntegerKey(87654321), 87);
  EXPECT_EQ(DerivedIntegerKey(7), 7);
  EXPECT_EQ(DerivedIntegerKey(0), 0);
}

TEST(RandomTrailer, FourNonZeroBytes) {
  PseudoRandom random;
  for (int i = 0; i < 2000; ++i) {
    const QByteArray trailer = RandomTrailer(random);
    ASSERT_EQ(trailer.size(), 4);
    EXPECT_EQ(trailer.indexOf('\0'), -1);
  }
}

TEST(RandomTrailer, SameSequenceInEveryServer) {
  PseudoRandom a;
  PseudoRandom b;
  EXPECT_EQ(RandomTrailer(a), RandomTrailer(b));
}

TEST(Mirror, MapsLettersAndDigitsOnly) {
  EXPECT_EQ(MirrorText("abc"), QByteArray("zyx"));
  EXPECT_EQ(MirrorText("AMNZ"), QByteArray("ZNMA"));
  EXPECT_EQ(MirrorText("0123456789"), QByteArray("9876543210"));
  EXPECT_EQ(MirrorText("- _\xE9"), QByteArray("- _\xE9"));
  const QByteArray all = AllCodesBelow255();
  EXPECT_EQ(MirrorText(MirrorText(all)), all);
}

TEST(KeyedXor, IsItsOwnInverseAndKeepsLength) {
  const QByteArray text = AllCodesBelow255();
  for (int32_t key : {157, 0, 99999999, 12345678}) {
    const QByteArray once = KeyedXor(text, key);
    EXPECT_EQ(once.size(), text.size());
    EXPECT_EQ(KeyedXor(once, key), text);
  }
  EXPECT_EQ(KeyedXor("", 157), QByteArray());
}

TEST(KeyedXor, MaskIsPositionPlusDigitSum) {
  // key 157 -> d = 13; first byte XOR 14, second XOR 15.
  const QByteArray out = KeyedXor(QByteArray("\0\0", 2), 157);
  EXPECT_EQ(static_cast<unsigned char>(out[0]), 14);
  EXPECT_EQ(static_cast<unsigned char>(out[1]), 15);
}

}  // namespace
}  // namespace corvane
