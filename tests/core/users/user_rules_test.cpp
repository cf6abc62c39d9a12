// The rules for names and passwords that the logon, the setup and the command line share.
#include "config/user_rules.h"

#include <gtest/gtest.h>

namespace corvane::test {
namespace {

TEST(UserRules, UpperCaseAndTrimmingStayWithinTheCodePage) {
  EXPECT_EQ(UserUpperCase(QStringLiteral("jos\u00e9 \u00ff \u0161")),
            QStringLiteral("JOS\u00c9 \u0178 \u0160"));
  // Micro sign and f with hook upper-case outside Windows-1252, and sharp s has no single
  // upper-case letter: all three are kept, so they never turn into '?'.
  EXPECT_EQ(UserUpperCase(QStringLiteral("stra\u00dfe \u00b5ser \u0192")),
            QStringLiteral("STRA\u00dfE \u00b5SER \u0192"));
  EXPECT_EQ(LookupName(QStringLiteral("\u00b5ser")), QByteArray("\xb5SER"));
  // Blanks are not the lookup's business: callers trim what was typed, blanks only.
  EXPECT_EQ(LookupName(" bob"), QByteArray(" BOB"));
  EXPECT_EQ(EnteredForm(QStringLiteral("  \u00b5ser pw ")), QStringLiteral("\u00b5SER PW"));
  EXPECT_EQ(TrimBlanks(QStringLiteral("\tpw pw\t ")), QStringLiteral("\tpw pw\t"));
  EXPECT_EQ(TrimBlanks(QByteArray(" 12345678 ")), QByteArray("12345678"));
}

TEST(UserRules, PasswordsMatchTrimmedAndWithoutRegardToCase) {
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

}  // namespace
}  // namespace corvane::test
