#include "base/database_wait_guard.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <thread>

#include "engine/database.h"
#include "support/sqlite_files.h"

namespace corvane::test {
namespace {

// The test builds carry the guard: a server loop that reaches a database fails its test.
TEST(DatabaseWaitGuardTest, AMarkedThreadStopsAtTheEngineUnlessPermittedOtherThreadsGoOn) {
#ifndef CORVANE_THREAD_GUARD
  GTEST_SKIP() << "built without the guard";
#endif
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("guard.db"));
  ExecOnFile(path, QStringLiteral("CREATE TABLE t (a INTEGER)"));
  std::unique_ptr<Database> open = OpenDatabase(path);

  EventLoopThreadMark mark;
  EXPECT_DEATH(OpenDatabase(path), "Opening a database file was called on a server's event-loop");
  EXPECT_DEATH(open->OpenRecordset(QStringLiteral("t")), "event-loop thread");
  EXPECT_DEATH(open->Close(), "Closing a database file");
  {
    const DatabaseWaitPermit permit;
    EXPECT_NO_THROW(OpenDatabase(path)->OpenRecordset(QStringLiteral("t")));
  }
  // A worker is not marked by its starter's mark.
  bool opened = false;
  std::thread([&] { opened = OpenDatabase(path)->isOpen(); }).join();
  EXPECT_TRUE(opened);
  const DatabaseWaitPermit permit;
  open.reset();
}

}  // namespace
}  // namespace corvane::test
