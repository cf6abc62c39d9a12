#include "users/store_scramble.h"

#include "base/text_scramble.h"

namespace corvane {

QByteArray StoreScramble(const QByteArray& text) { return KeyedXor(MirrorText(text), StoreKey); }

QByteArray StoreUnscramble(const QByteArray& text) { return MirrorText(KeyedXor(text, StoreKey)); }

QByteArray StripAtNul(const QByteArray& buffer) {
  const qsizetype nul = buffer.indexOf('\0');
  return nul < 0 ? QByteArray() : buffer.left(nul);
}

QByteArray BeforeColon(const QByteArray& text) {
  const qsizetype colon = text.indexOf(':');
  return colon < 0 ? QByteArray() : text.left(colon);
}

QByteArray AfterColon(const QByteArray& text) {
  const qsizetype colon = text.indexOf(':');
  return colon < 0 ? QByteArray() : text.mid(colon + 1);
}

}  // namespace corvane
