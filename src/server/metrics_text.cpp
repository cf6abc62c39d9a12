#include "server/metrics_text.h"

#include <cmath>

namespace corvane {
namespace {

// HELP texts escape backslashes and line ends; label values quotes as well.
QByteArray Escaped(const QString& text, bool quotes) {
  QByteArray escaped;
  for (const char c : text.toUtf8()) {
    if (c == '\\') {
      escaped += "\\\\";
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '"' && quotes) {
      escaped += "\\\"";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

QByteArray Number(double value) {
  if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
  // Counts stay whole numbers as long as a double holds them exactly.
  if (value == std::floor(value) && std::fabs(value) < 1e15) {
    return QByteArray::number(static_cast<qint64>(value));
  }
  return QByteArray::number(value, 'g', 17);
}

}  // namespace

void MetricsText::Family(const QByteArray& name, const char* type, const QString& help) {
  bytes_ += "# HELP " + name + ' ' + Escaped(help, false) + '\n';
  bytes_ += "# TYPE " + name + ' ' + type + '\n';
}

void MetricsText::Sample(const QByteArray& name, const MetricLabels& labels, double value) {
  bytes_ += name;
  if (!labels.empty()) {
    bytes_ += '{';
    for (size_t i = 0; i < labels.size(); ++i) {
      if (i > 0) bytes_ += ',';
      bytes_ += labels[i].first + "=\"" + Escaped(labels[i].second, true) + '"';
    }
    bytes_ += '}';
  }
  bytes_ += ' ' + Number(value) + '\n';
}

}  // namespace corvane
