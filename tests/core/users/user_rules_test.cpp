// The rules for users that the logon, the setup and the command line share: names and
// passwords within the code page, the stored record that must read back whole, and the
// private keys.
#include "users/user_rules.h"

#include <gtest/gtest.h>

#include "base/text_scramble.h"
#include "users/private_key.h"
#include "users/store_scramble.h"
#include "users/user_record_format.h"

namespace corvane::test {
namespace {

TEST(UserRules, UpperCaseTrimmingAndPasswordMatchesStayWithinTheCodePage) {
  EXPECT_EQ(UserUpperCase(QStringLiteral("jos\u00e9 \u00ff \u0161")),
            QStringLiteral("JOS\u00c9 \u0178 \u0160"));
  // Micro sign and f with hook upper-case outside Windows-1252, and sharp s has no single
  // upper-case letter: all three are kept, so they never turn into '?'.
  EXPECT_EQ(UserUpperCase(QStringLiteral("stra\u00dfe \u00b5ser \u0192")),
            QStringLiteral("STRA\u00dfE \u00b5SER \u0192"));
  // Callers trim what was typed, blanks only.
  EXPECT_EQ(EnteredForm(QStringLiteral("  \u00b5ser pw ")), QStringLiteral("\u00b5SER PW"));
  EXPECT_EQ(TrimBlanks(QStringLiteral("\tpw pw\t ")), QStringLiteral("\tpw pw\t"));
  EXPECT_EQ(TrimBlanks(QByteArray(" 12345678 ")), QByteArray("12345678"));
  // Passwords match trimmed and without regard to case.
  EXPECT_TRUE(PasswordMatches("  secret ", "SECRET"));
  EXPECT_TRUE(PasswordMatches(QStringLiteral("\u00b5pw"), QStringLiteral("\u00b5PW")));
  // A letter kept by the upper case still has to be the same letter.
  EXPECT_FALSE(PasswordMatches("?pw", QStringLiteral("\u00b5PW")));
  EXPECT_FALSE(PasswordMatches("secret", " SECRET "));
  EXPECT_FALSE(PasswordMatches("\tsecret", "SECRET"));
}

TEST(UserRules, JudgesTheNameFirstThenTheColonThenThePassword) {
  const QString key = "12345678";
  EXPECT_EQ(JudgeStorable({QStringLiteral("\u00b5SER"), QStringLiteral("\u00b5"), key}),
            StoreVerdict::kStorable);
  EXPECT_EQ(JudgeStorable({QStringLiteral("\u03a9MEGA"), "A:B", key}),
            StoreVerdict::kNameUnstorable);
  EXPECT_EQ(JudgeStorable({QString(255, u'N'), "PW", key}), StoreVerdict::kNameUnstorable);
  EXPECT_EQ(JudgeStorable({"BOB", ":", key}), StoreVerdict::kPasswordHasColon);
  EXPECT_EQ(JudgeStorable({"BOB", QStringLiteral("\u03a9"), key}),
            StoreVerdict::kPasswordUnstorable);
  EXPECT_EQ(JudgeStorable({"BOB", QString(250, u'A'), key}), StoreVerdict::kPasswordUnstorable);
}
TEST(StoreScramble, MirrorsThenXorsWithTheStoreKeyAndRoundTripsEveryByte) {
  // The mirror (also of logon passwords) maps letters and digits and keeps the rest.
  EXPECT_EQ(MirrorText("abcAMNZ0123456789- _\xE9"), QByteArray("zyxZNMA9876543210- _\xE9"));
  // 'A' mirrors to 'Z' (0x5A); the first mask is 1 + digit sum of 157 = 14 (0x0E).
  EXPECT_EQ(StoreScramble("A"), QByteArray("T"));
  QByteArray text;
  for (int code = 0; code < 256; ++code) text.append(static_cast<char>(code));
  EXPECT_EQ(StoreUnscramble(StoreScramble(text)), text);
  EXPECT_EQ(StoreScramble(StoreUnscramble(text)), text);
}

TEST(UserRecordFormat, RecordFitsOnlyWhenItReadsBackWholeAndSplitsAtTheFirstColon) {
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
  // A logon record splits at the first colon and reads the key as a number; the password keeps its
  // blanks and its case; the key's blanks are trimmed.
  EXPECT_EQ(ParseLogonRecord(" pw : 34567890 "),
            (LogonRecord{" pw ", {34567890, KeyNumberFault::kNone}}));
  EXPECT_EQ(ParseLogonRecord("\xb5PW:1"), (LogonRecord{QStringLiteral("\u00b5PW"), {1}}));
  // With a second colon there is no key number.
  EXPECT_EQ(ParseLogonRecord("A:B:1"), (LogonRecord{"A", {0, KeyNumberFault::kNotANumber}}));
}
// The draws that give x = r * 32765 exactly enough to round to each x.
std::array<double, 8> Draws(std::initializer_list<int> xs) {
  std::array<double, 8> draws{};
  size_t i = 0;
  for (int x : xs) draws[i++] = x / 32765.0;
  return draws;
}

TEST(PrivateKey, EachDigitIsTheLastDigitOfItsRoundedDrawAndTheKeyANumberWithin32Bits) {
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
  // A key converts like a number text within thirty-two bits.
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
