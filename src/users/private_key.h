#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

namespace corvane {

// The private key made from eight uniform draws r0..r7 in [0, 1): digit i is the last
// digit of xi = r_i * 32765 rounded half to even, except that a first digit "0" is
// replaced by the first digit of x0, so a key starts with "0" only when x0 is 0.
QString PrivateKeyFromDraws(const std::array<double, 8>& draws);

// A fresh eight-digit private key. The draws come from the system's secure generator:
// the key is a shared secret, so it must not be predictable from earlier keys.
QString MakePrivateKey();

// Whether MakePrivateKey could have made `key`: exactly eight decimal digits (any digit can
// come first, "0" when the first draw rounds to 0).
bool IsPrivateKeyOfOurMaking(const QString& key);

// Why a stored key text gave no number; the logon answers each with its own error.
enum class KeyNumberFault { kNone, kNotANumber, kOutOfRange };

struct KeyNumber {
  int32_t value = 0;  // 0 unless fault is kNone
  KeyNumberFault fault = KeyNumberFault::kNone;
  bool Ok() const { return fault == KeyNumberFault::kNone; }
  bool operator==(const KeyNumber&) const = default;
};

// The number a stored key text stands for, converted like any number text: blanks
// trimmed, rounded half to even, and within 32 bits.
KeyNumber PrivateKeyToNumber(const QByteArray& text);

}  // namespace corvane
