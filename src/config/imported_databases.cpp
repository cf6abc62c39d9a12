#include "config/imported_databases.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "access/access_import.h"
#include "config/atomic_file.h"

namespace corvane {

namespace {

// What the stamp beside an imported database records about its source.
struct SourceStamp {
  QString source;
  qint64 size = -1;
  qint64 modified = -1;  // ms since the epoch
  QByteArray report;
};

QString StampPath(const QString& databasePath) { return databasePath + QStringLiteral(".source"); }

SourceStamp CurrentStamp(const QString& accessPath) {
  const QFileInfo info(accessPath);
  return {QDir::cleanPath(info.absoluteFilePath()),
          info.size(),
          info.exists() ? info.lastModified().toMSecsSinceEpoch() : -1,
          {}};
}

bool ReadStamp(const QString& path, SourceStamp* stamp) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  QDataStream in(&file);
  in >> stamp->source >> stamp->size >> stamp->modified >> stamp->report;
  return in.status() == QDataStream::Ok;
}

QByteArray StampBytes(const SourceStamp& stamp) {
  QByteArray bytes;
  QDataStream out(&bytes, QIODevice::WriteOnly);
  out << stamp.source << stamp.size << stamp.modified << stamp.report;
  return bytes;
}

QString ShortHash(const QByteArray& bytes, int length) {
  return QString::fromLatin1(
      QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex().left(length));
}

}  // namespace

QString SourcePrefix(const QString& sourcePath) {
  const QString path = QDir::cleanPath(QFileInfo(sourcePath).absoluteFilePath());
  return QFileInfo(path).completeBaseName() + QLatin1Char('-') + ShortHash(path.toUtf8(), 12) +
         QLatin1Char('-');
}

bool IsAccessFileName(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  return suffix == QLatin1String("mdb") || suffix == QLatin1String("accdb") ||
         suffix == QLatin1String("mde") || suffix == QLatin1String("accde");
}

QString ImportedDatabasePath(const QString& programDir, const QString& accessPath) {
  // Each version of the file (size and time) gets its own database, so that a new import
  // never replaces a file that a client may have open.
  const SourceStamp stamp = CurrentStamp(accessPath);
  const QString version =
      ShortHash(QByteArray::number(stamp.size) + ':' + QByteArray::number(stamp.modified), 8);
  return QDir(programDir)
      .filePath(QStringLiteral("databases/%1%2.sqlite").arg(SourcePrefix(accessPath), version));
}

PublishedAccess PrepareAccessDatabase(const QString& programDir, const QString& accessPath,
                                      const ConversionChild& child) {
  PublishedAccess result;
  result.databasePath = ImportedDatabasePath(programDir, accessPath);
  const SourceStamp now = CurrentStamp(accessPath);
  SourceStamp stored;
  if (QFileInfo::exists(accessPath) && QFileInfo::exists(result.databasePath) &&
      ReadStamp(StampPath(result.databasePath), &stored) && stored.source == now.source &&
      stored.size == now.size && stored.modified == now.modified &&
      AccessImportReport::Deserialize(stored.report, &result.report)) {
    result.ok = true;
    return result;
  }
  const AccessImportResult import = ImportAccessDatabase(accessPath, result.databasePath, child);
  result.report = import.report;
  if (!import.ok) {
    result.error = import.error;
    return result;
  }
  SourceStamp stamp = now;
  stamp.report = import.report.Serialize();
  // Without a stamp the next start imports again, which is safe.
  WriteFileAtomically(StampPath(result.databasePath), StampBytes(stamp));
  // Earlier imports of the file stay where they are: clients may have changed them, and
  // those changes are the operator's to carry over, never ours to throw away.
  const QFileInfo current(result.databasePath);
  for (const QString& name : current.absoluteDir().entryList(
           {SourcePrefix(accessPath) + QStringLiteral("*.sqlite")}, QDir::Files)) {
    if (name != current.fileName()) result.earlierImports << current.absoluteDir().filePath(name);
  }
  result.ok = true;
  result.imported = true;
  return result;
}

}  // namespace corvane
