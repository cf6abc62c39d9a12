#pragma once

#include <QByteArray>

#include "base/server_settings.h"
#include "protocol/slot_session.h"

namespace corvane {

class PseudoRandom;

// Only the value 1 of the setting turns encryption on.
inline bool EncryptionOn(const ServerSettings& settings) { return settings.EncryptionEnabled == 1; }

// The slot's replies other than the logon exchange are enciphered with a key that changes
// their bytes (a session that logged on while encryption was off holds the key 0).
inline bool RepliesEnciphered(const SlotSession& session, const ServerSettings& settings) {
  return EncryptionOn(settings) && session.SessionKey != 0;
}

// The frame of a reply for the slot: enciphered with the slot's session key and private key
// and closed by ETX ETX ETX and four random characters when encryption is on; otherwise the
// text, ETX ETX ETX and EOT.
QByteArray FrameReply(const QByteArray& text, const SlotSession& session,
                      const ServerSettings& settings, PseudoRandom& random);

// The frame of a logon reply or of a refusal: always enciphered with ReplyKey and the slot's
// key, whatever the setting.
QByteArray FrameLogonReply(const QByteArray& text, const SlotSession& session,
                           PseudoRandom& random);

// Characters after the payload of a request on this slot: ETX ETX ETX and either four random
// characters (enciphered) or EOT (plain).
qsizetype RequestTrailerLength(const SlotSession& session, const ServerSettings& settings);

// The keys a request on this slot is enciphered with; k1 = 0 for a plain request. Reading
// them does not change the slot.
struct RequestKeys {
  bool enciphered = false;
  int32_t k1 = 0;
  int32_t k2 = 0;
};
RequestKeys RequestKeysFor(const SlotSession& session, const ServerSettings& settings);

// Removes the trailer from the whole frame, deciphers the payload when it must be (a fresh
// connection's first message with the logon keys, which also become the slot's key) and
// appends the end marker ETX EOT. Throws CommandError for a frame shorter than its trailer or
// an empty enciphered payload.
QByteArray UnframeRequest(const QByteArray& message, SlotSession& session,
                          const ServerSettings& settings);

}  // namespace corvane
