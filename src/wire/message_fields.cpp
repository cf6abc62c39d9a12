#include "wire/message_fields.h"

#include <cmath>

#include "protocol/command_error.h"
#include "wire/control_chars.h"
#include "base/leading_number.h"

namespace corvane {

QByteArray NextField(const QByteArray& text, QByteArray& fieldRest) {
  const QByteArray t = text.mid(1);
  const qsizetype p = t.indexOf(kEot);
  if (p < 0) throw CommandError::InvalidArgument();
  const QByteArray field = t.left(p);
  fieldRest = t.mid(p);
  if (fieldRest.size() >= 2 && fieldRest[1] == kEtx) fieldRest = QByteArray(1, kEot);
  return field;
}

QByteArray FieldCursor::Next() {
  const QByteArray current = rest_;
  return NextField(current, rest_);
}

QByteArray LeadField(const QByteArray& word) { return kStx + word + kEot; }

QByteArray AddField(const QByteArray& text) { return text + kEot; }

QByteArray PkNewEnd(const QByteArray& text) { return kEot + text + FrameEndMark(); }

int16_t FieldNumber(const QByteArray& field) {
  const double rounded = std::nearbyint(LeadingNumber(field));
  if (!(rounded >= -32768.0 && rounded <= 32767.0)) throw CommandError::Overflow();
  return static_cast<int16_t>(rounded);
}

}  // namespace corvane
