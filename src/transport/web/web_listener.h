#pragma once

#include <QSslConfiguration>
#include <QTcpServer>
#include <memory>
#include <optional>

#include "base/address_counts.h"
#include "transport/web/web_limits.h"

namespace corvane {

// A listener of the web port, plain or TLS (with `tls`). Each connection is counted against
// its address and the server's most the moment it is accepted, before any TLS handshake, and
// closed at once beyond them; a TLS handshake has its own deadline. A connection is handed to
// the request reader (`reader`) only when it is ready for requests, guarded
// (WebConnectionGuard), so a connection waiting on its handshake never holds Qt's queue of
// pending connections. After an accept error (such as running out of file descriptors) the
// listener accepts again a moment later.
QTcpServer* NewWebListener(const std::optional<QSslConfiguration>& tls, QObject* reader,
                           const WebLimits& limits, std::shared_ptr<AddressCounts> counts);

}  // namespace corvane
