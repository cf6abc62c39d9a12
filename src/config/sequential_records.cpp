#include "config/sequential_records.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

#include "base/windows1252.h"

namespace corvane {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

QByteArray Trimmed(const QByteArray& text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.mid(begin, end - begin);
}

// Decimal text with "." as the decimal point; the locale never takes part.
bool ParseDecimal(const QByteArray& text, double& number) {
  const char* begin = text.constData();
  const char* end = begin + text.size();
  if (begin != end && *begin == '+' && end - begin > 1 && begin[1] != '-') ++begin;
  double parsed = 0;
  const auto [stop, error] = std::from_chars(begin, end, parsed, std::chars_format::general);
  if (error != std::errc() || stop != end || !std::isfinite(parsed)) return false;
  number = parsed;
  return true;
}

double RoundHalfToEven(double number) {
  double rounded = std::floor(number);
  const double fraction = number - rounded;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(rounded, 2.0) != 0.0)) rounded += 1.0;
  return rounded;
}

}  // namespace

void SequentialWriter::StartField() {
  if (record_open_) bytes_.append(',');
  record_open_ = true;
}

void SequentialWriter::WriteText(const QString& text) {
  StartField();
  bytes_.append('"');
  bytes_.append(ToWindows1252(text));
  bytes_.append('"');
}

void SequentialWriter::WriteNumber(double number) {
  StartField();
  if (!std::isfinite(number) || number == 0.0) {
    bytes_.append('0');  // also keeps a negative zero from being written as "-0"
    return;
  }
  std::array<char, 400> digits;
  const auto [end, error] =
      std::to_chars(digits.data(), digits.data() + digits.size(), number, std::chars_format::fixed);
  if (error != std::errc()) {
    bytes_.append('0');
    return;
  }
  bytes_.append(digits.data(), end - digits.data());
}

void SequentialWriter::WriteNumber(const SettingNumber& number) {
  if (number) {
    WriteNumber(*number);
  } else {
    StartField();
  }
}

void SequentialWriter::WriteInteger(int64_t number) {
  StartField();
  bytes_.append(QByteArray::number(static_cast<qlonglong>(number)));
}

void SequentialWriter::EndRecord() {
  bytes_.append("\r\n");
  record_open_ = false;
}

SequentialReader::SequentialReader(QByteArray bytes) : bytes_(std::move(bytes)) {}

bool SequentialReader::AtEnd() const {
  if (field_follows_comma_) return false;
  for (qsizetype i = pos_; i < bytes_.size(); ++i) {
    if (!IsBlank(bytes_[i]) && !IsLineEnd(bytes_[i])) return false;
  }
  return true;
}

bool SequentialReader::AtLineEnd() const { return pos_ < bytes_.size() && IsLineEnd(bytes_[pos_]); }

void SequentialReader::ConsumeLineEnd() {
  if (bytes_[pos_] == '\r' && pos_ + 1 < bytes_.size() && bytes_[pos_ + 1] == '\n') ++pos_;
  ++pos_;
  at_line_start_ = true;
  field_follows_comma_ = false;
}

bool SequentialReader::Fail(bool past_end) {
  failed_past_end_ = past_end;
  return false;
}

bool SequentialReader::NextField(Field& field) {
  field = Field();
  while (pos_ < bytes_.size() && IsBlank(bytes_[pos_])) ++pos_;
  if (pos_ >= bytes_.size()) {
    if (!field_follows_comma_) return Fail(true);
    field_follows_comma_ = false;
    at_line_start_ = true;
    return true;
  }
  if (AtLineEnd()) {
    ConsumeLineEnd();
    return true;
  }
  if (bytes_[pos_] == '"') {
    const qsizetype close = bytes_.indexOf('"', pos_ + 1);
    if (close < 0) {
      pos_ = bytes_.size();
      field_follows_comma_ = false;
      at_line_start_ = true;
      return Fail(false);
    }
    field.content = bytes_.mid(pos_ + 1, close - pos_ - 1);
    field.quoted = true;
    pos_ = close + 1;
    // Anything between the closing quote and the separator is ignored.
    while (pos_ < bytes_.size() && bytes_[pos_] != ',' && !IsLineEnd(bytes_[pos_])) ++pos_;
  } else {
    const qsizetype start = pos_;
    while (pos_ < bytes_.size() && bytes_[pos_] != ',' && !IsLineEnd(bytes_[pos_])) ++pos_;
    field.content = Trimmed(bytes_.mid(start, pos_ - start));
  }
  if (pos_ < bytes_.size() && bytes_[pos_] == ',') {
    ++pos_;
    field_follows_comma_ = true;
    at_line_start_ = false;
  } else if (AtLineEnd()) {
    ConsumeLineEnd();
  } else {
    field_follows_comma_ = false;
    at_line_start_ = true;
  }
  return true;
}

bool SequentialReader::ReadText(QString& text) {
  Field field;
  if (!NextField(field)) return false;
  text = FromWindows1252(field.content);
  return true;
}

bool SequentialReader::ReadNumber(SettingNumber& number) {
  Field field;
  if (!NextField(field)) return false;
  const QByteArray content = Trimmed(field.content);
  if (content.isEmpty()) {
    number.reset();
    return true;
  }
  double parsed = 0;
  if (!ParseDecimal(content, parsed)) return Fail(false);
  number = parsed;
  return true;
}

bool SequentialReader::ReadInteger(int64_t min, int64_t max, int64_t& number) {
  Field field;
  if (!NextField(field)) return false;
  const QByteArray content = Trimmed(field.content);
  if (content.isEmpty()) {
    number = 0;
    return true;
  }
  double parsed = 0;
  if (!ParseDecimal(content, parsed)) return Fail(false);
  const double rounded = RoundHalfToEven(parsed);
  if (rounded < static_cast<double>(min) || rounded > static_cast<double>(max)) {
    return Fail(false);
  }
  number = static_cast<int64_t>(rounded);
  return true;
}

bool SequentialReader::ReadInt16(int16_t& number) {
  int64_t wide = 0;
  if (!ReadInteger(std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max(),
                   wide)) {
    return false;
  }
  number = static_cast<int16_t>(wide);
  return true;
}

bool SequentialReader::ReadInt32(int32_t& number) {
  int64_t wide = 0;
  if (!ReadInteger(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(),
                   wide)) {
    return false;
  }
  number = static_cast<int32_t>(wide);
  return true;
}

void SequentialReader::SkipRestOfLine() {
  if (at_line_start_) return;
  while (pos_ < bytes_.size() && !IsLineEnd(bytes_[pos_])) ++pos_;
  if (pos_ < bytes_.size()) {
    ConsumeLineEnd();
  } else {
    at_line_start_ = true;
    field_follows_comma_ = false;
  }
}

}  // namespace corvane
