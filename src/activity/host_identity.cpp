#include "activity/host_identity.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkInterface>

namespace corvane {

HostIdentity LocalHostIdentity() {
  HostIdentity identity;
  identity.host_name = QHostInfo::localHostName().toUpper();
  identity.ip_address = QStringLiteral("127.0.0.1");
  for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
    if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback()) {
      identity.ip_address = address.toString();
      break;
    }
  }
  return identity;
}

}  // namespace corvane
