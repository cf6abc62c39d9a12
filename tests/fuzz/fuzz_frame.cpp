// Frame assembly and unwrapping: the receive buffer of one slot, as a connection may fill it.
// The first byte picks the slot's state; the rest is what arrived. Checks that the frame
// search gives the same answer whether the bytes came at once or in two pieces, and that
// every frame it cuts can be unwrapped and read field by field without a fault.
#include "base/server_settings.h"
#include "harness.h"
#include "protocol/command_error.h"
#include "protocol/field_reader.h"
#include "wire/frame_assembler.h"
#include "wire/frame_codec.h"
#include "wire/request_codec.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::InputReader input(data, size);
  const uint8_t mode = input.Byte();
  const uint8_t cut = input.Byte();
  ServerSettings settings;
  settings.EncryptionEnabled = (mode & 1) ? 1 : 0;
  SlotSession session;
  session.FreshConnection = (mode & 2) != 0;
  session.SlotKey = (mode & 4) ? 12345678 : 98765432;
  session.SessionKey = static_cast<int16_t>(mode >> 3);  // 0..31
  QByteArray buffer = input.Rest();

  const RequestKeys keys = RequestKeysFor(session, settings);
  const qsizetype trailer = RequestTrailerLength(session, settings);

  // At once.
  qsizetype scanWhole = 0;
  const std::optional<qsizetype> whole = FindFrameLength(buffer, scanWhole, keys, trailer);
  // In two pieces, the search resuming where it stopped.
  const qsizetype split = buffer.isEmpty() ? 0 : cut % (buffer.size() + 1);
  QByteArray pieces = buffer.left(split);
  qsizetype scan = 0;
  std::optional<qsizetype> first = FindFrameLength(pieces, scan, keys, trailer);
  fuzz::Expect(scan >= 0 && scan <= pieces.size(), "scan position inside the buffer");
  if (first) {
    fuzz::Expect(whole && *whole == *first, "a frame in the first piece is the first frame");
  } else {
    pieces += buffer.mid(split);
    first = FindFrameLength(pieces, scan, keys, trailer);
    fuzz::Expect(first == whole, "pieces and whole find the same frame");
  }

  // Every frame of the buffer, as the slot hands them to the dispatcher.
  for (int frames = 0; frames < 64 && !buffer.isEmpty(); ++frames) {
    qsizetype from = 0;
    const std::optional<qsizetype> length = FindFrameLength(
        buffer, from, RequestKeysFor(session, settings), RequestTrailerLength(session, settings));
    if (!length) break;
    fuzz::Expect(*length > 0 && *length <= buffer.size(), "frame length inside the buffer");
    const QByteArray frame = buffer.left(*length);
    buffer.remove(0, *length);
    const Request request = DecodeRequest(frame, session, settings);
    for (const QString& field : request.fields) {
      try {
        FieldNumber(field);
      } catch (const CommandError&) {
      }
    }
    session.FreshConnection = false;
  }
  return 0;
}
