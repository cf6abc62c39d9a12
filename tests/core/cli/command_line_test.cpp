#include "server/command_line.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTextStream>

#include "base/windows1252.h"
#include "config/registry_store.h"
#include "config/store_scramble.h"
#include "config/user_list_model.h"
#include "config/user_store.h"

namespace corvane::test {
namespace {

TEST(ParseCommandLine, ReadsDirectoryAndAction) {
  const ParsedCommandLine parsed =
      ParseCommandLine({"--dir", "/srv/d", "--add-user", "bob", "secret"});
  ASSERT_TRUE(parsed.Ok()) << parsed.error.toStdString();
  EXPECT_EQ(parsed.options.programDir, "/srv/d");
  EXPECT_EQ(parsed.options.action, AdminAction::AddUser);
  EXPECT_EQ(parsed.options.actionArguments, (QStringList{"bob", "secret"}));
  EXPECT_FALSE(parsed.options.headless);
}

TEST(ParseCommandLine, OptionsMayFollowTheActionAndArgumentsMayLookLikeOptions) {
  ParsedCommandLine parsed = ParseCommandLine({"--list-users", "--headless", "--dir", "x"});
  ASSERT_TRUE(parsed.Ok());
  EXPECT_EQ(parsed.options.action, AdminAction::ListUsers);
  EXPECT_TRUE(parsed.options.headless);
  EXPECT_EQ(parsed.options.programDir, "x");
  parsed = ParseCommandLine({"--add-user", "bob", "--secret"});
  ASSERT_TRUE(parsed.Ok());
  EXPECT_EQ(parsed.options.actionArguments, (QStringList{"bob", "--secret"}));
  // No arguments mean no action.
  parsed = ParseCommandLine({});
  ASSERT_TRUE(parsed.Ok());
  EXPECT_EQ(parsed.options.action, AdminAction::None);
  EXPECT_TRUE(parsed.options.programDir.isEmpty());
}

TEST(ParseCommandLine, RejectsWhatItDoesNotUnderstand) {
  EXPECT_FALSE(ParseCommandLine({"--bogus"}).Ok());
  EXPECT_FALSE(ParseCommandLine({"stray"}).Ok());
  EXPECT_FALSE(ParseCommandLine({"--add-user", "bob"}).Ok());
  EXPECT_FALSE(ParseCommandLine({"--dir"}).Ok());
  EXPECT_FALSE(ParseCommandLine({"--list-users", "--remove-user", "BOB"}).Ok());
  EXPECT_FALSE(ParseCommandLine({"--list-users", "extra"}).Ok());
}

TEST(ProgramDirectory, DefaultsToTheGivenFolderAndMakesDirAbsolute) {
  EXPECT_EQ(ChosenProgramDir({}, "/opt/corvane"), "/opt/corvane");
  CommandLineOptions options;
  options.programDir = "/srv/data/";
  EXPECT_EQ(ChosenProgramDir(options, "/opt/corvane"), "/srv/data");
  options.programDir = "relative";
  EXPECT_TRUE(ChosenProgramDir(options, "/opt/corvane").startsWith('/'));
}

class AdminActionTest : public ::testing::Test {
 protected:
  int Run(const QStringList& arguments) {
    out_.clear();
    err_.clear();
    const ParsedCommandLine parsed = ParseCommandLine(arguments);
    EXPECT_TRUE(parsed.Ok());
    QTextStream out(&out_);
    QTextStream err(&err_);
    return RunAdminAction(parsed.options, dir_.path(), out, err);
  }

