#include "base/sqlite_backup.h"

#include <sqlite3.h>

#include <QThread>

#include "base/sqlite_database.h"

namespace corvane {
namespace {

constexpr int kPagesPerStep = 256;
// Between steps, so that the server's writers get their turn.
constexpr int kPauseBetweenStepsMs = 2;
constexpr int kBusyTimeoutMs = 5000;
// A busy or locked source is waited for this many times (each after the busy timeout).
constexpr int kBusyRetries = 6;
constexpr int kRestartsBeforeWholeCopy = 2;

class Backup {
 public:
  Backup(SqliteDatabase& target, SqliteDatabase& source)
      : backup_(sqlite3_backup_init(target.get(), "main", source.get(), "main")) {}
  ~Backup() { Finish(); }
  Backup(const Backup&) = delete;
  Backup& operator=(const Backup&) = delete;

  sqlite3_backup* get() const { return backup_; }
  int Finish() {
    if (!backup_) return SQLITE_OK;
    const int rc = sqlite3_backup_finish(backup_);
    backup_ = nullptr;
    return rc;
  }

 private:
  sqlite3_backup* backup_;
};

bool Failed(const SqliteDatabase& db, QString* error) {
  if (error) *error = db.ErrorMessage();
  return false;
}

}  // namespace

bool CopyDatabaseOnline(const QString& source, const QString& target, QString* error) {
  SqliteDatabase from;
  // Read and write, never create: a read-only connection cannot always read a WAL
  // database whose shared-memory file is missing.
  if (from.Open(source, SQLITE_OPEN_READWRITE) != SQLITE_OK) return Failed(from, error);
  sqlite3_busy_timeout(from.get(), kBusyTimeoutMs);
  SqliteDatabase to;
  if (to.Open(target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) != SQLITE_OK)
    return Failed(to, error);
  // A copy cut short is thrown away whole and the caller syncs the finished file, so the
  // copy needs no journal of its own.
  to.Execute("PRAGMA journal_mode=OFF");
  to.Execute("PRAGMA synchronous=OFF");

  Backup backup(to, from);
  if (!backup.get()) return Failed(to, error);
  int copied = 0;
  int restarts = 0;
  int busy = 0;
  int rc = SQLITE_OK;
  while (rc != SQLITE_DONE) {
    const bool whole = restarts >= kRestartsBeforeWholeCopy;
    rc = sqlite3_backup_step(backup.get(), whole ? -1 : kPagesPerStep);
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
      if (++busy > kBusyRetries) break;
      QThread::msleep(kPauseBetweenStepsMs);
      continue;
    }
    if (rc != SQLITE_OK && rc != SQLITE_DONE) break;
    busy = 0;
    // A write to the source by another connection starts the copy over.
    const int now = sqlite3_backup_pagecount(backup.get()) - sqlite3_backup_remaining(backup.get());
    if (now <= copied) ++restarts;
    copied = now;
    if (rc == SQLITE_OK) QThread::msleep(kPauseBetweenStepsMs);
  }
  const int finished = backup.Finish();
  if (rc != SQLITE_DONE || finished != SQLITE_OK) {
    if (error) {
      *error = finished != SQLITE_OK ? to.ErrorMessage() : QString::fromUtf8(sqlite3_errstr(rc));
    }
    return false;
  }
  to.Close();
  return true;
}

}  // namespace corvane
