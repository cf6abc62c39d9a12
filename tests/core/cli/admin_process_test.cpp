// The admin actions run as the real server executable, the way an operator runs them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace corvane::test {
namespace {

struct Result {
  int exitCode = -1;
  QString out;
  QString err;
};

class AdminProcessTest : public ::testing::Test {
 protected:
  Result Run(QStringList arguments, bool withDir = true) {
    if (withDir) arguments = QStringList{"--dir", dir_.path()} + arguments;
    QProcess process;
    process.start(CORVANE_SERVER_PATH, arguments);
    Result result;
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit) {
      process.kill();
      process.waitForFinished();
      return result;
    }
    result.exitCode = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
  }

  QTemporaryDir dir_;
};

TEST_F(AdminProcessTest, AddListDuplicateAndRemove) {
  const Result added = Run({"--add-user", "bob", "secret"});
  ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();
  ASSERT_TRUE(QRegularExpression("^[0-9]{8}\n$").match(added.out).hasMatch())
      << added.out.toStdString();
  const QString key = added.out.trimmed();

  struct stat status {};
  ASSERT_EQ(
      ::stat(QFile::encodeName(QDir(dir_.path()).filePath("registry.db")).constData(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);

  const Result duplicate = Run({"--add-user", "Bob", "other"});
  EXPECT_EQ(duplicate.exitCode, 1);
  EXPECT_TRUE(duplicate.err.contains("User already exists.")) << duplicate.err.toStdString();
  EXPECT_TRUE(duplicate.out.isEmpty());

  const Result second = Run({"--add-user", "alice", "pw"});
  ASSERT_EQ(second.exitCode, 0);
  const Result listed = Run({"--list-users"});
  EXPECT_EQ(listed.exitCode, 0);
  EXPECT_EQ(listed.out, "BOB\t" + key + "\nALICE\t" + second.out);

  EXPECT_EQ(Run({"--remove-user", "bob"}).exitCode, 1);  // the exact name only
  EXPECT_EQ(Run({"--remove-user", "BOB"}).exitCode, 0);
  EXPECT_EQ(Run({"--list-users"}).out, "ALICE\t" + second.out);
  const Result missing = Run({"--remove-user", "BOB"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_FALSE(missing.err.isEmpty());
}

TEST_F(AdminProcessTest, UnknownOptionPrintsUsageAndExitsTwo) {
  const Result result = Run({"--bogus"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_TRUE(result.err.contains("Usage:")) << result.err.toStdString();
  EXPECT_TRUE(result.out.isEmpty());
  EXPECT_FALSE(QFile::exists(QDir(dir_.path()).filePath("registry.db")));
}

TEST_F(AdminProcessTest, HelpAndVersion) {
  const Result help = Run({"--help"}, false);
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(help.out.contains("--add-user NAME PASSWORD"));
  const Result version = Run({"--version"}, false);
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "Corvane Database Server\nVersion 5.0\n");
}

}  // namespace
}  // namespace corvane::test