  QTemporaryDir dir_;
  QString out_;
  QString err_;
};

TEST_F(AdminActionTest, AddedUserIsTrimmedUpperCasedAndReadableAtLogon) {
  ASSERT_EQ(Run({"--add-user", "  bob ", " secret  "}), 0) << err_.toStdString();
  const QString key = out_.trimmed();
  ASSERT_EQ(key.size(), 8);
  RegistryStore registry(dir_.path());
  UserStore store(registry, dir_.path());
  EXPECT_EQ(store.ReadStoredRecord("bob"), "SECRET:" + key.toLatin1());
}

TEST_F(AdminActionTest, EmptyNameOrPasswordIsRefused) {
  EXPECT_EQ(Run({"--add-user", "   ", "pw"}), 1);
  EXPECT_EQ(err_, "RemoteHost name is required.\n");
  EXPECT_EQ(Run({"--add-user", "bob", "   "}), 1);
  EXPECT_EQ(err_, "Password is required.\n");
  EXPECT_TRUE(out_.isEmpty());
  EXPECT_EQ(Run({"--list-users"}), 0);
  EXPECT_TRUE(out_.isEmpty());
}

TEST_F(AdminActionTest, UserThatCouldNotBeReadBackIsRefused) {
  EXPECT_EQ(Run({"--add-user", "bob", QString(250, u'A')}), 1);
  EXPECT_EQ(Run({"--add-user", QString(255, u'N'), "pw"}), 1);
  EXPECT_EQ(Run({"--add-user", QStringLiteral("\u03a9"), "pw"}), 1);
  EXPECT_EQ(Run({"--list-users"}), 0);
  EXPECT_TRUE(out_.isEmpty());
}

TEST_F(AdminActionTest, PasswordWithAColonIsRefusedAndNothingIsStored) {
  // Stored, "A:B:KEY" would split at the first colon: the user could never log on.
  EXPECT_EQ(Run({"--add-user", "bob", "a:b"}), 1);
  EXPECT_EQ(err_, "The password cannot hold \":\": use other characters.\n");
  EXPECT_TRUE(out_.isEmpty());
  EXPECT_FALSE(RegistryStore(dir_.path()).KeyExists(UserKeyPath));
  ASSERT_EQ(Run({"--add-user", "bob", "ab"}), 0);
  EXPECT_EQ(Run({"--add-user", "ann", ":"}), 1);
  EXPECT_EQ(Run({"--list-users"}), 0);
  EXPECT_TRUE(out_.startsWith("BOB\t")) << out_.toStdString();
  EXPECT_EQ(out_.count('\n'), 1);
}

TEST_F(AdminActionTest, NameWithoutAnUpperCaseInTheCodePageIsFoundAsTyped) {
  ASSERT_EQ(Run({"--add-user", QStringLiteral("\u00b5ser"), "pw"}), 0) << err_.toStdString();
  RegistryStore registry(dir_.path());
  UserStore store(registry, dir_.path());
  EXPECT_EQ(store.FindLogonUser(FromWindows1252("\xb5ser")),
            (LogonRecord{"PW", {out_.trimmed().toInt()}}));
  EXPECT_EQ(Run({"--add-user", QStringLiteral("\u00b5SER"), "pw"}), 1);
  EXPECT_EQ(err_, "User already exists.\n");
}

TEST_F(AdminActionTest, RemovalThatLeavesTheUserListedIsAFailure) {
  // A name whose scrambled form holds a NUL, as a legacy import may have written it: the
  // list shows it cut at the NUL, and deleting that shorter name removes nothing.
  const QByteArray name = QByteArray(49, 'N') + '?';
  RegistryStore registry(dir_.path());
  ASSERT_TRUE(registry.CreateKey(UserKeyPath));
  ASSERT_TRUE(registry.SetValue(UserKeyPath, StoreScramble(name), StoreScramble("PW:1")));
  ASSERT_EQ(Run({"--list-users"}), 0);
  ASSERT_EQ(out_, QString(49, u'N') + "\t1\n");
  EXPECT_EQ(Run({"--remove-user", QString(49, u'N')}), 1);
  EXPECT_EQ(err_, "The user could not be removed.\n");
}

TEST_F(AdminActionTest, MissingProgramDirectoryFails) {
  EXPECT_EQ(Run({"--dir", dir_.filePath("missing"), "--list-users"}), 1);
  EXPECT_FALSE(err_.isEmpty());
}

TEST_F(AdminActionTest, LegacyUsersAreImportedFirst) {
  RegistryStore registry(dir_.path());
  const QByteArray slot("Software\\Morvat\\P1");
  ASSERT_TRUE(registry.CreateKey(slot));
  ASSERT_TRUE(registry.SetValue(slot, "K1", StoreScramble("AL")));
  ASSERT_TRUE(registry.SetValue(slot, "K2", StoreScramble("PW")));
  ASSERT_TRUE(registry.SetValue(slot, "K4", StoreScramble("12345678")));
  ASSERT_EQ(Run({"--list-users"}), 0);
  EXPECT_EQ(out_, "AL\t12345678\n");
  EXPECT_FALSE(registry.KeyExists(slot));
}

}  // namespace
}  // namespace corvane::test
