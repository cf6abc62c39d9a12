#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

#include "base/server_settings.h"

namespace corvane {

// Writes the comma-separated record format of the settings files: text in double quotes
// (no escaping), numbers in decimal with "." whatever the locale, an unset number as
// nothing, each record ended by CR LF, one byte per character in Windows-1252.
class SequentialWriter {
 public:
  void WriteText(const QString& text);
  void WriteNumber(double number);
  void WriteNumber(const SettingNumber& number);  // nothing when unset
  void WriteInteger(int64_t number);
  void EndRecord();

  const QByteArray& bytes() const { return bytes_; }

 private:
  void StartField();

  QByteArray bytes_;
  bool record_open_ = false;
};

// Reads what SequentialWriter writes, and hand-edited files: fields end at a comma or a
// line end (CR LF, CR or LF), leading blanks are skipped, quoted text runs to the closing
// quote. Every Read* consumes one field; on failure the target keeps its value and the
// field is consumed all the same.
class SequentialReader {
 public:
  explicit SequentialReader(QByteArray bytes);

  // True when only blanks and line ends are left.
  bool AtEnd() const;
  // True when the last failing read found no field left at all.
  bool failed_past_end() const { return failed_past_end_; }

  bool ReadText(QString& text);
  // An empty field reads as nothing.
  bool ReadNumber(SettingNumber& number);
  // An empty field reads as 0; fractions round half to even; out of range fails.
  bool ReadInt16(int16_t& number);
  bool ReadInt32(int32_t& number);

  // Moves to the start of the next line unless a line end just ended the last field.
  void SkipRestOfLine();

 private:
  struct Field {
    QByteArray content;
    bool quoted = false;
  };

  bool NextField(Field& field);
  bool ReadInteger(int64_t min, int64_t max, int64_t& number);
  bool Fail(bool past_end);
  bool AtLineEnd() const;
  void ConsumeLineEnd();

  QByteArray bytes_;
  qsizetype pos_ = 0;
  bool at_line_start_ = true;
  bool field_follows_comma_ = false;
  bool failed_past_end_ = false;
};

}  // namespace corvane
