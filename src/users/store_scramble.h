#pragma once

#include <QByteArray>
#include <cstdint>

namespace corvane {

// The key of the user store's keyed transform.
inline constexpr int32_t StoreKey = 157;

// How user names and records are kept in the registry: the character mirror, then the
// keyed XOR with StoreKey. Both steps are their own inverses.
QByteArray StoreScramble(const QByteArray& text);
QByteArray StoreUnscramble(const QByteArray& text);

// The part of a read buffer before its first NUL. A buffer without any NUL was filled
// to the brim, so nothing in it can be trusted: the result is then empty.
QByteArray StripAtNul(const QByteArray& buffer);

// The parts before and after the first ':'; both empty when there is no ':'.
QByteArray BeforeColon(const QByteArray& text);
QByteArray AfterColon(const QByteArray& text);

}  // namespace corvane
