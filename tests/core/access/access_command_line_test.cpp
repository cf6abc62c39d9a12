// --import-access, as parsed and as the operator runs it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "server/command_line.h"
#include "support/access_fixtures.h"

namespace corvane::test {
namespace {

struct ServerRun {
  int exitCode = -1;
  QString out;
  QString err;
};

ServerRun Server(const QStringList& arguments) {
  QProcess process;
  process.start(CORVANE_SERVER_PATH, arguments);
  ServerRun run;
  if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) return run;
  run.exitCode = process.exitCode();
  run.out = QString::fromUtf8(process.readAllStandardOutput());
  run.err = QString::fromUtf8(process.readAllStandardError());
  return run;
}

TEST(ImportAccessOption, TakesAFileAndAnOptionalOutput) {
  ParsedCommandLine one = ParseCommandLine({"--import-access", "a.mdb"});
  ASSERT_TRUE(one.Ok());
  EXPECT_EQ(one.options.action, AdminAction::ImportAccess);
  EXPECT_EQ(one.options.actionArguments, QStringList{"a.mdb"});
  ParsedCommandLine two = ParseCommandLine({"--import-access", "a.mdb", "b.sqlite", "--headless"});
  ASSERT_TRUE(two.Ok());
  EXPECT_EQ(two.options.actionArguments, QStringList({"a.mdb", "b.sqlite"}));
  EXPECT_FALSE(ParseCommandLine({"--import-access"}).Ok());
  EXPECT_TRUE(UsageText().contains("--import-access FILE [OUT]"));
}

TEST(ImportAccessOption, AReportFileGoesOnlyWithAnImport) {
  const ParsedCommandLine child =
      ParseCommandLine({"--import-access", "a.mdb", "b.part", "--import-report", "r"});
  ASSERT_TRUE(child.Ok()) << child.error.toStdString();
  EXPECT_EQ(child.options.actionArguments, QStringList({"a.mdb", "b.part"}));
  EXPECT_EQ(child.options.importReport, "r");
  EXPECT_FALSE(ParseCommandLine({"--import-report", "r"}).Ok());
  EXPECT_FALSE(ParseCommandLine({"--list-users", "--import-report", "r"}).Ok());
  EXPECT_FALSE(ParseCommandLine({"--import-access", "a.mdb", "--import-report"}).Ok());
  EXPECT_TRUE(UsageText().contains("--import-report FILE"));
}

TEST(ImportAccessProcess, PrintsTheReportAndWritesTheDatabase) {
  SKIP_WITHOUT_FIXTURES();
  QTemporaryDir dir;
  const QString out = dir.filePath("unicode.sqlite");
  const ServerRun run = Server({"--import-access", Fixture("testUnicodeCompV2003.mdb"), out});
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_TRUE(run.out.startsWith("Imported 1 table (8 rows) and 0 queries.\nTable Table: 8 rows\n"))
      << run.out.toStdString();
  EXPECT_TRUE(QFileInfo::exists(out));
}

TEST(ImportAccessProcess, WithoutOutputWritesBesideTheFile) {
  SKIP_WITHOUT_FIXTURES();
  QTemporaryDir dir;
  const QString copy = dir.filePath("Names.mdb");
  ASSERT_TRUE(QFile::copy(Fixture("weirdObjectNames.mdb"), copy));
  EXPECT_EQ(Server({"--import-access", copy}).exitCode, 0);
  EXPECT_TRUE(QFileInfo::exists(dir.filePath("Names.sqlite")));
}

TEST(ImportAccessProcess, AnUnreadableFileFailsWithAMessage) {
  QTemporaryDir dir;
  const QString bogus = dir.filePath("bogus.mdb");
  QFile file(bogus);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("no database here");
  file.close();
  const ServerRun run = Server({"--import-access", bogus, dir.filePath("out.sqlite")});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, bogus + " is not a Microsoft Access database.\n");
  EXPECT_EQ(run.out, QString());
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"bogus.mdb"});
}

}  // namespace
}  // namespace corvane::test
