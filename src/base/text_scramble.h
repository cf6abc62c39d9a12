#pragma once

#include <QByteArray>
#include <cstdint>

namespace corvane {

// A..Z, a..z and 0..9 mirrored within their range; every other byte unchanged.
char MirrorChar(char c);
QByteArray MirrorText(const QByteArray& text);

// XOR with a mask that grows with the position, offset by the key's digit sum.
// Applying it twice with the same key gives the text back.
QByteArray KeyedXor(const QByteArray& text, int32_t key);

}  // namespace corvane
