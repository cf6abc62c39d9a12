#include "config/user_record_format.h"

#include <gtest/gtest.h>

#include "config/store_scramble.h"

namespace corvane::test {
namespace {

TEST(UserRecordFormat, WritesTheScrambledNameAndRecord) {
  EXPECT_EQ(JoinUserData({"SECRET", "12345678"}), QByteArray("SECRET:12345678"));
  EXPECT_EQ(StoredUserName(QStringLiteral("JOS\u00c9")), StoreScramble("JOS\xc9"));
  EXPECT_EQ(StoredUserData("SECRET", "12345678"), StoreScramble("SECRET:12345678"));
  const UserData parts = SplitUserData("A:B:C");
  EXPECT_EQ(parts.password, QByteArray("A"));
  EXPECT_EQ(parts.privateKey, QByteArray("B:C"));
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
  EXPECT_EQ(ParseLogonRecord("SECRET:12345678"),
            (LogonRecord{"SECRET", {12345678, KeyNumberFault::kNone}}));
  // The password keeps its blanks and its case; the key's blanks are trimmed.
  EXPECT_EQ(ParseLogonRecord(" pw : 34567890 "),
            (LogonRecord{" pw ", {34567890, KeyNumberFault::kNone}}));
  EXPECT_EQ(ParseLogonRecord("\xb5PW:1"), (LogonRecord{QStringLiteral("\u00b5PW"), {1}}));
  // Without a colon, or with a second one, there is no key number.
  EXPECT_EQ(ParseLogonRecord("NOCOLON"), (LogonRecord{"", {0, KeyNumberFault::kNotANumber}}));
  EXPECT_EQ(ParseLogonRecord("A:B:1"), (LogonRecord{"A", {0, KeyNumberFault::kNotANumber}}));
  EXPECT_EQ(ParseLogonRecord(QByteArray()).key.fault, KeyNumberFault::kNotANumber);
}

}  // namespace
}  // namespace corvane::test
