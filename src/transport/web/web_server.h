#pragma once

#include <QAbstractHttpServer>
#include <QSslConfiguration>
#include <QString>
#include <memory>
#include <optional>

#include "activity/activity_reporter.h"
#include "transport/web/web_api.h"
#include "transport/web/web_connection_guard.h"
#include "transport/web/web_limits.h"
#include "transport/web/web_slot_host.h"

class QTcpServer;

namespace corvane {

// The web access: serves the web client's pages (compiled in as resources) and its JSON
// interface on one port, over HTTPS when the program directory holds web-cert.pem and
// web-key.pem. Each logged-on browser is a client slot of the slot server. Connections are
// counted, timed and checked in front of the request reader (web_listener.h).
class WebServer : public QAbstractHttpServer {
  Q_OBJECT

 public:
  WebServer(WebSlotHost& slots, QString programDir, ActivityReporter* notes,
            const WebLimits& limits = {}, QObject* parent = nullptr);
  ~WebServer() override;

  // Listens on `port` of `address`, telling the operator in the activity list how; false
  // (with a note) when the port cannot be used or the certificate files cannot be read.
  bool Start(quint16 port, const QHostAddress& address = QHostAddress::Any);
  // Stops listening and frees the web slots.
  void Stop();
  bool Listening() const { return listening_; }
  bool Secure() const { return secure_; }
  quint16 Port() const { return port_; }

  // The files that turn on HTTPS.
  static QString CertificatePath(const QString& programDir);
  static QString KeyPath(const QString& programDir);

  // The largest request body accepted.
  static constexpr qsizetype kMostBodyBytes = kMostWebBodyBytes;

 protected:
  bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
  void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

 private:
  bool SetUpTls();
  void Note(const QString& text);

  WebSlotHost& slots_;
  QString programDir_;
  ActivityReporter* notes_;
  WebLimits limits_;
  std::shared_ptr<AddressCounts> counts_ = std::make_shared<AddressCounts>();
  std::optional<QSslConfiguration> tls_;
  std::unique_ptr<WebApi> api_;
  bool listening_ = false;
  bool secure_ = false;
  quint16 port_ = 0;
};

}  // namespace corvane
