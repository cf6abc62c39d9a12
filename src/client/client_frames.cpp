#include "client/client_frames.h"

#include "wire/cipher.h"
#include "wire/control_chars.h"

namespace corvane {

ClientReply ParseMessageText(const QByteArray& text) {
  ClientReply reply;
  reply.text = text;
  QByteArray body = text.startsWith(kStx) ? text.mid(1) : text;
  if (body.endsWith(kEot)) body.chop(1);
  const QList<QByteArray> parts = body.split(kEot);
  if (!parts.isEmpty()) reply.word = parts.front();
  reply.fields = parts.mid(1);
  return reply;
}

std::optional<ClientReply> TakeReplyFrame(QByteArray& buffer,
                                          const std::vector<ClientKeys>& candidates) {
  const QByteArray mark = FrameEndMark();
  if (buffer.startsWith(kStx)) {
    const qsizetype p = buffer.indexOf(mark);
    if (p < 0 || p + 4 > buffer.size()) return std::nullopt;
    ClientReply reply = ParseMessageText(buffer.left(p));
    buffer.remove(0, p + 4);
    return reply;
  }
  for (qsizetype p = buffer.indexOf(mark); p >= 0; p = buffer.indexOf(mark, p + 1)) {
    if (p + 7 > buffer.size()) return std::nullopt;
    for (const ClientKeys& keys : candidates) {
      const std::optional<QByteArray> text = DecryptPayload(buffer.left(p), keys.k1, keys.k2);
      if (!text || !text->startsWith(kStx) || !text->endsWith(kEot)) continue;
      ClientReply reply = ParseMessageText(*text);
      reply.enciphered = true;
      buffer.remove(0, p + 7);
      return reply;
    }
  }
  return std::nullopt;
}

std::optional<quint16> ParseRedirect(const QByteArray& bytes) {
  const qsizetype end = bytes.indexOf(FrameEndMark());
  if (end < 0 || !bytes.startsWith(kEot)) return std::nullopt;
  const QByteArray inner = bytes.mid(1, end - 1);
  if (!inner.endsWith(kEot)) return std::nullopt;
  bool ok = false;
  const uint port = inner.left(inner.size() - 1).toUInt(&ok);
  if (!ok || port > 65535) return std::nullopt;
  return static_cast<quint16>(port);
}

}  // namespace corvane
