// Files that cannot be imported give a sentence naming the file and leave nothing behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "access/access_import.h"
#include "support/access_fixtures.h"

namespace corvane {
namespace {

using access_test::Fixture;

class AccessImportFailureTest : public ::testing::Test {
 protected:
  QString Write(const QString& name, const QByteArray& bytes) {
    const QString path = dir_.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
  }
  QByteArray FixtureBytes(const QString& name) {
    QFile file(Fixture(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
  }
  // Everything in the output folder.
  QStringList Leftovers() const { return QDir(out_.path()).entryList(QDir::Files); }

  void ExpectFailure(const QString& source, const QString& wording) {
    const AccessImportResult result = ImportAccessDatabase(source, out_.filePath("db.sqlite"));
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains(source)) << result.error.toStdString();
    EXPECT_TRUE(result.error.contains(wording)) << result.error.toStdString();
    EXPECT_EQ(Leftovers(), QStringList());
  }

  QTemporaryDir dir_;
  QTemporaryDir out_;
};

TEST_F(AccessImportFailureTest, MissingFolderTextAndEmptyFilesAreNoAccessDatabases) {
  ExpectFailure(dir_.filePath("absent.mdb"), "does not exist");
  ExpectFailure(dir_.path(), "is not a file");
  ExpectFailure(Write("notes.mdb", "just some text, not a database\n"),
                "is not a Microsoft Access database");
  ExpectFailure(Write("empty.accdb", QByteArray()), "is not a Microsoft Access database");
}

TEST_F(AccessImportFailureTest, DamagedFilesAreReportedAsDamaged) {
  SKIP_WITHOUT_FIXTURES();
  const QByteArray original = FixtureBytes("test2V2003.mdb");
  ExpectFailure(Write("short.mdb", original.left(5000)), "is damaged");
  QByteArray scrambled = original;
  for (qsizetype i = 4096; i < scrambled.size(); ++i) scrambled[i] = char((i * 7919) >> 3);
  ExpectFailure(Write("scrambled.mdb", scrambled), "is damaged");
}

TEST_F(AccessImportFailureTest, AFaultInTheReaderEndsOnlyTheImport) {
  SKIP_WITHOUT_FIXTURES();
  // The reader runs in a child process: even an abort there is a reported failure.
  const auto crash = [](const QString&) -> std::optional<QString> { ::abort(); };
  const AccessImportResult result =
      ImportAccessDatabase(Fixture("badDb.accdb"), out_.filePath("db.sqlite"), crash);
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(result.error.contains("badDb.accdb is damaged")) << result.error.toStdString();
  EXPECT_EQ(Leftovers(), QStringList());
}

TEST_F(AccessImportFailureTest, AReaderThatCallsExitEndsOnlyTheImport) {
  SKIP_WITHOUT_FIXTURES();
  const auto quit = [](const QString&) -> std::optional<QString> { std::exit(0); };
  const AccessImportResult result =
      ImportAccessDatabase(Fixture("badDb.accdb"), out_.filePath("db.sqlite"), quit);
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(result.error.contains("badDb.accdb is damaged")) << result.error.toStdString();
  EXPECT_EQ(Leftovers(), QStringList());
}

TEST_F(AccessImportFailureTest, AFailedImportKeepsTheEarlierDatabase) {
  const QString target = out_.filePath("db.sqlite");
  {
    QFile earlier(target);
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("earlier");
  }
  EXPECT_FALSE(ImportAccessDatabase(Write("x.mdb", "nonsense"), target).ok);
  QFile earlier(target);
  ASSERT_TRUE(earlier.open(QIODevice::ReadOnly));
  EXPECT_EQ(earlier.readAll(), "earlier");
  EXPECT_EQ(Leftovers(), QStringList{"db.sqlite"});
}

TEST_F(AccessImportFailureTest, AFileLockedByAnotherProgramIsNotRead) {
  SKIP_WITHOUT_FIXTURES();
  const QString path = Write("locked.mdb", FixtureBytes("weirdObjectNames.mdb"));
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t holder = ::fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR);
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    const char ok = (fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0) ? '1' : '0';
    [[maybe_unused]] ssize_t n = ::write(ready[1], &ok, 1);
    ::pause();
    ::_exit(0);
  }
  char ok = '0';
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, '1');
  ExpectFailure(path, "is locked by another program");
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  EXPECT_TRUE(ImportAccessDatabase(path, out_.filePath("db.sqlite")).ok);
}

TEST_F(AccessImportFailureTest, PartsLeftByADeadImportAreRemoved) {
  SKIP_WITHOUT_FIXTURES();
  // A process id that no process has: a reaped child's.
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  const QString stale = out_.filePath(QStringLiteral("db.sqlite.part%1").arg(gone));
  const QString live = out_.filePath(QStringLiteral("db.sqlite.part%1").arg(::getppid()));
  for (const QString& path : {stale, stale + "-journal", live}) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  ASSERT_TRUE(ImportAccessDatabase(Fixture("weirdObjectNames.mdb"), out_.filePath("db.sqlite")).ok);
  EXPECT_EQ(Leftovers(), QStringList({"db.sqlite", QFileInfo(live).fileName()}));
}

TEST_F(AccessImportFailureTest, TheAccessFileItselfIsNeverTheTarget) {
  SKIP_WITHOUT_FIXTURES();
  const QByteArray bytes = FixtureBytes("weirdObjectNames.mdb");
  const QString path = Write("self.mdb", bytes);
  const AccessImportResult result = ImportAccessDatabase(path, path);
  EXPECT_FALSE(result.ok);
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), bytes);
}

}  // namespace
}  // namespace corvane
