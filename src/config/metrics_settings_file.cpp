#include "config/metrics_settings_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "config/sequential_records.h"

namespace corvane {
namespace {

std::optional<quint16> PortOf(const QString& text) {
  bool ok = false;
  const uint port = text.toUInt(&ok);
  if (!ok || port == 0 || port > 65535) return std::nullopt;
  return static_cast<quint16>(port);
}

}  // namespace

QString MetricsAddress::Text() const {
  const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                           ? QStringLiteral("[%1]").arg(address.toString())
                           : address.toString();
  return QStringLiteral("%1:%2").arg(host).arg(port);
}

std::optional<MetricsAddress> ParseMetricsAddress(const QString& text) {
  const QString trimmed = text.trimmed();
  const qsizetype colon = trimmed.lastIndexOf(QLatin1Char(':'));
  if (colon < 0) {
    const std::optional<quint16> port = PortOf(trimmed);
    if (!port) return std::nullopt;
    return MetricsAddress{QHostAddress(QHostAddress::LocalHost), *port};
  }
  QString host = trimmed.left(colon);
  if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) {
    host = host.mid(1, host.size() - 2);
  } else if (host.contains(QLatin1Char(':'))) {
    return std::nullopt;  // an IPv6 address needs its brackets to tell the port apart
  }
  const QHostAddress address(host);
  const std::optional<quint16> port = PortOf(trimmed.mid(colon + 1));
  if (address.isNull() || !port) return std::nullopt;
  return MetricsAddress{address, *port};
}

MetricsSettingsFile::MetricsSettingsFile(QString programDir) : programDir_(std::move(programDir)) {}

QString MetricsSettingsFile::FilePath() const {
  return QDir(programDir_).filePath(QStringLiteral("metrics.dat"));
}

std::optional<MetricsAddress> MetricsSettingsFile::Load(QString* problem) const {
  QFile file(FilePath());
  if (!QFileInfo(file).isFile()) return std::nullopt;
  QString text;
  if (file.open(QIODevice::ReadOnly)) {
    const QByteArray bytes = file.readAll();
    SequentialReader reader(bytes);
    if (file.error() == QFileDevice::NoError && reader.ReadText(text)) {
      if (std::optional<MetricsAddress> address = ParseMetricsAddress(text)) return address;
    }
  }
  if (problem) {
    *problem = QStringLiteral("%1 holds no ADDRESS:PORT or port (\"%2\")").arg(FilePath(), text);
  }
  return std::nullopt;
}

}  // namespace corvane
