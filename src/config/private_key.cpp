#include "config/private_key.h"

#include <QRandomGenerator>
#include <cmath>

namespace corvane {

QString PrivateKeyFromDraws(const std::array<double, 8>& draws) {
  QString key;
  for (size_t i = 0; i < draws.size(); ++i) {
    // nearbyint rounds half to even in the default rounding mode.
    const QString x = QString::number(static_cast<int>(std::nearbyint(draws[i] * 32765.0)));
    QChar digit = x.back();
    if (i == 0 && digit == u'0') digit = x.front();
    key.append(digit);
  }
  return key;
}

QString MakePrivateKey() {
  std::array<double, 8> draws{};
  for (double& draw : draws) draw = QRandomGenerator::system()->generateDouble();
  return PrivateKeyFromDraws(draws);
}

}  // namespace corvane
