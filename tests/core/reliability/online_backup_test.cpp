// --backup beside a running server: copies taken while clients add records are sound and
// hold a committed state; a backup killed part way leaves no copy under a final name;
// --keep leaves the newest copies of each file.
#include <signal.h>

#include <QDir>
#include <QRegularExpression>
#include <QThread>
#include <array>
#include <atomic>
#include <thread>

#include "support/file_bytes.h"
#include "support/server_process.h"
#include "support/sqlite_files.h"

namespace corvane::test {
namespace {

class OnlineBackupTest : public ServerProcessTest {
 protected:
  // The copy of `label` that a backup's report names.
  static QString CopyOf(const ServerRun& run, const QString& label) {
    const QRegularExpression line(QStringLiteral("^%1: .* -> (.*)$").arg(label),
                                  QRegularExpression::MultilineOption);
    return line.match(QString::fromUtf8(run.out)).captured(1);
  }
  QStringList BackupFolder() const {
    return QDir(Path("backups")).entryList(QDir::Files | QDir::Hidden, QDir::Name);
  }
};

TEST_F(OnlineBackupTest, CopiesTakenWhileClientsAddHoldAPrefixOfTheAcknowledgedAdds) {
  WriteSetup({"items.db"});
  ASSERT_TRUE(WriteFileBytes(Path("general.dat"), "0,0,5,0,0\r\n1,0\r\n"));
  ExecOnFile(Path("items.db"),
             "CREATE TABLE Items (ItemID INTEGER PRIMARY KEY AUTOINCREMENT, "
             "Name VARCHAR(40), Qty LONG)");
  // Some megabytes, so that the copy takes several steps that the adds interrupt.
  ExecOnFile(Path("items.db"),
             "CREATE TABLE Padding (x BLOB); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
             "SELECT i + 1 FROM n WHERE i < 4000) INSERT INTO Padding SELECT randomblob(1000) "
             "FROM n");
  StartServer();

  constexpr int kClients = 8;
  std::vector<std::unique_ptr<CorvaneClient>> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.push_back(LoggedOn());
    ASSERT_TRUE(clients.back()->Request("RequestTheTable", {"0", "0"}));
  }
  std::array<int, kClients> acknowledged{};

  for (int run = 0; run < 10; ++run) {
    const std::array<int, kClients> before = acknowledged;
    std::atomic<bool> done{false};
    ServerRun finished;
    std::thread backup([&] {
      finished = Run({"--backup", Path("backups")});
      done = true;
    });
    // The clients take turns adding while the backup runs.
    while (!done) {
      for (int c = 0; c < kClients; ++c) {
        const int next = acknowledged[c] + 1;
        const auto added = clients[c]->Request(
            "Add", {"", QByteArray::number(c) + ':' + QByteArray::number(next), "1"});
        EXPECT_TRUE(added && added->word == "Data") << "client " << c;
        acknowledged[c] = next;
      }
    }
    backup.join();
    ASSERT_EQ(finished.exitCode, 0) << finished.err.constData();
    const QString copy = CopyOf(finished, "items.db");
    ASSERT_FALSE(copy.isEmpty()) << finished.out.constData();
    EXPECT_FALSE(CopyOf(finished, "user store").isEmpty()) << finished.out.constData();
    EXPECT_EQ(QueryOnFile(copy, "PRAGMA integrity_check").toString(), "ok");
    // Each client's adds in the copy are its first ones, every one acknowledged before
    // the backup began among them.
    std::array<std::vector<int>, kClients> held;
    for (const auto& row : RowsOnFile(copy, "SELECT Name FROM Items ORDER BY ItemID")) {
      const QStringList parts = row.at(0).toString().split(u':');
      held[parts.at(0).toInt()].push_back(parts.at(1).toInt());
    }
    for (int c = 0; c < kClients; ++c) {
      for (size_t i = 0; i < held[c].size(); ++i)
        ASSERT_EQ(held[c][i], static_cast<int>(i + 1)) << "client " << c << ", run " << run;
      EXPECT_GE(static_cast<int>(held[c].size()), before[c]) << "client " << c;
      EXPECT_LE(static_cast<int>(held[c].size()), acknowledged[c]) << "client " << c;
    }
  }
  EXPECT_GT(acknowledged[0], 0);
}

TEST_F(OnlineBackupTest, KilledOrFailedBackupLeavesNoCopyAndKeepLeavesTheNewest) {
  WriteSetup({"big.db"});
  ExecOnFile(Path("big.db"),
             "CREATE TABLE Padding (x BLOB); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
             "SELECT i + 1 FROM n WHERE i < 100) INSERT INTO Padding SELECT zeroblob(1000000) "
             "FROM n");
  QProcess backup;
  backup.start(QStringLiteral(CORVANE_SERVER_PATH),
               {"--dir", dir_.path(), "--backup", Path("backups")});
  ASSERT_TRUE(backup.waitForStarted(5000));
  // Killed once the copy is under way.
  while (backup.state() == QProcess::Running &&
         !BackupFolder().filter(QRegularExpression("\\.partial-")).size()) {
    QThread::msleep(2);
  }
  backup.kill();
  ASSERT_TRUE(backup.waitForFinished(5000));
  ASSERT_EQ(backup.exitStatus(), QProcess::CrashExit) << "the backup ended before the kill";
  EXPECT_TRUE(BackupFolder().filter(QRegularExpression("^[^.]")).isEmpty())
      << BackupFolder().join(' ').toStdString();

  // A file that cannot be copied fails the run and leaves nothing of itself.
  ASSERT_TRUE(WriteFileBytes(Path("junk.db"), QByteArray(8192, 'x')));
  ASSERT_TRUE(
      WriteFileBytes(Path("database.dat"), "\"junk.db\",\"" + Path("junk.db").toUtf8() + "\"\r\n"));
  const ServerRun failed = Run({"--backup", Path("backups")});
  EXPECT_EQ(failed.exitCode, 1);
  EXPECT_TRUE(failed.err.startsWith("junk.db (")) << failed.err.constData();
  EXPECT_TRUE(BackupFolder().filter(QRegularExpression("^junk|partial")).isEmpty())
      << BackupFolder().join(' ').toStdString();

  MakePeople(Path("small.db"), {"Ann"});
  ASSERT_TRUE(WriteFileBytes(Path("database.dat"),
                             "\"small.db\",\"" + Path("small.db").toUtf8() +
                                 "\"\r\n\"Stock\",\"postgresql://db.example/stock\"\r\n"));
  QStringList made;
  for (int run = 0; run < 3; ++run) {
    const ServerRun kept = Run({"--backup", Path("backups"), "--keep", "2"});
    ASSERT_EQ(kept.exitCode, 0) << kept.err.constData();
    EXPECT_TRUE(kept.out.contains("Stock: server database, back up with pg_dump\n"));
    made << QFileInfo(CopyOf(kept, "small.db")).fileName()
         << QFileInfo(CopyOf(kept, "user store")).fileName();
  }
  // The oldest copies are gone.
  made = made.mid(2);
  made.sort();
  EXPECT_EQ(BackupFolder(), made);
  // One of them is the user store: no copy is anybody's but the owner's.
  for (const QString& copy : made)
    EXPECT_FALSE(QFile::permissions(Path("backups/" + copy)) & 0x0077) << copy.toStdString();
  const QString newest = made.filter(QRegularExpression("^small-")).last();
  EXPECT_EQ(QueryOnFile(Path("backups/" + newest), "SELECT name FROM people").toString(), "Ann");
}

}  // namespace
}  // namespace corvane::test
