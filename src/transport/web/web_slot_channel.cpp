#include "transport/web/web_slot_channel.h"

#include <utility>

#include "server/slot_server.h"
#include "transport/tcp/socket_state.h"
#include "wire/cipher.h"
#include "wire/control_chars.h"
#include "wire/frame_codec.h"

namespace corvane {
namespace {

// The trailer of an enciphered request is not read; any four bytes of 1..255 do.
constexpr char kRequestTrailer[] = "\x01\x01\x01\x01";

bool WholeMessage(const QByteArray& text) {
  return text.size() >= 2 && text.front() == kStx && text.back() == kEot;
}

WebReply SplitMessage(const QByteArray& text) {
  QList<QByteArray> parts = text.mid(1, text.size() - 2).split(kEot);
  WebReply reply;
  reply.word = parts.takeFirst();
  reply.fields = parts;
  return reply;
}

bool IsLogonReplyWord(const QByteArray& word) {
  return word == "Accepted" || word == "UserDenied" || word == "MultipleUsers" ||
         word == "PassDenied";
}

}  // namespace

QByteArray RequestText(const QByteArray& word, const QList<QByteArray>& fields) {
  QByteArray text(1, kStx);
  text += word + kEot;
  for (const QByteArray& field : fields) text += field + kEot;
  return text;
}

QByteArray FrameRequestFor(const QByteArray& text, const SlotSession& session,
                           const ServerSettings& settings) {
  const RequestKeys keys = RequestKeysFor(session, settings);
  if (RequestTrailerLength(session, settings) == 4) return text + FrameEndMark() + kEot;
  return EncryptPayload(text, keys.k1, keys.k2) + FrameEndMark() + QByteArray(kRequestTrailer);
}

std::optional<WebReply> ReadReplyFrame(const QByteArray& frame, const SlotSession& session,
                                       const ServerSettings& settings) {
  if (!frame.endsWith(FrameEndMark() + kEot) && frame.size() < 7) return std::nullopt;
  if (frame.size() >= 7) {
    const std::optional<QByteArray> logon =
        DecryptPayload(frame.left(frame.size() - 7), ReplyKey, session.SlotKey);
    if (logon && WholeMessage(*logon)) {
      WebReply reply = SplitMessage(*logon);
      if (IsLogonReplyWord(reply.word)) return reply;
    }
  }
  if (!EncryptionOn(settings)) {
    if (!frame.endsWith(FrameEndMark() + kEot)) return std::nullopt;
    const QByteArray text = frame.left(frame.size() - 4);
    if (!WholeMessage(text)) return std::nullopt;
    return SplitMessage(text);
  }
  if (frame.size() < 7) return std::nullopt;
  const std::optional<QByteArray> text =
      DecryptPayload(frame.left(frame.size() - 7), session.SessionKey, session.SlotKey);
  if (!text || !WholeMessage(*text)) return std::nullopt;
  return SplitMessage(*text);
}

WebSlotChannel::WebSlotChannel(SlotServer& slots, const ServerSettings& settings)
    : slots_(slots), settings_(settings) {}

WebSlotChannel::~WebSlotChannel() {
  for (auto it = opened_.cbegin(); it != opened_.cend(); ++it) {
    const SlotSocket* socket = slots_.SocketOfSlot(it.key());
    if (socket && socket->IsVirtual() && socket->ConnectionSerial() == it.value()) {
      slots_.EndVirtualSlot(it.key());
    }
  }
}

int WebSlotChannel::Open(const QString& peerAddress, quint16 localPort) {
  const int slot = slots_.OpenVirtualSlot(peerAddress, localPort,
                                          [this](const QByteArray& frame) { Collect(frame); });
  if (slot >= 0) opened_.insert(slot, slots_.SocketOfSlot(slot)->ConnectionSerial());
  return slot;
}

std::vector<WebReply> WebSlotChannel::Run(int slot, const QByteArray& word,
                                          const QList<QByteArray>& fields) {
  replies_.clear();
  if (slots_.SlotState(slot) != kSocketConnected) return {};
  const SlotSession& session = slots_.Sessions().at(slot);
  runningSlot_ = slot;
  slots_.DispatchToSlot(FrameRequestFor(RequestText(word, fields), session, settings_), slot);
  runningSlot_ = -1;
  return std::exchange(replies_, {});
}

void WebSlotChannel::Collect(const QByteArray& frame) {
  // Every reply answers the request being run: the commands reply before they return.
  if (!IsSlotNumber(runningSlot_)) return;
  std::optional<WebReply> reply =
      ReadReplyFrame(frame, slots_.Sessions().at(runningSlot_), settings_);
  if (reply) replies_.push_back(std::move(*reply));
}

}  // namespace corvane
