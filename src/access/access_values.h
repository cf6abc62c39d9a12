#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace corvane {

// One value read from an Access row, in the form it is stored in SQLite: whole numbers,
// reals, UTF-8 text (also dates as 'YYYY-MM-DD HH:MM:SS' and GUIDs) or bytes.
struct AccessValue {
  enum class Kind { kNull, kInteger, kReal, kText, kBlob };
  Kind kind = Kind::kNull;
  int64_t integer = 0;
  double real = 0.0;
  QByteArray bytes;  // UTF-8 text or raw bytes

  void SetNull() { kind = Kind::kNull; }
  void SetInteger(int64_t v) {
    kind = Kind::kInteger;
    integer = v;
  }
  void SetReal(double v) {
    kind = Kind::kReal;
    real = v;
  }
};

// Appends the UTF-8 form of Jet 4 text: UCS-2 little-endian, or, after the marker
// FF FE, "compressed" runs of one byte per character that a 00 byte switches to and
// from runs of two bytes per character.
void AppendJet4Text(const unsigned char* data, size_t size, QByteArray& utf8);

// Appends the UTF-8 form of Jet 3 text, one Windows-1252 byte per character; the five
// bytes the code page leaves undefined become the C1 controls of the same value.
void AppendJet3Text(const unsigned char* data, size_t size, QByteArray& utf8);

// 'YYYY-MM-DD HH:MM:SS' for an Access date: days since 30 December 1899, the fraction
// being the time of day also for days before it. Empty when the year leaves 1..9999.
QByteArray AccessDateText(double days);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" for the 16 bytes of a Replication ID.
QByteArray AccessGuidText(const unsigned char* data);

// Little-endian readers; `data` need not be aligned.
int16_t ReadInt16(const unsigned char* data);
int32_t ReadInt32(const unsigned char* data);
int64_t ReadInt64(const unsigned char* data);
float ReadSingle(const unsigned char* data);
double ReadDouble(const unsigned char* data);

// Currency is a whole number of ten-thousandths.
inline double CurrencyValue(const unsigned char* data) {
  return static_cast<double>(ReadInt64(data)) / 10000.0;
}

}  // namespace corvane
