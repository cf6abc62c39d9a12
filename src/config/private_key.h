#pragma once

#include <QString>
#include <array>

namespace corvane {

// The private key made from eight uniform draws r0..r7 in [0, 1): digit i is the last
// digit of xi = r_i * 32765 rounded half to even, except that a first digit "0" is
// replaced by the first digit of x0, so a key starts with "0" only when x0 is 0.
QString PrivateKeyFromDraws(const std::array<double, 8>& draws);

// A fresh eight-digit private key. The draws come from the system's secure generator:
// the key is a shared secret, so it must not be predictable from earlier keys.
QString MakePrivateKey();

}  // namespace corvane
