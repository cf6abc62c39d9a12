#include "wire/message_fields.h"

#include "wire/control_chars.h"

namespace corvane {

QByteArray LeadField(const QByteArray& word) { return kStx + word + kEot; }

QByteArray AddField(const QByteArray& text) { return text + kEot; }

QByteArray PkNewEnd(const QByteArray& text) { return kEot + text + FrameEndMark(); }

}  // namespace corvane
