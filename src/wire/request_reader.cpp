#include "wire/request_reader.h"

#include "wire/frame_assembler.h"
#include "wire/frame_codec.h"
#include "wire/request_codec.h"

namespace corvane {

std::optional<Request> RequestReader::Next(SlotSession& session, const ServerSettings& settings) {
  if (buffer_.isEmpty()) return std::nullopt;
  const std::optional<qsizetype> length =
      FindFrameLength(buffer_, scanFrom_, RequestKeysFor(session, settings),
                      RequestTrailerLength(session, settings));
  if (!length) return std::nullopt;
  const QByteArray frame = buffer_.left(*length);
  buffer_.remove(0, *length);
  scanFrom_ = 0;
  return DecodeRequest(frame, session, settings);
}

void RequestReader::Clear() {
  buffer_.clear();
  scanFrom_ = 0;
}

}  // namespace corvane
