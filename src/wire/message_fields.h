#pragma once

#include <QByteArray>

namespace corvane {

// STX + word + EOT: the start of every reply.
QByteArray LeadField(const QByteArray& word);
// text + EOT.
QByteArray AddField(const QByteArray& text);
// EOT + text + ETX ETX ETX: the listener's redirect message.
QByteArray PkNewEnd(const QByteArray& text);

}  // namespace corvane
