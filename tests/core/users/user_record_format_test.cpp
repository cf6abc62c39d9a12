// How a user is written into the store: a scrambled name and a scrambled
// "PASSWORD:KEY" record that must read back whole.
#include "config/user_record_format.h"

#include <gtest/gtest.h>

#include "config/store_scramble.h"

namespace corvane::test {
namespace {

TEST(StoreScramble, MirrorsThenXorsWithTheStoreKeyAndRoundTripsEveryByte) {
  // 'A' mirrors to 'Z' (0x5A); the first mask is 1 + digit sum of 157 = 14 (0x0E).
  EXPECT_EQ(StoreScramble("A"), QByteArray("T"));
  QByteArray text;
  for (int code = 0; code < 256; ++code) text.append(static_cast<char>(code));
  EXPECT_EQ(StoreUnscramble(StoreScramble(text)), text);
  EXPECT_EQ(StoreScramble(StoreUnscramble(text)), text);
  // A buffer read back is cut at its first NUL; one filled to the brim reads as nothing.
  EXPECT_EQ(StripAtNul(QByteArray("abc\0def", 7)), QByteArray("abc"));
  EXPECT_TRUE(StripAtNul("abc").isEmpty());
}

TEST(UserRecordFormat, WritesTheScrambledNameAndRecordSplitAtTheFirstColon) {
  EXPECT_EQ(StoredUserName(QStringLiteral("JOS\u00c9")), StoreScramble("JOS\xc9"));
  EXPECT_EQ(StoredUserData("SECRET", "12345678"), StoreScramble("SECRET:12345678"));
  const UserData parts = SplitUserData("A:B:C");
  EXPECT_EQ(parts.password, QByteArray("A"));
  EXPECT_EQ(parts.privateKey, QByteArray("B:C"));
  EXPECT_TRUE(SplitUserData("NOCOLON").password.isEmpty());
}

TEST(UserRecordFormat, RecordFitsOnlyWhenItReadsBackWhole) {
  // 'A' mirrors to 'Z', which meets its own code as the mask at position 77: a 'B' there.
  const QString password = QString(76, u'A') + u'B' + QString(168, u'A');
  EXPECT_TRUE(RecordFits({"BOB", password, "12345678"}));          // 254 bytes
  EXPECT_FALSE(RecordFits({"BOB", password + u'A', "12345678"}));  // 255 bytes
  EXPECT_FALSE(RecordFits({QString(255, u'N'), "P", "12345678"}));
  EXPECT_FALSE(RecordFits({"BOB", QString(76, u'A') + u'A', "12345678"}));
  // '?' is its own mirror and meets its own code as the mask at position 50.
  const QString nulName = QString(49, u'N') + u'?';
  ASSERT_TRUE(StoreScramble(nulName.toLatin1()).contains('\0'));
  EXPECT_FALSE(RecordFits({nulName, "P", "12345678"}));
}

TEST(UserRecordFormat, LogonRecordSplitsAtTheFirstColonAndReadsTheKeyAsANumber) {
  // The password keeps its blanks and its case; the key's blanks are trimmed.
  EXPECT_EQ(ParseLogonRecord(" pw : 34567890 "),
            (LogonRecord{" pw ", {34567890, KeyNumberFault::kNone}}));
  EXPECT_EQ(ParseLogonRecord("\xb5PW:1"), (LogonRecord{QStringLiteral("\u00b5PW"), {1}}));
  // Without a colon, or with a second one, there is no key number.
  EXPECT_EQ(ParseLogonRecord("NOCOLON"), (LogonRecord{"", {0, KeyNumberFault::kNotANumber}}));
  EXPECT_EQ(ParseLogonRecord("A:B:1"), (LogonRecord{"A", {0, KeyNumberFault::kNotANumber}}));
}

}  // namespace
}  // namespace corvane::test
