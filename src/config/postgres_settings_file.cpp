#include "config/postgres_settings_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "config/sequential_records.h"

namespace corvane {

PostgresSettingsFile::PostgresSettingsFile(QString programDir)
    : programDir_(std::move(programDir)) {}

QString PostgresSettingsFile::FilePath() const {
  return QDir(programDir_).filePath(QStringLiteral("postgres.dat"));
}

std::optional<int> PostgresSettingsFile::LoadFreshMs() const {
  QFile file(FilePath());
  if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return std::nullopt;
  SequentialReader reader(bytes);
  int32_t ms = 0;
  if (!reader.ReadInt32(ms) || ms < 0) return std::nullopt;
  return ms;
}

}  // namespace corvane
