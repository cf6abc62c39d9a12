#include "transport/web/web_server.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QHttpServerResponse>
#include <QJsonDocument>
#include <QPointer>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>
#include <memory>

#include "base/address_text.h"
#include "transport/web/web_listener.h"
#include "transport/web/web_routes.h"

namespace corvane {

WebServer::WebServer(WebSlotHost& slots, QString programDir, ActivityReporter* notes,
                     const WebLimits& limits, QObject* parent)
    : QAbstractHttpServer(parent),
      slots_(slots),
      programDir_(std::move(programDir)),
      notes_(notes),
      limits_(limits) {}

WebServer::~WebServer() { Stop(); }

QString WebServer::CertificatePath(const QString& programDir) {
  return QDir(programDir).filePath(QStringLiteral("web-cert.pem"));
}

QString WebServer::KeyPath(const QString& programDir) {
  return QDir(programDir).filePath(QStringLiteral("web-key.pem"));
}

void WebServer::Note(const QString& text) {
  if (notes_) notes_->LogNote(text);
}

bool WebServer::SetUpTls() {
  QFile certFile(CertificatePath(programDir_));
  QFile keyFile(KeyPath(programDir_));
  if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) return false;
  const QList<QSslCertificate> chain = QSslCertificate::fromData(certFile.readAll());
  const QByteArray keyBytes = keyFile.readAll();
  QSslKey key(keyBytes, QSsl::Rsa, QSsl::Pem);
  if (key.isNull()) key = QSslKey(keyBytes, QSsl::Ec, QSsl::Pem);
  if (chain.isEmpty() || key.isNull()) return false;
  QSslConfiguration config = QSslConfiguration::defaultConfiguration();
  config.setLocalCertificateChain(chain);
  config.setPrivateKey(key);
  tls_ = config;
  return true;
}

bool WebServer::Start(quint16 port, const QHostAddress& address) {
  Stop();
  const bool wantTls =
      QFileInfo::exists(CertificatePath(programDir_)) || QFileInfo::exists(KeyPath(programDir_));
  if (wantTls && !SetUpTls()) {
    // Never fall back to plain HTTP when the operator meant HTTPS.
    Note(
        QStringLiteral("Web Access not started: web-cert.pem and web-key.pem must both hold "
                       "a readable PEM certificate and key."));
    return false;
  }
  if (!wantTls) tls_.reset();
  QTcpServer* listener = NewWebListener(tls_, this, limits_, counts_);
  if (!listener->listen(address, port)) {
    delete listener;
    Note(QStringLiteral("Web Access not started: port %1 cannot be listened on.").arg(port));
    return false;
  }
  const quint16 bound = listener->serverPort();
  bind(listener);
  listening_ = true;
  secure_ = wantTls;
  port_ = bound;
  api_ = std::make_unique<WebApi>(slots_, bound);
  if (secure_) {
    Note(QStringLiteral("Web Access on port %1 over HTTPS.").arg(bound));
  } else {
    Note(QStringLiteral("Web Access on port %1 over plain HTTP: passwords and data travel "
                        "unencrypted. Put web-cert.pem and web-key.pem in the program "
                        "folder to use HTTPS.")
             .arg(bound));
  }
  return true;
}

void WebServer::Stop() {
  if (api_) api_->EndAllSessions();
  api_.reset();
  for (QTcpServer* server : servers()) server->close();
  listening_ = false;
  port_ = 0;
}

bool WebServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
  if (!api_) return false;
  // The answer may come after this returns: the responder waits for it, and nothing is
  // written once the browser's connection has gone.
  auto responder = std::make_shared<QHttpServerResponder>(makeResponder(request, socket));
  const QPointer<QTcpSocket> connection(socket);
  const QPointer<WebConnectionGuard> guard(WebConnectionGuard::Of(socket));
  AnswerRequest(*api_, request, secure_,
                [responder, connection, guard](QHttpServerResponse response) {
                  if (connection) response.write(std::move(*responder));
                  if (guard) guard->Answered();
                });
  return true;
}

void WebServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
  makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
  if (WebConnectionGuard* guard = WebConnectionGuard::Of(socket)) guard->Answered();
}

}  // namespace corvane
