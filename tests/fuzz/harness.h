#pragma once

// What the fuzz targets share: LLVMFuzzerInitialize (defined in harness.cpp, which creates
// the Qt application some code paths expect), a folder for the files a target writes, and a
// reader that cuts a fuzz input into the parts a target needs.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace corvane::fuzz {

// Work a target does once before its first input, with the application already there.
// The harness's default does nothing; a target that needs more defines its own.
void SetUpTarget();

// A private folder that lives as long as the process.
QString ScratchDirectory();

// Stops the run at once so that the fuzzer keeps the input: for a broken expectation that
// is neither a crash nor a sanitizer report.
[[noreturn]] void Fail(const char* what);
inline void Expect(bool condition, const char* what) {
  if (!condition) Fail(what);
}

// Takes bytes from the front of an input.
class InputReader {
 public:
  InputReader(const uint8_t* data, size_t size)
      : bytes_(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)) {}

  bool Empty() const { return pos_ >= bytes_.size(); }
  uint8_t Byte() { return Empty() ? 0 : static_cast<uint8_t>(bytes_[pos_++]); }
  int32_t Int32() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = (value << 8) | Byte();
    return static_cast<int32_t>(value);
  }
  // Up to `separator` (dropped) or the end.
  QByteArray Until(char separator) {
    const qsizetype end = bytes_.indexOf(separator, pos_);
    const qsizetype stop = end < 0 ? bytes_.size() : end;
    QByteArray part = bytes_.mid(pos_, stop - pos_);
    pos_ = end < 0 ? bytes_.size() : end + 1;
    return part;
  }
  QByteArray Rest() {
    QByteArray rest = bytes_.mid(pos_);
    pos_ = bytes_.size();
    return rest;
  }

 private:
  QByteArray bytes_;
  qsizetype pos_ = 0;
};

}  // namespace corvane::fuzz
