// Files that cannot be imported, and conversions that go wrong in the child process, give
// a sentence naming the file and leave nothing behind.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>

#include "access/access_conversion.h"
#include "access/access_import.h"
#include "support/access_fixtures.h"
#include "support/file_bytes.h"

namespace corvane::test {
namespace {

class AccessImportFailureTest : public ::testing::Test {
 protected:
  QString Write(const QString& name, const QByteArray& bytes) {
    const QString path = dir_.filePath(name);
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    return path;
  }
  QStringList Leftovers() const { return QDir(out_.path()).entryList(QDir::Files); }

  // A stand-in for the converting program that misbehaves: a shell script, given
  // "--import-access SOURCE TARGET --import-report REPORT" like the real one.
  ConversionChild Script(const QString& body,
                         std::chrono::milliseconds timeLimit = std::chrono::milliseconds(0)) {
    const QString path =
        Write(QStringLiteral("reader%1.sh").arg(scripts_++), "#!/bin/sh\n" + body.toUtf8() + "\n");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return {path, timeLimit};
  }
  // A file with an Access file's first bytes, which is handed to the child to read.
  QString LooksLikeAccess() {
    QByteArray bytes(4096, '\0');
    bytes.replace(4, 15, "Standard Jet DB");
    return Write("looks.mdb", bytes);
  }

  void ExpectFailure(const QString& source, const QString& wording,
                     const ConversionChild& child = ServerConversion()) {
    const AccessImportResult result =
        ImportAccessDatabase(source, out_.filePath("db.sqlite"), child);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains(source)) << result.error.toStdString();
    EXPECT_TRUE(result.error.contains(wording)) << result.error.toStdString();
    EXPECT_EQ(Leftovers(), QStringList());
  }

  QTemporaryDir dir_;
  QTemporaryDir out_;
  int scripts_ = 0;
};

TEST_F(AccessImportFailureTest, MissingFoldersTextEmptyAndDamagedFilesAreNamedAsSuch) {
  ExpectFailure(dir_.filePath("absent.mdb"), "does not exist");
  ExpectFailure(dir_.path(), "is not a file");
  ExpectFailure(Write("notes.mdb", "just some text, not a database\n"),
                "is not a Microsoft Access database");
  ExpectFailure(Write("empty.accdb", QByteArray()), "is not a Microsoft Access database");
  SKIP_WITHOUT_FIXTURES();
  const QByteArray original = ReadFileBytes(Fixture("test2V2003.mdb"));
  ExpectFailure(Write("short.mdb", original.left(5000)), "is damaged");
  QByteArray scrambled = original;
  for (qsizetype i = 4096; i < scrambled.size(); ++i) scrambled[i] = char((i * 7919) >> 3);
  ExpectFailure(Write("scrambled.mdb", scrambled), "is damaged");
}

TEST_F(AccessImportFailureTest,
       AReaderThatCrashesHangsGivesNoResultOrNeverStartsEndsOnlyTheImport) {
  const QString source = LooksLikeAccess();
  const struct {
    const char* body;
    int timeLimitMs;
    const char* wording;
  } cases[] = {
      {"printf partial > \"$3\"; kill -SEGV $$", 0,
       "is damaged: reading it stopped with a fault in the reader"},
      {"printf partial > \"$3\"; exec sleep 600", 300,
       "is damaged: reading it stopped because the reader did not finish"},
      {"printf partial > \"$3\"; exit 0", 0, "is damaged: reading it stopped unexpectedly"},
      {"printf 'no result' > \"$5\"; exit 0", 0, "is damaged: reading it stopped unexpectedly"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    ExpectFailure(source, c.wording, Script(c.body, std::chrono::milliseconds(c.timeLimitMs)));
  }
  ExpectFailure(source, "cannot be imported: no reader process",
                ConversionChild{dir_.filePath("absent-program")});
}

TEST_F(AccessImportFailureTest, NothingThatIsThereIsEverOverwritten) {
  SKIP_WITHOUT_FIXTURES();
  // A failed import keeps the earlier database; the conversion never writes into a file
  // that exists; the Access file is never its own target.
  const QString target = out_.filePath("db.sqlite");
  ASSERT_TRUE(WriteFileBytes(target, "earlier"));
  EXPECT_FALSE(ImportAccessDatabase(Write("x.mdb", "nonsense"), target, ServerConversion()).ok);
  const AccessImportResult converted = ConvertAccessFile(Fixture("weirdObjectNames.mdb"), target);
  EXPECT_TRUE(converted.error.contains("exists already")) << converted.error.toStdString();
  EXPECT_EQ(ReadFileBytes(target), "earlier");
  EXPECT_EQ(Leftovers(), QStringList{"db.sqlite"});
  const QByteArray bytes = ReadFileBytes(Fixture("weirdObjectNames.mdb"));
  const QString self = Write("self.mdb", bytes);
  EXPECT_FALSE(ImportAccessDatabase(self, self, ServerConversion()).ok);
  EXPECT_EQ(ReadFileBytes(self), bytes);
}

TEST_F(AccessImportFailureTest, PartsLeftByADeadImportAreRemoved) {
  SKIP_WITHOUT_FIXTURES();
  // A process id that no process has: a reaped child's.
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  const QString stale = out_.filePath(QStringLiteral("db.sqlite.part%1").arg(gone));
  const QString live = out_.filePath(QStringLiteral("db.sqlite.part%1").arg(::getppid()));
  for (const QString& path : {stale, stale + "-journal", live})
    ASSERT_TRUE(WriteFileBytes(path, ""));
  ASSERT_TRUE(ImportAccessDatabase(Fixture("weirdObjectNames.mdb"), out_.filePath("db.sqlite"),
                                   ServerConversion())
                  .ok);
  EXPECT_EQ(Leftovers(), QStringList({"db.sqlite", QFileInfo(live).fileName()}));
}

}  // namespace
}  // namespace corvane::test
