#include "access/access_conversion.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>

#include "access/access_file.h"
#include "access/import_writer.h"
#include "access/pg_import_writer.h"
#include "access/sqlite_import_writer.h"
#include "base/database_location.h"

namespace corvane {

namespace {

// What the group and others may do with an import is at most what they may do with its
// Access file, and never execute it; the server, its owner, reads and writes it always.
constexpr mode_t kSharedBits = 0066;
constexpr mode_t kOwnerBits = 0600;

// Creates the empty database file, readable by no one the Access file keeps out, before a
// byte of its data is written (the umask may take more away). Tables added to a database
// that is already there would mix with what it holds, so it must be new.
bool CreateTarget(const QString& source, const QString& target, QString* error) {
  struct stat status {};
  const mode_t shared = ::stat(QFile::encodeName(source).constData(), &status) == 0
                            ? status.st_mode & kSharedBits
                            : 0;
  const int fd = ::open(QFile::encodeName(target).constData(),
                        O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kOwnerBits | shared);
  if (fd < 0) {
    *error = errno == EEXIST ? QStringLiteral("it exists already.")
                             : QString::fromLocal8Bit(std::strerror(errno));
    return false;
  }
  ::close(fd);
  return true;
}

}  // namespace

AccessImportResult ConvertAccessFile(const QString& source, const QString& target,
                                     const JetSqlTranslator& translate) {
  AccessImportResult result;
  result.report.source = source;
  QString error;
  const std::unique_ptr<AccessFile> file = AccessFile::Open(source, &error);
  if (!file) {
    result.error = error;
    return result;
  }
  result.report.format = file->formatName();
  const bool server = IsServerDatabaseLocation(target);
  if (server) {
    error = ServerLocationProblem(target, LocationUse::kCommandLine);
    if (!error.isEmpty()) {
      result.error = error;
      return result;
    }
  } else if (!CreateTarget(source, target, &error)) {
    result.error = QStringLiteral("%1 could not be written: %2").arg(target, error);
    return result;
  }
  try {
    const std::unique_ptr<ImportWriter> writer =
        server ? OpenPgImportWriter(target) : OpenSqliteImportWriter(target, translate);
    ImportIntoWriter(*file, *writer, result.report);
  } catch (const ImportWriteFailure& failure) {
    result.error = QStringLiteral("%1 could not be written: %2").arg(target, failure.message);
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace corvane
