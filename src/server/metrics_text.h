#pragma once

#include <QByteArray>
#include <QString>
#include <utility>
#include <vector>

namespace corvane {

using MetricLabels = std::vector<std::pair<QByteArray, QString>>;

// Writes metrics in the Prometheus text format: each family's HELP and TYPE lines, then its
// samples, label values escaped (a database's name may hold quotes, backslashes or line
// ends).
class MetricsText {
 public:
  // Starts a family; `type` is "counter", "gauge" or "histogram".
  void Family(const QByteArray& name, const char* type, const QString& help);
  void Sample(const QByteArray& name, const MetricLabels& labels, double value);
  void Sample(const QByteArray& name, double value) { Sample(name, {}, value); }

  const QByteArray& bytes() const { return bytes_; }

 private:
  QByteArray bytes_;
};

}  // namespace corvane
