#include "wire/frame_codec.h"

#include "protocol/command_error.h"
#include "wire/cipher.h"
#include "wire/control_chars.h"

namespace corvane {

QByteArray FrameReply(const QByteArray& text, const SlotSession& session,
                      const ServerSettings& settings, PseudoRandom& random) {
  if (EncryptionOn(settings)) {
    return EncryptPayload(text, session.SessionKey, session.SlotKey) + FrameEndMark() +
           RandomTrailer(random);
  }
  return text + FrameEndMark() + kEot;
}

QByteArray FrameLogonReply(const QByteArray& text, const SlotSession& session,
                           PseudoRandom& random) {
  return EncryptPayload(text, ReplyKey, session.SlotKey) + FrameEndMark() + RandomTrailer(random);
}

qsizetype RequestTrailerLength(const SlotSession& session, const ServerSettings& settings) {
  return (EncryptionOn(settings) || session.FreshConnection) ? 7 : 4;
}

RequestKeys RequestKeysFor(const SlotSession& session, const ServerSettings& settings) {
  if (session.FreshConnection) return {true, DerivedIntegerKey(LogonKey), LogonKey};
  if (EncryptionOn(settings)) return {true, session.SessionKey, session.SlotKey};
  return {};
}

QByteArray UnframeRequest(const QByteArray& message, SlotSession& session,
                          const ServerSettings& settings) {
  const qsizetype trailer = RequestTrailerLength(session, settings);
  if (message.size() < trailer) throw CommandError::InvalidArgument();
  QByteArray m = message.left(message.size() - trailer);
  if (session.FreshConnection) session.SlotKey = LogonKey;
  const RequestKeys keys = RequestKeysFor(session, settings);
  if (keys.enciphered) {
    std::optional<QByteArray> plain = DecryptPayload(m, keys.k1, keys.k2);
    if (!plain) throw CommandError::InvalidArgument();
    m = *plain;
  }
  return m + kEtx + kEot;
}

}  // namespace corvane
