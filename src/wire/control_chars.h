#pragma once

#include <QByteArray>

namespace corvane {

// The three control characters that structure every message and frame.
inline constexpr char kStx = '\x02';
inline constexpr char kEtx = '\x03';
inline constexpr char kEot = '\x04';

// Three ETX in a row end a frame's payload; the trailer follows them.
inline QByteArray FrameEndMark() { return QByteArrayLiteral("\x03\x03\x03"); }

}  // namespace corvane
