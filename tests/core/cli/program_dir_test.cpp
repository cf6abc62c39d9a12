// Where the server keeps its files when no --dir is given: an installed executable's folder
// cannot be written, so the per-user data folder is used and made on first use.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "config/autostart_entry.h"
#include "config/default_program_dir.h"
#include "server/command_line.h"
#include "support/file_bytes.h"
#include "support/scoped_environment.h"
#include "support/server_process.h"

namespace corvane::test {
namespace {

class DefaultProgramDirTest : public ::testing::Test {
 protected:
  QString DataFolder() const { return dir_.filePath("data/corvane-server"); }

  QTemporaryDir dir_;
  ScopedEnvironment dataHome_{"XDG_DATA_HOME", dir_.filePath("data").toUtf8()};
};

TEST_F(DefaultProgramDirTest, DataFolderUnlessTheExecutablesFolderIsSetUp) {
  const QString bin = dir_.filePath("bin");
  EXPECT_EQ(DefaultProgramDir(bin), DataFolder());
  // The run-at-startup entry names --dir only for another folder than this one.
  EXPECT_EQ(AutostartPlaces::ForThisProgram().defaultProgramDir, DataFolder());
  ASSERT_TRUE(QDir().mkpath(bin));
  ASSERT_TRUE(WriteFileBytes(QDir(bin).filePath("registry.db"), ""));
  EXPECT_EQ(DefaultProgramDir(bin), bin);

  // Made on first use, for its owner only; a --dir folder is never made.
  EXPECT_EQ(ChosenProgramDir({}, DataFolder()), DataFolder());
  ASSERT_TRUE(QFileInfo(DataFolder()).isDir());
  EXPECT_FALSE(QFileInfo(DataFolder()).permissions() & (QFile::ReadGroup | QFile::ReadOther));
  CommandLineOptions options;
  options.programDir = dir_.filePath("given/../other");
  EXPECT_EQ(ChosenProgramDir(options, DataFolder()), dir_.filePath("other"));
  EXPECT_FALSE(QFileInfo::exists(dir_.filePath("other")));
}

TEST_F(DefaultProgramDirTest, TheServerWithoutDirRunsOnTheDataFolder) {
  const ServerRun headless = RunServer({"--headless"});
  EXPECT_EQ(headless.exitCode, 2);
  EXPECT_TRUE(headless.err.contains(QDir(DataFolder()).filePath("network.dat").toUtf8()))
      << headless.err.constData();
  const ServerRun added = RunServer({"--add-user", "bob", "pw"});
  EXPECT_EQ(added.exitCode, 0) << added.err.constData();
  EXPECT_TRUE(QFileInfo::exists(QDir(DataFolder()).filePath("registry.db")));
}

}  // namespace
}  // namespace corvane::test
