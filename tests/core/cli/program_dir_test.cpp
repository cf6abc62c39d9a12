// Without --dir an installed executable's folder cannot be written: the per-user data
// folder is used, made on first use, unless the executable's folder is set up as one.
#include <gtest/gtest.h>

#include <QDir>

#include "config/autostart_entry.h"
#include "config/default_program_dir.h"
#include "support/file_bytes.h"
#include "support/scoped_environment.h"
#include "support/server_process.h"

namespace corvane::test {
namespace {

TEST(DefaultProgramDir, TheServerWithoutDirRunsOnTheDataFolderMadeForItsOwner) {
  QTemporaryDir dir;
  const ScopedEnvironment dataHome("XDG_DATA_HOME", dir.filePath("data").toUtf8());
  const QDir folder(dir.filePath("data/corvane-server"));
  // The run-at-startup entry names --dir only for another folder than this one.
  EXPECT_EQ(AutostartPlaces::ForThisProgram().defaultProgramDir, folder.path());
  const ServerRun headless = RunServer({"--headless"});
  EXPECT_EQ(headless.exitCode, 2);
  EXPECT_TRUE(headless.err.contains(folder.filePath("network.dat").toUtf8()))
      << headless.err.constData();
  EXPECT_EQ(RunServer({"--add-user", "bob", "pw"}).exitCode, 0);
  ASSERT_TRUE(QFileInfo::exists(folder.filePath("registry.db")));
  EXPECT_FALSE(QFileInfo(folder.path()).permissions() & (QFile::ReadGroup | QFile::ReadOther));
  // A folder beside the executable that holds settings files stays in use.
  ASSERT_TRUE(WriteFileBytes(dir.filePath("registry.db"), ""));
  EXPECT_EQ(DefaultProgramDir(dir.path()), dir.path());
}

}  // namespace
}  // namespace corvane::test
