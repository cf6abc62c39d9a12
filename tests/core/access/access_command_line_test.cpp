// --import-access as the operator runs it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "support/access_fixtures.h"
#include "support/file_bytes.h"
#include "support/server_process.h"

namespace corvane::test {
namespace {

TEST(ImportAccessProcess, PrintsTheReportAndWritesBesideTheFileOrWhereTold) {
  SKIP_WITHOUT_FIXTURES();
  QTemporaryDir dir;
  const QString copy = dir.filePath("Unicode.mdb");
  ASSERT_TRUE(QFile::copy(Fixture("testUnicodeCompV2003.mdb"), copy));
  const ServerRun run = RunServer({"--import-access", copy});
  EXPECT_EQ(run.exitCode, 0) << run.err.constData();
  EXPECT_TRUE(run.out.startsWith("Imported 1 table (8 rows) and 0 queries.\nTable Table: 8 rows\n"))
      << run.out.constData();
  EXPECT_TRUE(QFileInfo::exists(dir.filePath("Unicode.sqlite")));
  EXPECT_EQ(RunServer({"--import-access", copy, dir.filePath("out.sqlite")}).exitCode, 0);
  EXPECT_TRUE(QFileInfo::exists(dir.filePath("out.sqlite")));
}

TEST(ImportAccessProcess, AnUnreadableFileFailsWithAMessageAndWritesNothing) {
  QTemporaryDir dir;
  const QString bogus = dir.filePath("bogus.mdb");
  ASSERT_TRUE(WriteFileBytes(bogus, "no database here"));
  const ServerRun run = RunServer({"--import-access", bogus, dir.filePath("out.sqlite")});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, bogus.toUtf8() + " is not a Microsoft Access database.\n");
  EXPECT_EQ(run.out, QByteArray());
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"bogus.mdb"});
}

}  // namespace
}  // namespace corvane::test
