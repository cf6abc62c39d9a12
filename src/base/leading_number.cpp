#include "base/leading_number.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string>

namespace corvane {
namespace {

bool IsSkipped(char c) { return c == ' ' || c == '\t' || c == '\n'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int DigitValue(char c, int base) {
  int value = -1;
  if (c >= '0' && c <= '9') value = c - '0';
  if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
  if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
  return value < base ? value : -1;
}

// Hexadecimal and octal numbers are two's-complement integers: up to 16 bits when they fit
// in 16 bits, 32 bits otherwise, so "&HFFFF" is -1.
double RadixNumber(const std::string& text, size_t pos, int base) {
  uint64_t value = 0;
  bool any = false;
  for (; pos < text.size(); ++pos) {
    const int digit = DigitValue(text[pos], base);
    if (digit < 0) break;
    any = true;
    value = value * base + digit;
    if (value > 0xFFFFFFFFull) value &= 0xFFFFFFFFull;
  }
  if (!any) return 0;
  if (value <= 0xFFFF) return value > 0x7FFF ? static_cast<double>(value) - 65536.0 : value;
  return value > 0x7FFFFFFF ? static_cast<double>(value) - 4294967296.0
                            : static_cast<double>(value);
}

// The power of ten of the first significant digit of a number in the C form (sign, digits,
// ".", digits, "e" exponent): 0 for "5", 2 for "500", -3 for "0.005e0", 397 for "1e397".
int64_t DecimalMagnitude(const std::string& number) {
  size_t pos = (number[0] == '+' || number[0] == '-') ? 1 : 0;
  int64_t magnitude = -1;
  bool significant = false;
  for (; pos < number.size() && IsDigit(number[pos]); ++pos) {
    significant = significant || number[pos] != '0';
    if (significant) ++magnitude;
  }
  if (pos < number.size() && number[pos] == '.') {
    for (++pos; pos < number.size() && IsDigit(number[pos]); ++pos) {
      if (significant) continue;
      --magnitude;
      significant = number[pos] != '0';
      if (significant) ++magnitude;
    }
  }
  if (pos < number.size() && number[pos] == 'e') {
    ++pos;
    const bool negative = pos < number.size() && number[pos] == '-';
    if (pos < number.size() && (number[pos] == '-' || number[pos] == '+')) ++pos;
    int64_t exponent = 0;
    for (; pos < number.size() && IsDigit(number[pos]); ++pos) {
      exponent = std::min<int64_t>(exponent * 10 + (number[pos] - '0'), 1'000'000'000);
    }
    magnitude += negative ? -exponent : exponent;
  }
  return magnitude;
}

}  // namespace

double LeadingNumber(const QByteArray& text) {
  std::string s;
  s.reserve(text.size());
  for (char c : text) {
    if (!IsSkipped(c)) s.push_back(c);
  }
  if (s.size() >= 2 && s[0] == '&') {
    if (s[1] == 'H' || s[1] == 'h') return RadixNumber(s, 2, 16);
    if (s[1] == 'O' || s[1] == 'o') return RadixNumber(s, 2, 8);
  }
  // Rebuild the number in the C form, which from_chars reads without regional settings.
  std::string number;
  size_t pos = 0;
  if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) number.push_back(s[pos++]);
  bool anyDigit = false;
  while (pos < s.size() && IsDigit(s[pos])) {
    number.push_back(s[pos++]);
    anyDigit = true;
  }
  if (pos < s.size() && s[pos] == '.') {
    number.push_back(s[pos++]);
    while (pos < s.size() && IsDigit(s[pos])) {
      number.push_back(s[pos++]);
      anyDigit = true;
    }
  }
  if (!anyDigit) return 0;
  if (pos < s.size() && (s[pos] == 'E' || s[pos] == 'e' || s[pos] == 'D' || s[pos] == 'd')) {
    std::string exponent = "e";
    size_t epos = pos + 1;
    if (epos < s.size() && (s[epos] == '+' || s[epos] == '-')) exponent.push_back(s[epos++]);
    bool expDigit = false;
    while (epos < s.size() && IsDigit(s[epos])) {
      exponent.push_back(s[epos++]);
      expDigit = true;
    }
    if (expDigit) number += exponent;
  }
  double value = 0;
  const char* begin = number.data() + (number[0] == '+' ? 1 : 0);
  const auto [end, error] = std::from_chars(begin, number.data() + number.size(), value);
  if (error == std::errc::result_out_of_range) {
    // Too small gives 0; too large an infinity, which callers range-check. Which one it is
    // follows from the digits and the exponent together: "1" and 400 zeros "e-10" is large.
    if (DecimalMagnitude(number) < 0) return 0;
    const double huge = std::numeric_limits<double>::infinity();
    return number[0] == '-' ? -huge : huge;
  }
  return value;
}

}  // namespace corvane
