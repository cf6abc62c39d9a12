#pragma once

#include <QByteArray>
#include <QString>

namespace corvane {

// Wire bytes for people to read: control characters by name ("<STX>", "<EOT>", "<ETX>",
// "<NUL>", ...), DEL as "<DEL>", everything else as its Windows-1252 character.
QString PrintableBytes(const QByteArray& bytes);

}  // namespace corvane
