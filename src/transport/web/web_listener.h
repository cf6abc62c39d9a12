#pragma once

#include <QPointer>
#include <QSslConfiguration>
#include <QTcpServer>
#include <memory>
#include <optional>

#include "transport/web/web_connection_guard.h"
#include "transport/web/web_limits.h"

namespace corvane {

// What the web port's listeners share: the counts of open connections, and the guard each
// admitted connection gets before the request reader sees it.
class WebAdmission {
 public:
  WebAdmission(QObject* reader, const WebLimits& limits,
               std::shared_ptr<WebConnectionCounts> counts);
  // Guards the connection, or closes it when its address or the server holds as many
  // connections as allowed.
  bool Admit(QTcpSocket* socket);
  // The request reader takes each connection right after it is handed over and connects its
  // handler then; the guard of the one handed over last follows that handler.
  void ReaderTookLast();

 private:
  QObject* reader_;
  WebLimits limits_;
  std::shared_ptr<WebConnectionCounts> counts_;
  QPointer<QTcpSocket> last_;
};

// A listener of the web port (plain, or TLS with `tls`) whose connections are admitted
// and guarded before they are handed over, and which accepts again a moment after an accept
// error (Qt stops accepting after one, such as running out of file descriptors).
QTcpServer* NewWebListener(const std::optional<QSslConfiguration>& tls, WebAdmission admission,
                           int acceptRetryMs);

}  // namespace corvane
