#include "transport/web/web_address.h"

#include <QFileInfo>
#include <QNetworkInterface>

#include "base/server_settings.h"
#include "transport/web/web_server.h"

namespace corvane {

QHostAddress NetworkAddressOfThisComputer() {
  for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
    const auto flags = interface.flags();
    if (!(flags & QNetworkInterface::IsUp) || (flags & QNetworkInterface::IsLoopBack)) continue;
    for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
      if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol) return entry.ip();
    }
  }
  return QHostAddress(QHostAddress::LocalHost);
}

QString WebAccessUrl(const QString& programDir, int32_t port) {
  if (!WebPortUsable(port)) return {};
  const bool secure = QFileInfo::exists(WebServer::CertificatePath(programDir)) &&
                      QFileInfo::exists(WebServer::KeyPath(programDir));
  return QStringLiteral("%1://%2:%3/")
      .arg(secure ? QStringLiteral("https") : QStringLiteral("http"),
           NetworkAddressOfThisComputer().toString())
      .arg(port);
}

}  // namespace corvane
