#include "access/access_values.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace corvane {

namespace {

// Windows-1252 0x80..0x9F; the undefined bytes keep their own value.
const char16_t kHighControls[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendCodePoint(char32_t c, QByteArray& out) {
  if (c < 0x80) {
    out.append(static_cast<char>(c));
  } else if (c < 0x800) {
    out.append(static_cast<char>(0xC0 | (c >> 6)));
    out.append(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.append(static_cast<char>(0xE0 | (c >> 12)));
    out.append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.append(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.append(static_cast<char>(0xF0 | (c >> 18)));
    out.append(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.append(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Turns UTF-16 units into UTF-8, pairing surrogates; a lone surrogate becomes U+FFFD.
class Utf16Sink {
 public:
  explicit Utf16Sink(QByteArray& out) : out_(out) {}
  ~Utf16Sink() { Flush(); }
  void Put(char16_t unit) {
    if (high_) {
      if (unit >= 0xDC00 && unit <= 0xDFFF) {
        AppendCodePoint(0x10000 + ((char32_t(high_) - 0xD800) << 10) + (unit - 0xDC00), out_);
        high_ = 0;
        return;
      }
      Flush();
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      high_ = unit;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      AppendCodePoint(0xFFFD, out_);
    } else {
      AppendCodePoint(unit, out_);
    }
  }

 private:
  void Flush() {
    if (high_) AppendCodePoint(0xFFFD, out_);
    high_ = 0;
  }
  QByteArray& out_;
  char16_t high_ = 0;
};

}  // namespace

void AppendJet4Text(const unsigned char* data, size_t size, QByteArray& utf8) {
  Utf16Sink sink(utf8);
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
    bool compressed = true;
    size_t i = 2;
    while (i < size) {
      if (data[i] == 0) {
        compressed = !compressed;
        ++i;
      } else if (compressed) {
        sink.Put(data[i]);
        ++i;
      } else if (i + 1 < size) {
        sink.Put(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
        i += 2;
      } else {
        break;
      }
    }
    return;
  }
  for (size_t i = 0; i + 1 < size; i += 2) {
    sink.Put(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
}

void AppendJet3Text(const unsigned char* data, size_t size, QByteArray& utf8) {
  for (size_t i = 0; i < size; ++i) {
    const unsigned char b = data[i];
    if (b < 0x80) {
      utf8.append(static_cast<char>(b));
    } else if (b < 0xA0) {
      AppendCodePoint(kHighControls[b - 0x80], utf8);
    } else {
      AppendCodePoint(b, utf8);
    }
  }
}

QByteArray AccessDateText(double days) {
  if (!std::isfinite(days) || days < -700000.0 || days > 3000000.0) return QByteArray();
  // The whole part counts days; the fraction is the time of that day even when the
  // whole part is negative (-1.25 is 29 December 1899, 06:00).
  double whole = std::trunc(days);
  int64_t seconds = std::llround(std::fabs(days - whole) * 86400.0);
  if (seconds >= 86400) {
    seconds -= 86400;
    whole += days < 0 ? -1 : 1;
  }
  // Civil date from days since 1970-01-01 (Howard Hinnant's algorithm).
  int64_t z = static_cast<int64_t>(whole) - 25569 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  if (year < 1 || year > 9999) return QByteArray();
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", static_cast<int>(year),
                static_cast<int>(month), static_cast<int>(day), static_cast<int>(seconds / 3600),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  return QByteArray(text);
}

QByteArray AccessGuidText(const unsigned char* d) {
  char text[40];
  std::snprintf(text, sizeof text,
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", d[3],
                d[2], d[1], d[0], d[5], d[4], d[7], d[6], d[8], d[9], d[10], d[11], d[12], d[13],
                d[14], d[15]);
  return QByteArray(text);
}

int16_t ReadInt16(const unsigned char* d) { return static_cast<int16_t>(d[0] | (d[1] << 8)); }

int32_t ReadInt32(const unsigned char* d) {
  return static_cast<int32_t>(uint32_t(d[0]) | (uint32_t(d[1]) << 8) | (uint32_t(d[2]) << 16) |
                              (uint32_t(d[3]) << 24));
}

int64_t ReadInt64(const unsigned char* d) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | d[i];
  return static_cast<int64_t>(v);
}

float ReadSingle(const unsigned char* d) {
  const uint32_t bits = static_cast<uint32_t>(ReadInt32(d));
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

double ReadDouble(const unsigned char* d) {
  const uint64_t bits = static_cast<uint64_t>(ReadInt64(d));
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

}  // namespace corvane
