// The command line: how it is read, what the admin actions do to the user store, and the
// server executable run as the operator runs it.
#include "server/command_line.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTextStream>

#include "config/registry_store.h"
#include "config/user_store.h"
#include "support/server_process.h"
#include "users/store_scramble.h"

namespace corvane::test {
namespace {

TEST(ParseCommandLine, OptionsComeInAnyOrderAndArgumentsMayLookLikeOptions) {
  ParsedCommandLine parsed = ParseCommandLine({"--list-users", "--headless", "--dir", "x"});
  ASSERT_TRUE(parsed.Ok());
  EXPECT_EQ(parsed.options.action, AdminAction::ListUsers);
  EXPECT_TRUE(parsed.options.headless);
  EXPECT_EQ(parsed.options.programDir, "x");
  parsed = ParseCommandLine({"--add-user", "bob", "--secret"});
  ASSERT_TRUE(parsed.Ok());
  EXPECT_EQ(parsed.options.action, AdminAction::AddUser);
  EXPECT_EQ(parsed.options.actionArguments, (QStringList{"bob", "--secret"}));
  parsed = ParseCommandLine({"--import-access", "a.mdb", "b.part", "--import-report", "r"});
  ASSERT_TRUE(parsed.Ok()) << parsed.error.toStdString();
  EXPECT_EQ(parsed.options.action, AdminAction::ImportAccess);
  EXPECT_EQ(parsed.options.actionArguments, QStringList({"a.mdb", "b.part"}));
  EXPECT_EQ(parsed.options.importReport, "r");
  parsed = ParseCommandLine({"--keep", "3", "--backup", "to"});
  ASSERT_TRUE(parsed.Ok()) << parsed.error.toStdString();
  EXPECT_EQ(parsed.options.action, AdminAction::Backup);
  EXPECT_EQ(parsed.options.keep, 3);
  parsed = ParseCommandLine({"--metrics", " [::1]:9100", "--headless"});
  ASSERT_TRUE(parsed.Ok()) << parsed.error.toStdString();
  EXPECT_EQ(parsed.options.metrics->Text(), "[::1]:9100");
  EXPECT_EQ(ParseCommandLine({}).options.action, AdminAction::None);
}

TEST(ParseCommandLine, RejectsWhatItDoesNotUnderstand) {
  const std::vector<QStringList> refused = {{"--bogus"},
                                            {"stray"},
                                            {"--dir"},
                                            {"--add-user", "bob"},
                                            {"--list-users", "extra"},
                                            {"--list-users", "--remove-user", "BOB"},
                                            {"--import-access"},
                                            {"--import-report", "r"},
                                            {"--list-users", "--import-report", "r"},
                                            {"--import-access", "a.mdb", "--import-report"},
                                            {"--backup"},
                                            {"--list-users", "--keep", "2"},
                                            {"--backup", "to", "--keep", "0"},
                                            {"--metrics", "9100"},
                                            {"--headless", "--metrics", "0"},
                                            {"--headless", "--metrics", "host:9100"},
                                            {"--headless", "--metrics", "::1:9100"}};
  for (const QStringList& arguments : refused) {
    EXPECT_FALSE(ParseCommandLine(arguments).Ok()) << arguments.join(' ').toStdString();
  }
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
  std::optional<LogonRecord> FindLogonUser(const QString& name) {
    RegistryStore registry(dir_.path());
    return UserStore(registry, dir_.path()).FindLogonUser(name);
  }

  QTemporaryDir dir_;
  QString out_;
  QString err_;
};

TEST_F(AdminActionTest, AddedUserIsTrimmedUpperCasedAndFoundAtLogon) {
  ASSERT_EQ(Run({"--add-user", "  bob ", " secret  ", "--key", "01234567"}), 0)
      << err_.toStdString();
  EXPECT_EQ(out_, "01234567\n");
  EXPECT_EQ(FindLogonUser("bob"), (LogonRecord{"SECRET", {1234567}}));
}

TEST_F(AdminActionTest, UsersThatCouldNotLogOnAreRefusedAndNothingIsStored) {
  // Stored, "A:B:KEY" would split at the first colon: the user could never log on.
  EXPECT_EQ(Run({"--add-user", "bob", "a:b"}), 1);
  EXPECT_EQ(err_, "The password cannot hold \":\": use other characters.\n");
  EXPECT_FALSE(RegistryStore(dir_.path()).KeyExists(UserKeyPath));
  EXPECT_EQ(Run({"--add-user", "   ", "pw"}), 1);
  EXPECT_EQ(err_, "RemoteHost name is required.\n");
  EXPECT_EQ(Run({"--add-user", "bob", "   "}), 1);
  EXPECT_EQ(err_, "Password is required.\n");
  EXPECT_EQ(Run({"--add-user", "bob", QString(250, u'A')}), 1);
  EXPECT_EQ(Run({"--add-user", QStringLiteral("\u03a9"), "pw"}), 1);
  // Clients rely on keys of the server's making: eight digits, never negative.
  for (const QString key : {"1234567", "123456789", "-1234567", "1234567a"})
    EXPECT_EQ(Run({"--add-user", "bob", "pw", "--key", key}), 1) << key.toStdString();
  EXPECT_EQ(err_, "The private key must be eight digits, as the server makes them: 1234567a\n");
  EXPECT_TRUE(out_.isEmpty());
  EXPECT_EQ(Run({"--list-users"}), 0);
  EXPECT_TRUE(out_.isEmpty());
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

using AdminProcessTest = ServerProcessTest;

TEST_F(AdminProcessTest, UsageAddListDuplicateAndRemoveWithTheirExitCodes) {
  // An unknown option prints the usage, exits 2 and creates no store.
  const ServerRun bogus = Run({"--bogus"});
  EXPECT_EQ(bogus.exitCode, 2);
  EXPECT_TRUE(bogus.err.contains("Usage:")) << bogus.err.constData();
  EXPECT_TRUE(bogus.out.isEmpty());
  EXPECT_FALSE(QFile::exists(Path("registry.db")));

  const ServerRun added = Run({"--add-user", "bob", "secret"});
  ASSERT_EQ(added.exitCode, 0) << added.err.constData();
  ASSERT_TRUE(QRegularExpression("^[0-9]{8}\n$").match(added.out).hasMatch())
      << added.out.constData();

  const ServerRun duplicate = Run({"--add-user", "Bob", "other"});
  EXPECT_EQ(duplicate.exitCode, 1);
  EXPECT_TRUE(duplicate.err.contains("User already exists.")) << duplicate.err.constData();
  EXPECT_TRUE(duplicate.out.isEmpty());

  const ServerRun second = Run({"--add-user", "alice", "pw"});
  ASSERT_EQ(second.exitCode, 0);
  EXPECT_EQ(Run({"--list-users"}).out, "BOB\t" + added.out + "ALICE\t" + second.out);
  EXPECT_EQ(Run({"--remove-user", "bob"}).exitCode, 1);  // the exact name only
  EXPECT_EQ(Run({"--remove-user", "BOB"}).exitCode, 0);
  EXPECT_EQ(Run({"--list-users"}).out, "ALICE\t" + second.out);
  const ServerRun missing = Run({"--remove-user", "BOB"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_FALSE(missing.err.isEmpty());
  EXPECT_EQ(RunServer({"--dir", Path("missing"), "--list-users"}).exitCode, 1);
}

}  // namespace
}  // namespace corvane::test
