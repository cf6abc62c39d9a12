#pragma once

// Messages as they travel: the text of a request or reply, and a plain frame around a text.

#include <QByteArray>
#include <QList>

namespace corvane::test {

// STX, then each field followed by EOT.
inline QByteArray Message(const QList<QByteArray>& fields) {
  QByteArray text("\x02");
  for (const QByteArray& field : fields) text += field + '\x04';
  return text;
}

// A text framed as a client without encryption sends it: the end mark, then EOT.
inline QByteArray PlainFrame(const QByteArray& text) { return text + "\x03\x03\x03\x04"; }

}  // namespace corvane::test
