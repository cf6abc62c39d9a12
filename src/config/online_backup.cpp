#include "config/online_backup.h"

#include <signal.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTextStream>
#include <cerrno>

#include "base/sqlite_backup.h"
#include "config/access_publisher.h"
#include "config/atomic_file.h"
#include "config/imported_databases.h"
#include "config/registry_store.h"
#include "config/settings_files.h"

namespace corvane {
namespace {

struct BackupSource {
  QString label;   // how the report names it
  QString path;    // the SQLite file copied
  QString prefix;  // how every copy of it is named first
};

// A copy in the making: hidden, and ending in the process id of its maker.
QString PartialName(const QString& finalName) {
  return QStringLiteral(".%1.partial-%2").arg(finalName).arg(::getpid());
}

// A backup killed part way leaves its partial copy; the next one clears it away unless
// its maker still runs.
void RemoveAbandonedCopies(const QDir& target) {
  static const QRegularExpression partial(QStringLiteral("^\\..+\\.partial-(\\d+)$"));
  for (const QString& name : target.entryList(QDir::Files | QDir::Hidden)) {
    const QRegularExpressionMatch match = partial.match(name);
    if (!match.hasMatch()) continue;
    const pid_t maker = match.captured(1).toInt();
    if (maker > 0 && maker != ::getpid() && ::kill(maker, 0) != 0 && errno == ESRCH)
      QFile::remove(target.filePath(name));
  }
}

std::vector<BackupSource> Sources(const QString& programDir, QTextStream& out) {
  std::vector<BackupSource> sources;
  QSet<QString> seen;
  auto add = [&](const QString& label, const QString& path, const QString& prefixSource) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty() || seen.contains(canonical)) return;
    seen.insert(canonical);
    sources.push_back({label, path, SourcePrefix(prefixSource)});
  };
  PublishedList published;
  SettingsFiles(programDir).LoadDatabaseList(published);
  for (const PublishedDatabase& entry : published) {
    if (entry.IsServerDatabase()) {
      out << entry.name << ": server database, back up with pg_dump\n";
    } else if (AccessPublisher::NeedsImport(entry.location)) {
      const QString imported = ImportedDatabasePath(programDir, entry.location);
      if (QFileInfo::exists(imported)) {
        add(entry.name, imported, entry.location);
      } else {
        out << entry.name << ": not imported yet, nothing to copy\n";
      }
    } else {
      add(entry.name, entry.location, entry.location);
    }
  }
  const QString users = RegistryStore(programDir).FilePath();
  if (QFileInfo::exists(users)) add(QStringLiteral("user store"), users, users);
  return sources;
}

// Removes all but the newest `keep` copies named with `prefix`.
void RemoveOldestCopies(const QDir& target, const QString& prefix, int keep, QTextStream& out) {
  const QRegularExpression copy(QStringLiteral("^%1\\d{8}-\\d{6}\\.\\d{3}\\.sqlite$")
                                    .arg(QRegularExpression::escape(prefix)));
  QStringList copies;
  for (const QString& name : target.entryList(QDir::Files, QDir::Name | QDir::Reversed)) {
    if (copy.match(name).hasMatch()) copies << name;
  }
  for (qsizetype i = keep; i < copies.size(); ++i) {
    const QString path = target.filePath(copies[i]);
    if (!QFile::remove(path)) continue;
    // Left by whoever opened the copy since.
    QFile::remove(path + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    out << "Removed " << path << '\n';
  }
}

bool BackUp(const BackupSource& source, const QDir& target, QTextStream& out, QTextStream& err) {
  const QString stamp =
      QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss.zzz"));
  const QString finalName = source.prefix + stamp + QStringLiteral(".sqlite");
  const QString partial = target.filePath(PartialName(finalName));
  const QString copy = target.filePath(finalName);
  QString error;
  QFile::remove(partial);
  // Readable by the owner only from the start, as the user store is: the copies hold
  // passwords and the clients' records.
  QFile made(partial);
  bool ok = made.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                      QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  made.close();
  if (!ok) error = made.errorString();
  ok = ok && CopyDatabaseOnline(source.path, partial, &error);
  if (ok && !MoveIntoPlaceDurably(partial, copy)) {
    ok = false;
    error = QStringLiteral("the copy could not be saved as %1").arg(copy);
  }
  if (!ok) {
    QFile::remove(partial);
    err << source.label << " (" << source.path << "): " << error << '\n';
    return false;
  }
  out << source.label << ": " << source.path << " -> " << copy << '\n';
  return true;
}

}  // namespace

bool BackUpDatabases(const QString& programDir, const QString& targetDir, int keep,
                     QTextStream& out, QTextStream& err) {
  const QDir target(QFileInfo(targetDir).absoluteFilePath());
  if (!target.mkpath(QStringLiteral("."))) {
    err << "The backup folder cannot be made: " << target.path() << '\n';
    return false;
  }
  RemoveAbandonedCopies(target);
  bool ok = true;
  for (const BackupSource& source : Sources(programDir, out)) {
    // Only a database that has a fresh copy loses old ones.
    if (!BackUp(source, target, out, err)) {
      ok = false;
    } else if (keep > 0) {
      RemoveOldestCopies(target, source.prefix, keep, out);
    }
  }
  return ok;
}

}  // namespace corvane
