#include "transport/web/metrics_listener.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QHttpServerResponse>
#include <QPointer>
#include <QTcpServer>

#include "transport/web/web_connection_guard.h"
#include "transport/web/web_listener.h"

namespace corvane {
namespace {

using Status = QHttpServerResponse::StatusCode;

constexpr char kPlainText[] = "text/plain; charset=utf-8";
// The exposition format's version, which scrapers look for.
constexpr char kMetricsText[] = "text/plain; version=0.0.4; charset=utf-8";

// The answer to anything but GET /health: GET /metrics, or why not.
QHttpServerResponse Page(QHttpServerRequest::Method method, const QString& path,
                         const MetricsPages& pages) {
  if (path != QLatin1String("/health") && path != QLatin1String("/metrics")) {
    return QHttpServerResponse(kPlainText, "Not found: ask /health or /metrics\n",
                               Status::NotFound);
  }
  if (method != QHttpServerRequest::Method::Get) {
    QHttpServerResponse response(kPlainText, "Only GET\n", Status::MethodNotAllowed);
    response.setHeader("Allow", "GET");
    return response;
  }
  return QHttpServerResponse(kMetricsText, pages.metrics(), Status::Ok);
}

QHttpServerResponse Health(const QStringList& problems) {
  if (problems.isEmpty()) return QHttpServerResponse(kPlainText, "OK\n", Status::Ok);
  return QHttpServerResponse(kPlainText, (problems.join(QLatin1Char('\n')) + '\n').toUtf8(),
                             Status::ServiceUnavailable);
}

void Send(QHttpServerResponse response, QHttpServerResponder&& responder, QTcpSocket* socket) {
  response.setHeader("Cache-Control", "no-store");
  response.write(std::move(responder));
  if (WebConnectionGuard* guard = WebConnectionGuard::Of(socket)) guard->Answered();
}

}  // namespace

WebLimits MetricsLimits() {
  WebLimits limits;
  limits.mostConnectionsPerAddress = kMostMetricsConnectionsPerAddress;
  limits.mostConnections = kMostMetricsConnections;
  limits.mostHeaderBytes = kMostMetricsHeaderBytes;
  limits.mostBodyBytes = kMostMetricsBodyBytes;
  return limits;
}

MetricsListener::MetricsListener(MetricsPages pages, const WebLimits& limits, QObject* parent)
    : QAbstractHttpServer(parent), pages_(std::move(pages)), limits_(limits) {}

bool MetricsListener::Start(const QHostAddress& address, quint16 port) {
  QTcpServer* listener = NewWebListener(std::nullopt, this, limits_, counts_);
  if (!listener->listen(address, port)) {
    delete listener;
    return false;
  }
  port_ = listener->serverPort();
  bind(listener);
  return true;
}

bool MetricsListener::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
  if (request.method() != QHttpServerRequest::Method::Get ||
      request.url().path() != QLatin1String("/health")) {
    Send(Page(request.method(), request.url().path(), pages_), makeResponder(request, socket),
         socket);
    return true;
  }
  // The answer may come later; nothing is written once the monitor's connection has gone.
  auto responder = std::make_shared<QHttpServerResponder>(makeResponder(request, socket));
  const QPointer<QTcpSocket> connection(socket);
  pages_.problems([responder, connection](const QStringList& problems) {
    if (connection) Send(Health(problems), std::move(*responder), connection);
  });
  return true;
}

void MetricsListener::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
  makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
  if (WebConnectionGuard* guard = WebConnectionGuard::Of(socket)) guard->Answered();
}

}  // namespace corvane
