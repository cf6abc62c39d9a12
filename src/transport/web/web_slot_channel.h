#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <optional>
#include <vector>

#include "base/server_settings.h"
#include "protocol/slot_session.h"

namespace corvane {

class SlotServer;

// One reply of the server: its word and fields, as on the wire (Windows-1252).
struct WebReply {
  QByteArray word;
  QList<QByteArray> fields;
};

// The message text of a request: STX, the word and each field, each followed by EOT.
QByteArray RequestText(const QByteArray& word, const QList<QByteArray>& fields);
// The frame of a request for the slot as it now stands: enciphered with the keys the slot
// expects (the logon keys on a fresh connection), plain otherwise.
QByteArray FrameRequestFor(const QByteArray& text, const SlotSession& session,
                           const ServerSettings& settings);
// Reads a reply frame the server sent to the slot: the refusals and logon replies under
// ReplyKey, the others plain or under the slot's session keys. Nothing when no key gives a
// whole message.
std::optional<WebReply> ReadReplyFrame(const QByteArray& frame, const SlotSession& session,
                                       const ServerSettings& settings);

// Runs requests on virtual slots of the slot server, as a client would on its connection,
// and hands back the replies each one gave. The web sessions reach the command routines
// through it; the frames never leave the process.
class WebSlotChannel {
 public:
  WebSlotChannel(SlotServer& slots, const ServerSettings& settings);
  // Frees the slots it opened that are still its own: their replies would come here.
  ~WebSlotChannel();
  WebSlotChannel(const WebSlotChannel&) = delete;
  WebSlotChannel& operator=(const WebSlotChannel&) = delete;

  // A slot for a browser at `peerAddress`; -1 when all slots are in use.
  int Open(const QString& peerAddress, quint16 localPort);
  // The replies to one request; empty when the command gives none or the slot is gone.
  std::vector<WebReply> Run(int slot, const QByteArray& word, const QList<QByteArray>& fields);

 private:
  void Collect(const QByteArray& frame);

  SlotServer& slots_;
  const ServerSettings& settings_;
  std::vector<WebReply> replies_;
  int runningSlot_ = -1;
  // The connection serial of each slot this channel opened, by slot.
  QHash<int, quint64> opened_;
};

}  // namespace corvane
