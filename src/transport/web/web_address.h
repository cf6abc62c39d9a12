#pragma once

#include <QHostAddress>
#include <QString>

namespace corvane {

// The address browsers on the network reach this computer at: its first IPv4 address that
// is up and not a loopback one, or 127.0.0.1 without any.
QHostAddress NetworkAddressOfThisComputer();

// The web client's address for the port ("https" when the program directory holds the
// certificate files); empty when the port keeps web access off.
QString WebAccessUrl(const QString& programDir, int32_t port);

}  // namespace corvane
