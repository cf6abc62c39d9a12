#include "access/access_import.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "access/access_file.h"
#include "access/access_importer.h"

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

bool WriteAll(int fd, const QByteArray& bytes) {
  qsizetype done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.constData() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += n;
  }
  return true;
}

QByteArray ReadAll(int fd) {
  QByteArray bytes;
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    bytes.append(buffer, n);
  }
  return bytes;
}

QByteArray EncodeOutcome(const AccessImportOutcome& outcome) {
  QByteArray bytes;
  bytes.append(outcome.ok ? '1' : '0');
  const QByteArray error = outcome.error.toUtf8();
  bytes.append(QByteArray::number(error.size())).append('\n').append(error);
  bytes.append(outcome.report.Serialize());
  return bytes;
}

bool DecodeOutcome(const QByteArray& bytes, AccessImportOutcome* outcome) {
  if (bytes.isEmpty() || (bytes[0] != '0' && bytes[0] != '1')) return false;
  const qsizetype newline = bytes.indexOf('\n');
  if (newline < 0) return false;
  bool ok = false;
  const qsizetype length = bytes.mid(1, newline - 1).toLongLong(&ok);
  if (!ok || length < 0 || newline + 1 + length > bytes.size()) return false;
  outcome->ok = bytes[0] == '1';
  outcome->error = QString::fromUtf8(bytes.mid(newline + 1, length));
  return AccessImportReport::Deserialize(bytes.mid(newline + 1 + length), &outcome->report);
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

constexpr int kReaderGaveUp = 3;

// Generous: a minute plus a second per megabyte, about ten times a normal import.
unsigned ReaderTimeLimitSeconds(const QString& source) {
  return static_cast<unsigned>(60 + QFileInfo(source).size() / (1024 * 1024));
}

// Runs the import in a child process and returns what it reported.
AccessImportOutcome ImportInChild(const QString& source, const QString& temporary,
                                  const JetSqlTranslator& translate) {
  AccessImportOutcome outcome;
  outcome.report.source = source;
  int channel[2];
  if (::pipe(channel) != 0) {
    outcome.error = QStringLiteral("%1 cannot be imported: no pipe to the reader.").arg(source);
    return outcome;
  }
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(channel[0]);
    ::close(channel[1]);
    outcome.error = QStringLiteral("%1 cannot be imported: no reader process.").arg(source);
    return outcome;
  }
  if (child == 0) {
    ::close(channel[0]);
    // The reader's warnings about odd pages mean nothing to the operator, and must not
    // mix with the report on the command line.
    const int devNull = ::open("/dev/null", O_WRONLY);
    if (devNull >= 0) {
      ::dup2(devNull, STDOUT_FILENO);
      ::dup2(devNull, STDERR_FILENO);
    }
    // A reader that gives up through exit() must not run the server's exit handlers in
    // this copy of it; a reader caught in a loop on a damaged file is ended.
    std::atexit([] { ::_exit(kReaderGaveUp); });
    // The server's signal handlers belong to the server, not to this copy of it.
    for (int signalNumber : {SIGALRM, SIGINT, SIGTERM, SIGHUP, SIGQUIT})
      ::signal(signalNumber, SIG_DFL);
    ::alarm(ReaderTimeLimitSeconds(source));
    const AccessImportOutcome result = ImportAccessFileInProcess(source, temporary, translate);
    const bool sent = WriteAll(channel[1], EncodeOutcome(result));
    ::_exit(sent && result.ok ? 0 : 1);
  }
  ::close(channel[1]);
  const QByteArray reply = ReadAll(channel[0]);
  ::close(channel[0]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!DecodeOutcome(reply, &outcome)) {
    outcome = AccessImportOutcome();
    outcome.report.source = source;
    outcome.error =
        QStringLiteral("%1 is damaged: reading it stopped %2.")
            .arg(source, WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM
                             ? QStringLiteral("because the reader did not finish")
                         : WIFSIGNALED(status) ? QStringLiteral("with a fault in the reader")
                                               : QStringLiteral("unexpectedly"));
  }
  return outcome;
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
                                        const JetSqlTranslator& translate) {
  AccessImportResult result;
  result.report.source = source;
  result.error = AccessFileProblem(source);
  if (!result.error.isEmpty()) return result;
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
  const AccessImportOutcome outcome = ImportInChild(source, temporary, translate);
  result.report = outcome.report;
  if (!outcome.ok) {
    RemoveDatabaseFiles(temporary);
    result.error = outcome.error;
    return result;
  }
  // The file is complete before it takes the name.
  if (!SyncFile(temporary) ||
      ::rename(QFile::encodeName(temporary).constData(),
               QFile::encodeName(targetInfo.absoluteFilePath()).constData()) != 0) {
    RemoveDatabaseFiles(temporary);
    result.error = QStringLiteral("%1 could not be written.").arg(target);
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace corvane
