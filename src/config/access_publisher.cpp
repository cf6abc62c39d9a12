#include "config/access_publisher.h"

#include <QFile>
#include <QFileInfo>

#include "access/access_file.h"

namespace corvane {

namespace {

bool IsSqliteDatabase(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  return file.read(16) == QByteArray("SQLite format 3\0", 16);
}

}  // namespace

AccessPublisher::AccessPublisher(QString programDir, DatabaseErrorPrompt& errors, NoteWriter note)
    : programDir_(std::move(programDir)), errors_(errors), note_(std::move(note)) {}

bool AccessPublisher::NeedsImport(const QString& location) {
  if (HasAccessSignature(location)) return true;
  // A damaged Access file still goes to the import, which says what is wrong with it.
  return IsAccessFileName(location) && !IsSqliteDatabase(location);
}

PublishedAccess AccessPublisher::Prepare(const QString& accessPath) {
  PublishedAccess result = PrepareAccessDatabase(programDir_, accessPath, child_);
  if (result.ok && result.imported) {
    QString note =
        QStringLiteral("%1: %2").arg(QFileInfo(accessPath).fileName(), result.report.Summary());
    if (!result.earlierImports.isEmpty()) {
      note += QStringLiteral(
                  " The file changed; earlier imports with the clients' changes are "
                  "kept: ") +
              result.earlierImports.join(QStringLiteral(", "));
    }
    note_(note);
  }
  return result;
}

void AccessPublisher::PrepareList(PublishedList& published) {
  // By position, rechecked each time: the message box lets events run.
  for (size_t d = 0; d < published.size();) {
    PublishedDatabase& entry = published[d];
    entry.servedLocation.clear();
    if (entry.IsServerDatabase() || !NeedsImport(entry.location)) {
      ++d;
      continue;
    }
    const PublishedAccess access = Prepare(entry.location);
    if (access.ok) {
      entry.servedLocation = access.databasePath;
      ++d;
      continue;
    }
    const QString name = entry.name;
    published.erase(published.begin() + static_cast<std::ptrdiff_t>(d));
    errors_.ShowDatabaseError(
        QStringLiteral("Database Error: ") + name + QStringLiteral("\r\r") + access.error,
        QStringLiteral("Database Error"));
  }
}

}  // namespace corvane
