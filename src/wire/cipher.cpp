#include "wire/cipher.h"

#include <cmath>

#include "base/pseudo_random.h"

namespace corvane {
namespace {

// m and the counter limit shared by both directions; remainders keep the dividend's sign.
struct CipherSteps {
  int64_t m = 0;
  int64_t limit = 0;
};

CipherSteps StepsFor(qsizetype length, int32_t k1, int32_t k2) {
  CipherSteps steps;
  steps.m = static_cast<int64_t>(k2) % k1;
  steps.limit = (static_cast<int64_t>(k2) % length) % 16;
  return steps;
}

void AdvanceCounter(int64_t& counter, int64_t limit) {
  ++counter;
  if (counter > limit) counter = 1;
}

}  // namespace

QByteArray EncryptPayload(const QByteArray& text, int32_t k1, int32_t k2) {
  if (k1 == 0 || text.isEmpty()) return text;
  const CipherSteps steps = StepsFor(text.size(), k1, k2);
  QByteArray out(text.size(), Qt::Uninitialized);
  int64_t counter = 1;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const int64_t code = static_cast<unsigned char>(text[i]);
    int64_t t = code + steps.m + counter;
    if (t >= 255) t -= 255;
    // Keys outside the protocol's range could leave the byte range; such a byte
    // stays as it was rather than wrapping into a wrong character.
    out[i] = (t >= 0 && t <= 255) ? static_cast<char>(t) : text[i];
    AdvanceCounter(counter, steps.limit);
  }
  return out;
}

std::optional<QByteArray> DecryptPayload(const QByteArray& text, int32_t k1, int32_t k2) {
  if (text.isEmpty()) return std::nullopt;
  if (k1 == 0) return text;
  const CipherSteps steps = StepsFor(text.size(), k1, k2);
  QByteArray out(text.size(), Qt::Uninitialized);
  int64_t counter = 1;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const int64_t code = static_cast<unsigned char>(text[i]);
    int64_t t = code - steps.m - counter;
    if (t < 0) t += 255;
    out[i] = (t >= 0 && t <= 255) ? static_cast<char>(t) : text[i];
    AdvanceCounter(counter, steps.limit);
  }
  return out;
}

char DecryptPayloadByte(char byte, qsizetype index, qsizetype length, int32_t k1, int32_t k2) {
  if (k1 == 0) return byte;
  const CipherSteps steps = StepsFor(length, k1, k2);
  // The counter runs 1..limit and starts again; with a limit below 2 it stays 1.
  const int64_t counter = steps.limit >= 2 ? index % steps.limit + 1 : 1;
  int64_t t = static_cast<unsigned char>(byte) - steps.m - counter;
  if (t < 0) t += 255;
  return (t >= 0 && t <= 255) ? static_cast<char>(t) : byte;
}

QByteArray RandomTrailer(PseudoRandom& random) {
  QByteArray trailer(4, Qt::Uninitialized);
  for (int i = 0; i < 4; ++i) {
    int code = 0;
    while (code == 0) code = static_cast<int>(std::nearbyint(random.Next() * 255.0));
    trailer[i] = static_cast<char>(code);
  }
  return trailer;
}

int16_t DerivedIntegerKey(int32_t slotKey) {
  if (slotKey == 0) return 0;
  return static_cast<int16_t>(QByteArray::number(slotKey).left(2).toInt());
}

}  // namespace corvane
