#include "base/windows1252.h"

#include <array>

namespace corvane {
namespace {

// Unicode code points of the bytes 0x80..0x9F; the rest of the code page equals Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

QString FromWindows1252(const QByteArray& bytes) {
  QString text(bytes.size(), Qt::Uninitialized);
  QChar* out = text.data();
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    out[i] = (byte >= 0x80 && byte <= 0x9F) ? QChar(kHighControls[byte - 0x80]) : QChar(byte);
  }
  return text;
}

QByteArray ToWindows1252(const QString& text) {
  QByteArray bytes(text.size(), Qt::Uninitialized);
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t code = text[i].unicode();
    char out = '?';
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
      out = static_cast<char>(code);
    } else {
      for (int k = 0; k < 32; ++k) {
        if (kHighControls[k] == code) {
          out = static_cast<char>(0x80 + k);
          break;
        }
      }
    }
    bytes[i] = out;
  }
  return bytes;
}

QByteArray ToWindows1252(const QString& text, const QByteArray& uncarried) {
  QByteArray bytes = ToWindows1252(text);
  if (uncarried.isEmpty()) return bytes;
  for (char& byte : bytes) {
    if (uncarried.contains(byte)) byte = '?';
  }
  return bytes;
}

QString Windows1252Form(const QString& text) { return FromWindows1252(ToWindows1252(text)); }

QString Windows1252Form(const QString& text, const QByteArray& uncarried) {
  return FromWindows1252(ToWindows1252(text, uncarried));
}

bool FitsWindows1252(const QString& text) { return Windows1252Form(text) == text; }

}  // namespace corvane
