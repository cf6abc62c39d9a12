#pragma once

#include <QHostAddress>
#include <QString>

namespace corvane {

// An address as clients and the operator know it: IPv4 clients of a dual-stack socket are
// shown in their IPv4 form.
QString AddressText(const QHostAddress& address);

}  // namespace corvane
