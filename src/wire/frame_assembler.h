#pragma once

#include <QByteArray>
#include <optional>

#include "wire/frame_codec.h"

namespace corvane {

// Finds where the first complete frame of a receive buffer ends. A frame is its payload,
// ETX ETX ETX and its complete trailer (`trailerLength` counts the end mark and the
// trailer: 7 enciphered, 4 plain); a buffer that ends inside the trailer has no complete
// frame yet. An enciphered payload may hold ETX ETX ETX by chance: when the payload before an
// end mark deciphers to a text that begins with STX but does not end with EOT, that mark was
// part of the payload and the search goes on. A payload that does not even begin with STX was
// sent with other keys; it is taken as it is, so the dispatcher answers it.
//
// `scanFrom` is where the search starts; it is advanced past bytes that cannot hold the end
// of a frame, so that a caller appending to the buffer need not search them again. Returns the
// frame's length, or nothing while no frame is complete.
std::optional<qsizetype> FindFrameLength(const QByteArray& buffer, qsizetype& scanFrom,
                                         const RequestKeys& keys, qsizetype trailerLength);

}  // namespace corvane
