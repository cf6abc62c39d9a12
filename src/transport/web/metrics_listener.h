#pragma once

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QHostAddress>
#include <QStringList>
#include <functional>
#include <memory>

#include "base/address_counts.h"
#include "transport/web/web_limits.h"

namespace corvane {

// Few connections and small requests: a monitor asks now and then, one page at a time.
inline constexpr int kMostMetricsConnectionsPerAddress = 8;
inline constexpr int kMostMetricsConnections = 32;
inline constexpr qsizetype kMostMetricsHeaderBytes = 8 * 1024;
inline constexpr qsizetype kMostMetricsBodyBytes = 1024;

// The limits of the metrics port, given to the same guard as the web port's connections.
WebLimits MetricsLimits();

// What the pages show, asked on the event-loop thread when a page is asked for.
struct MetricsPages {
  // Hands why the server is not healthy (nothing when it is) to its argument, on this
  // thread, at once or later.
  std::function<void(std::function<void(const QStringList&)>)> problems;
  // The metrics in the Prometheus text format.
  std::function<QByteArray()> metrics;
};

// The health and metrics pages on a port of their own, for monitors: GET /health answers
// 200 "OK", or 503 with one problem a line; GET /metrics the metrics. Anything else is 404
// (another path) or 405 (another method). Connections are counted and requests bounded by
// the web port's guard (web_listener.h).
class MetricsListener : public QAbstractHttpServer {
  Q_OBJECT

 public:
  explicit MetricsListener(MetricsPages pages, const WebLimits& limits = MetricsLimits(),
                           QObject* parent = nullptr);

  // False when the address cannot be listened on.
  bool Start(const QHostAddress& address, quint16 port);
  quint16 Port() const { return port_; }

 protected:
  bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
  void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

 private:
  MetricsPages pages_;
  WebLimits limits_;
  std::shared_ptr<AddressCounts> counts_ = std::make_shared<AddressCounts>();
  quint16 port_ = 0;
};

}  // namespace corvane
