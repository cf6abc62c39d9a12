#include "users/private_key.h"

#include <QRandomGenerator>
#include <algorithm>
#include <cmath>

#include "users/user_rules.h"

namespace corvane {
namespace {

constexpr qsizetype kPrivateKeyDigits = 8;

}  // namespace

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

bool IsPrivateKeyOfOurMaking(const QString& key) {
  return key.size() == kPrivateKeyDigits &&
         std::all_of(key.begin(), key.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

KeyNumber PrivateKeyToNumber(const QByteArray& text) {
  bool ok = false;
  const double value = TrimBlanks(text).toDouble(&ok);
  if (!ok) return {0, KeyNumberFault::kNotANumber};
  const double rounded = std::nearbyint(value);
  // Written so that NaN fails too.
  if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) {
    return {0, KeyNumberFault::kOutOfRange};
  }
  return {static_cast<int32_t>(rounded), KeyNumberFault::kNone};
}

}  // namespace corvane
