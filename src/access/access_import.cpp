#include "access/access_import.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

#include "access/access_file.h"
#include "base/database_location.h"

namespace corvane {

namespace {

// Whether another process holds a lock that keeps readers out of the file.
bool LockedByOther(int fd) {
  struct flock probe = {};
  probe.l_type = F_RDLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = 0;
  probe.l_len = 0;
  return ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
}

void RemoveDatabaseFiles(const QString& path) {
  for (const char* suffix : {"", "-journal", "-wal", "-shm"})
    QFile::remove(path + QLatin1String(suffix));
}

// Removes what imports into the same target left when their process died.
void RemoveAbandonedParts(const QFileInfo& target) {
  const QDir dir = target.absoluteDir();
  const QString prefix = target.fileName() + QStringLiteral(".part");
  for (const QString& name : dir.entryList({prefix + QLatin1Char('*')}, QDir::Files)) {
    QString pid = name.mid(prefix.size());
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
      if (pid.endsWith(QLatin1String(suffix)))
        pid.chop(static_cast<qsizetype>(std::strlen(suffix)));
    }
    bool number = false;
    const pid_t owner = static_cast<pid_t>(pid.toLongLong(&number));
    if (number && owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH)
      QFile::remove(dir.filePath(name));
  }
}

bool SyncFile(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

QString AccessFileProblem(const QString& source) {
  const QFileInfo info(source);
  if (!info.exists()) return QStringLiteral("%1 does not exist.").arg(source);
  if (!info.isFile()) return QStringLiteral("%1 is not a file.").arg(source);
  const int fd = ::open(QFile::encodeName(source).constData(), O_RDONLY);
  if (fd < 0) {
    return QStringLiteral("%1 cannot be opened: %2.")
        .arg(source, QString::fromLocal8Bit(std::strerror(errno)));
  }
  const bool locked = LockedByOther(fd);
  ::close(fd);
  if (locked) return QStringLiteral("%1 is locked by another program.").arg(source);
  if (!HasAccessSignature(source))
    return QStringLiteral("%1 is not a Microsoft Access database.").arg(source);
  return QString();
}

AccessImportResult ImportAccessDatabase(const QString& source, const QString& target,
                                        const ConversionChild& child) {
  AccessImportResult result;
  result.report.source = source;
  result.error = AccessFileProblem(source);
  if (!result.error.isEmpty()) return result;
  if (IsServerDatabaseLocation(target)) {
    // The child writes in one transaction: if it dies, the server rolls it back.
    result.error = ServerLocationProblem(target, LocationUse::kCommandLine);
    if (!result.error.isEmpty()) return result;
    return ConvertInChild(child, source, target);
  }
  const QFileInfo targetInfo(target);
  if (targetInfo.exists() &&
      targetInfo.canonicalFilePath() == QFileInfo(source).canonicalFilePath()) {
    result.error = QStringLiteral("%1 cannot be imported into itself.").arg(source);
    return result;
  }
  if (!QDir().mkpath(targetInfo.absolutePath())) {
    result.error =
        QStringLiteral("%1 cannot be written: its folder cannot be created.").arg(target);
    return result;
  }
  RemoveAbandonedParts(targetInfo);
  const QString temporary =
      targetInfo.absoluteFilePath() + QStringLiteral(".part%1").arg(::getpid());
  RemoveDatabaseFiles(temporary);
  result = ConvertInChild(child, source, temporary);
  if (!result.ok) {
    RemoveDatabaseFiles(temporary);
    return result;
  }
  // The file is complete before it takes the name.
  if (!SyncFile(temporary) ||
      ::rename(QFile::encodeName(temporary).constData(),
               QFile::encodeName(targetInfo.absoluteFilePath()).constData()) != 0) {
    RemoveDatabaseFiles(temporary);
    result.ok = false;
    result.error = QStringLiteral("%1 could not be written.").arg(target);
    return result;
  }
  return result;
}

}  // namespace corvane
