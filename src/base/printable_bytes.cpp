#include "base/printable_bytes.h"

#include <array>

#include "base/windows1252.h"

namespace corvane {

QString PrintableBytes(const QByteArray& bytes) {
  static constexpr std::array<const char*, 32> kNames = {
      "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
      "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
      "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
  QString text;
  for (char c : bytes) {
    const auto code = static_cast<unsigned char>(c);
    if (code < kNames.size()) {
      text += QLatin1Char('<') + QLatin1String(kNames[code]) + QLatin1Char('>');
    } else if (code == 0x7F) {
      text += QLatin1String("<DEL>");
    } else {
      text += FromWindows1252(QByteArray(1, c));
    }
  }
  return text;
}

}  // namespace corvane
