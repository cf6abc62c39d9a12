#pragma once

#include <QHostAddress>
#include <QString>
#include <optional>

namespace corvane {

// Where the health and metrics pages are served.
struct MetricsAddress {
  QHostAddress address;
  quint16 port = 0;

  // "127.0.0.1:9100", "[::1]:9100".
  QString Text() const;
};

// Reads "ADDRESS:PORT", "[IPv6]:PORT" or a port alone, which means 127.0.0.1: a monitor on
// the same machine, the pages never open to the network unless asked for. Nothing when the
// text is none of these (a host name, a port of 0 or over 65535).
std::optional<MetricsAddress> ParseMetricsAddress(const QString& text);

// "metrics.dat" in the program directory: one record holding the address of the health
// and metrics pages, as ParseMetricsAddress reads it, written like web.dat. Without the
// file the pages are off.
class MetricsSettingsFile {
 public:
  explicit MetricsSettingsFile(QString programDir);

  // Nothing when the file is missing; `problem` tells why a present file is not used.
  std::optional<MetricsAddress> Load(QString* problem) const;

  QString FilePath() const;

 private:
  QString programDir_;
};

}  // namespace corvane
