#include "wire/request_codec.h"

#include "base/text_scramble.h"
#include "base/windows1252.h"
#include "protocol/command_error.h"
#include "wire/control_chars.h"
#include "wire/frame_codec.h"
#include "wire/message_fields.h"

namespace corvane {
namespace {

// Where the logon's password stands among the logon's fields.
constexpr qsizetype kLogonPasswordField = 1;

}  // namespace

std::optional<QList<QByteArray>> SplitMessage(const QByteArray& message) {
  QList<QByteArray> fields;
  // `at` is where the previous field's end (or the message's first character) stands; the
  // next field begins right after it.
  qsizetype at = 0;
  while (at < message.size()) {
    const qsizetype end = message.indexOf(kEot, at + 1);
    if (end < 0) break;
    fields.append(message.mid(at + 1, end - at - 1));
    if (end + 1 < message.size() && message[end + 1] == kEtx) break;
    at = end;
  }
  if (fields.isEmpty()) return std::nullopt;
  return fields;
}

Request DecodeRequest(const QByteArray& frame, SlotSession& session,
                      const ServerSettings& settings) {
  Request request;
  std::optional<QList<QByteArray>> parts;
  try {
    parts = SplitMessage(UnframeRequest(frame, session, settings));
  } catch (const CommandError&) {
  }
  if (!parts) {
    request.malformed = true;
    return request;
  }
  request.command = FindCommand(parts->takeFirst());
  const bool logon = request.command && request.command->Is(Command::kLogon);
  request.fields.reserve(parts->size());
  for (qsizetype i = 0; i < parts->size(); ++i) {
    const QByteArray& field = (*parts)[i];
    request.fields.append(
        FromWindows1252(logon && i == kLogonPasswordField ? MirrorText(field) : field));
  }
  return request;
}

QByteArray ReplyText(const Reply& reply, const QByteArray& uncarried) {
  QByteArray text = LeadField(reply.word);
  for (const QString& field : reply.fields) text += AddField(ToWindows1252(field, uncarried));
  return text;
}

QByteArray UncarriedBytes(const SlotSession& session, const ServerSettings& settings,
                          bool logonExchange) {
  // STX, ETX, EOT; then 0xFF.
  if (logonExchange || RepliesEnciphered(session, settings)) {
    return QByteArrayLiteral("\x02\x03\x04\xFF");
  }
  return QByteArrayLiteral("\x02\x03\x04");
}

QByteArray EncodeReply(const Reply& reply, const SlotSession& session,
                       const ServerSettings& settings, PseudoRandom& random) {
  const QByteArray text = ReplyText(reply, UncarriedBytes(session, settings, reply.logonExchange));
  return reply.logonExchange ? FrameLogonReply(text, session, random)
                             : FrameReply(text, session, settings, random);
}

}  // namespace corvane
