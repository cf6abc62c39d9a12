#include "base/text_scramble.h"

namespace corvane {

char MirrorChar(char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<char>('Z' - (c - 'A'));
  if (c >= 'a' && c <= 'z') return static_cast<char>('z' - (c - 'a'));
  if (c >= '0' && c <= '9') return static_cast<char>('9' - (c - '0'));
  return c;
}

QByteArray MirrorText(const QByteArray& text) {
  QByteArray out(text.size(), Qt::Uninitialized);
  for (qsizetype i = 0; i < text.size(); ++i) out[i] = MirrorChar(text[i]);
  return out;
}

QByteArray KeyedXor(const QByteArray& text, int32_t key) {
  int d = 0;
  for (char digit : QByteArray::number(key)) {
    if (digit >= '0' && digit <= '9') d += digit - '0';
  }
  while (d > 255) d -= 256;
  QByteArray out(text.size(), Qt::Uninitialized);
  for (qsizetype i = 0; i < text.size(); ++i) {
    int mask = static_cast<int>((i + 1 + d) & 0xFF);  // one reduction by 256, as the masks wrap
    out[i] = static_cast<char>(static_cast<unsigned char>(text[i]) ^ mask);
  }
  return out;
}

}  // namespace corvane
