#pragma once

#include <QByteArray>
#include <QList>
#include <optional>

#include "base/pseudo_random.h"
#include "base/server_settings.h"
#include "protocol/request.h"
#include "protocol/slot_session.h"

namespace corvane {

// The fields of a message text (STX, then fields each ended by EOT), read the way clients'
// messages have always been read: the first character is passed over whatever it is, each
// field runs to the next EOT, and the fields end at an EOT followed by ETX. Nothing when not
// even the first field (the command word) ends.
std::optional<QList<QByteArray>> SplitMessage(const QByteArray& message);

// A whole request frame of the slot as a request: unframed and deciphered with the keys the
// slot expects (a fresh connection's logon keys also become its key), split into the command
// of its word and its fields, texts read as Windows-1252. The logon's password travels mirrored; it
// is handed over as typed. A frame that yields no command word gives a malformed request.
Request DecodeRequest(const QByteArray& frame, SlotSession& session,
                      const ServerSettings& settings);

// The frame of a reply for the slot: its message text in Windows-1252, enciphered as the
// encryption setting asks or, for the logon exchange, with the protocol's reply key.
QByteArray EncodeReply(const Reply& reply, const SlotSession& session,
                       const ServerSettings& settings, PseudoRandom& random);

// The message text of a reply: STX, the word, each field, each followed by EOT; the
// `uncarried` bytes of a field as '?'.
QByteArray ReplyText(const Reply& reply, const QByteArray& uncarried = {});

// The bytes a reply field of the slot cannot carry: STX, ETX and EOT, which structure every
// message, and in an enciphered frame 0xFF, which the cipher turns into NUL as it
// reduces codes by 255.
QByteArray UncarriedBytes(const SlotSession& session, const ServerSettings& settings,
                          bool logonExchange = false);

}  // namespace corvane
