#include "core/config/access/access_publish.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "core/config/access/access_import.h"
#include "core/config/atomic_file.h"

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
  return {info.absoluteFilePath(), info.size(), info.lastModified().toMSecsSinceEpoch(), {}};
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

}  // namespace

bool IsAccessFileName(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  return suffix == QLatin1String("mdb") || suffix == QLatin1String("accdb") ||
         suffix == QLatin1String("mde") || suffix == QLatin1String("accde");
}

QString ImportedDatabasePath(const QString& programDir, const QString& accessPath) {
  const QFileInfo info(accessPath);
  const QByteArray key = QDir::cleanPath(info.absoluteFilePath()).toUtf8();
  const QString hash =
      QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(12));
  return QDir(programDir)
      .filePath(QStringLiteral("databases/%1-%2.sqlite").arg(info.completeBaseName(), hash));
}

PublishedAccess PrepareAccessDatabase(const QString& programDir, const QString& accessPath,
                                      const JetSqlTranslator& translate) {
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
  const AccessImportResult import =
      ImportAccessDatabase(accessPath, result.databasePath, translate);
  result.report = import.report;
  if (!import.ok) {
    result.error = import.error;
    return result;
  }
  SourceStamp stamp = now;
  stamp.report = import.report.Serialize();
  // Without a stamp the next start imports again, which is safe.
  WriteFileAtomically(StampPath(result.databasePath), StampBytes(stamp));
  result.ok = true;
  result.imported = true;
  return result;
}

}  // namespace corvane
