#pragma once

#include <QByteArray>
#include <cstdint>

namespace corvane {

// Reads the next field of a message: drops the first character of `text` (the STX of a whole
// message, or the EOT that ended the previous field) and returns what comes before the next
// EOT. `fieldRest` receives the rest from that EOT on; when the end marker (ETX) follows, the
// rest becomes a lone EOT, so a further read fails. Throws CommandError when no EOT is left.
QByteArray NextField(const QByteArray& text, QByteArray& fieldRest);

// Field after field through one message, keeping the rest (`FieldRest`) between reads.
class FieldCursor {
 public:
  FieldCursor() = default;
  explicit FieldCursor(QByteArray message) : rest_(std::move(message)) {}
  QByteArray Next();
  const QByteArray& FieldRest() const { return rest_; }
  void Clear() { rest_.clear(); }

 private:
  QByteArray rest_;
};

// STX + word + EOT: the start of every reply.
QByteArray LeadField(const QByteArray& word);
// text + EOT.
QByteArray AddField(const QByteArray& text);
// EOT + text + ETX ETX ETX: the listener's redirect message.
QByteArray PkNewEnd(const QByteArray& text);

// The field's leading number rounded to the nearest integer, ties to even; 0 when it holds
// none. Throws CommandError (Overflow) outside the 16-bit range.
int16_t FieldNumber(const QByteArray& field);

}  // namespace corvane
