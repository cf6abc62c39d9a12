#include "config/web_settings_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtDebug>

#include "config/atomic_file.h"
#include "config/sequential_records.h"

namespace corvane {

WebSettingsFile::WebSettingsFile(QString programDir) : programDir_(std::move(programDir)) {}

QString WebSettingsFile::FilePath() const {
  return QDir(programDir_).filePath(QStringLiteral("web.dat"));
}

bool WebSettingsFile::Load(ServerSettings& settings) const {
  settings.WebPort = 0;
  QFile file(FilePath());
  if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly)) return false;
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return false;
  SequentialReader reader(bytes);
  int32_t port = 0;
  if (!reader.ReadInt32(port)) return false;
  settings.WebPort = port;
  return WebPortUsable(port);
}

void WebSettingsFile::Save(const ServerSettings& settings) const {
  const QString path = FilePath();
  if (settings.WebPort == 0) {
    QFile::remove(path);
    return;
  }
  SequentialWriter writer;
  writer.WriteInteger(settings.WebPort);
  writer.EndRecord();
  if (!WriteFileAtomically(path, writer.bytes())) {
    qWarning("Could not write %s", qUtf8Printable(path));
  }
}

}  // namespace corvane
